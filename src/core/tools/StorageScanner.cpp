#include "core/tools/StorageScanner.h"

#include "platform/Posix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

QString StorageEntries::name(qsizetype i) const {
    const Item &it = m_items[i];
    return QString::fromUtf8(m_names.constData() + it.nameAt, it.nameLength);
}

QString StorageEntries::path(qsizetype i) const {
    return Posix::childPath(m_folder, name(i));
}

StorageEntry StorageEntries::at(qsizetype i) const {
    const QString n = name(i);
    return StorageEntry{Posix::childPath(m_folder, n), n, bytes(i), isDirectory(i), otherVolume(i)};
}

qsizetype StorageEntries::indexOf(const QString &path) const {
    const QString leaf = Posix::lastComponent(path);
    if (leaf.isEmpty() || Posix::childPath(m_folder, leaf) != path) return -1;
    const QByteArray wanted = leaf.toUtf8();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const Item &it = m_items[i];
        if (it.nameLength == wanted.size() &&
            std::memcmp(m_names.constData() + it.nameAt, wanted.constData(), size_t(it.nameLength)) == 0)
            return i;
    }
    return -1;
}

qint64 StorageEntries::largest() const {
    qint64 most = 0;
    for (const Item &it : m_items)
        most = std::max(most, it.size);
    return most;
}

bool StorageEntries::append(const char *utf8, qsizetype length, qint64 size, bool directory,
                            bool otherVolume) {
    if (length > 0xFFFF || m_names.size() + length > qsizetype(UINT32_MAX)) return false;
    const auto at = quint32(m_names.size());
    m_names.append(utf8, length);
    m_items.append(Item{size, at, quint16(length),
                        quint8((directory ? directoryFlag : 0) | (otherVolume ? otherVolumeFlag : 0))});
    return true;
}

void StorageEntries::sortBySize() {
    // Names lie in the block in the order added, so their place breaks ties without a second list.
    std::sort(m_items.begin(), m_items.end(), [](const Item &a, const Item &b) {
        return a.size != b.size ? a.size > b.size : a.nameAt < b.nameAt;
    });
}

bool operator==(const StorageEntries &a, const StorageEntries &b) {
    if (a.size() != b.size() || a.m_folder != b.m_folder) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a.at(i) != b.at(i)) return false;
    return true;
}

namespace StorageScanner {
namespace {

std::atomic<bool> g_stopping{false};

struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Identity of a mount: other device or other mount id (bind mounts share the device).
struct Volume {
    uint64_t dev = 0;
    uint64_t mnt = 0;
    bool hasMnt = false;
    bool known = false;
    bool differs(const Volume &o) const {
        if (!known || !o.known) return false;
        return dev != o.dev || (hasMnt && o.hasMnt && mnt != o.mnt);
    }
};

Volume volumeOf(const struct statx &sx) {
    Volume v;
    v.dev = (uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    v.hasMnt = (sx.stx_mask & STATX_MNT_ID) != 0;
    v.mnt = v.hasMnt ? sx.stx_mnt_id : 0;
    v.known = true;
    return v;
}

constexpr unsigned statMask = STATX_TYPE | STATX_BLOCKS | STATX_INO | STATX_NLINK | STATX_MNT_ID;

int statxAt(int fd, const char *name, int extra, struct statx &sx) {
    return Posix::retry([&] {
        return ::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC | extra, statMask,
                       &sx);
    });
}

qint64 allocated(const struct statx &sx) {
    return (sx.stx_mask & STATX_BLOCKS) ? qint64(sx.stx_blocks) * 512 : 0;
}

bool isDotOrDotDot(const char *name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

struct FdHolder {
    int fd = -1;
    explicit FdHolder(int f) : fd(f) {}
    ~FdHolder() {
        if (fd >= 0) ::close(fd);
    }
};

// A folder's name and its parent, for the few paths that are ever built (top-list candidates).
struct Node {
    std::shared_ptr<const Node> parent;
    QByteArray name; // the root node holds the whole root path
};

std::optional<QString> pathOf(const Node *node, const char *leaf) {
    std::vector<const Node *> chain;
    for (; node; node = node->parent.get())
        chain.push_back(node);
    QByteArray bytes;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!bytes.isEmpty() && !bytes.endsWith('/')) bytes += '/';
        bytes += (*it)->name;
    }
    if (leaf) {
        if (!bytes.endsWith('/')) bytes += '/';
        bytes += leaf;
    }
    return Posix::decode(bytes);
}

struct Task {
    std::shared_ptr<FdHolder> parentFd;
    std::shared_ptr<const Node> node;
    std::atomic<qint64> *size = nullptr; // the bytes of the direct child of the root it belongs to
    int depth = 1;
};

// The largest files seen by one walker: a bounded list with a remembered smallest slot.
class TopList {
public:
    bool wants(qint64 size) const {
        std::lock_guard g(m_lock);
        return size >= 1 && (m_items.size() < topCount || m_items[m_smallest].first.size < size);
    }
    void offer(const StorageEntry &e, uint64_t order) {
        std::lock_guard g(m_lock);
        if (e.size < 1) return;
        if (m_items.size() < topCount)
            m_items.push_back({e, order});
        else if (m_items[m_smallest].first.size >= e.size)
            return;
        else
            m_items[m_smallest] = {e, order};
        m_smallest = 0;
        for (size_t i = 1; i < m_items.size(); ++i)
            if (m_items[i].first.size < m_items[m_smallest].first.size) m_smallest = i;
    }
    void appendTo(std::vector<std::pair<StorageEntry, uint64_t>> &out) const {
        std::lock_guard g(m_lock);
        out.insert(out.end(), m_items.begin(), m_items.end());
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::pair<StorageEntry, uint64_t>> m_items;
    size_t m_smallest = 0;
};

struct HardLinkKey {
    uint64_t dev, ino;
    bool operator==(const HardLinkKey &) const = default;
};
struct HardLinkHash {
    size_t operator()(const HardLinkKey &k) const { return std::hash<uint64_t>()(k.ino * 1000003u ^ k.dev); }
};

class Walk {
public:
    Walk(Volume root, int maxDepth) : m_root(root), m_maxDepth(maxDepth) {}

    std::atomic<bool> stop{false};
    std::atomic<qint64> files{0}, folders{0}, skipped{0};
    std::vector<std::unique_ptr<TopList>> tops;

    // Counts a file's bytes once, however many names it has.
    bool firstLink(const struct statx &sx) {
        if (sx.stx_nlink <= 1) return true;
        const HardLinkKey key{(uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor, sx.stx_ino};
        std::lock_guard g(m_linkLock);
        return m_links.insert(key).second;
    }

    void push(Task task) {
        m_pending.fetch_add(1);
        {
            std::lock_guard g(m_lock);
            m_queue.push_back(std::move(task));
        }
        m_wake.notify_one();
    }
    // No more root children will be queued.
    void closeInput() {
        m_pending.fetch_sub(1);
        m_wake.notify_all();
    }
    bool done() const { return m_pending.load() == 0; }
    void waitDone(int ms) {
        std::unique_lock g(m_lock);
        m_wake.wait_for(g, std::chrono::milliseconds(ms), [this] { return done() || stop.load(); });
    }
    void wakeAll() { m_wake.notify_all(); }
    uint64_t nextOrder() { return m_order.fetch_add(1); }

    void work(TopList &top) {
        std::vector<Task> local;
        for (;;) {
            Task task;
            if (!local.empty()) {
                task = std::move(local.back());
                local.pop_back();
            } else {
                std::unique_lock g(m_lock);
                m_idle.fetch_add(1);
                // Timed waits: the pending count changes outside the lock, so a wake-up may slip by.
                while (m_queue.empty() && !done() && !stop.load())
                    m_wake.wait_for(g, std::chrono::milliseconds(20));
                m_idle.fetch_sub(1);
                if (stop.load() || (m_queue.empty() && done())) {
                    m_wake.notify_all();
                    return;
                }
                task = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (!stop.load()) walkFolder(task, local, top);
            // A walker with a backlog gives its oldest (largest) folders to the idle ones.
            if (local.size() >= 2 && m_idle.load() > 0) {
                const size_t half = local.size() / 2;
                {
                    std::lock_guard g(m_lock);
                    for (size_t i = 0; i < half; ++i)
                        m_queue.push_back(std::move(local[i]));
                }
                local.erase(local.begin(), local.begin() + half);
                m_wake.notify_all();
            }
            if (m_pending.fetch_sub(1) == 1) m_wake.notify_all();
            if (stop.load()) {
                // Dropped work still counts down, so that the others can finish.
                for (size_t i = 0; i < local.size(); ++i)
                    m_pending.fetch_sub(1);
                local.clear();
                m_wake.notify_all();
            }
        }
    }

private:
    struct Counts {
        qint64 bytes = 0, files = 0, folders = 0, skipped = 0;
    };

    void walkFolder(const Task &task, std::vector<Task> &local, TopList &top) {
        const int fd = Posix::retry([&] {
            return ::openat(task.parentFd->fd, task.node->name.constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        });
        if (fd < 0) {
            skipped.fetch_add(1);
            return;
        }
        auto self = std::make_shared<FdHolder>(fd);
        Counts counts;
        alignas(8) char buf[32768];
        for (;;) {
            const long n = Posix::retry([&] { return ::syscall(SYS_getdents64, fd, buf, sizeof buf); });
            if (n < 0) {
                ++counts.skipped;
                break;
            }
            if (n == 0) break;
            for (long off = 0; off < n;) {
                auto *d = reinterpret_cast<linux_dirent64 *>(buf + off);
                off += d->d_reclen;
                if (stop.load(std::memory_order_relaxed)) break;
                const char *name = d->d_name;
                if (isDotOrDotDot(name)) continue;
                if (d->d_type == DT_LNK) continue;
                visit(task, self, name, counts, local, top);
            }
            if (stop.load(std::memory_order_relaxed)) break;
        }
        task.size->fetch_add(counts.bytes);
        files.fetch_add(counts.files);
        folders.fetch_add(counts.folders);
        skipped.fetch_add(counts.skipped);
    }

    void visit(const Task &task, const std::shared_ptr<FdHolder> &self, const char *name, Counts &counts,
               std::vector<Task> &local, TopList &top) {
        struct statx sx {};
        if (statxAt(self->fd, name, 0, sx) != 0) {
            ++counts.skipped;
            return;
        }
        if (S_ISLNK(sx.stx_mode)) return;
        if (S_ISDIR(sx.stx_mode)) {
            // A mount point below is passed over, uncounted.
            if (m_root.differs(volumeOf(sx))) return;
            ++counts.folders;
            if (task.depth + 1 > m_maxDepth) {
                ++counts.skipped;
                return;
            }
            m_pending.fetch_add(1);
            local.push_back(Task{self, std::make_shared<Node>(Node{task.node, QByteArray(name)}), task.size,
                                 task.depth + 1});
            return;
        }
        ++counts.files;
        if (!firstLink(sx)) return;
        const qint64 size = allocated(sx);
        counts.bytes += size;
        if (top.wants(size)) {
            // A name that is not valid UTF-8 is measured but never listed under another name.
            if (auto path = pathOf(task.node.get(), name))
                top.offer(StorageEntry{*path, Posix::lastComponent(*path), size, false, false}, nextOrder());
        }
    }

    Volume m_root;
    int m_maxDepth;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Task> m_queue;
    std::atomic<qint64> m_pending{1}; // 1 while the root is still being listed
    std::atomic<int> m_idle{0};
    std::atomic<uint64_t> m_order{0};
    std::mutex m_linkLock;
    std::unordered_set<HardLinkKey, HardLinkHash> m_links;
};

// One scan: the root's direct children are read on the calling thread, the folders below by the walkers.
class RootScan {
public:
    RootScan(const QString &root, const QByteArray &rootBytes, std::shared_ptr<FdHolder> rootFd,
             Volume volume, const Options &options, const std::function<bool()> &cancelled,
             const std::function<void(const StorageSnapshot &)> &progress)
        : m_rootBytes(rootBytes), m_rootFd(std::move(rootFd)), m_volume(volume),
          m_threads(options.threads > 0 ? options.threads : defaultWalkers()), m_options(options),
          m_cancelled(cancelled), m_progress(progress), m_walk(volume, options.maxDepth), m_children(root) {
        for (int i = 0; i <= m_threads; ++i)
            m_walk.tops.push_back(std::make_unique<TopList>());
        m_clock.start();
    }

    // False when the root could not be read to its end.
    bool run() {
        std::vector<std::thread> walkers;
        // Joined on every way out: the walkers refer to the walk and to the folder sizes.
        Joiner joiner{m_walk, walkers, false};
        for (int i = 0; i < m_threads; ++i)
            walkers.emplace_back([this, i] { m_walk.work(*m_walk.tops[size_t(i)]); });
        m_rootNode = std::make_shared<Node>(Node{nullptr, m_rootBytes});
        if (!listRoot()) return false;
        m_walk.closeInput();
        waitForWalkers();
        joiner.finished = true;
        return true;
    }

    StorageSnapshot result() {
        StorageSnapshot s;
        collect(s);
        s.entries = std::move(m_children);
        s.entries.sortBySize();
        return s;
    }

private:
    struct Joiner {
        Walk &walk;
        std::vector<std::thread> &threads;
        bool finished = false;
        ~Joiner() {
            if (!finished) {
                walk.stop.store(true);
                walk.wakeAll();
            }
            for (std::thread &t : threads)
                t.join();
        }
    };

    bool isCancelled() const { return g_stopping.load() || (m_cancelled && m_cancelled()); }
    TopList &rootTop() { return *m_walk.tops.back(); }

    bool listRoot() {
        alignas(8) char buf[32768];
        qint64 seen = 0;
        for (bool more = true; more && !isCancelled();) {
            const long n =
                Posix::retry([&] { return ::syscall(SYS_getdents64, m_rootFd->fd, buf, sizeof buf); });
            if (n <= 0) return n == 0;
            for (long off = 0; off < n;) {
                auto *d = reinterpret_cast<linux_dirent64 *>(buf + off);
                off += d->d_reclen;
                const char *raw = d->d_name;
                if (isDotOrDotDot(raw)) continue;
                if (isCancelled()) {
                    more = false;
                    break;
                }
                if ((++seen & 63) == 0) maybeReport();
                if (d->d_type != DT_LNK) addChild(raw);
            }
        }
        return true;
    }

    void addChild(const char *raw) {
        struct statx sx {};
        if (statxAt(m_rootFd->fd, raw, 0, sx) != 0) {
            ++m_skipped;
            return;
        }
        if (S_ISLNK(sx.stx_mode)) return;
        const qsizetype length = qsizetype(std::strlen(raw));
        // Not shown under another name, so not listed at all.
        if (!Posix::decode(raw, length)) {
            ++m_skipped;
            return;
        }
        if (S_ISDIR(sx.stx_mode))
            addFolder(raw, length, sx);
        else
            addFile(raw, length, sx);
    }

    void addFolder(const char *raw, qsizetype length, const struct statx &sx) {
        const bool other = m_volume.differs(volumeOf(sx));
        if (!m_children.append(raw, length, 0, true, other)) {
            ++m_skipped;
            return;
        }
        ++m_folders;
        std::atomic<qint64> &size = m_folderSizes.emplace_back(0);
        m_folderAt.emplace_back(m_children.size() - 1, &size);
        if (!other)
            m_walk.push(Task{m_rootFd, std::make_shared<Node>(Node{m_rootNode, QByteArray(raw)}), &size, 1});
    }

    void addFile(const char *raw, qsizetype length, const struct statx &sx) {
        const qint64 size = m_walk.firstLink(sx) ? allocated(sx) : 0;
        if (!m_children.append(raw, length, size, false, false)) {
            ++m_skipped;
            return;
        }
        ++m_files;
        if (rootTop().wants(size)) rootTop().offer(m_children.last(), m_walk.nextOrder());
    }

    void waitForWalkers() {
        while (!m_walk.done()) {
            if (isCancelled()) {
                m_walk.stop.store(true);
                m_walk.wakeAll();
                break;
            }
            m_walk.waitDone(20);
            maybeReport();
        }
    }

    void maybeReport() {
        if (m_progress && m_clock.elapsed() - m_lastReport > m_options.progressMs) {
            m_lastReport = m_clock.elapsed();
            StorageSnapshot s;
            collect(s);
            s.entries = m_children; // shared until the scan adds to its list
            m_progress(s);
        }
    }

    void collect(StorageSnapshot &s) {
        for (const auto &[at, size] : m_folderAt)
            if (!m_children.otherVolume(at)) m_children.setBytes(at, size->load());
        for (qsizetype i = 0; i < m_children.size(); ++i)
            s.total += m_children.bytes(i);
        std::vector<std::pair<StorageEntry, uint64_t>> tops;
        for (const auto &t : m_walk.tops)
            t->appendTo(tops);
        std::stable_sort(tops.begin(), tops.end(), [](const auto &a, const auto &b) {
            return a.first.size != b.first.size ? a.first.size > b.first.size : a.second < b.second;
        });
        for (size_t i = 0; i < tops.size() && i < size_t(topCount); ++i)
            s.topFiles << tops[i].first;
        s.files = m_files + m_walk.files.load();
        s.folders = m_folders + m_walk.folders.load();
        s.skipped = m_skipped + m_walk.skipped.load();
    }

    const QByteArray m_rootBytes;
    const std::shared_ptr<FdHolder> m_rootFd;
    const Volume m_volume;
    const int m_threads;
    const Options &m_options;
    const std::function<bool()> &m_cancelled;
    const std::function<void(const StorageSnapshot &)> &m_progress;
    Walk m_walk;
    std::shared_ptr<const Node> m_rootNode;
    // The running bytes of each direct sub-folder; a deque, so that a walker's reference stays valid while
    // more are added.
    std::deque<std::atomic<qint64>> m_folderSizes;
    // The direct children, made as the root is read: a folder of a million entries is never held twice.
    // m_folderAt: for each sub-folder, its entry and its running bytes.
    StorageEntries m_children;
    std::vector<std::pair<qsizetype, std::atomic<qint64> *>> m_folderAt;
    qint64 m_files = 0, m_folders = 0, m_skipped = 0;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
};

} // namespace

StorageSnapshot scan(const QString &root, const std::function<bool()> &cancelled,
                     const std::function<void(const StorageSnapshot &)> &progress, const Options &options) {
    StorageSnapshot failed;
    failed.skipped = 1;
    const auto rootBytes = Posix::encode(root);
    if (!rootBytes) return failed;
    const int rootFd =
        Posix::retry([&] { return ::open(rootBytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (rootFd < 0) return failed;
    auto rootHolder = std::make_shared<FdHolder>(rootFd);
    struct statx rootSx {};
    Volume rootVolume;
    if (statxAt(rootFd, "", AT_EMPTY_PATH, rootSx) == 0) rootVolume = volumeOf(rootSx);

    RootScan job(root, *rootBytes, std::move(rootHolder), rootVolume, options, cancelled, progress);
    if (!job.run()) return failed;
    return job.result();
}

int defaultWalkers() {
    return int(std::clamp(std::thread::hardware_concurrency(), 2u, 8u));
}

QThreadPool *pool() {
    // Never deleted: a scan blocked on a dead mount must not hold the exit.
    static QThreadPool *p = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(4);
        if (auto *app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] { stopAll(500); });
        return created;
    }();
    return p;
}

void stopAll(int waitMs) {
    g_stopping.store(true);
    pool()->waitForDone(waitMs);
}

bool stopping() {
    return g_stopping.load();
}

void resetForTests() {
    g_stopping.store(false);
}

} // namespace StorageScanner
