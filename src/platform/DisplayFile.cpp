#include "platform/DisplayFile.h"

#include "platform/Posix.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace Posix {

DisplayFile::DisplayFile(const QString &path, bool followLinks) {
    const auto bytes = encode(path);
    if (!bytes) {
        m_error = EILSEQ;
        return;
    }
    open(bytes->constData(), followLinks);
}

DisplayFile::DisplayFile(const QByteArray &path, bool followLinks) {
    if (path.contains('\0')) {
        m_error = EILSEQ;
        return;
    }
    open(path.constData(), followLinks);
}

void DisplayFile::open(const char *path, bool followLinks) {
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLinks ? 0 : O_NOFOLLOW);
    const int fd = retry([&] { return ::open(path, flags); });
    if (fd < 0) {
        m_error = errno;
        return;
    }
    if (::fstat(fd, &m_st) != 0 || !S_ISREG(m_st.st_mode)) {
        m_error = S_ISREG(m_st.st_mode) ? errno : EINVAL;
        ::close(fd);
        m_st = {};
        return;
    }
    m_fd = fd;
}

DisplayFile::~DisplayFile() {
    if (m_fd >= 0) ::close(m_fd);
}

DisplayFile::DisplayFile(DisplayFile &&o) noexcept : m_fd(o.m_fd), m_error(o.m_error), m_st(o.m_st) {
    o.m_fd = -1;
}

DisplayFile &DisplayFile::operator=(DisplayFile &&o) noexcept {
    if (this != &o) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = o.m_fd;
        m_error = o.m_error;
        m_st = o.m_st;
        o.m_fd = -1;
    }
    return *this;
}

QByteArray DisplayFile::read(qint64 max, qint64 offset) const {
    QByteArray out;
    if (m_fd < 0 || max <= 0 || offset < 0) return out;
    // Never more than the file holds now, so a huge limit allocates nothing.
    const qint64 want = std::min<qint64>(max, std::max<qint64>(0, size() - offset) + 1);
    out.resize(want);
    qint64 got = 0;
    while (got < want) {
        const ssize_t n =
            retry([&] { return ::pread(m_fd, out.data() + got, size_t(want - got), offset + got); });
        if (n <= 0) break;
        got += n;
    }
    out.truncate(got);
    return out;
}

std::optional<QByteArray> readForDisplay(const QString &path, qint64 max, bool followLinks) {
    const DisplayFile file(path, followLinks);
    if (!file.isOpen()) return std::nullopt;
    return file.read(max);
}

} // namespace Posix
