// A FUSE file system for the tests that passes through to a backing folder and behaves as FAT and exFAT
// sticks do under Linux: no rename flags, no extended attributes, links or FIFOs, case-insensitive names,
// refused characters, files below 4 GiB, times in 2 s steps. SIGUSR1 pulls the stick (every change, write
// and flush fails with EIO), SIGUSR2 plugs it back; each writes the state ('1' or '0') to the state file.
//
//   kestrin-fatfuse [--enoent-names] [--links] [--new-inode-links] [--moving-folder-sizes]
//                   [--taken-on-refusal] [--ten-ms-times] [--state FILE] BACKING MOUNTPOINT [fuse options]
//
// --enoent-names answers a refused name with ENOENT, as exfat-fuse does, instead of FAT's EINVAL.
// --links takes hard links, as NTFS through ntfs-3g or a share do (still without rename flags).
// --new-inode-links takes hard links too, but the new name shows another inode number than the item had,
// as on sshfs; a rename keeps the number.
// --moving-folder-sizes gives a folder another size at each look, with nothing written, as ntfs-3g does.
// --taken-on-refusal: a rename refused for its flags finds its free target taken right after (an empty
// folder made there), as when another program takes the name in between.
// --ten-ms-times keeps modification times in 10 ms steps, as exFAT does.
#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

int g_root = -1;
bool g_enoentNames = false;
bool g_links = false;
bool g_newInodeLinks = false;
bool g_takenOnRefusal = false;
bool g_tenMsTimes = false;
uid_t g_owner = ::getuid(); // what "-o uid=N" makes every item show
// Inode numbers shown for names that link() made, by their path in the backing folder.
std::map<std::string, ino_t> g_linkInodes;
ino_t g_nextLinkInode = ino_t(1) << 40;
bool g_movingFolderSizes = false;
unsigned g_folderLooks = 0;
const char *g_stateFile = nullptr;
volatile sig_atomic_t g_pulled = 0;
constexpr off_t kMaxFileSize = 0xFFFFFFFFLL; // 4 GiB - 1

void writeState(char c) {
    if (!g_stateFile) return;
    const int fd = ::open(g_stateFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t n = ::write(fd, &c, 1);
    ::close(fd);
}

void onSignal(int sig) {
    const int saved = errno;
    g_pulled = sig == SIGUSR1;
    writeState(g_pulled ? '1' : '0');
    errno = saved;
}

// Lower-cased wide characters of a UTF-8 name, or the bytes themselves where it is no valid UTF-8.
std::wstring folded(const std::string &name) {
    std::wstring out;
    std::mbstate_t st{};
    const char *p = name.data();
    size_t left = name.size();
    while (left > 0) {
        wchar_t wc = 0;
        const size_t n = std::mbrtowc(&wc, p, left, &st);
        if (n == 0 || n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            out.clear();
            for (unsigned char c : name)
                out += static_cast<wchar_t>(0x110000 + c);
            return out;
        }
        out += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(wc)));
        p += n;
        left -= n;
    }
    return out;
}

bool refusedName(const std::string &name) {
    if (name.empty()) return true;
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr(":?*\"<>|\\", c)) return true;
    return false;
}

// FAT drops trailing dots from every name it is given.
std::string stripped(std::string name) {
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    return name;
}

// The name under which a folder (relative to the backing root) stores name, any spelling; empty if none.
std::string storedName(const std::string &folder, const std::string &name) {
    struct stat st;
    const std::string exact = folder == "." ? name : folder + "/" + name;
    if (::fstatat(g_root, exact.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
    const int fd = ::openat(g_root, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return {};
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return {};
    }
    const std::wstring want = folded(name);
    std::string found;
    while (const dirent *e = ::readdir(dir)) {
        const std::string n = e->d_name;
        if (n != "." && n != ".." && folded(n) == want) {
            found = n;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

struct Resolved {
    std::string rel{"."}; // relative to the backing root; the last part as stored if it exists, else as asked
    std::string given;    // the last part as asked (trailing dots dropped)
    bool exists = false;
    int error = 0; // set when a folder on the way is missing or the last name is one FAT refuses
};

Resolved resolve(const char *path) {
    Resolved r;
    std::vector<std::string> parts;
    std::string part;
    for (const char *p = path;; ++p) {
        if (*p == '/' || *p == '\0') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
            if (*p == '\0') break;
        } else {
            part += *p;
        }
    }
    r.exists = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string name = stripped(parts[i]);
        const bool last = i + 1 == parts.size();
        if (refusedName(name)) {
            r.error = last ? (g_enoentNames ? ENOENT : EINVAL) : ENOENT;
            r.exists = false;
            return r;
        }
        const std::string stored = storedName(r.rel, name);
        if (stored.empty() && !last) {
            r.error = ENOENT;
            r.exists = false;
            return r;
        }
        r.exists = !stored.empty();
        r.given = name;
        const std::string use = stored.empty() ? name : stored;
        r.rel = r.rel == "." ? use : r.rel + "/" + use;
    }
    return r;
}

// A path that must name something already there.
int existing(const char *path, std::string &rel) {
    const Resolved r = resolve(path);
    if (r.error) return r.error == EINVAL ? ENOENT : r.error;
    if (!r.exists) return ENOENT;
    rel = r.rel;
    return 0;
}

// A path for a new entry: refused names and names that exist in any spelling are turned away.
int fresh(const char *path, std::string &rel) {
    const Resolved r = resolve(path);
    if (r.error) return r.error;
    if (r.exists) return EEXIST;
    rel = r.rel;
    return 0;
}

timespec twoSeconds(timespec t) {
    t.tv_sec -= t.tv_sec & 1;
    t.tv_nsec = 0;
    return t;
}

timespec modified(timespec t) {
    if (!g_tenMsTimes) return twoSeconds(t);
    t.tv_nsec -= t.tv_nsec % 10'000'000;
    return t;
}

void fatStat(struct stat *st) {
    st->st_mtim = modified(st->st_mtim);
    st->st_atim = twoSeconds(st->st_atim);
    st->st_ctim = st->st_mtim;
    st->st_nlink = 1;
    const mode_t write = st->st_mode & S_IWUSR;
    if (S_ISDIR(st->st_mode))
        st->st_mode = S_IFDIR | 0555 | write;
    else
        st->st_mode = S_IFREG | 0444 | write | (st->st_mode & S_IXUSR ? 0111 : 0);
    st->st_uid = ::getuid();
    st->st_gid = ::getgid();
    if (g_movingFolderSizes && S_ISDIR(st->st_mode)) st->st_size = ++g_folderLooks % 2 ? 144 : 0;
}

// A name made by link() shows its own inode number.
void linkInode(const std::string &rel, struct stat *st) {
    const auto it = g_linkInodes.find(rel);
    if (it != g_linkInodes.end()) st->st_ino = it->second;
}

// The numbers of names at or below `from` go with them to `to`.
void renameLinkInodes(const std::string &from, const std::string &to) {
    if (from == to) return;
    std::map<std::string, ino_t> moved;
    for (auto it = g_linkInodes.begin(); it != g_linkInodes.end();) {
        const std::string &k = it->first;
        if (k == to || k.rfind(to + "/", 0) == 0) {
            it = g_linkInodes.erase(it);
        } else if (k == from || k.rfind(from + "/", 0) == 0) {
            moved[to + k.substr(from.size())] = it->second;
            it = g_linkInodes.erase(it);
        } else {
            ++it;
        }
    }
    g_linkInodes.insert(moved.begin(), moved.end());
}

#define PULLED_FAILS                                                                                         \
    if (g_pulled) return -EIO

void *fsInit(fuse_conn_info *, fuse_config *cfg) {
    cfg->use_ino = 1;
    cfg->hard_remove = 1;
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    return nullptr;
}

int fsGetattr(const char *path, struct stat *st, fuse_file_info *fi) {
    std::string rel;
    if (fi) {
        if (::fstat(static_cast<int>(fi->fh), st) != 0) return -errno;
        if (path && existing(path, rel) == 0) linkInode(rel, st);
    } else {
        if (const int e = existing(path, rel)) return -e;
        if (::fstatat(g_root, rel.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) return -errno;
        linkInode(rel, st);
    }
    fatStat(st);
    return 0;
}

int fsAccess(const char *path, int mask) {
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    return ::faccessat(g_root, rel.c_str(), mask, 0) == 0 ? 0 : -errno;
}

int fsReadlink(const char *, char *, size_t) {
    return -EINVAL;
}

int fsMknod(const char *path, mode_t mode, dev_t) {
    if (!S_ISREG(mode)) return -EPERM;
    PULLED_FAILS;
    std::string rel;
    if (const int e = fresh(path, rel)) return -e;
    const int fd = ::openat(g_root, rel.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
    if (fd < 0) return -errno;
    ::close(fd);
    return 0;
}

int fsMkdir(const char *path, mode_t mode) {
    PULLED_FAILS;
    std::string rel;
    if (const int e = fresh(path, rel)) return -e;
    return ::mkdirat(g_root, rel.c_str(), mode & 0777) == 0 ? 0 : -errno;
}

int fsUnlink(const char *path) {
    PULLED_FAILS;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    if (::unlinkat(g_root, rel.c_str(), 0) != 0) return -errno;
    g_linkInodes.erase(rel);
    return 0;
}

int fsRmdir(const char *path) {
    PULLED_FAILS;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    return ::unlinkat(g_root, rel.c_str(), AT_REMOVEDIR) == 0 ? 0 : -errno;
}

int fsNoLinks(const char *, const char *) {
    return -EPERM;
}

int fsLink(const char *from, const char *to) {
    if (!g_links) return -EPERM;
    PULLED_FAILS;
    std::string src, dst;
    if (const int e = existing(from, src)) return -e;
    if (const int e = fresh(to, dst)) return -e;
    if (::linkat(g_root, src.c_str(), g_root, dst.c_str(), 0) != 0) return -errno;
    if (g_newInodeLinks) g_linkInodes[dst] = g_nextLinkInode++;
    return 0;
}

int fsRename(const char *from, const char *to, unsigned int flags) {
    if (flags) { // neither RENAME_NOREPLACE nor RENAME_EXCHANGE
        if (const Resolved dst = resolve(to); g_takenOnRefusal && !dst.error && !dst.exists)
            ::mkdirat(g_root, dst.rel.c_str(), 0755);
        return -EINVAL;
    }
    PULLED_FAILS;
    std::string src;
    if (const int e = existing(from, src)) return -e;
    const Resolved dst = resolve(to);
    if (dst.error) return -dst.error;
    if (::renameat(g_root, src.c_str(), g_root, dst.rel.c_str()) != 0) return -errno;
    renameLinkInodes(src, dst.rel);
    // A target found under another spelling (or the source itself, renamed in case only) takes the new one.
    if (dst.exists && dst.rel.substr(dst.rel.rfind('/') + 1) != dst.given) {
        const size_t slash = dst.rel.rfind('/');
        const std::string asked =
            slash == std::string::npos ? dst.given : dst.rel.substr(0, slash + 1) + dst.given;
        if (::renameat(g_root, dst.rel.c_str(), g_root, asked.c_str()) != 0) return -errno;
        renameLinkInodes(dst.rel, asked);
    }
    return 0;
}

int fsChmod(const char *path, mode_t mode, fuse_file_info *fi) {
    PULLED_FAILS;
    struct stat st;
    if (const int e = fsGetattr(path, &st, fi)) return e;
    // Only the owner's write bit can change; anything else FAT cannot keep.
    if ((mode & 07777 & ~S_IWUSR) != (st.st_mode & 07777 & ~S_IWUSR)) return -EPERM;
    if (fi) return ::fchmod(static_cast<int>(fi->fh), mode & 0777) == 0 ? 0 : -errno;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    return ::fchmodat(g_root, rel.c_str(), mode & 0777, 0) == 0 ? 0 : -errno;
}

int fsChown(const char *, uid_t uid, gid_t gid, fuse_file_info *) {
    PULLED_FAILS;
    // As FAT: only the owner every item shows (the mount's uid=) may be given.
    const bool same = (uid == static_cast<uid_t>(-1) || uid == g_owner) &&
                      (gid == static_cast<gid_t>(-1) || gid == ::getgid());
    return same ? 0 : -EPERM;
}

int fsTruncate(const char *path, off_t size, fuse_file_info *fi) {
    PULLED_FAILS;
    if (size > kMaxFileSize) return -EFBIG;
    if (fi) return ::ftruncate(static_cast<int>(fi->fh), size) == 0 ? 0 : -errno;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    const int fd = ::openat(g_root, rel.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    const int rc = ::ftruncate(fd, size) == 0 ? 0 : -errno;
    ::close(fd);
    return rc;
}

int fsUtimens(const char *path, const timespec tv[2], fuse_file_info *fi) {
    PULLED_FAILS;
    timespec t[2] = {tv[0], tv[1]};
    for (timespec &x : t)
        if (x.tv_nsec != UTIME_NOW && x.tv_nsec != UTIME_OMIT) x = &x == &t[1] ? modified(x) : twoSeconds(x);
    if (fi) return ::futimens(static_cast<int>(fi->fh), t) == 0 ? 0 : -errno;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    return ::utimensat(g_root, rel.c_str(), t, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

int fsOpen(const char *path, fuse_file_info *fi) {
    if (g_pulled && (fi->flags & (O_TRUNC | O_CREAT))) return -EIO;
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    const int fd = ::openat(g_root, rel.c_str(), (fi->flags & ~O_NOFOLLOW) | O_CLOEXEC);
    if (fd < 0) return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int fsCreate(const char *path, mode_t mode, fuse_file_info *fi) {
    PULLED_FAILS;
    const Resolved r = resolve(path);
    if (r.error) return -r.error;
    if (r.exists && (fi->flags & O_EXCL)) return -EEXIST;
    const int fd = ::openat(g_root, r.rel.c_str(), fi->flags | O_CREAT | O_CLOEXEC, mode & 0777);
    if (fd < 0) return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int fsRead(const char *, char *buf, size_t size, off_t off, fuse_file_info *fi) {
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buf, size, off);
    return n < 0 ? -errno : static_cast<int>(n);
}

int fsWrite(const char *, const char *buf, size_t size, off_t off, fuse_file_info *fi) {
    PULLED_FAILS;
    if (off >= kMaxFileSize) return -EFBIG;
    if (static_cast<off_t>(size) > kMaxFileSize - off) size = static_cast<size_t>(kMaxFileSize - off);
    const ssize_t n = ::pwrite(static_cast<int>(fi->fh), buf, size, off);
    return n < 0 ? -errno : static_cast<int>(n);
}

int fsStatfs(const char *, struct statvfs *st) {
    if (::fstatvfs(g_root, st) != 0) return -errno;
    st->f_namemax = 255;
    return 0;
}

int fsFlush(const char *, fuse_file_info *fi) {
    if ((fi->flags & O_ACCMODE) != O_RDONLY) PULLED_FAILS;
    return 0;
}

int fsRelease(const char *, fuse_file_info *fi) {
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int fsFsync(const char *, int datasync, fuse_file_info *fi) {
    PULLED_FAILS;
    const int fd = static_cast<int>(fi->fh);
    return (datasync ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : -errno;
}

int fsSetxattr(const char *, const char *, const char *, size_t, int) {
    return -EOPNOTSUPP;
}

int fsGetxattr(const char *, const char *, char *, size_t) {
    return -EOPNOTSUPP;
}

int fsListxattr(const char *, char *, size_t) {
    return 0;
}

int fsRemovexattr(const char *, const char *) {
    return -EOPNOTSUPP;
}

int fsOpendir(const char *path, fuse_file_info *fi) {
    std::string rel;
    if (const int e = existing(path, rel)) return -e;
    const int fd = ::openat(g_root, rel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -errno;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return -errno;
    }
    fi->fh = reinterpret_cast<uint64_t>(dir);
    return 0;
}

int fsReaddir(const char *path, void *buf, fuse_fill_dir_t fill, off_t, fuse_file_info *fi,
              fuse_readdir_flags) {
    DIR *dir = reinterpret_cast<DIR *>(fi->fh);
    std::string folder;
    if (!g_linkInodes.empty() && existing(path, folder) != 0) folder.clear();
    ::rewinddir(dir);
    while (const dirent *e = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = e->d_ino;
        if (!folder.empty()) linkInode(folder == "." ? e->d_name : folder + "/" + e->d_name, &st);
        st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
        if (fill(buf, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0))) break;
    }
    return 0;
}

int fsReleasedir(const char *, fuse_file_info *fi) {
    ::closedir(reinterpret_cast<DIR *>(fi->fh));
    return 0;
}

int fsFsyncdir(const char *, int, fuse_file_info *) {
    PULLED_FAILS;
    return 0;
}

int fsFallocate(const char *, int mode, off_t off, off_t len, fuse_file_info *fi) {
    if (mode) return -EOPNOTSUPP;
    PULLED_FAILS;
    if (off > kMaxFileSize || len > kMaxFileSize - off) return -EFBIG;
    const int rc = ::posix_fallocate(static_cast<int>(fi->fh), off, len);
    return -rc;
}

} // namespace

int main(int argc, char **argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<char *> args{argv[0]};
    const char *backing = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--enoent-names"))
            g_enoentNames = true;
        else if (!std::strcmp(argv[i], "--links"))
            g_links = true;
        else if (!std::strcmp(argv[i], "--new-inode-links"))
            g_links = g_newInodeLinks = true;
        else if (!std::strcmp(argv[i], "--moving-folder-sizes"))
            g_movingFolderSizes = true;
        else if (!std::strcmp(argv[i], "--taken-on-refusal"))
            g_takenOnRefusal = true;
        else if (!std::strcmp(argv[i], "--ten-ms-times"))
            g_tenMsTimes = true;
        else if (!std::strcmp(argv[i], "--state") && i + 1 < argc)
            g_stateFile = argv[++i];
        else if (!backing && argv[i][0] != '-')
            backing = argv[i];
        else {
            if (!std::strncmp(argv[i], "uid=", 4)) g_owner = uid_t(std::strtoul(argv[i] + 4, nullptr, 10));
            args.push_back(argv[i]);
        }
    }
    if (!backing) {
        std::fputs(
            "usage: kestrin-fatfuse [--enoent-names] [--links] [--new-inode-links] "
            "[--moving-folder-sizes] [--taken-on-refusal] [--ten-ms-times] [--state FILE] BACKING MOUNTPOINT "
            "[fuse options]\n",
            stderr);
        return 2;
    }
    g_root = ::open(backing, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_root < 0) {
        std::perror(backing);
        return 1;
    }
    ::umask(0);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &sa, nullptr);
    ::sigaction(SIGUSR2, &sa, nullptr);
    writeState('0');

    fuse_operations ops{};
    ops.init = fsInit;
    ops.getattr = fsGetattr;
    ops.access = fsAccess;
    ops.readlink = fsReadlink;
    ops.mknod = fsMknod;
    ops.mkdir = fsMkdir;
    ops.unlink = fsUnlink;
    ops.rmdir = fsRmdir;
    ops.symlink = fsNoLinks;
    ops.link = fsLink;
    ops.rename = fsRename;
    ops.chmod = fsChmod;
    ops.chown = fsChown;
    ops.truncate = fsTruncate;
    ops.utimens = fsUtimens;
    ops.open = fsOpen;
    ops.create = fsCreate;
    ops.read = fsRead;
    ops.write = fsWrite;
    ops.statfs = fsStatfs;
    ops.flush = fsFlush;
    ops.release = fsRelease;
    ops.fsync = fsFsync;
    ops.setxattr = fsSetxattr;
    ops.getxattr = fsGetxattr;
    ops.listxattr = fsListxattr;
    ops.removexattr = fsRemovexattr;
    ops.opendir = fsOpendir;
    ops.readdir = fsReaddir;
    ops.releasedir = fsReleasedir;
    ops.fsyncdir = fsFsyncdir;
    ops.fallocate = fsFallocate;
    args.push_back(const_cast<char *>("-s")); // one thread: libfuse 3.14 warns about its threads' default
    args.push_back(nullptr);
    return fuse_main(static_cast<int>(args.size()) - 1, args.data(), &ops, nullptr);
}
