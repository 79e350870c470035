#include "core/model/FolderWatch.h"

#include "platform/Posix.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// What the folder's own listing shows: entries added, removed, renamed, their attributes, sizes and dates
// (once a writer is done with a file, not at its every write), the folder itself.
constexpr uint32_t kMask =
    IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVE | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
} // namespace

FolderWatch &FolderWatch::shared() {
    static FolderWatch *watch = new FolderWatch; // lives until the process ends, like the panes' owner
    return *watch;
}

FolderWatch::FolderWatch() {
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
}

FolderWatch::~FolderWatch() {
    m_pool.waitForDone();
    if (m_fd >= 0) ::close(m_fd);
}

bool FolderWatch::add(const QString &path) {
    if (m_fd < 0) return false;
    QMutexLocker lock(&m_lock);
    State &s = m_paths[path];
    ++s.users;
    if (s.wd < 0 && !s.pending) {
        s.pending = true;
        m_pool.start([this, path] { sync(path); });
    }
    return true;
}

void FolderWatch::remove(const QString &path) {
    QMutexLocker lock(&m_lock);
    auto it = m_paths.find(path);
    if (it == m_paths.end() || it->users <= 0) return;
    if (--it->users > 0 || it->pending) return;
    if (it->wd < 0) {
        m_paths.erase(it);
        return;
    }
    it->pending = true;
    m_pool.start([this, path] { sync(path); });
}

void FolderWatch::waitForIdle() {
    m_pool.waitForDone();
}

void FolderWatch::waitUntilWatched(const QString &path, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QMutexLocker lock(&m_lock);
    for (;;) {
        const auto it = m_paths.constFind(path);
        if (it == m_paths.cend() || !it->pending || it->users <= 0 || it->wd >= 0) return;
        if (!m_synced.wait(&m_lock, deadline)) return;
    }
}

void FolderWatch::sync(const QString &path) {
    const auto bytes = Posix::encode(path);
    for (;;) {
        QMutexLocker lock(&m_lock);
        auto it = m_paths.find(path);
        if (it == m_paths.end()) return;
        const bool wanted = it->users > 0;
        const int wd = it->wd;
        if (wanted == (wd >= 0) || (wanted && !bytes)) {
            it->pending = false;
            if (!wanted) m_paths.erase(it);
            m_synced.wakeAll();
            return;
        }
        if (wanted) {
            lock.unlock();
            const int added = ::inotify_add_watch(m_fd, bytes->constData(), kMask);
            lock.relock();
            it = m_paths.find(path);
            if (it == m_paths.end()) { // cannot happen while pending, but never act on a stale iterator
                if (added >= 0 && !m_byWd.contains(added)) ::inotify_rm_watch(m_fd, added);
                m_synced.wakeAll();
                return;
            }
            if (added < 0) { // gone, not a folder, or out of watches: no watch, the pane lists on demand
                it->pending = false;
                if (it->users <= 0) m_paths.erase(it);
                m_synced.wakeAll();
                return;
            }
            it->wd = added;
            QStringList &paths = m_byWd[added];
            if (!paths.contains(path)) paths << path;
            m_synced.wakeAll();
        } else {
            it->wd = -1;
            QStringList &paths = m_byWd[wd];
            paths.removeAll(path);
            const bool last = paths.isEmpty();
            if (last) m_byWd.remove(wd);
            lock.unlock();
            if (last) ::inotify_rm_watch(m_fd, wd);
        }
    }
}

void FolderWatch::readEvents() {
    // Names per folder; a folder in `whole` changed beyond what names can tell.
    QHash<QString, QSet<QString>> named;
    QStringList whole;
    QStringList order;
    const auto note = [&](const QString &path) {
        if (!named.contains(path) && !whole.contains(path)) order << path;
    };
    alignas(struct inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t pos = 0; pos + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buffer + pos);
            pos += ssize_t(sizeof(inotify_event)) + ev->len;
            if (pos > n) break;
            QMutexLocker lock(&m_lock);
            if (ev->mask & IN_Q_OVERFLOW) {
                for (auto it = m_paths.cbegin(); it != m_paths.cend(); ++it)
                    if (it->wd >= 0 && it->users > 0) note(it.key()), whole << it.key();
                continue;
            }
            const QStringList paths = m_byWd.value(ev->wd);
            if (ev->mask & IN_IGNORED) {
                // The kernel ended the watch (the folder went away): the next add() watches anew.
                m_byWd.remove(ev->wd);
                for (const QString &p : paths)
                    if (auto it = m_paths.find(p); it != m_paths.end() && it->wd == ev->wd) it->wd = -1;
            }
            lock.unlock();
            const size_t len = ev->len ? ::strnlen(ev->name, ev->len) : 0;
            std::optional<QString> name;
            if (len > 0) name = Posix::decode(ev->name, qsizetype(len));
            const bool self = len == 0 || (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED));
            for (const QString &p : paths) {
                note(p);
                if (self || !name) {
                    if (!whole.contains(p)) whole << p;
                } else {
                    named[p].insert(*name);
                }
            }
        }
    }
    for (const QString &p : order)
        emit folderChanged(p, whole.contains(p) ? QStringList() : QStringList(named.value(p).values()));
}
