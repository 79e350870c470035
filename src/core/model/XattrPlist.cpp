#include "core/model/XattrPlist.h"

#include "platform/Plist.h"
#include "platform/Workspace.h"
#include "platform/Xattr.h"

#include <QStringDecoder>
#include <cerrno>

namespace FileOps {

namespace {

const QString kCommentMirror = QStringLiteral("user.xdg.comment");
const qsizetype kMaxMirrorBytes = 64 * 1024;

// Plain UTF-8 text as other programs write the mirror; NUL and other control characters (line breaks and
// tabs aside) mark a value that is no comment.
std::optional<QString> mirrorText(const QByteArray &bytes) {
    if (bytes.size() > kMaxMirrorBytes) return std::nullopt;
    for (const char c : bytes)
        if ((uchar(c) < 0x20 && c != '\n' && c != '\r' && c != '\t') || c == 0x7f) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    return text;
}

} // namespace

const QString &commentXattr() {
    static const QString name = QStringLiteral("com.apple.metadata:kMDItemFinderComment");
    return name;
}

const QString &openWithXattr() {
    static const QString name = QStringLiteral("com.apple.LaunchServices.OpenWith");
    return name;
}

std::optional<QVariant> readXattrPlist(const QString &name, const QString &path) {
    const Xattr::Result r = Xattr::get(path, Xattr::userName(name));
    if (r.status != Xattr::Status::ok || r.value.isEmpty()) return std::nullopt;
    return Plist::parse(r.value);
}

int writeXattrPlist(const std::optional<QVariant> &value, const QString &name, const QString &path) {
    if (!value) return Xattr::remove(path, Xattr::userName(name));
    const QByteArray bytes = Plist::toBinary(*value);
    if (bytes.isEmpty()) return EINVAL;
    return Xattr::set(path, Xattr::userName(name), bytes);
}

QString comment(const QString &path) {
    const Xattr::Result r = Xattr::get(path, kCommentMirror);
    const std::optional<QString> mirror =
        r.status == Xattr::Status::ok ? mirrorText(r.value) : std::optional<QString>();
    if (const auto value = readXattrPlist(commentXattr(), path)) {
        if (value->typeId() != QMetaType::QString) return {};
        // Other programs change only the mirror: one that differs from our text, or is gone, is theirs.
        if (r.status == Xattr::Status::absent) return {};
        return mirror.value_or(value->toString());
    }
    return mirror.value_or(QString());
}

int setComment(const QString &text, const QString &path, int folder) {
    const QString attr = Xattr::userName(commentXattr());
    if (text.isEmpty()) return Xattr::setBoth(path, attr, std::nullopt, kCommentMirror, std::nullopt, folder);
    const QByteArray bytes = Plist::toBinary(text);
    if (bytes.isEmpty()) return EINVAL;
    return Xattr::setBoth(path, attr, bytes, kCommentMirror, text.toUtf8(), folder);
}

std::optional<QString> openWithOverride(const QString &path) {
    const auto value = readXattrPlist(openWithXattr(), path);
    if (!value || value->typeId() != QMetaType::QVariantMap) return std::nullopt;
    const QVariant app = value->toMap().value(QStringLiteral("path"));
    if (app.typeId() != QMetaType::QString) return std::nullopt;
    return app.toString();
}

int setOpenWithOverride(const std::optional<QString> &appPath, const QString &path) {
    if (!appPath) return writeXattrPlist(std::nullopt, openWithXattr(), path);
    const QVariantMap entry{{QStringLiteral("bundleidentifier"), Workspace::desktopId(*appPath)},
                            {QStringLiteral("path"), *appPath},
                            {QStringLiteral("version"), 0}};
    return writeXattrPlist(entry, openWithXattr(), path);
}

} // namespace FileOps
