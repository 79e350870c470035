// A disk for tests that fails on a signal: serves the file BACKING as MOUNTPOINT/disk (for a loop
// device), every write and flush going straight to it; after SIGUSR1 each write and flush fails with EIO,
// after SIGUSR2 they work again. What reached the file before the failure is what the disk holds.
//   kestrin-failing-disk BACKING MOUNTPOINT
#define FUSE_USE_VERSION 35
#include <fuse3/fuse.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int backing = -1;
std::atomic<bool> failing{false};

int getattr(const char *path, struct stat *st, fuse_file_info *) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, "/disk") != 0) return -ENOENT;
    struct stat b;
    if (::fstat(backing, &b) != 0) return -errno;
    st->st_mode = S_IFREG | 0600;
    st->st_nlink = 1;
    st->st_size = b.st_size;
    return 0;
}

int readdir(const char *, void *buf, fuse_fill_dir_t fill, off_t, fuse_file_info *, fuse_readdir_flags) {
    fill(buf, ".", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buf, "..", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buf, "disk", nullptr, 0, fuse_fill_dir_flags(0));
    return 0;
}

int open(const char *path, fuse_file_info *fi) {
    if (std::strcmp(path, "/disk") != 0) return -ENOENT;
    fi->direct_io = 1; // no cache of its own between the loop device and the file
    return 0;
}

int read(const char *, char *buf, size_t size, off_t at, fuse_file_info *) {
    const ssize_t n = ::pread(backing, buf, size, at);
    return n < 0 ? -errno : int(n);
}

int write(const char *, const char *buf, size_t size, off_t at, fuse_file_info *) {
    if (failing) return -EIO;
    const ssize_t n = ::pwrite(backing, buf, size, at);
    return n < 0 ? -errno : int(n);
}

int flush(const char *, fuse_file_info *) {
    return failing ? -EIO : 0;
}

int fsync(const char *, int, fuse_file_info *) {
    return failing ? -EIO : 0;
}

void onSignal(int sig) {
    failing = sig == SIGUSR1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    backing = ::open(argv[1], O_RDWR | O_CLOEXEC);
    if (backing < 0) return 2;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigaction(SIGUSR1, &sa, nullptr);
    ::sigaction(SIGUSR2, &sa, nullptr);
    fuse_operations ops{};
    ops.getattr = getattr;
    ops.readdir = readdir;
    ops.open = open;
    ops.read = read;
    ops.write = write;
    ops.flush = flush;
    ops.fsync = fsync;
    char *args[] = {argv[0], const_cast<char *>("-f"), const_cast<char *>("-s"), argv[2], nullptr};
    return fuse_main(4, args, &ops, nullptr);
}
