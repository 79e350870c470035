#include "core/model/FileLoader.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoaderDetail.h"
#include "core/model/ICloud.h"
#include "core/model/MimeKinds.h"
#include "core/model/Tags.h"
#include "platform/DirReader.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Spread.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"
#include "platform/Xattr.h"

#include <QDir>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <thread>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileLoader {

namespace detail {

QString KindCache::forFile(const QString &name) {
    // Neighbours mostly share their extension: answered without a temporary string, which would leave
    // a hole between the records in the heap for every entry.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QStringView raw = dot < 0 ? QStringView() : QStringView(name).sliced(dot + 1);
    const bool tarLike = dot >= 4 && QStringView(name).first(dot).endsWith(u".tar", Qt::CaseInsensitive);
    if (!tarLike && hasLast && raw == lastRaw) return lastKind;
    const QString kind = byExtensionKey(name);
    if (!tarLike) {
        lastRaw = raw.toString();
        lastKind = kind;
        hasLast = true;
    }
    return kind;
}

QString KindCache::byExtensionKey(const QString &name) {
    const QString ext = MimeKinds::extensionKey(name);
    auto it = byExtension.constFind(ext);
    if (it != byExtension.constEnd()) return *it;
    const QString kind = MimeKinds::kindForFile(name);
    byExtension.insert(ext, kind);
    return kind;
}

QString KindCache::forType(unsigned fileType) {
    auto it = byFileType.constFind(fileType);
    if (it != byFileType.constEnd()) return *it;
    const char *mime = "application/octet-stream";
    switch (fileType) {
    case S_IFDIR:
        mime = "inode/directory";
        break;
    case S_IFLNK:
        mime = "inode/symlink";
        break;
    case S_IFIFO:
        mime = "inode/fifo";
        break;
    case S_IFSOCK:
        mime = "inode/socket";
        break;
    case S_IFCHR:
        mime = "inode/chardevice";
        break;
    case S_IFBLK:
        mime = "inode/blockdevice";
        break;
    default:
        break;
    }
    const QString kind = MimeKinds::kindForMimeName(mime);
    byFileType.insert(fileType, kind);
    return kind;
}

bool decodeName(const char *bytes, qsizetype len, QString &out) {
    bool ascii = true;
    for (qsizetype i = 0; i < len; ++i)
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        out = QString::fromLatin1(bytes, len);
        return true;
    }
    auto decoded = Posix::decode(bytes, len);
    if (!decoded) return false;
    out = std::move(*decoded);
    return true;
}

FileItem makeItem(int dirFd, const char *name, unsigned char dType, const QByteArray &pathBytes,
                  const QString &folder, const QString &diskName, KindCache &kinds) {
    FileItem item;
    item.place(folder, diskName);
    DirReader::Stat st;
    int err;
    // A link to a folder opens as a folder, so links describe their target; a dangling one itself.
    // The identity is the entry's own, a link's too: what a command checks before it acts on the name.
    if (dType == DT_LNK) {
        DirReader::Stat own;
        if (DirReader::statAt(dirFd, name, false, own) == 0) item.setIdentity({own.dev, own.ino});
        err = DirReader::statAt(dirFd, name, true, st);
        if (err) err = DirReader::statAt(dirFd, name, false, st);
    } else {
        err = DirReader::statAt(dirFd, name, false, st);
        if (!err) item.setIdentity({st.dev, st.ino});
        if (!err && st.isLink()) {
            DirReader::Stat target;
            if (DirReader::statAt(dirFd, name, true, target) == 0) st = target;
        }
    }
    if (err) {
        item.name = diskName;
        return item;
    }
    item.isDirectory = st.isDir();
    if (item.isDirectory) {
        const auto known = SystemNames::name(item.path());
        item.name = known ? *known : diskName;
    } else {
        item.name = diskName;
    }
    if (st.isReg()) {
        item.size = st.size;
        item.kind = kinds.forFile(diskName);
    } else {
        item.kind = kinds.forType(st.mode & S_IFMT);
    }
    if (st.hasMtime) item.modified = QDateTime::fromMSecsSinceEpoch(st.mtimeMs(), Qt::UTC);
    // One listxattr: an item without attributes costs nothing further.
    if (const auto attrs = Xattr::listRawAt(dirFd, name, pathBytes.constData()); attrs && !attrs->isEmpty())
        item.setTags(FileOps::rawTagsAt(dirFd, name, pathBytes.constData(), *attrs));
    return item;
}

QString joinPath(const QString &dir, const QString &name) {
    // Exactly as long as needed: a listing holds one of these per entry.
    QString out;
    out.reserve(dir.size() + 1 + name.size());
    if (dir != u"/") out.append(dir);
    out.append(u'/');
    out.append(name);
    return out;
}

void joinInto(QByteArray &out, const QByteArray &dir, const char *name, qsizetype len) {
    out.truncate(0); // keeps the block: one per thread for a whole listing
    out.append(dir);
    if (dir != "/") out.append('/');
    out.append(name, len);
}

QByteArray joinBytes(const QByteArray &dir, const char *name, qsizetype len) {
    QByteArray out;
    out.reserve(dir.size() + len + 1);
    out.append(dir);
    if (dir != "/") out.append('/');
    out.append(name, len);
    return out;
}

} // namespace detail

namespace {

std::atomic<int> g_showHidden{-1};
constexpr size_t kParallelFrom = 4096;

// A Trash's files folder with its info folder held, whose records name the items as they were called
// (a second "a.txt" lies there as "a_2.txt"); invalid for any other folder.
Trash::Held trashOf(const QString &folder) {
    if (!folder.endsWith(u"/files")) return {};
    const QString root = TrashRoots::containing(folder);
    if (root.isEmpty() || folder != root + QStringLiteral("/files")) return {};
    return Trash::Held::openListed(folder);
}

// Reads one folder into records; false with err set when the folder itself can't be read.
bool readFolder(const QString &path, QList<FileItem> &items, QStringList &unrepresentable, int &err,
                ItemId *folder = nullptr) {
    const auto bytes = Posix::encode(path);
    if (!bytes) {
        err = EILSEQ;
        return false;
    }
    DirReader::Dir dir(*bytes);
    DirReader::Batch batch;
    if (!dir.isOpen() || !dir.readAll(batch)) {
        err = dir.error();
        return false;
    }
    if (struct stat own; folder && ::fstat(dir.fd(), &own) == 0)
        *folder = ItemId{quint64(own.st_dev), quint64(own.st_ino)};
    const bool hidden = showHidden();
    struct Pending {
        const DirReader::Entry *entry;
        QString name;
    };
    std::vector<Pending> todo;
    todo.reserve(batch.entries.size());
    QString name;
    for (const DirReader::Entry &e : batch.entries) {
        const char *raw = batch.name(e);
        if (!hidden && raw[0] == '.') continue;
        if (!detail::decodeName(raw, e.length, name)) {
            unrepresentable << Posix::shown(raw, e.length);
            continue;
        }
        todo.push_back(Pending{&e, name});
    }
    const Trash::Held trash = trashOf(path);
    const int infoFd = trash.valid() ? trash.info() : -1;
    const qsizetype first = items.size();
    // This many and a little room: growing would round the block up to a power of two (a third more, on
    // average), and the first file added later would have the whole list moved to a new block.
    items.reserve(first + qsizetype(todo.size()) + 64 + qsizetype(todo.size()) / 1024);
    items.resize(first + qsizetype(todo.size()));
    FileItem *out = items.data() + first;
    const auto build = [&](size_t from, size_t to) {
        detail::KindCache kinds;
        // A path's bytes are needed only for a moment; one buffer per thread leaves no holes between
        // the records in the heap (they would keep the sort's scratch memory from going back).
        QByteArray pathBytes;
        pathBytes.reserve(bytes->size() + 256);
        for (size_t i = from; i < to; ++i) {
            const DirReader::Entry &e = *todo[i].entry;
            const char *raw = batch.name(e);
            detail::joinInto(pathBytes, *bytes, raw, e.length);
            out[i] = detail::makeItem(dir.fd(), raw, e.type, pathBytes, path, todo[i].name, kinds);
            if (infoFd >= 0)
                out[i].name = Trash::shownNameAt(infoFd, QByteArray(raw, e.length), todo[i].name);
        }
    };
    // Each entry costs a few system calls; large folders spread them over a few threads.
    const size_t workers =
        todo.size() < kParallelFrom ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    Spread::run(qsizetype(todo.size()), int(workers),
                [&](qsizetype from, qsizetype to) { build(size_t(from), size_t(to)); });
    return true;
}

bool isRealDir(const QString &path) {
    DirReader::Stat st;
    return DirReader::statOf(path, false, st) && st.isDir();
}

QStringList namesIn(const QString &folder) {
    const auto bytes = Posix::encode(folder);
    if (!bytes) return {};
    DirReader::Dir dir(*bytes);
    DirReader::Batch batch;
    if (!dir.isOpen() || !dir.readAll(batch)) return {};
    QStringList out;
    QString name;
    for (const DirReader::Entry &e : batch.entries)
        if (detail::decodeName(batch.name(e), e.length, name)) out << name;
    return out;
}

bool strictlyUnder(const QString &path, const QString &root) {
    return path.size() > root.size() + 1 && path.startsWith(root) && path[root.size()] == u'/';
}

} // namespace

QString norm(const QString &path) {
    if (path.isEmpty()) return path;
    return QDir::cleanPath(path);
}

bool showHidden() {
    int v = g_showHidden.load(std::memory_order_relaxed);
    if (v < 0) {
        v = Defaults::boolValue(QStringLiteral("showHidden")).value_or(false) ? 1 : 0;
        int expected = -1;
        g_showHidden.compare_exchange_strong(expected, v);
        v = g_showHidden.load(std::memory_order_relaxed);
    }
    return v == 1;
}

void setShowHidden(bool show) {
    g_showHidden.store(show ? 1 : 0, std::memory_order_relaxed);
}

FileItem item(const QString &path) {
    const QString p = norm(path);
    const qsizetype slash = p.lastIndexOf(u'/');
    const QString diskName = p == u"/" ? p : p.mid(slash + 1);
    const auto bytes = Posix::encode(p);
    detail::KindCache kinds;
    FileItem it;
    it.setPath(p);
    if (!bytes) {
        it.name = diskName;
        return it;
    }
    return detail::makeItem(AT_FDCWD, bytes->constData(), DT_UNKNOWN, *bytes, it.folder, it.leaf, kinds);
}

Listing list(const QString &path) {
    Listing out;
    const QString p = norm(path);
    int err = 0;
    const bool trash = p == norm(mainTrash());
    // The home trash is made by its first item: until then a stick's Trash may hold items all the same.
    if (!readFolder(p, out.items, out.unrepresentable, err, &out.folder) && !(trash && err == ENOENT)) {
        out.error = Error{err, p};
        out.items.clear();
        return out;
    }
    if (p == ICloud::root()) out.items += ICloud::virtualItems(out.items);
    if (trash) {
        for (const QString &folder : extraTrashFolders()) {
            QSet<QString> present;
            for (const FileItem &i : out.items)
                present.insert(i.path());
            QList<FileItem> more;
            QStringList ignored;
            int ignoredErr = 0;
            if (!readFolder(folder, more, ignored, ignoredErr)) continue;
            for (FileItem &i : more)
                if (!present.contains(i.path())) out.items.append(std::move(i));
        }
    }
    return out;
}

bool entries(const QString &folder, const QStringList &names, QList<FileItem> &out) {
    const QString p = norm(folder);
    const auto bytes = Posix::encode(p);
    if (!bytes) return false;
    DirReader::Dir dir(*bytes);
    if (!dir.isOpen()) return false;
    const bool hidden = showHidden();
    detail::KindCache kinds;
    const Trash::Held trash = trashOf(p);
    // A volume that ignores case finds an item by a name it no longer has (the old name of a case-only
    // rename); there only the names the folder holds as they are spelled count.
    std::optional<QSet<QByteArray>> spelled;
    const auto foldsCase = [&](const QString &name) {
        QString other = name.toUpper();
        if (other == name) other = name.toLower();
        const auto rawOther = other == name ? std::nullopt : Posix::encode(other);
        DirReader::Stat st;
        return rawOther && DirReader::statAt(dir.fd(), rawOther->constData(), false, st) == 0;
    };
    for (const QString &name : names) {
        if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..") continue;
        if (!hidden && name.startsWith(u'.')) continue;
        const auto raw = Posix::encode(name);
        if (!raw) continue;
        DirReader::Stat st;
        if (DirReader::statAt(dir.fd(), raw->constData(), false, st) != 0) continue; // gone
        if (!spelled && foldsCase(name)) {
            DirReader::Batch batch;
            if (!dir.readAll(batch)) return false;
            spelled.emplace();
            for (const DirReader::Entry &e : batch.entries)
                spelled->insert(QByteArray(batch.name(e), e.length));
        }
        if (spelled && !spelled->contains(*raw)) continue; // another case of an entry's name
        out.append(detail::makeItem(dir.fd(), raw->constData(), DT_UNKNOWN,
                                    detail::joinBytes(*bytes, raw->constData(), raw->size()), p, name,
                                    kinds));
        if (trash.valid() && trash.info() >= 0)
            out.last().name = Trash::shownNameAt(trash.info(), *raw, name);
    }
    return true;
}

QString describe(const Error &error) {
    switch (error.code) {
    case EACCES:
    case EPERM:
        return L(
            "Kein Zugriff auf diesen Ordner. Prüfe die Zugriffsrechte (Eigentümer und Rechte) des Ordners.");
    case ENOENT:
        return L("Dieser Ordner existiert nicht.");
    case ENOTDIR:
        return L("Das ist kein Ordner.");
    case ELOOP:
        return L("Der Ordner ist über zu viele symbolische Links verkettet.");
    case EILSEQ:
        return L("Der Pfad enthält Zeichen, die nicht dargestellt werden können.");
    case EIO:
        return L("Beim Lesen des Ordners ist ein Ein-/Ausgabefehler aufgetreten.");
    default:
        return LF("Der Ordner konnte nicht gelesen werden (%@).", Posix::errorName(error.code));
    }
}

QString describeUnrepresentable(const QStringList &names) {
    if (names.isEmpty()) return {};
    if (names.size() == 1)
        return LF("„%@“ wird nicht angezeigt: Der Name ist kein gültiges UTF-8.", names.first());
    return LF("%d Objekte werden nicht angezeigt: Ihre Namen sind kein gültiges UTF-8.", names.size());
}

QString mainTrash() {
    return norm(TrashRoots::homeTrash() + QStringLiteral("/files"));
}

QStringList extraTrashFolders() {
    const QString home = QDir::homePath();
    const QString uid = QString::number(getuid());
    QStringList candidates;
    candidates << home + QStringLiteral("/Library/Mobile Documents/.Trash");
    const QString cloud = home + QStringLiteral("/Library/CloudStorage");
    for (const QString &name : namesIn(cloud))
        candidates << cloud + u'/' + name + QStringLiteral("/.Trash");
    for (const QString &name : namesIn(QStringLiteral("/Volumes")))
        candidates << QStringLiteral("/Volumes/") + name + QStringLiteral("/.Trashes/") + uid;
    const QString homeTrash = norm(TrashRoots::homeTrash());
    for (const QString &t : TrashRoots::all())
        if (norm(t) != homeTrash) candidates << norm(t) + QStringLiteral("/files");
    QStringList out;
    for (const QString &c : candidates)
        if (!out.contains(c) && isRealDir(c)) out << c;
    return out;
}

QStringList allTrashFolders() {
    return QStringList{mainTrash()} + extraTrashFolders();
}

bool isTrashFolder(const QString &path) {
    const QString p = norm(path);
    if (p.isEmpty()) return false;
    if (p == mainTrash()) return true;
    const QString home = QDir::homePath(), uid = QString::number(getuid());
    const QString cloud = home + QStringLiteral("/Library/CloudStorage/");
    const QString name = Posix::lastComponent(p);
    bool shaped = p == home + QStringLiteral("/Library/Mobile Documents/.Trash");
    if (p.startsWith(cloud)) {
        const QStringList parts = p.mid(cloud.size()).split(u'/');
        shaped = parts.size() == 2 && parts[1] == u".Trash";
    } else if (p.startsWith(QStringLiteral("/Volumes/"))) {
        const QStringList parts = p.mid(9).split(u'/');
        shaped = parts.size() == 3 && parts[1] == u".Trashes" && parts[2] == uid;
    } else if (name == u"files") {
        const QString root = TrashRoots::containing(p);
        shaped = !root.isEmpty() && norm(root) + QStringLiteral("/files") == p;
    }
    return shaped && isRealDir(p);
}

bool isInTrash(const QString &path) {
    const QString p = norm(path);
    if (p.isEmpty()) return false;
    const QString root = TrashRoots::containing(p);
    if (!root.isEmpty())
        return p != root && p != root + QStringLiteral("/files") && p != root + QStringLiteral("/info");
    const QString home = QDir::homePath();
    const QString uid = QString::number(getuid());
    if (strictlyUnder(p, home + QStringLiteral("/Library/Mobile Documents/.Trash"))) return true;
    // <cloud>/<provider>/.Trash/… and /Volumes/<name>/.Trashes/<uid>/…
    const QString cloud = home + QStringLiteral("/Library/CloudStorage/");
    if (p.startsWith(cloud)) {
        const QStringList parts = p.mid(cloud.size()).split(u'/');
        if (parts.size() >= 3 && parts[1] == u".Trash") return true;
    }
    if (p.startsWith(QStringLiteral("/Volumes/"))) {
        const QStringList parts = p.mid(9).split(u'/');
        if (parts.size() >= 4 && parts[1] == u".Trashes" && parts[2] == uid) return true;
    }
    return false;
}

} // namespace FileLoader
