#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

// The one way files are read to show their content (thumbnails, icons, previews, facts).
namespace Posix {

// A file opened to show its content (thumbnails, icons, previews, facts): opened with O_NONBLOCK, so that a
// FIFO or a device never blocks the reader, and O_NOFOLLOW unless links are wanted; kept open only when the
// descriptor itself is a regular file, so a name swapped for something else after a look is never read.
class DisplayFile {
public:
    DisplayFile() = default;
    explicit DisplayFile(const QString &path, bool followLinks = false);
    explicit DisplayFile(const QByteArray &path, bool followLinks = false);
    ~DisplayFile();
    DisplayFile(const DisplayFile &) = delete;
    DisplayFile &operator=(const DisplayFile &) = delete;
    DisplayFile(DisplayFile &&o) noexcept;
    DisplayFile &operator=(DisplayFile &&o) noexcept;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // errno of the failed open; EINVAL when the item is no regular file.
    int error() const { return m_error; }
    // The descriptor's own stat (valid when open).
    const struct stat &status() const { return m_st; }
    qint64 size() const { return qint64(m_st.st_size); }
    // At most max bytes from offset (short only at the end of the file or on an error).
    QByteArray read(qint64 max, qint64 offset = 0) const;

private:
    void open(const char *path, bool followLinks);
    int m_fd = -1;
    int m_error = 0;
    struct stat m_st {};
};

// The first max bytes of a regular file for showing; nothing when path is no regular file (or a link).
std::optional<QByteArray> readForDisplay(const QString &path, qint64 max, bool followLinks = false);

} // namespace Posix
