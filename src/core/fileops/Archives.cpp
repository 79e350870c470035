#include "core/fileops/Archives.h"

#include "core/base/HelperProgram.h"
#include "core/fileops/FileActionContext.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/fileops/ToolRunner.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/TransferProgress.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/ArchiveNames.h"
#include "platform/ArchiveWriter.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace FileActions {
namespace {

QString stemOf(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

// Whether the held folder holds at least one entry; nothing when it cannot be read.
std::optional<bool> hasEntries(const FileSteps::HeldFolder &folder) {
    const int fd = folder.openReadable();
    if (fd < 0) return std::nullopt;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    bool any = false;
    while (const dirent *e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            any = true;
            break;
        }
    ::closedir(dir);
    return any;
}

const char *const bundledKey =
    K("„%@“ angelegt. Die Dateien sind schon komprimiert, Kestrin hat sie nur gebündelt.");

// The tool's own words, cleaned for a message: without prompts, "exit delayed" lines, its name in
// front, the meaningless system texts libarchive appends ("Unknown error -1", "Success", "(null)") and
// the descriptor path the archive was passed by (`name` in its place, where it is more than a prefix).
QStringList toolLines(const QString &text, const QString &name) {
    static const QRegularExpression noise(QStringLiteral(": (Unknown error -?\\d+|Success)$"));
    static const QRegularExpression passed(QStringLiteral("/proc/self/fd/\\d+"));
    static const QRegularExpression passedFirst(QStringLiteral("^/proc/self/fd/\\d+: "));
    QStringList kept;
    for (QString line : QString(text).remove(QStringLiteral("Enter passphrase:")).split(u'\n')) {
        line = line.trimmed();
        for (const char *prefix : {"kestrin-unpack: ", "bsdtar: ", "bsdcat: ", "gzip: ", "bzip2: ", "xz: ",
                                   "/usr/bin/xz: ", "zip error: ", "zip I/O error: ", "zip warning: "})
            if (line.startsWith(QLatin1String(prefix))) line = line.mid(qsizetype(std::strlen(prefix)));
        line.remove(passedFirst)
            .replace(passed, QStringLiteral("„") + name + QStringLiteral("“"))
            .remove(noise);
        if (line.isEmpty() || line == QLatin1String("(null)") ||
            line.startsWith(QLatin1String("Error exit delayed")))
            continue;
        if (!kept.contains(line)) kept << line;
    }
    return kept;
}

QString toolDetail(const QString &text, const QString &name) {
    QString out = toolLines(text, name).mid(0, 3).join(QStringLiteral("; "));
    if (out.size() > 300) out = out.left(299) + u'…';
    return out.isEmpty() ? toolLines(text, name).join(u' ').left(300) : out;
}

// Why a tool failed, in our own words where we know the cause. `folder` is where it wrote: a failure there
// while it is full (bsdtar then says only "Write error") is a full disk.
std::optional<QString> knownCause(const QString &text, const QString &folder = {}) {
    constexpr qint64 nearlyFull = 64 * 1024;
    const bool full =
        !folder.isEmpty() && Restore::isFolder(folder) && FileOps::freeBytes(folder).value_or(0) < nearlyFull;
    if (text.contains(QLatin1String("Disk quota exceeded"))) return FileSteps::fullText(EDQUOT);
    if (full || text.contains(QLatin1String("No space left on device"))) {
        const auto bytes = Posix::encode(folder);
        const int fd = bytes ? ::open(bytes->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
        const QString why = FileSteps::fullText(ENOSPC, fd);
        if (fd >= 0) ::close(fd);
        return why;
    }
    if (text.contains(QLatin1String("passphrase"), Qt::CaseInsensitive))
        return L("Das Archiv ist mit einem Passwort geschützt. Verschlüsselte Archive kann Kestrin nicht "
                 "entpacken.");
    return std::nullopt;
}

QString extractFailure(const QString &name, const QString &detail) {
    return LF("„%@“ ließ sich nicht entpacken: %@", name, detail);
}

// Whether a tool's words tell of an archive that fails its own checks: a header's or the data's
// checksum, a compressed stream that is corrupt or breaks off. `decompressor`: the tool that decompressed
// the stream, whose every failure but a read error is of that kind.
bool saysDamaged(const QString &text, const QString &decompressor = {}) {
    if (text.contains(QLatin1String("Input/output error"))) return false;
    if (!decompressor.isEmpty() &&
        (text.startsWith(decompressor + QStringLiteral(": ")) ||
         text.startsWith(QStringLiteral("/usr/bin/") + decompressor + QStringLiteral(": "))))
        return true;
    for (const char *sign : {"Damaged ", "Truncated ", "Malformed ", "bad CRC", "CRC error",
                             "ecompression failed", "Premature end", "(null)"})
        if (text.contains(QLatin1String(sign))) return true;
    return false;
}

// A damaged archive, in the tool's first words.
QString damagedFailure(const QString &name, const QString &text) {
    const QString detail = toolLines(text, name).value(0).left(300);
    return detail.isEmpty() ? LF("Das Archiv „%@“ ist beschädigt und wurde nicht entpackt.", name)
                            : LF("Das Archiv „%@“ ist beschädigt und wurde nicht entpackt: %@", name, detail);
}

// A tool's failure on the archive `name`, said for what it is.
QString toolFailure(const QString &name, const QString &text, const QString &folder = {},
                    const QString &decompressor = {}) {
    if (const auto known = knownCause(text, folder)) return extractFailure(name, *known);
    if (saysDamaged(text, decompressor)) return damagedFailure(name, text);
    return extractFailure(name, toolDetail(text, name));
}

// What unpacking must leave free on the target volume, so that other programs writing there never run out
// of space because of us: 5 % of the volume, at most 100 MB.
qint64 freeMargin(const QString &folder) {
    constexpr qint64 most = 100'000'000;
    const auto bytes = Posix::encode(folder);
    struct statvfs vfs {};
    if (!bytes || ::statvfs(bytes->constData(), &vfs) != 0) return most;
    return std::min(most, qint64(vfs.f_blocks) * qint64(vfs.f_frsize) / 20);
}

// What may still be on its way to the disk when the free space is looked at (a pipe and the tool's buffers
// of the stream, each header of which can cost a whole block), and then some.
constexpr qint64 inFlight = 2 * 1024 * 1024;

QString marginFailure(const QString &name, qint64 margin) {
    return extractFailure(
        name,
        LF("Nicht genug freier Speicherplatz auf dem Ziel: Das Entpacken wurde angehalten, bevor weniger "
           "als %@ frei blieben.",
           FileFmt::size(margin)));
}

} // namespace

QString archiveBaseName(const QStringList &paths) {
    if (paths.size() == 1) return Restore::name(paths.first());
    QString stem = stemOf(Restore::name(paths.first()));
    if (stem.isEmpty()) stem = Restore::name(paths.first());
    if (stem.size() >= 25) stem = stem.left(23) + QStringLiteral("…");
    return stem + QStringLiteral(" + ") + QString::number(paths.size() - 1);
}

namespace {
HelperProgram &unpacker() {
    static HelperProgram program(QStringLiteral("kestrin-unpack"));
    return program;
}
} // namespace

QString unpackTool() {
    return unpacker().path();
}

void setUnpackTool(const QString &path) {
    unpacker().set(path);
}

ToolCall extractCall(const QString &archive, bool keepModes) {
    // The program refuses names with "..", strips a leading "/" and does not extract through links, so
    // nothing lands outside the folder it works in. Also as root it unpacks as an ordinary user would:
    // our own owner, no attributes, ACLs or file flags from the archive; set-id bits and what the umask
    // forbids are taken off by taming. With the archive's modes a folder gets its own after its contents
    // (without, one made for a file listed before it keeps the mode it was made with); a volume that
    // keeps no modes would refuse them.
    return {unpackTool(),
            {QStringLiteral("-xf"), archive, QStringLiteral("--no-same-owner"),
             keepModes ? QStringLiteral("--same-permissions") : QStringLiteral("--no-same-permissions"),
             QStringLiteral("--no-xattrs"), QStringLiteral("--no-acls"), QStringLiteral("--no-fflags")},
            {}};
}

namespace {

// An archive opened in its held folder, never through a link, and passed to the tools by its descriptor.
struct OpenArchive {
    int fd = -1;
    ~OpenArchive() {
        if (fd >= 0) ::close(fd);
    }
    ToolFiles files(const FileSteps::HeldFolder *workIn = nullptr) const { return {workIn, fd}; }
    QString path() const { return files().passedPath(); }
};

// The archive's listing, read by `reader`; false and `failure` when the tool fails.
bool listArchive(const OpenArchive &archive, TransferProgress &progress, Archive::ListingReader &reader,
                 QString &failure) {
    const auto error = runToolReading(
        QString::fromLatin1(tarTool),
        {QStringLiteral("-tvf"), archive.path(), QStringLiteral("--numeric-owner")},
        [&reader](QByteArrayView out) { reader.feed(out); }, &progress, {}, archive.files());
    reader.finish();
    if (error) failure = *error;
    return !error;
}

// The archive written into the held folder under a temporary name of its own, from our own walk of the
// items: no link is followed and no folder looked up by its path again.
struct Written {
    QByteArray temp;
    struct stat made {};
    std::optional<QString> error;
};

Written writeArchive(const FileSteps::HeldFolder &folder, const QList<QByteArray> &names,
                     const ArchiveWriter::Setup &setup, const QString &ext, const QString &shownName,
                     TransferProgress &progress) {
    Written w;
    const auto temp =
        Posix::encode(QStringLiteral(".Kestrin-") + QUuid::createUuid().toString(QUuid::WithoutBraces) + ext);
    w.temp = temp.value_or(QByteArray());
    const int fd = folder.openBeneath(w.temp, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 || ::fstat(fd, &w.made) != 0) {
        const int e = errno;
        if (fd >= 0) ::close(fd);
        w.temp.clear();
        w.error = e == ENOSPC || e == EDQUOT ? FileSteps::fullText(e, folder.fd())
                                             : FileOps::explain(FileError::fromErrno(e), shownName);
        return w;
    }
    const auto cancelled = [&progress] { return progress.isCancelled(); };
    bool ok = true;
    {
        ArchiveWriter writer(fd, setup);
        int walkError = 0;
        QByteArray failedAt;
        try {
            walkError = FileSteps::walkBeneath(
                folder, names,
                [&](const FileSteps::Walked &item) {
                    if (cancelled()) return ECANCELED;
                    if (S_ISSOCK(item.st.st_mode)) return 0; // nothing an archive can keep
                    if (setup.format == "zip" && !S_ISREG(item.st.st_mode) && !S_ISDIR(item.st.st_mode) &&
                        !S_ISLNK(item.st.st_mode))
                        return 0;
                    return writer.add(item.relative, item.st, item.fd, item.linkTarget, cancelled)
                               ? 0
                               : ECANCELED;
                },
                &failedAt);
        } catch (const FileError &refused) {
            w.error = refused.description;
        }
        ok = !w.error && !walkError && !cancelled() && writer.finish();
        if (!ok) writer.abandon(); // what is left is thrown away: no time goes into ending it
        if (!ok && !w.error && !cancelled()) {
            const int e = writer.error() ? writer.errorCode() : walkError;
            if (e == ENOSPC || e == EDQUOT)
                w.error = FileSteps::fullText(e, folder.fd());
            else if (writer.error())
                w.error = *writer.error();
            else
                w.error = FileOps::explain(FileError::fromErrno(walkError),
                                           Posix::shown(failedAt.mid(failedAt.lastIndexOf('/') + 1)));
        }
    }
    if (ok && Posix::flushData(fd) != 0) {
        const int e = errno;
        w.error = FileOps::explain(FileError::fromErrno(e ? e : EIO), shownName);
        ok = false;
    }
    ::close(fd);
    if (!ok && !w.error) w.error = L("Abgebrochen. Das unfertige Archiv wurde entfernt.");
    return w;
}

} // namespace

CompressResult compressItems(const QStringList &paths, ArchiveFormat format, const QString &baseName,
                             TransferProgress &progress) {
    CompressResult result;
    const QString folderPath = Restore::folder(paths.first());
    std::optional<FileSteps::HeldFolder> folder;
    QList<QByteArray> names;
    try {
        // The folder as the user chose it, through no link another account put on the way.
        folder.emplace(Restore::holdOrigin(folderPath));
        // The archive is made under a temporary name that could take its own no more than go.
        folder->refuseAppendOnly();
        for (const QString &p : paths)
            names << FileSteps::PathBytes(p).name();
    } catch (const FileError &error) {
        result.error = Restore::message(error, Restore::name(folderPath));
        return result;
    }
    result.bundled = Archive::allAlreadyCompressed(paths);
    const ArchiveFormat written = result.bundled ? Archive::bundledEquivalent(format) : format;
    const QString wanted = baseName + Archive::ext(written);
    const Written w = writeArchive(*folder, names, Archive::writerSetup(written, result.bundled),
                                   Archive::ext(written), wanted, progress);
    const auto dropTemp = [&] {
        if (!w.temp.isEmpty()) FileSteps::removeMade(*folder, w.temp, w.made);
    };
    if (w.error || progress.isCancelled()) {
        dropTemp();
        result.cancelled = progress.isCancelled();
        if (!result.cancelled) result.error = w.error;
        return result;
    }
    // Under the first free name; a name taken between the look and the move is tried again.
    const QString pinned = FileSteps::pinnedPath(*folder);
    for (int attempt = 0;; ++attempt) {
        const QString free = Posix::lastComponent(FileOps::uniqueURL(wanted, pinned));
        const auto freeBytes = Posix::encode(free);
        const int e = freeBytes ? FileSteps::renameNoReplace(*folder, w.temp, *folder, *freeBytes) : EILSEQ;
        if (e == 0) {
            result.dest = Posix::childPath(folderPath, free);
            return result;
        }
        if (e != EEXIST || attempt >= 20) {
            dropTemp();
            result.error = Restore::message(FileError::fromErrno(e), wanted);
            return result;
        }
    }
}

namespace {

struct Unpacked {
    QString path;         // the new folder
    QString failure;      // or why there is none
    bool stopped = false; // a cancel stopped it
};

// One archive being unpacked: where it lies and the private folder the work happens in.
struct Unpacking {
    QString archive, folder, name, stem;
    std::optional<Archive::ListingReader> listing; // read before unpacking where that is cheap
    QString pinned;                                // the held folder, as a path only it is reached by
    const FileSteps::HeldFolder *held = nullptr;
    const FileSteps::HeldFolder *inside = nullptr; // the new folder within the private one
    OpenArchive file;
    qint64 margin = 0;
};

// Why the archive can't be unpacked beside itself with the margin left; empty when it may be tried.
QString fitFailure(Unpacking &u, TransferProgress &progress) {
    if (!Archive::listsCheaply(u.name)) return {};
    QString listFailure;
    if (!listArchive(u.file, progress, u.listing.emplace(true), listFailure))
        return toolFailure(u.name, listFailure);
    const std::optional<qint64> size = u.listing->bytes();
    if (const std::optional<qint64> free = FileOps::freeBytes(u.pinned);
        size && free && *free < *size + u.margin)
        return extractFailure(u.name, LF("Nicht genug freier Speicherplatz auf dem Ziel: %@ nötig, %@ frei.",
                                         FileFmt::size(*size + u.margin), FileFmt::size(*free)));
    return {};
}

// The tool that decompresses the archive's stream, by what the stream starts with: gzip, bzip2 and xz
// check its checksums to its end (libarchive leaves gzip's unchecked); anything else goes through bsdcat.
QString decompressor(int fd) {
    char head[6] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    const QByteArrayView start(head, n > 0 ? n : 0);
    const struct {
        QByteArrayView magic;
        const char *tool;
    } known[] = {{QByteArrayView("\x1f\x8b", 2), "/usr/bin/gzip"},
                 {QByteArrayView("BZh", 3), "/usr/bin/bzip2"},
                 {QByteArrayView("\xfd"
                                 "7zXZ\0",
                                 6),
                  "/usr/bin/xz"}};
    for (const auto &k : known)
        if (start.startsWith(k.magic) && ::access(k.tool, X_OK) == 0) return QString::fromLatin1(k.tool);
    return QString::fromLatin1(catTool);
}

// Runs the tools in the new folder. The free space is watched all along: what an archive says about its
// size may be a lie, a compressed one is not even asked, and other programs may be writing there too.
// A damaged archive fails, also where the tool only warns of it.
std::optional<QString> runUnpack(const Unpacking &u, TransferProgress &progress, bool &full) {
    const auto roomLeft = [&u](qint64 coming) {
        const std::optional<qint64> free = FileOps::freeBytes(u.pinned);
        return !free || *free - coming >= u.margin;
    };
    const bool keepModes = FileSteps::keepsModes(*u.inside);
    QString said;
    std::optional<QString> error;
    if (!Archive::listsCheaply(u.name)) {
        // Decompressed by one tool and unpacked by the other, with every piece between them let through
        // only while it leaves the margin: never beyond it, however well the archive compresses.
        const ToolCall call = extractCall(QStringLiteral("-"), keepModes);
        const QString producer = decompressor(u.file.fd);
        QStringList arguments{u.file.path()};
        if (producer != QLatin1String(catTool)) arguments.prepend(QStringLiteral("-dc"));
        error = runToolPipe(
            producer, arguments, call.tool, call.arguments,
            [&](qint64 piece) { return roomLeft(piece + inFlight); }, &full, &progress, {}, u.file.files(),
            {u.inside, -1}, &said);
        if (error && !full && !progress.isCancelled())
            return toolFailure(u.name, *error, u.pinned, QFileInfo(producer).fileName());
    } else {
        const ToolCall call = extractCall(u.file.path(), keepModes);
        error = runTool(
            call.tool, call.arguments, u.file.files(u.inside), call.environment, &progress, {},
            [&] { return roomLeft(0); }, &full, &said);
    }
    if (error && !full && !progress.isCancelled()) return toolFailure(u.name, *error, u.pinned);
    // bsdtar skips a tar header whose checksum is wrong, with the entry it stood for, and ends well.
    if (!error && said.contains(QLatin1String("Damaged tar archive"))) return damagedFailure(u.name, said);
    return error;
}

// The entries of the folder `relative` beneath `top` by their composed names (the listing's): how many
// there are of each, and the names of those that are folders. Nothing when it can't be read.
struct FolderEntries {
    QHash<QByteArray, int> count;
    QHash<QByteArray, QList<QByteArray>> folders;
};
std::optional<FolderEntries> entriesOf(const FileSteps::HeldFolder &top, const QByteArray &relative) {
    const int fd =
        relative.isEmpty() ? top.openReadable() : top.openBeneath(relative, O_RDONLY | O_DIRECTORY);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    FolderEntries out;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        const QByteArray key = ArchiveNames::composed(e->d_name);
        ++out.count[key];
        if (e->d_type == DT_DIR ||
            (e->d_type == DT_UNKNOWN && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISDIR(st.st_mode)))
            out.folders[key] << QByteArray(e->d_name);
    }
    ::closedir(dir);
    return out;
}

// The archive's entries that are not on the disk as it lists them: a name listed more than once (one
// version is all that is left) or one the volume merged with another (letter case). The listing gives
// names composed; the disk has them as stored, so a name stored in both Unicode forms is two entries.
// Not counted: specials that taming left out, folders listed twice, names that are no UTF-8 (a zip's,
// which taming may have made readable).
QStringList coinciding(const FileSteps::HeldFolder &top,
                       const QList<Archive::ListingReader::Entry> &entries) {
    QHash<QByteArray, int> listed;
    QList<QByteArray> order;
    for (const auto &e : entries) {
        if (QByteArrayView("cbps").contains(e.kind)) continue;
        QList<QByteArray> parts;
        for (const QByteArray &part : e.name.split('/'))
            if (!part.isEmpty() && part != ".") parts << ArchiveNames::composed(part);
        if (parts.isEmpty()) continue;
        const QByteArray name = parts.join('/');
        if (listed[name]++ == 0) order << name;
    }
    QHash<QByteArray, std::optional<FolderEntries>> read; // by the path on disk
    const auto entriesAt = [&](const QByteArray &path) -> const std::optional<FolderEntries> & {
        auto at = read.find(path);
        if (at == read.end()) at = read.insert(path, entriesOf(top, path));
        return *at;
    };
    // The folders on disk whose names compose to a listed folder's, by the listed name.
    QHash<QByteArray, QList<QByteArray>> placed{{QByteArray(), {QByteArray()}}};
    const auto foldersOf = [&](const QByteArray &listedFolder) {
        qsizetype known = listedFolder.size();
        while (!placed.contains(listedFolder.left(known)))
            known = std::max<qsizetype>(0, listedFolder.lastIndexOf('/', known - 1));
        while (known < listedFolder.size()) {
            const qsizetype from = known == 0 ? 0 : known + 1;
            qsizetype next = listedFolder.indexOf('/', from);
            if (next < 0) next = listedFolder.size();
            const QByteArray leaf = listedFolder.mid(from, next - from);
            QList<QByteArray> found;
            for (const QByteArray &parent : placed.value(listedFolder.left(known)))
                if (const auto &there = entriesAt(parent))
                    for (const QByteArray &name : there->folders.value(leaf))
                        found << (parent.isEmpty() ? name : parent + '/' + name);
            placed.insert(listedFolder.left(next), found);
            known = next;
        }
        return placed.value(listedFolder);
    };
    QStringList out;
    for (const QByteArray &name : order) {
        const qsizetype slash = name.lastIndexOf('/');
        const QByteArray leaf = name.mid(slash + 1);
        int count = 0;
        bool judged = false, folder = false;
        for (const QByteArray &parent : foldersOf(slash < 0 ? QByteArray() : name.left(slash)))
            if (const auto &there = entriesAt(parent)) { // what can't be read is not judged
                judged = true;
                count += there->count.value(leaf);
                folder = folder || there->folders.contains(leaf);
            }
        if (judged && (count == 0 ? Posix::decode(name).has_value() : listed.value(name) > count && !folder))
            out << Posix::shown(name);
    }
    return out;
}

// The unpacked folder checked, tamed and put beside the archive under a free name; the failure otherwise.
// `leftOut` gets what taming removed, said.
Unpacked placeUnpacked(const Unpacking &u, const FileSteps::HeldFolder &staging, const QByteArray &stem,
                       TransferProgress &progress, QString &leftOut) {
    if (progress.isCancelled()) return {{}, L("Abgebrochen. Unvollständiges wurde entfernt."), true};
    bool full = false;
    const std::optional<QString> error = runUnpack(u, progress, full);
    if (full) return {{}, marginFailure(u.name, u.margin)};
    // A cancel that came after the tool was done stops nothing: what it unpacked is whole.
    if (error && progress.isCancelled()) return {{}, L("Abgebrochen. Unvollständiges wurde entfernt."), true};
    if (error) return {{}, *error};
    FileSteps::LeftOut left;
    mode_t topMode = 0;
    if (const int e = FileSteps::tameUnpacked(*u.inside, left, Archive::isZip(u.name), &topMode))
        return {{}, extractFailure(u.name, FileOps::explain(FileError::fromErrno(e), u.name))};
    if (!hasEntries(*u.inside).value_or(false))
        return {{},
                QStringLiteral("„") + u.name + QStringLiteral("“: ") +
                    L("Das Archiv ist leer oder noch nicht fertig geschrieben.")};
    // Every entry the archive lists must be there under its name. A compressed tar is read once more for
    // its listing; one that can't be listed now is not judged.
    std::optional<Archive::ListingReader> listing = u.listing;
    QString ignored;
    if (!listing && !listArchive(u.file, progress, listing.emplace(true), ignored)) listing.reset();
    const QStringList merged =
        listing && listing->namesComplete() ? coinciding(*u.inside, listing->named()) : QStringList();
    // Next to an existing folder of that name, the name says what it came from.
    struct stat st;
    const QString wanted = ::fstatat(u.held->fd(), stem.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                               ? u.stem + QStringLiteral(" (") + Archive::formatLabel(u.name) + u')'
                               : u.stem;
    for (int attempt = 0;; ++attempt) {
        const QString free = Posix::lastComponent(FileOps::uniqueURL(wanted, u.pinned));
        const auto freeBytes = Posix::encode(free);
        const int e = freeBytes ? FileSteps::renameNoReplace(staging, stem, *u.held, *freeBytes) : EILSEQ;
        if (e == 0) {
            FileSteps::setModeOf(u.inside->fd(), topMode); // in place now, it may be closed to us
            const auto few = [](const QStringList &names, qsizetype count) {
                constexpr int named = FileSteps::LeftOut::named;
                return names.mid(0, named).join(QStringLiteral(", ")) +
                       (count > named
                            ? LP(" (+%d weitere)| (+%d weitere)", int(count - named), int(count - named))
                            : QString());
            };
            QStringList said;
            if (left.count)
                said << LF("„%@“: Pipes, Sockets und Geräte werden nicht entpackt. Ausgelassen: %@", u.name,
                           few(left.names, left.count));
            if (!merged.isEmpty())
                said << LF("„%@“: Einträge, deren Namen hier zusammenfallen, wurden nur einmal entpackt: %@",
                           u.name, few(merged, merged.size()));
            leftOut = said.join(u' ');
            return {Posix::childPath(u.folder, free), {}};
        }
        if (e != EEXIST || attempt >= 20)
            return {{}, extractFailure(u.name, Restore::message(FileError::fromErrno(e), u.stem))};
    }
}

// Unpacks one archive into a new folder beside it; `leftOut` tells what of it was not unpacked. The work
// happens in a private folder that only we can enter, held from its making on, and the result appears under
// its name only once it is complete and tamed.
Unpacked extractOne(const QString &archive, TransferProgress &progress, QString &leftOut) {
    Unpacking u;
    u.archive = archive;
    u.folder = Restore::folder(archive);
    u.name = Restore::name(archive);
    u.stem = Archive::strippedName(u.name);
    try {
        const FileSteps::HeldFolder held = Restore::holdOrigin(u.folder);
        u.held = &held;
        u.pinned = FileSteps::pinnedPath(held);
        const FileSteps::PathBytes archiveBytes(archive), stemBytes(u.stem);
        u.file.fd = held.openBeneath(archiveBytes.name(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
        struct stat st;
        if (u.file.fd < 0 || ::fstat(u.file.fd, &st) != 0) throw FileError::fromErrno(errno);
        if (!S_ISREG(st.st_mode)) throw FileError::fromErrno(EINVAL);
        u.margin = freeMargin(u.pinned);
        if (const QString failure = fitFailure(u, progress); !failure.isEmpty())
            return {{}, failure, progress.isCancelled()};

        const QByteArray stagingName =
            ".Kestrin-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
        const FileSteps::HeldFolder staging = FileSteps::makePrivateFolder(held, stagingName);
        Unpacked out;
        if (::mkdirat(staging.fd(), stemBytes.bytes().constData(), 0777) != 0) {
            out.failure = FileOps::explain(FileError::fromErrno(errno), u.name);
        } else {
            const FileSteps::HeldFolder inside = staging.beneath(stemBytes.bytes());
            u.inside = &inside;
            out = placeUnpacked(u, staging, stemBytes.bytes(), progress, leftOut);
        }
        // Only our own work folder goes, with what is left in it; one that was moved away is emptied.
        if (FileSteps::removeMade(held, stagingName, staging.identity()) == ESTALE)
            if (const auto rest =
                    FileSteps::PathBytes::of(Posix::childPath(FileSteps::pinnedPath(staging), u.stem)))
                FileSteps::removeTree(*rest);
        return out;
    } catch (const FileError &error) {
        return {{}, extractFailure(u.name, Restore::message(error, u.name))};
    }
}

} // namespace

ExtractResult extractArchives(const QStringList &archives, TransferProgress &progress) {
    ExtractResult result;
    for (const QString &archive : archives) {
        if (progress.isCancelled()) {
            result.stopped = true; // the others are left as they are
            break;
        }
        QString leftOut;
        const auto outcome = extractOne(archive, progress, leftOut);
        if (outcome.failure.isEmpty())
            result.created << outcome.path;
        else if (outcome.stopped)
            result.stopped = true;
        else
            result.errors << outcome.failure;
        if (!leftOut.isEmpty()) result.leftOut << leftOut;
    }
    return result;
}

void compress(const FileActionContext &ctx, const QStringList &given, ArchiveFormat format) {
    const QStringList paths = Restore::normalized(given);
    if (paths.isEmpty()) {
        ctx.warn(K("Nichts ausgewählt."));
        return;
    }
    const QString folder = Restore::folder(paths.first());
    for (const QString &p : paths) {
        if (Restore::folder(p) != folder) {
            ctx.toast(K("Zum Komprimieren müssen alle Objekte im selben Ordner liegen."), true);
            return;
        }
    }
    const QString baseName = archiveBaseName(paths);
    const QString archiveName = baseName + Archive::ext(format);
    ctx.job(K("Komprimiere"), [ctx, paths, format, baseName, archiveName](const JobChannel::Step &step) {
        const std::shared_ptr<TransferProgress> progress = step.sharedProgress();
        progress->setItem(0, archiveName);

        // The banner shows how long the tool has been at work.
        auto *ticker = new QTimer(ctx.owner.data());
        auto seconds = std::make_shared<int>(0);
        QObject::connect(ticker, &QTimer::timeout, ticker, [progress, seconds, archiveName] {
            ++*seconds;
            progress->setItem(0, QStringLiteral("%1 · %2:%3")
                                     .arg(archiveName)
                                     .arg(*seconds / 60)
                                     .arg(*seconds % 60, 2, 10, QLatin1Char('0')));
        });
        ticker->start(ctx.tickMs);

        step.then([paths, format,
                   baseName](TransferProgress &p) { return compressItems(paths, format, baseName, p); },
                  [ctx, ticker = QPointer<QTimer>(ticker)](const CompressResult &result,
                                                           const JobChannel::Step &at) {
                      if (ticker) ticker->deleteLater();
                      const bool cancelled = at.progress().isCancelled() || result.cancelled;
                      at.end();
                      ctx.refresh();
                      if (cancelled) {
                          ctx.warn(K("Abgebrochen. Das unfertige Archiv wurde entfernt."));
                      } else if (result.error) {
                          ctx.toast(LF("Komprimieren fehlgeschlagen: %@", *result.error), true);
                      } else if (result.dest) {
                          const QString dest = QDir::cleanPath(*result.dest);
                          const QString name = Restore::name(dest);
                          ctx.selectPaths({dest});
                          ctx.journal([name] { return LF("Komprimiert zu „%@“", name); },
                                      UndoAction::makeCreated({dest}));
                          ctx.toast(result.bundled ? LF(bundledKey, name) : LF("„%@“ angelegt.", name));
                      }
                  });
    });
}

void extract(const FileActionContext &ctx, const QStringList &given) {
    const QStringList paths = Restore::normalized(given);
    QStringList archives;
    for (const QString &p : paths)
        if (Archive::canExtract(Restore::name(p))) archives << p;
    if (archives.isEmpty()) {
        ctx.warn(K("Zum Entpacken ein Archiv markieren (ZIP, 7z, RAR, TAR)."));
        return;
    }
    ctx.job(K("Entpacke"), [ctx, archives](const JobChannel::Step &step) {
        step.progress().setItem(0, Restore::name(archives.first()));
        step.then([archives](TransferProgress &progress) { return extractArchives(archives, progress); },
                  [ctx](const ExtractResult &result, const JobChannel::Step &at) {
                      const bool cancelled = result.stopped;
                      at.end();
                      ctx.refresh();
                      selectCreated(ctx, result.created, [n = result.created.size()] {
                          return LF("%@ entpackt", FileFmt::count(n));
                      });
                      if (cancelled)
                          ctx.warn(K("Abgebrochen. Unvollständiges wurde entfernt."));
                      else if (!result.errors.isEmpty())
                          ctx.toast(result.errors.first(), true);
                      else if (!result.leftOut.isEmpty()) // done, but not all of it
                          ctx.toast(LF("%@ entpackt.", FileFmt::count(result.created.size())) + u' ' +
                                        result.leftOut.join(u' '),
                                    true);
                      else
                          ctx.toast(LF("%@ entpackt.", FileFmt::count(result.created.size())));
                  });
    });
}

} // namespace FileActions
