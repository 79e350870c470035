#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>

// One inotify watcher shared by every pane: each QFileSystemWatcher costs an inotify instance, and the
// per-user limit of instances is small. A folder shown by several panes is watched once.
class FolderWatch : public QObject {
    Q_OBJECT
public:
    static FolderWatch &shared();

    // Starts watching a folder for added, removed and renamed entries; false when it can't be watched.
    bool add(const QString &path);
    // Ends one add() of the path.
    void remove(const QString &path);

signals:
    void folderChanged(const QString &path);

private:
    FolderWatch();
    QFileSystemWatcher m_watcher;
    QHash<QString, int> m_users;
};
