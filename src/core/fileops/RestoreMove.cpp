#include "core/fileops/RestoreMove.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TransferProgress.h"
#include "core/fileops/TrashMemory.h"
#include "core/fileops/TreeWalk.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace Restore {

QStringList normalized(const QStringList &paths) {
    QStringList out;
    out.reserve(paths.size());
    for (const QString &p : paths)
        out << QDir::cleanPath(p);
    return out;
}

bool exists(const QString &path) {
    struct stat st;
    return Posix::lstatPath(path, st);
}

bool isFolder(const QString &path) {
    struct stat st;
    return Posix::statPath(path, st) && S_ISDIR(st.st_mode);
}

QString name(const QString &path) {
    return Posix::lastComponent(path);
}

QString folder(const QString &path) {
    return Posix::parentOf(path);
}

std::optional<FileError> moveItem(const QString &from, const QString &to, TransferProgress &progress) {
    const int e = FileOps::detail::renameNoReplace(from, to);
    if (e == 0) return std::nullopt;
    if (e != EXDEV) return FileError::fromErrno(e);
    try {
        FileOps::detail::moveAcross(from, to, progress);
    } catch (const FileError &error) {
        return error;
    } catch (const CopyFailure &failure) {
        return failure.underlying;
    }
    return std::nullopt;
}

Placed moveToFreeName(const QString &from, const QString &folder, const QString &wanted,
                      TransferProgress &progress) {
    // A name taken between the look and the move is tried again with the next free one.
    for (int attempt = 0;; ++attempt) {
        const QString target = FileOps::uniqueURL(wanted, folder);
        auto error = moveItem(from, target, progress);
        if (!error) return {target, std::nullopt};
        if (error->code != EEXIST || attempt >= 20) return {QString(), error};
    }
}

QString message(const FileError &error, const QString &name) {
    // Our own sentences (a copy that differs, an original that stayed) are shown as they are.
    if (!error.description.isEmpty() && error.description != FileError::fromErrno(error.code).description)
        return error.description;
    return FileOps::explain(error, name);
}

std::optional<QString> trashInfoOrigin(const QString &inTrash) {
    const auto info = readTrashInfo(inTrash);
    return info ? std::optional<QString>(info->original) : std::nullopt;
}

std::optional<TrashInfo> readTrashInfo(const QString &inTrash) {
    const QString infoPath = Trash::infoFileFor(inTrash);
    if (infoPath.isEmpty()) return std::nullopt;
    QFile file(infoPath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    bool inGroup = false;
    QByteArray path;
    QDateTime deleted;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(64 * 1024).trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
        } else if (inGroup && line.startsWith("Path=") && path.isEmpty()) {
            path = QByteArray::fromPercentEncoding(line.mid(5));
        } else if (inGroup && line.startsWith("DeletionDate=")) {
            deleted = QDateTime::fromString(QString::fromLatin1(line.mid(13)), Qt::ISODate);
        }
    }
    if (path.isEmpty() || path.contains('\0')) return std::nullopt;
    const std::optional<QString> decoded = Posix::decode(path);
    if (!decoded) return std::nullopt;
    QString original = *decoded;
    if (!original.startsWith(u'/')) {
        // Relative to the top folder of the volume whose Trash holds the item.
        const QString root = TrashRoots::containing(inTrash);
        QString top;
        if (root.section(u'/', -1).startsWith(QLatin1String(".Trash-")))
            top = folder(root);
        else if (root.section(u'/', -2, -2) == u".Trash")
            top = folder(folder(root));
        else
            top = Volumes::mountPointOf(root);
        if (top.isEmpty()) return std::nullopt;
        original = top + u'/' + original;
    }
    original = QDir::cleanPath(original); // "." and ".." resolved by text
    if (original == u"/") return std::nullopt;
    return TrashInfo{original, deleted};
}

void forgetTrashed(const QString &inTrash) {
    TrashMemory::forget(inTrash);
    const QString info = Trash::infoFileFor(inTrash);
    if (info.isEmpty()) return;
    if (const auto bytes = Posix::encode(info)) ::unlink(bytes->constData());
}

} // namespace Restore
