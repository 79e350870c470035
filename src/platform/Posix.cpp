#include "platform/Posix.h"

#include <cstring>

#include <unistd.h>

namespace Posix {

std::optional<QByteArray> encode(const QString &path) {
    QByteArray bytes = path.toUtf8();
    if (bytes.contains('\0') || QString::fromUtf8(bytes) != path) return std::nullopt;
    return bytes;
}

std::optional<QString> decode(const char *bytes, qsizetype len) {
    QString s = QString::fromUtf8(bytes, len);
    const QByteArray back = s.toUtf8();
    if (back.size() != len || std::memcmp(back.constData(), bytes, size_t(len)) != 0) return std::nullopt;
    return s;
}

bool lstatPath(const QString &path, struct stat &st) {
    const auto p = encode(path);
    return p && ::lstat(p->constData(), &st) == 0;
}

bool statPath(const QString &path, struct stat &st) {
    const auto p = encode(path);
    return p && ::stat(p->constData(), &st) == 0;
}

int lstatError(const QString &path, struct stat &st) {
    const auto p = encode(path);
    if (!p) return EILSEQ;
    return ::lstat(p->constData(), &st) == 0 ? 0 : errno;
}

QString lastComponent(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString parentOf(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString childPath(const QString &folder, const QString &name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool isAtOrBelow(const QString &path, const QString &folder) {
    return path == folder ||
           (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == u'/');
}

QString errorText(int err) {
    char buf[256];
    // GNU strerror_r returns the text, which need not be in buf.
    return QString::fromLocal8Bit(::strerror_r(err, buf, sizeof buf));
}

int writeAll(int fd, const char *data, qint64 n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return EIO;
        data += w;
        n -= w;
    }
    return 0;
}

QString errorName(int err) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char *name = strerrorname_np(err)) return QString::fromLatin1(name);
#endif
    return QStringLiteral("E%1").arg(err);
}

} // namespace Posix
