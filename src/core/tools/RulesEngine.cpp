#include "core/tools/RulesEngine.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <optional>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace RulesEngine {
namespace {

constexpr qint64 freshMs = 5000;
// Where it can't be asked whether a file is being written: left alone this long after its last change.
constexpr qint64 recentMs = 2 * 60 * 1000;
constexpr qint64 dayMs = 86400000;

qint64 systemNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString folded(const QString &s) {
    return s.normalized(QString::NormalizationForm_C).toLower().normalized(QString::NormalizationForm_C);
}

QString trimmedBlanks(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
        --e;
    return s.mid(b, e - b);
}

bool statxAt(int dirFd, const char *name, struct statx &sx) {
    const int r = Posix::retry([&] {
        return ::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                       STATX_TYPE | STATX_MTIME | STATX_SIZE | STATX_INO, &sx);
    });
    return r == 0;
}

// Same folder by device and inode, whatever the spelling, links or bind mounts.
bool sameFolder(const QString &a, const QString &b) {
    struct stat sa {
    }, sb{};
    return Posix::statPath(a, sa) && Posix::statPath(b, sb) && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

__int128 nanos(int64_t sec, uint32_t nsec) {
    return __int128(sec) * 1000000000 + nsec;
}

// The path as it is reached: links resolved as far as it exists, the rest as written.
QString resolved(const QString &path) {
    QString existing = QDir::cleanPath(path), rest;
    while (existing.size() > 1) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty()) return canonical == u"/" && !rest.isEmpty() ? rest : canonical + rest;
        const qsizetype slash = existing.lastIndexOf(u'/');
        rest.prepend(existing.mid(slash));
        existing = slash <= 0 ? QStringLiteral("/") : existing.left(slash);
    }
    return existing + rest;
}

using Identity = QPair<quint64, quint64>;
std::optional<Identity> identityOf(const QString &path) {
    struct stat st {};
    if (!Posix::statPath(path, st)) return std::nullopt;
    return Identity{quint64(st.st_dev), quint64(st.st_ino)};
}

// Whether another program's writing rules the file out: asked where it can be, else judged by its age.
bool inUse(const Match &m, const WriterProbe &probe, const Clock &now) {
    switch (probe(m)) {
    case Writer::none:
        return false;
    case Writer::writing:
        return true;
    case Writer::unknown:
        break;
    }
    return __int128(now()) * 1000000 - nanos(m.mtimeSec, m.mtimeNsec) < __int128(recentMs) * 1000000;
}

QString firstNames(const QStringList &paths) {
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(paths.size(), 3); ++i)
        names << Posix::lastComponent(paths[i]);
    return names.join(QStringLiteral(", ")) + (paths.size() > 3 ? QStringLiteral(" …") : QString());
}

} // namespace

bool inTrashFolder(const QString &path) {
    if (!path.startsWith(u'/')) return false;
    const QString p = resolved(path);
    if (!TrashRoots::containing(p).isEmpty() || FileLoader::isInTrash(p)) return true;
    // Any user's trash at the top of a volume, whether we would use it or not.
    const QString mount = Volumes::mountPointOf(p);
    const QString top = mount == u"/" ? QString() : mount;
    if (!mount.isEmpty() && p.startsWith(top + u'/')) {
        const QString first = p.mid(top.size() + 1).section(u'/', 0, 0);
        if (first == u".Trash" || first.startsWith(QStringLiteral(".Trash-"))) return true;
    }
    // Reached another way, as through a bind mount, which shows the very folder: by identity, upwards.
    QSet<Identity> trashes;
    for (const QString &root : TrashRoots::all())
        for (const QString &sub : {QString(), QStringLiteral("/files"), QStringLiteral("/info")})
            if (const auto id = identityOf(root + sub)) trashes.insert(*id);
    for (QString at = p; !at.isEmpty(); at = Posix::parentOf(at)) {
        if (const auto id = identityOf(at); id && trashes.contains(*id)) return true;
        if (at == u"/") break;
    }
    return false;
}

QString refusalFor(const QString &path) {
    return inTrashFolder(path)
               ? LF("„%@“ liegt im Papierkorb. Eine Regel darf dort weder aufräumen noch ablegen.", path)
               : QString();
}

QString refusal(const CleanRule &rule) {
    const QString folder = refusalFor(rule.folder);
    return !folder.isEmpty() || rule.action == u"trash" ? folder : refusalFor(rule.destination);
}

bool trashUsable(const QString &folder) {
    const QString root = TrashRoots::rootFor(folder);
    if (root.isEmpty()) return false;
    if (root == TrashRoots::homeTrash()) return true;
    const QString mount = Volumes::mountPointOf(folder);
    if (TrashRoots::volumeTrashes(mount).contains(root)) return true;
    // None yet: one can be made where nothing holds its name and the volume takes new folders.
    struct stat st {};
    const QString top = mount == u"/" ? QStringLiteral("/") : mount;
    const auto bytes = Posix::encode(top);
    return !Posix::lstatPath(root, st) && errno == ENOENT && bytes && ::access(bytes->constData(), W_OK) == 0;
}

Writer writerOf(const Match &match) {
    const auto bytes = Posix::encode(match.path);
    if (!bytes) return Writer::unknown;
    // Without blocking: a file under another program's write lease answers at once.
    const int fd = Posix::retry([&] {
        return ::open(bytes->constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    });
    if (fd < 0) return errno == EWOULDBLOCK ? Writer::writing : Writer::unknown;
    Writer answer = Writer::unknown;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A writer opening the file in the moment the lease is held would signal us: with a signal that is
        // ignored by default, not the one that ends the process.
        ::fcntl(fd, F_SETSIG, SIGURG);
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
            answer = Writer::none;
        } else if (errno == EAGAIN) {
            answer = Writer::writing;
        }
    }
    ::close(fd);
    return answer;
}

namespace {

// What a rule asks of a name, folded once.
struct NameTest {
    QString needle;
    QStringList exts;
    bool any() const { return needle.isEmpty() && exts.isEmpty(); }
    bool passes(const QString &name) const {
        if (any()) return true;
        const QString low = folded(name);
        if (!needle.isEmpty() && !low.contains(needle)) return false;
        if (exts.isEmpty()) return true;
        const qsizetype dot = low.lastIndexOf(u'.');
        return exts.contains(dot < 0 ? QString() : low.mid(dot + 1));
    }
};

NameTest nameTestOf(const CleanRule &rule) {
    NameTest t;
    t.needle = folded(trimmedBlanks(rule.nameContains));
    for (const QString &e : rule.extensionList())
        t.exts << folded(e);
    return t;
}

Match matchOf(const QString &path, const struct statx &sx) {
    Match m;
    m.path = path;
    m.dev = (uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    m.ino = sx.stx_ino;
    m.mtimeSec = sx.stx_mtime.tv_sec;
    m.mtimeNsec = sx.stx_mtime.tv_nsec;
    m.size = int64_t(sx.stx_size);
    return m;
}

// Code point order of the canonical forms: UTF-8 byte order.
QList<Match> inPathOrder(const QList<Match> &found) {
    QList<std::pair<QByteArray, qsizetype>> keys;
    keys.reserve(found.size());
    for (qsizetype i = 0; i < found.size(); ++i)
        keys.append({found[i].path.normalized(QString::NormalizationForm_C).toUtf8(), i});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Match> sorted;
    sorted.reserve(found.size());
    for (const auto &k : keys)
        sorted << found[k.second];
    return sorted;
}

} // namespace

QList<Match> matchEntries(const CleanRule &rule, const Clock &clock) {
    QList<Match> out;
    if (!rule.isValid()) return out;
    if (rule.action != u"trash" && sameFolder(rule.folder, rule.destination)) return out;
    const auto folderBytes = Posix::encode(rule.folder);
    if (!folderBytes) return out;
    const Clock now = clock ? clock : Clock(systemNow);
    const NameTest test = nameTestOf(rule);
    std::optional<__int128> cutoff;
    if (rule.olderThanDays >= 1) {
        qint64 span = 0, at = 0;
        // A day count too large to reach back from now matches nothing.
        if (__builtin_mul_overflow(rule.olderThanDays, dayMs, &span) ||
            __builtin_sub_overflow(now(), span, &at))
            return out;
        cutoff = __int128(at) * 1000000;
    }
    DirReader::Dir dir(*folderBytes);
    if (!dir.isOpen()) return out;
    DirReader::Batch batch;
    if (!dir.readAll(batch)) return out;
    for (const DirReader::Entry &e : batch.entries) {
        const char *raw = batch.name(e);
        if (raw[0] == '.') continue;
        if (e.type != DT_UNKNOWN && e.type != DT_REG) continue;
        // A name that is not valid UTF-8 would be acted on under another spelling: never touched.
        const auto name = Posix::decode(raw, e.length);
        if (!name || !test.passes(*name)) continue;
        struct statx sx {};
        if (!statxAt(dir.fd(), raw, sx) || !S_ISREG(sx.stx_mode)) continue;
        const __int128 mtime = nanos(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
        const __int128 current = __int128(now()) * 1000000;
        if (current - mtime < __int128(freshMs) * 1000000) continue;
        if (cutoff && mtime > *cutoff) continue;
        out << matchOf(Posix::childPath(rule.folder, *name), sx);
    }
    return inPathOrder(out);
}

QStringList matches(const CleanRule &rule, const Clock &clock) {
    QStringList out;
    for (const Match &m : matchEntries(rule, clock))
        out << m.path;
    return out;
}

bool unchanged(const Match &match) {
    const auto bytes = Posix::encode(match.path);
    if (!bytes) return false;
    struct statx sx {};
    if (!statxAt(AT_FDCWD, bytes->constData(), sx)) return false;
    return S_ISREG(sx.stx_mode) && ((uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor) == match.dev &&
           sx.stx_ino == match.ino && int64_t(sx.stx_mtime.tv_sec) == match.mtimeSec &&
           sx.stx_mtime.tv_nsec == match.mtimeNsec && int64_t(sx.stx_size) == match.size;
}

namespace {

// The destination folder there, made when only it is missing: a missing parent may be a share that is not
// mounted, and the files must not land on the local disk beneath its mount point.
// Its identity then: the moves act in that folder only.
std::optional<struct stat> destinationReady(const QString &destination) {
    struct stat st {};
    if (Posix::statPath(destination, st)) return st;
    const auto bytes = FileSteps::PathBytes::of(destination);
    if (!bytes || bytes->parent().bytes() == bytes->bytes()) return std::nullopt;
    try {
        // Made in the parent as it is held, never through a link put in its place meanwhile.
        const FileSteps::HeldFolder parent(bytes->parent());
        const QByteArray name = bytes->name();
        if (::mkdirat(parent.fd(), name.constData(), 0777) != 0 && errno != EEXIST) return std::nullopt;
        if (::fstatat(parent.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            return std::nullopt;
        return st;
    } catch (const FileError &) {
        return std::nullopt;
    }
}

} // namespace

RunResult run(const QList<CleanRule> &rules, TransferProgress &progress, const Clock &clock,
              const WriterProbe &writer) {
    RunResult result;
    const Clock now = clock ? clock : Clock(systemNow);
    const WriterProbe probe = writer ? writer : WriterProbe(writerOf);
    QStringList destinations;
    for (const CleanRule &rule : rules) {
        if (progress.isCancelled()) {
            result.cancelled = true;
            break;
        }
        if (const QString why = refusal(rule); !why.isEmpty()) {
            result.errors << why;
            continue;
        }
        const QList<Match> found = matchEntries(rule, now);
        if (found.isEmpty()) continue;
        progress.setItem(0, rule.name);

        const QString destination = rule.action == u"trash" ? QString() : FileLoader::norm(rule.destination);
        FileOps::Shown shown;
        if (rule.action != u"trash") {
            const auto ready = destinationReady(destination);
            if (!ready) {
                result.errors << LF("Ziel nicht gefunden: %@", rule.destination);
                continue;
            }
            shown.folders.insert(destination, *ready);
        }
        for (const Match &m : found) {
            if (progress.isCancelled()) {
                result.cancelled = true;
                break;
            }
            // Changed since it was matched: it is no longer proven to be what the rule meant.
            if (!unchanged(m)) continue;
            if (inUse(m, probe, now)) {
                result.inUse << m.path;
                continue;
            }
            if (rule.action == u"trash") {
                // The file matched, in its folder reached through the user's own links.
                const ItemId matched{quint64(makedev(unsigned(m.dev >> 32), unsigned(m.dev))), m.ino};
                const FileOps::TrashResult t = FileOps::trash({ShownItem{m.path, {}, matched}});
                result.trashed += t.moved;
                result.errors += t.errors;
                result.noTrash += t.noTrash;
            } else {
                const TransferOutcome o =
                    FileOps::runWithProgress({m.path}, destination, true, progress, {}, false, shown);
                if (!o.pairs.isEmpty() && !destinations.contains(destination)) destinations << destination;
                result.moved += o.pairs;
                result.errors += o.errors;
                if (o.cancelled) {
                    result.cancelled = true;
                    break;
                }
            }
        }
        if (result.cancelled) break;
    }
    // One flush of each volume moved onto, for the whole run.
    QString unsaved;
    if (const int e = FileSteps::flushVolumes(destinations, progress, &unsaved))
        result.errors << FileSteps::notSavedText(unsaved, e);
    return result;
}

std::optional<Report> report(const RunResult &result, bool silent) {
    const qsizetype moved = result.moved.size(), trashed = result.trashed.size();
    QStringList parts;
    bool error = !result.errors.isEmpty() || !result.noTrash.isEmpty();
    if (result.cancelled)
        parts << LF("Aufräumen abgebrochen: %@ verschoben, %@ in den Papierkorb.", FileFmt::count(moved),
                    FileFmt::count(trashed));
    if (!result.errors.isEmpty())
        parts << (result.cancelled ? result.errors.first() : L("Aufräumen:") + u' ' + result.errors.first());
    else if (!result.cancelled && moved + trashed >= 1)
        parts << LF("Aufgeräumt: %@ verschoben, %@ in den Papierkorb.", FileFmt::count(moved),
                    FileFmt::count(trashed));
    if (!result.noTrash.isEmpty())
        parts << LF("%@ nicht in den Papierkorb gelegt, weil ihr Volume keinen nutzbaren Papierkorb hat: %@",
                    FileFmt::count(result.noTrash.size()), firstNames(result.noTrash));
    // A silent run tries those again a minute later: worth a word only beside other news.
    if (!result.inUse.isEmpty() && (!silent || !parts.isEmpty()))
        parts << LF("%@ übersprungen, weil gerade in sie geschrieben wird.",
                    FileFmt::count(result.inUse.size()));
    if (parts.isEmpty()) {
        if (silent) return std::nullopt;
        return Report{L("Aufräumen: nichts gefunden, was auf die Regeln passt."), false};
    }
    return Report{parts.join(u' '), error};
}

} // namespace RulesEngine
