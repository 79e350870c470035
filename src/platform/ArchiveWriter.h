#pragma once

// Writes an archive (through libarchive) into a file we opened, entry by entry from what the caller
// already opened itself: nothing here looks up a path.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include <sys/stat.h>

struct archive;

class ArchiveWriter {
public:
    // What libarchive calls the format, the compression filter (empty for none) and its options, e.g.
    // "paxr", "gzip", "gzip:compression-level=1".
    struct Setup {
        QByteArray format, filter, options;
        friend bool operator==(const Setup &, const Setup &) = default;
    };

    // Writes to `fd` (left open). Names are taken as UTF-8 whatever the program's locale. Made, used and
    // ended on one thread.
    ArchiveWriter(int fd, const Setup &setup);
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter &) = delete;
    ArchiveWriter &operator=(const ArchiveWriter &) = delete;

    // Why the archive can't be written; nothing while all went well.
    std::optional<QString> error() const { return m_error; }
    // errno of the failure where the system gave one.
    int errorCode() const { return m_errno; }

    // One entry named `relative` with the stat `st`: a file's content read from `fd`, a folder's and a
    // file's attributes from it too (fd -1: none); a link with its target. `cancelled` is asked between
    // pieces. False on failure (see error()) or cancel.
    bool add(const QByteArray &relative, const struct stat &st, int fd, const QByteArray &linkTarget,
             const std::function<bool()> &cancelled);
    // Ends the archive; false on failure.
    bool finish();
    // Gives the archive up: nothing more is compressed or written to end it.
    void abandon();

private:
    bool fail(int code = 0);
    archive *m_archive = nullptr;
    void *m_disk = nullptr; // looks up owner names
    void *m_locale = nullptr, *m_oldLocale = nullptr;
    std::optional<QString> m_error;
    int m_errno = 0;
    bool m_xattrs = false;
};
