#include "core/filesteps/PathBytes.h"

#include "platform/Posix.h"

#include <cerrno>

namespace FileSteps {

namespace {

bool usable(const QByteArray &bytes) {
    return !bytes.isEmpty() && !bytes.contains('\0');
}

} // namespace

PathBytes::PathBytes(const QString &path) {
    auto bytes = Posix::encode(path);
    if (!bytes || !usable(*bytes)) throw FileError::fromErrno(EILSEQ);
    bytes_ = std::move(*bytes);
}

PathBytes::PathBytes(const QByteArray &bytes) : bytes_(bytes) {
    if (!usable(bytes_)) throw FileError::fromErrno(EILSEQ);
}

std::optional<PathBytes> PathBytes::of(const QString &path) {
    auto bytes = Posix::encode(path);
    if (!bytes || !usable(*bytes)) return std::nullopt;
    return PathBytes(std::move(*bytes), Checked{});
}

QString PathBytes::text() const {
    return Posix::shown(bytes_);
}

PathBytes PathBytes::parent() const {
    const qsizetype slash = bytes_.lastIndexOf('/');
    if (slash < 0) return PathBytes(QByteArrayLiteral("."), Checked{});
    return PathBytes(slash == 0 ? QByteArrayLiteral("/") : bytes_.left(slash), Checked{});
}

QByteArray PathBytes::name() const {
    return bytes_.mid(bytes_.lastIndexOf('/') + 1);
}

PathBytes PathBytes::child(const QByteArray &name) const {
    if (name.isEmpty() || name.contains('/') || name.contains('\0')) throw FileError::fromErrno(EINVAL);
    return PathBytes(bytes_.endsWith('/') ? bytes_ + name : bytes_ + '/' + name, Checked{});
}

} // namespace FileSteps
