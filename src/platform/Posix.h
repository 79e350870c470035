#pragma once

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <optional>

// The one place where paths turn into bytes for system calls and back.
namespace Posix {

// The bytes of a path; nullopt when it does not survive the round trip (a lone surrogate, say).
std::optional<QByteArray> encode(const QString &path);
// A name read from the file system; nullopt when its bytes are not valid UTF-8 and so cannot be shown
// without turning into another name.
std::optional<QString> decode(const char *bytes, qsizetype len);
inline std::optional<QString> decode(const QByteArray &b) {
    return decode(b.constData(), b.size());
}

// The symbolic name of an errno value ("ENOENT"); "E<number>" for unknown ones.
QString errorName(int err);

// Runs a system call again while it fails with EINTR.
template <typename F> auto retry(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

} // namespace Posix
