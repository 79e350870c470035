// kestrin-unpack: unpacks an archive into the current folder, as bsdtar -x does with the same options, but
// with every name made exactly as the archive stores it. libarchive composes the Unicode of every name it
// reads as UTF-8; its entries are paired here with the names we read ourselves, and a stored name is taken
// only where its composed form is libarchive's name, so a misread name falls back and never misnames.
//
//   kestrin-unpack -xf ARCHIVE|- [--same-permissions|--no-same-permissions] [--no-same-owner]
//                  [--no-xattrs] [--no-acls] [--no-fflags]

#include "platform/ArchiveNames.h"
#include "platform/SevenZipNames.h"

#include <QHash>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>

#include <fcntl.h>
#include <unistd.h>

using ArchiveNames::composed;
using ArchiveNames::Stored;

namespace {

void warn(const char *text) {
    std::fprintf(stderr, "kestrin-unpack: %s\n", text ? text : "Unknown error");
}

// The stored names not yet taken, by their composed form, each in the archive's order.
class StoredNames {
public:
    void add(const QList<Stored> &entries) {
        for (const Stored &s : entries)
            if (!s.name.contains('\0') && !s.link.contains('\0')) m_byKey[composed(s.name)].push_back(s);
    }
    // Puts the stored name and link target in place of libarchive's where they are theirs.
    void restore(archive_entry *entry) {
        const char *name = archive_entry_pathname(entry);
        if (!name) return;
        const auto at = m_byKey.find(QByteArray(name));
        if (at == m_byKey.end() || at->empty()) return;
        const Stored stored = at->front();
        at->pop_front();
        archive_entry_copy_pathname(entry, stored.name.constData());
        for (const bool hard : {true, false}) {
            const char *link = hard ? archive_entry_hardlink(entry) : archive_entry_symlink(entry);
            if (!link || stored.link.isEmpty() || composed(stored.link) != QByteArray(link)) continue;
            if (hard)
                archive_entry_copy_hardlink(entry, stored.link.constData());
            else
                archive_entry_copy_symlink(entry, stored.link.constData());
        }
    }

private:
    QHash<QByteArray, std::deque<Stored>> m_byKey;
};

// A tar stream read from a pipe, followed by our own reader of its headers as libarchive reads it.
struct Stream {
    int fd = -1;
    ArchiveNames::TarFollower follower;
    StoredNames *names = nullptr;
    char buffer[64 * 1024];
};

la_ssize_t readStream(archive *a, void *data, const void **out) {
    auto *s = static_cast<Stream *>(data);
    for (;;) {
        const ssize_t n = ::read(s->fd, s->buffer, sizeof s->buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            archive_set_error(a, errno, "Read error");
            return -1;
        }
        s->follower.feed(QByteArrayView(s->buffer, n));
        s->names->add(s->follower.take());
        *out = s->buffer;
        return n;
    }
}

// Leading slashes go, as bsdtar takes them off without -P; a name with a ".." element is refused by the
// writer.
bool edit(archive_entry *entry) {
    const auto stripped = [](const char *name) {
        while (*name == '/')
            ++name;
        return name;
    };
    const char *name = archive_entry_pathname(entry);
    if (!name) return false;
    if (const char *link = archive_entry_hardlink(entry); link && stripped(link) != link) {
        const QByteArray kept(stripped(link));
        if (kept.isEmpty()) return false;
        archive_entry_copy_hardlink(entry, kept.constData());
    }
    if (stripped(name) != name) {
        const QByteArray kept(stripped(name));
        if (kept.isEmpty()) return false;
        archive_entry_copy_pathname(entry, kept.constData());
    }
    return *archive_entry_pathname(entry) != '\0';
}

int usage() {
    std::fputs("usage: kestrin-unpack -xf ARCHIVE|- [--same-permissions|--no-same-permissions]\n"
               "                      [--no-same-owner] [--no-xattrs] [--no-acls] [--no-fflags]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    // Names are UTF-8 whatever the locale we were started in.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const char *path = nullptr;
    bool keepModes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-xf") == 0 && i + 1 < argc)
            path = argv[++i];
        else if (std::strcmp(argv[i], "--same-permissions") == 0)
            keepModes = true;
        else if (std::strcmp(argv[i], "--no-same-permissions") == 0)
            keepModes = false;
        else if (std::strcmp(argv[i], "--no-same-owner") != 0 && std::strcmp(argv[i], "--no-xattrs") != 0 &&
                 std::strcmp(argv[i], "--no-acls") != 0 && std::strcmp(argv[i], "--no-fflags") != 0)
            return usage();
    }
    if (!path) return usage();

    const bool fromPipe = std::strcmp(path, "-") == 0;
    const int fd = fromPipe ? 0 : ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        std::fprintf(stderr, "kestrin-unpack: Error opening archive: Failed to open '%s': %s\n", path,
                     std::strerror(errno));
        return 1;
    }
    StoredNames names;
    Stream stream;
    stream.fd = fd;
    stream.names = &names;
    archive *a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    int r;
    if (fromPipe) {
        r = archive_read_open(a, &stream, nullptr, readStream, nullptr);
    } else {
        // A file's names are read first, where they lie; libarchive may seek in it.
        char magic[6] = {};
        const bool read = ::pread(fd, magic, sizeof magic, 0) == ssize_t(sizeof magic);
        if (read && std::memcmp(magic, "PK", 2) == 0) {
            if (const auto stored = ArchiveNames::zip(fd)) names.add(*stored);
        } else if (read && std::memcmp(magic, "7z\xbc\xaf\x27\x1c", 6) == 0) {
            if (const auto plain = SevenZipNames::read(fd))
                for (const QByteArray &name : *plain)
                    names.add({Stored{name, {}}});
        } else {
            names.add(ArchiveNames::tar(fd, qint64(256) << 20));
        }
        r = archive_read_open_fd(a, fd, 10240);
    }
    if (r != ARCHIVE_OK) {
        std::fprintf(stderr, "kestrin-unpack: Error opening archive: %s\n", archive_error_string(a));
        archive_read_free(a);
        return 1;
    }

    // As bsdtar unpacks without -P: never through a link, never with "..", never an absolute name; our
    // own owner, no attributes, ACLs or file flags.
    archive *disk = archive_write_disk_new();
    archive_write_disk_set_options(
        disk, ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                  ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS | (keepModes ? ARCHIVE_EXTRACT_PERM : 0));
    int status = 0;
    for (;;) {
        archive_entry *entry = nullptr;
        r = archive_read_next_header(a, &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_OK) warn(archive_error_string(a));
        if (r <= ARCHIVE_WARN) status = 1;
        if (r == ARCHIVE_RETRY) {
            warn("Retrying...");
            continue;
        }
        if (r == ARCHIVE_FATAL) break;
        names.restore(entry);
        if (!edit(entry)) continue;
        r = archive_read_extract2(a, entry, disk);
        if (r != ARCHIVE_OK) {
            std::fprintf(stderr, "kestrin-unpack: %s: %s\n", archive_entry_pathname(entry),
                         archive_error_string(a) ? archive_error_string(a) : "Unknown error");
            status = 1;
        }
        if (r == ARCHIVE_FATAL) break;
    }
    // Folders get their modes and times now, after their contents.
    if (archive_write_close(disk) != ARCHIVE_OK) {
        warn(archive_error_string(disk));
        status = 1;
    }
    archive_write_free(disk);
    if (archive_read_close(a) != ARCHIVE_OK) {
        warn(archive_error_string(a));
        status = 1;
    }
    archive_read_free(a);
    return status;
}
