#include "platform/Posix.h"

#include <cstring>

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

QString errorName(int err) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char *name = strerrorname_np(err)) return QString::fromLatin1(name);
#endif
    return QStringLiteral("E%1").arg(err);
}

} // namespace Posix
