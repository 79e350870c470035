#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

#include <sys/stat.h>

// Directory reading in large batches (getdents64) and one statx per entry.
namespace DirReader {

struct Entry {
    uint32_t offset; // into Batch::names, NUL-terminated
    uint16_t length;
    unsigned char type; // d_type (DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN ...)
};

struct Batch {
    std::vector<char> names;
    std::vector<Entry> entries;
    const char *name(const Entry &e) const { return names.data() + e.offset; }
};

// Owns a directory descriptor; never follows a link at the last component when noFollow is set.
class Dir {
public:
    Dir() = default;
    explicit Dir(const QByteArray &path, bool noFollow = false);
    Dir(int parentFd, const char *name); // child of an open folder, links never followed
    ~Dir();
    Dir(const Dir &) = delete;
    Dir &operator=(const Dir &) = delete;
    Dir(Dir &&o) noexcept : m_fd(o.m_fd), m_error(o.m_error) { o.m_fd = -1; }

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int error() const { return m_error; } // errno of the failed open or read

    // Appends every entry but "." and ".." to batch. False on a read error (error() tells).
    bool readAll(Batch &batch);

private:
    int m_fd = -1;
    int m_error = 0;
};

struct Stat {
    uint32_t mode = 0; // S_IFMT and permission bits
    int64_t size = 0;
    int64_t mtimeSec = 0;
    uint32_t mtimeNsec = 0;
    int64_t btimeSec = 0;
    uint32_t btimeNsec = 0;
    int64_t atimeSec = 0;
    uint32_t atimeNsec = 0;
    uint32_t uid = 0;
    uint32_t gid = 0;
    uint64_t dev = 0, ino = 0; // ino 0: not told
    bool hasMtime = false;
    bool hasBtime = false;
    bool hasAtime = false;
    bool isDir() const { return S_ISDIR(mode); }
    bool isReg() const { return S_ISREG(mode); }
    bool isLink() const { return S_ISLNK(mode); }
    // The times in milliseconds since the epoch.
    int64_t mtimeMs() const { return mtimeSec * 1000 + mtimeNsec / 1000000; }
    int64_t btimeMs() const { return btimeSec * 1000 + btimeNsec / 1000000; }
    int64_t atimeMs() const { return atimeSec * 1000 + atimeNsec / 1000000; }
};

// statx relative to a folder descriptor (AT_FDCWD for absolute paths); 0 or an errno.
int statAt(int dirFd, const char *name, bool follow, Stat &out);
int statPath(const QByteArray &path, bool follow, Stat &out);
// The same for a path in text; false on failure, also for a name the system cannot be given.
bool statOf(const QString &path, bool follow, Stat &out);

} // namespace DirReader
