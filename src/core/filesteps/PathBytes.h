#pragma once

// A path as the system is given it: bytes, never empty, without a NUL. Every step takes its paths as
// this, so text that cannot be named to the system is refused where the step is called, before it
// touches anything, and never passed on as an empty path.

#include "core/filesteps/StepTypes.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace FileSteps {

class PathBytes {
public:
    // Throw a FileError (EILSEQ) for text that cannot be encoded, and for empty bytes or a NUL in them.
    PathBytes(const QString &path);     // NOLINT(google-explicit-constructor): text and bytes alike
    PathBytes(const QByteArray &bytes); // NOLINT(google-explicit-constructor)
    // Without throwing: nullopt where the constructor would throw.
    static std::optional<PathBytes> of(const QString &path);

    const QByteArray &bytes() const { return bytes_; }
    const char *c_str() const { return bytes_.constData(); }
    // For messages and for callers that hold text: the name shown, never another (real) name.
    QString text() const;
    // The folder it is in ("/" at the top), and the name in that folder.
    PathBytes parent() const;
    QByteArray name() const;
    // `name` (one component) in this folder.
    PathBytes child(const QByteArray &name) const;

    friend bool operator==(const PathBytes &, const PathBytes &) = default;

private:
    struct Checked {};
    PathBytes(QByteArray bytes, Checked) : bytes_(std::move(bytes)) {}
    QByteArray bytes_;
};

inline size_t qHash(const PathBytes &p, size_t seed = 0) {
    return qHash(p.bytes(), seed);
}

} // namespace FileSteps
