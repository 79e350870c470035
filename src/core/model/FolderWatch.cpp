#include "core/model/FolderWatch.h"

FolderWatch &FolderWatch::shared() {
    static FolderWatch *watch = new FolderWatch; // lives until the process ends, like the panes' owner
    return *watch;
}

FolderWatch::FolderWatch() {
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::folderChanged);
}

bool FolderWatch::add(const QString &path) {
    // The watcher drops a folder on its own when the folder is deleted, so ask it rather than trust the
    // count.
    if (!m_watcher.directories().contains(path) && !m_watcher.addPath(path)) return false;
    ++m_users[path];
    return true;
}

void FolderWatch::remove(const QString &path) {
    auto it = m_users.find(path);
    if (it == m_users.end()) return;
    if (--it.value() > 0) return;
    m_users.erase(it);
    m_watcher.removePath(path);
}
