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

// The direct children of one folder, compact: a million of them fit in a few dozen megabytes. The names
// lie in one shared block as the file system gave them (valid UTF-8 only); an entry's path is built when
// asked for.
class StorageEntries {
public:
    StorageEntries() = default;
    explicit StorageEntries(const QString &folder) : m_folder(folder) {}

    const QString &folder() const { return m_folder; }
    qsizetype size() const { return m_items.size(); }
    bool isEmpty() const { return m_items.isEmpty(); }

    QString name(qsizetype i) const;
    QString path(qsizetype i) const;
    qint64 bytes(qsizetype i) const { return m_items[i].size; }
    bool isDirectory(qsizetype i) const { return m_items[i].flags & directoryFlag; }
    bool otherVolume(qsizetype i) const { return m_items[i].flags & otherVolumeFlag; }
    StorageEntry at(qsizetype i) const;
    StorageEntry operator[](qsizetype i) const { return at(i); }
    StorageEntry first() const { return at(0); }
    StorageEntry last() const { return at(size() - 1); }
    // The row of the entry with this path, or -1; builds no strings for the others.
    qsizetype indexOf(const QString &path) const;
    qint64 largest() const;

    // utf8: a name checked to be valid UTF-8. False when the block is full (the entry is not added).
    bool append(const char *utf8, qsizetype length, qint64 size, bool directory, bool otherVolume);
    void setBytes(qsizetype i, qint64 size) { m_items[i].size = size; }
    // Largest first, equal sizes in the order added.
    void sortBySize();

    class const_iterator {
    public:
        using value_type = StorageEntry;
        using difference_type = qsizetype;
        const_iterator(const StorageEntries *list, qsizetype i) : m_list(list), m_i(i) {}
        StorageEntry operator*() const { return m_list->at(m_i); }
        const_iterator &operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const const_iterator &) const = default;

    private:
        const StorageEntries *m_list;
        qsizetype m_i;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    friend bool operator==(const StorageEntries &a, const StorageEntries &b);

private:
    enum : quint8 { directoryFlag = 1, otherVolumeFlag = 2 };
    struct Item {
        qint64 size;
        quint32 nameAt;
        quint16 nameLength; // a name is at most 255 bytes on every file system we read
        quint8 flags;
    };
    QString m_folder;
    QByteArray m_names;
    QList<Item> m_items;
};

// The result, partial or final, of one scan.
struct StorageSnapshot {
    StorageEntries entries;       // direct children, largest first once final
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
