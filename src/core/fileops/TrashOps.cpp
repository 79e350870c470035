#include "core/fileops/FileOps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/TransferJournal.h"
#include "core/fileops/RestoreMove.h"
#include "core/model/FileLoader.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "platform/FileFlags.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <cerrno>

#include <unistd.h>

namespace FileOps {

namespace {

// Item by item over a list; false when the job was cancelled before item i.
template <typename Name> bool step(TransferProgress *progress, qsizetype i, qsizetype count, Name name) {
    if (!progress) return true;
    if (i == 0)
        progress->setTotal(count, count);
    else
        progress->add(1);
    if (progress->isCancelled()) return false;
    progress->setItem(i + 1, name());
    return true;
}

void last(TransferProgress *progress, qsizetype count) {
    if (progress && count > 0) progress->add(1);
}

// The folder of an item as a pane listed it; one no pane listed, through the user's own links only.
FileSteps::HeldFolder holdListed(const ShownItem &item, const FileSteps::PathBytes &bytes) {
    return item.folder.known() ? FileSteps::HeldFolder::ofShown(item)
                               : Restore::holdOrigin(bytes.parent().text());
}

} // namespace

// clang-format off
constexpr const char *lockedTrashText = K("„%@“ ist geschützt und lässt sich nicht in den Papierkorb legen. Schalte in seinen Informationen „Geschützt“ aus und versuche es dann noch einmal.");
// clang-format on

TrashResult trash(const QList<ShownItem> &items, TransferProgress *progress) {
    TrashResult result;
    QList<QPair<QString, QString>> remembered;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const ShownItem &item = items[i];
        // As the panes name it: a folder given as "…/name/" (another program's drop) is "…/name".
        const QString path = FileLoader::norm(item.path);
        const QString name = Posix::lastComponent(path);
        if (!step(progress, i, items.size(), [&] { return name; })) {
            result.cancelled = true;
            break;
        }
        Trash::Result r;
        try {
            const FileSteps::PathBytes bytes(path);
            const FileSteps::HeldFolder folder = holdListed(item, bytes);
            folder.expect(bytes.name(), item.item, name);
            r = FileSteps::Journal::trashRecorded(folder.fd(), bytes.name(), path);
        } catch (const FileError &e) {
            result.errors << (e.code == ESTALE ? e.description : explain(e, name));
            continue;
        }
        switch (r.status) {
        case Trash::Status::moved:
            ++result.done;
            result.moved << TrashedPair{path, r.inTrash};
            remembered << qMakePair(path, r.inTrash);
            break;
        case Trash::Status::noTrash:
            result.noTrash << path;
            break;
        case Trash::Status::failed:
            // A locked item is refused to everyone, administrators too: the way out is the lock itself.
            if (r.partOfTrash)
                result.errors << FileSteps::partOfTrashText(name);
            else if (r.err == EPERM && FileFlags::immutable(path).value_or(false))
                result.errors << LF(lockedTrashText, name);
            else
                result.errors << explain(FileError::fromErrno(r.err), name);
            break;
        }
    }
    if (!result.cancelled) last(progress, items.size());
    TrashMemory::rememberAll(remembered);
    return result;
}

QList<ShownItem> unlisted(const QStringList &paths) {
    QList<ShownItem> out;
    for (const QString &p : paths)
        out << ShownItem{p, {}, {}};
    return out;
}

namespace {

// One item for good, with its .trashinfo when it lay in a Trash. 0 or errno; EXDEV where something is
// mounted inside (`mount`, relative to the item's folder): that stays, and the item with its info file.
int deleteOne(const QByteArray &path, QByteArray &mount, FileSteps::Refusal &refusal) {
    // An item in a Trash goes with its .trashinfo, both through the Trash's own folders, held: a link
    // put in the place of one of them leads nowhere.
    if (!Trash::infoFileForRaw(path).isEmpty()) {
        const qsizetype slash = path.lastIndexOf('/');
        const auto folder = Posix::decode(path.left(slash));
        if (!folder) return EILSEQ;
        const Trash::Held trash = Trash::Held::openListed(*folder);
        if (!trash.valid()) return trash.error() ? trash.error() : ENOENT;
        return FileSteps::removeFromTrash(trash, path.mid(slash + 1), &mount, &refusal);
    }
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) return errno;
    return FileSteps::removeTree(path, &mount, &refusal);
}

// clang-format off
constexpr const char *deniedText = K("„%@“ gehört dem System (nur „root“ hat Rechte). Kestrin darf es nicht löschen; das geht nur mit Administratorrechten.");
// clang-format on

// clang-format off
constexpr const char *lockedText = K("„%@“ ist geschützt und lässt sich nicht löschen. Schalte in seinen Informationen „Geschützt“ aus und versuche es dann noch einmal.");
// clang-format on

// clang-format off
constexpr const char *readOnlyFolderText = K("„%@“: Der Ordner „%@“ ist schreibgeschützt. Was darin liegt, bleibt.");
constexpr const char *unreadableFolderText = K("„%@“: Der Ordner „%@“ lässt sich nicht öffnen, weil dir darin das Recht zum Lesen fehlt. Was darin liegt, bleibt.");
constexpr const char *othersFolderText = K("„%@“: Der Ordner „%@“ gehört einem anderen Benutzer. Was darin liegt, bleibt; löschen lässt es sich nur mit Administratorrechten.");
constexpr const char *systemFolderText = K("„%@“: Der Ordner „%@“ gehört dem System (nur „root“ hat Rechte). Was darin liegt, bleibt; löschen lässt es sich nur mit Administratorrechten.");
// clang-format on

// The words for an item refused for want of rights, by the folder that kept its entry: the user's own
// read-only one, another user's, the system's. `path` names the item.
QString refusedText(const FileSteps::Refusal &refusal, const QString &name, const QString &path,
                    const FileError &error) {
    const QString folder =
        refusal.folder.isEmpty() ? Posix::lastComponent(Posix::parentOf(path)) : Posix::shown(refusal.folder);
    QString text;
    if (!refusal.refused || (refusal.folder.isEmpty() && refusal.owner == 0 && refusal.gone == 0))
        text = LF(deniedText, name);
    else if (refusal.owner == ::getuid() && refusal.unreadable)
        text = LF(unreadableFolderText, name, folder);
    else if (refusal.owner == ::getuid())
        text = refusal.writable ? explain(error, name) : LF(readOnlyFolderText, name, folder);
    else
        text = LF(refusal.owner == 0 ? systemFolderText : othersFolderText, name, folder);
    // What did go is gone for good.
    if (refusal.gone > 0) text += u' ' + LF("%@ endgültig gelöscht.", FileFmt::count(refusal.gone));
    return text;
}

// Counts the item and words a failure; true when it was refused for lack of rights. `path` tells
// whether a refused item is locked, which no administrator's rights overcome.
bool account(int e, const QString &name, const QByteArray &mount, qsizetype &done, QStringList &errors,
             const QString &path, const FileSteps::Refusal &refusal) {
    if (e == 0) {
        ++done;
        return false;
    }
    if (e == EXDEV && !mount.isEmpty()) {
        // clang-format off
        errors << LF("„%@“ enthält den eingehängten Ordner „%@“. Er bleibt mit seinem Inhalt erhalten, alles andere wurde endgültig gelöscht.",
                     name, Posix::shown(mount));
        // clang-format on
        return false;
    }
    const FileError error = FileError::fromErrno(e);
    if (e == EPERM && FileFlags::immutable(path).value_or(false)) {
        errors << LF(lockedText, name);
        return false;
    }
    if (isPermissionDenied(error)) {
        errors << refusedText(refusal, name, path, error);
        // The modes of the user's own folder are theirs to change, no administrator's; a flag is not.
        return !(refusal.refused && refusal.owner == ::getuid() && e == EACCES);
    }
    errors << explain(error, name);
    return false;
}

} // namespace

DeleteResult deletePermanently(const QStringList &paths, TransferProgress *progress) {
    DeleteResult result;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &path = paths[i];
        if (!step(progress, i, paths.size(), [&] { return Posix::lastComponent(path); })) {
            result.cancelled = true;
            return result;
        }
        const auto bytes = Posix::encode(path);
        QByteArray mount;
        FileSteps::Refusal refusal;
        const int e = bytes && !bytes->isEmpty() ? deleteOne(*bytes, mount, refusal) : EILSEQ;
        if (account(e, Posix::lastComponent(path), mount, result.done, result.errors, path, refusal))
            result.denied << path;
    }
    last(progress, paths.size());
    return result;
}

DeleteResult deleteListed(const QList<ShownItem> &items, TransferProgress *progress) {
    DeleteResult result;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const ShownItem &item = items[i];
        const QString name = Posix::lastComponent(item.path);
        if (!step(progress, i, items.size(), [&] { return name; })) {
            result.cancelled = true;
            return result;
        }
        QByteArray mount;
        FileSteps::Refusal refusal;
        int e = 0;
        try {
            const FileSteps::PathBytes bytes(item.path);
            const FileSteps::HeldFolder folder = holdListed(item, bytes);
            const struct stat seen = folder.expect(bytes.name(), item.item, name);
            e = FileSteps::removeSeen(folder, bytes.name(), seen, &mount, &refusal);
            if (e == ESTALE) throw FileSteps::HeldFolder::replaced(name);
        } catch (const FileError &error) {
            if (error.code != ESTALE) {
                e = error.code ? error.code : EIO;
            } else {
                result.errors << error.description;
                continue;
            }
        }
        if (account(e, name, mount, result.done, result.errors, item.path, refusal))
            result.denied << item.path;
    }
    last(progress, items.size());
    return result;
}

TrashListing listTrashes(const QStringList &folders) {
    TrashListing out;
    for (const QString &folder : folders) {
        auto held = std::make_shared<const Trash::Held>(Trash::Held::openListed(folder));
        if (!held->valid()) continue;
        for (const QByteArray &name : held->names())
            out.entries << TrashedEntry{held, name};
        out.trashes << std::move(held);
    }
    return out;
}

TrashDeleteResult deleteTrashed(const QList<TrashedEntry> &entries, TransferProgress *progress) {
    TrashDeleteResult result;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const TrashedEntry &entry = entries[i];
        const auto name = [&] { return Posix::shown(entry.name); };
        if (!step(progress, i, entries.size(), name)) {
            result.cancelled = true;
            return result;
        }
        QByteArray mount;
        FileSteps::Refusal refusal;
        const int e = FileSteps::removeFromTrash(*entry.trash, entry.name, &mount, &refusal);
        if (account(e, name(), mount, result.done, result.errors,
                    Posix::decode(entry.path()).value_or(QString()), refusal))
            result.denied << entry;
    }
    last(progress, entries.size());
    return result;
}

} // namespace FileOps
