#pragma once

#include <QList>
#include <QString>

#include <functional>

class QThreadPool;

// One measured item of a folder.
struct StorageEntry {
    QString path;
    QString name;
    qint64 size = 0; // allocated bytes; for a folder those of the files below it
    bool isDirectory = false;
    bool otherVolume = false; // a direct sub-folder on another mount: not measured
    friend bool operator==(const StorageEntry &, const StorageEntry &) = default;
};
// Moved in memory as a whole when a list of them grows: a folder of a million entries is not copied.
Q_DECLARE_TYPEINFO(StorageEntry, Q_RELOCATABLE_TYPE);

// The result, partial or final, of one scan.
struct StorageSnapshot {
    QList<StorageEntry> entries;  // direct children, largest first once final
    QList<StorageEntry> topFiles; // the largest files at any depth
    qint64 total = 0;
    qint64 files = 0;
    qint64 folders = 0;
    qint64 skipped = 0;
    friend bool operator==(const StorageSnapshot &, const StorageSnapshot &) = default;
};

namespace StorageScanner {

constexpr int topCount = 50;

struct Options {
    int threads = 0;      // walkers besides the calling thread; 0: by the machine
    int progressMs = 400; // least time between partial snapshots
    int maxDepth = 1024;  // deeper folders are counted as skipped
};

// Measures the direct children of root and the largest files below it, in parallel, never following a
// link or leaving root's mount; a hard-linked file counts once. Blocking; cancelled and progress are called
// on the calling thread only, cancelled at least every 20 ms.
StorageSnapshot scan(const QString &root, const std::function<bool()> &cancelled,
                     const std::function<void(const StorageSnapshot &)> &progress,
                     const Options &options = {});

// The pool the scans run on. At quit every scan is told to stop and the quit waits a bounded time, so
// that a folder on a dead network mount cannot hold it.
QThreadPool *pool();
// The walkers a scan runs besides its calling thread when its options leave it to the machine.
int defaultWalkers();
void stopAll(int waitMs);
// Whether stopAll has been called (scans end at once).
bool stopping();
void resetForTests();

} // namespace StorageScanner
