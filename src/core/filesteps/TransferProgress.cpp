#include "core/filesteps/TransferProgress.h"

#include <QMutexLocker>

void TransferProgress::setTotal(qint64 total, qsizetype count) {
    QMutexLocker guard(&lock);
    _total = total;
    _count = count;
}

void TransferProgress::setItem(qsizetype index, const QString &name) {
    QMutexLocker guard(&lock);
    _index = index;
    _name = name;
}

void TransferProgress::add(qint64 bytes) {
    QMutexLocker guard(&lock);
    _done += bytes;
}

void TransferProgress::cancel() {
    QMutexLocker guard(&lock);
    _cancelled = true;
}

bool TransferProgress::isCancelled() const {
    QMutexLocker guard(&lock);
    return _cancelled;
}

TransferProgress::Snapshot TransferProgress::snapshot() const {
    QMutexLocker guard(&lock);
    return Snapshot{_done, _total, _index, _count, _name};
}

TransferStatus TransferStatus::from(const QString &title, const TransferProgress::Snapshot &snapshot) {
    TransferStatus status{title, snapshot.name, snapshot.index, snapshot.count, std::nullopt, false};
    if (snapshot.total >= 1) status.fraction = double(snapshot.done) / double(snapshot.total);
    return status;
}
