#include "core/app/TrashLookup.h"

#include "core/app/Services.h"
#include "core/model/FileLoader.h"
#include "platform/MountWatch.h"

#include <QDir>

#include <mutex>
#include <thread>

namespace {

// Lookups stuck on a mount that never answers, let be before no further one starts.
constexpr int maxStuck = 2;

} // namespace

// What the lookup threads share with the object, which may be gone when they answer.
struct TrashLookup::Shared {
    std::mutex lock;
    TrashLookup *owner = nullptr;
};

TrashLookup::TrashLookup(const Services &services, QObject *parent)
    : QObject(parent), m_services(services), m_shared(std::make_shared<Shared>()) {
    m_shared->owner = this;
    connect(new MountWatch(this), &MountWatch::mountsChanged, this, &TrashLookup::refresh);
}

TrashLookup::~TrashLookup() {
    std::lock_guard guard(m_shared->lock);
    m_shared->owner = nullptr;
}

void TrashLookup::refresh() {
    if (!m_latestDone) {
        if (m_started.elapsed() < m_boundMs || m_stuck >= maxStuck) {
            m_pending = true;
            return;
        }
        ++m_stuck;
    }
    m_pending = false;
    m_latestDone = false;
    m_started.start();
    const quint64 generation = ++m_latest;
    // Not QtConcurrent: a thread stuck in the pool would hold up quitting, which waits for the pool.
    std::thread([shared = m_shared, source = m_services.trashFolders, generation] {
        Answer answer;
        answer.folders = source ? source() : FileLoader::allTrashFolders();
        for (const QString &folder : std::as_const(answer.folders))
            if (!QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                      QDir::System)) {
                answer.anyFull = true;
                break;
            }
        std::lock_guard guard(shared->lock);
        if (TrashLookup *owner = shared->owner)
            QMetaObject::invokeMethod(
                owner, [owner, generation, answer] { owner->take(generation, answer); },
                Qt::QueuedConnection);
    }).detach();
}

void TrashLookup::take(quint64 generation, const Answer &answer) {
    // Any other answer is one of a lookup given up on.
    if (generation == m_latest)
        m_latestDone = true;
    else
        m_stuck = qMax(0, m_stuck - 1);
    if (generation > m_applied) {
        m_applied = generation;
        const bool differs = answer.folders != m_folders || answer.anyFull != m_anyFull;
        m_folders = answer.folders;
        m_anyFull = answer.anyFull;
        if (differs) emit changed();
    }
    if (m_pending && m_latestDone) refresh();
}
