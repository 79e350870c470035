#include "core/model/SizeWalk.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

std::atomic<int> running{0};
std::atomic<int> most{0};
QMutex countLock;
SizeWalk::Count &countOverride() {
    static SizeWalk::Count c;
    return c;
}

SizeWalk::Count overrideCount() {
    QMutexLocker lock(&countLock);
    return countOverride();
}

} // namespace

SizeWalk::SizeWalk(QObject *parent, Count count) : QObject(parent), m_count(std::move(count)) {}

SizeWalk::~SizeWalk() {
    if (m_flag) m_flag->setCancelled();
}

void SizeWalk::start(const QStringList &paths) {
    ++m_generation;
    if (m_running) {
        // The walk in progress stops at its next entry; this request waits for it.
        m_flag->setCancelled();
        m_waiting = paths;
        return;
    }
    launch(paths);
}

void SizeWalk::cancel() {
    ++m_generation;
    m_waiting.reset();
    if (m_flag) m_flag->setCancelled();
}

void SizeWalk::launch(const QStringList &paths) {
    m_flag = std::make_shared<CancelFlag>();
    m_running = true;
    const quint64 generation = m_generation;
    QPointer<SizeWalk> self(this);
    CancelFlagPtr flag = m_flag;
    Count count = overrideCount();
    if (!count) count = m_count;
    if (!count)
        count = [](const QStringList &p, const CancelFlag &c) { return FileOps::selectionSize(p, &c); };
    (void)QtConcurrent::run([self, flag, count, paths, generation] {
        const int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        const FileOps::SelectionSize result = count(paths, *flag);
        --running;
        // The application object as context: this one may be gone by now.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, result, generation] {
                if (!self) return;
                self->m_running = false;
                if (self->m_waiting) {
                    const QStringList next = *self->m_waiting;
                    self->m_waiting.reset();
                    self->launch(next);
                    return;
                }
                if (generation == self->m_generation && !result.cancelled) emit self->finished(result);
            },
            Qt::QueuedConnection);
    });
}

void SizeWalk::setCountForTests(Count count) {
    QMutexLocker lock(&countLock);
    countOverride() = std::move(count);
}

int SizeWalk::runningNow() {
    return running.load();
}
int SizeWalk::runningMost() {
    return most.load();
}
void SizeWalk::resetRunningMost() {
    most.store(running.load());
}
