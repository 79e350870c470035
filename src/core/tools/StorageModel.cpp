#include "core/tools/StorageModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

// Results come back through the application object (a model may be gone by then) and are checked there,
// on the main thread, against the model and its token.
StorageModel::StorageModel(QObject *parent) : QObject(parent) {}

// The scan outlives the model only until it sees its flag.
StorageModel::~StorageModel() {
    if (m_task) m_task->set();
}

void StorageModel::start(const QString &path, bool pushHistory) {
    // Stopped without a change of its own: observers see the new scan at once, never the old snapshot idle.
    stop();
    if (pushHistory && !m_path.isEmpty() && m_path != path) m_history << m_path;
    m_path = path;
    m_snapshot = StorageSnapshot();
    m_scanning = true;
    m_token = QUuid::createUuid();
    auto flag = std::make_shared<ScanCancelFlag>();
    m_task = flag;
    emit changed();

    QPointer<StorageModel> self(this);
    const QUuid token = m_token;
    const StorageScanner::Options opts = options;
    StorageScanner::pool()->start([self, token, flag, path, opts] {
        const StorageSnapshot result = StorageScanner::scan(
            path, [flag] { return flag->isSet(); },
            [self, token, flag](const StorageSnapshot &partial) {
                if (flag->isSet()) return;
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, token, partial] {
                        if (self) self->deliver(token, partial, false);
                    },
                    Qt::QueuedConnection);
            },
            opts);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, token, result] {
                if (self) self->deliver(token, result, true);
            },
            Qt::QueuedConnection);
    });
}

void StorageModel::deliver(const QUuid &token, const StorageSnapshot &snapshot, bool final) {
    // A result of a scan that was cancelled or replaced, or a partial one after the final one: dropped.
    if (token != m_token || !m_scanning) return;
    m_snapshot = snapshot;
    if (final) {
        m_scanning = false;
        m_task.reset();
    }
    emit changed();
}

bool StorageModel::stop() {
    if (m_task) m_task->set();
    m_task.reset();
    m_token = QUuid::createUuid();
    const bool was = m_scanning;
    m_scanning = false;
    return was;
}

void StorageModel::cancel() {
    if (stop()) emit changed();
}

void StorageModel::back() {
    if (m_history.isEmpty()) return;
    const QString last = m_history.takeLast();
    start(last, false);
}
