#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QWaitCondition>

class QSocketNotifier;

// One inotify instance shared by every pane (the per-user limit of instances is small); a folder shown by
// several panes is watched once. Adding a watch to a folder costs the kernel time in proportion to the
// entries it has cached for it (tens of milliseconds for a million), so watches are added and removed
// on a worker of their own, in the order they were asked for; events arrive on the main thread.
class FolderWatch : public QObject {
    Q_OBJECT
public:
    static FolderWatch &shared();

    // Starts watching a folder for added, removed, renamed and changed entries; false when nothing can be
    // watched at all. The watch itself begins a little later.
    bool add(const QString &path);
    // Ends one add() of the path.
    void remove(const QString &path);
    // Waits until every add and remove asked for so far has reached the kernel (tests, benchmarks).
    void waitForIdle();
    // Waits (at most timeoutMs) while a watch asked for on path is still being added, so that a listing
    // that starts afterwards misses no change: what it doesn't see, the watch reports. Any thread.
    void waitUntilWatched(const QString &path, int timeoutMs);

signals:
    // Entries of a watched folder changed; names are the entries concerned, empty when anything in the
    // folder may have changed (the folder itself moved or went away, events were lost, a name that is not
    // valid UTF-8).
    void folderChanged(const QString &path, const QStringList &names);

private:
    FolderWatch();
    ~FolderWatch() override;
    void sync(const QString &path); // brings the kernel's watch in line with the number of users
    void readEvents();

    struct State {
        int users = 0;
        int wd = -1;          // the kernel's watch, -1 when none
        bool pending = false; // a sync is queued
    };
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QThreadPool m_pool; // one thread: adds and removes reach the kernel in order
    QMutex m_lock;      // guards the two tables, shared with the worker
    QWaitCondition m_synced;
    QHash<QString, State> m_paths;
    QHash<int, QStringList> m_byWd; // one inode reached by two paths has one watch
};
