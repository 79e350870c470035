#include "core/tools/RulesEngine.h"

#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"
#include "platform/Posix.h"

#include <QDateTime>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RulesEngine {
namespace {

constexpr qint64 freshMs = 5000;
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

} // namespace

QList<Match> matchEntries(const CleanRule &rule, const Clock &clock) {
    QList<Match> out;
    if (!rule.isValid()) return out;
    if (rule.action != u"trash" && sameFolder(rule.folder, rule.destination)) return out;
    const auto folderBytes = Posix::encode(rule.folder);
    if (!folderBytes) return out;
    const Clock now = clock ? clock : Clock(systemNow);

    const QString needle = folded(trimmedBlanks(rule.nameContains));
    QStringList exts;
    for (const QString &e : rule.extensionList())
        exts << folded(e);
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
        if (!name) continue;
        const QString low = needle.isEmpty() && exts.isEmpty() ? QString() : folded(*name);
        if (!needle.isEmpty() && !low.contains(needle)) continue;
        if (!exts.isEmpty()) {
            const qsizetype dot = low.lastIndexOf(u'.');
            const QString ext = dot < 0 ? QString() : low.mid(dot + 1);
            if (!exts.contains(ext)) continue;
        }
        struct statx sx {};
        if (!statxAt(dir.fd(), raw, sx)) continue;
        if (!S_ISREG(sx.stx_mode)) continue;
        const __int128 mtime = nanos(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
        const __int128 current = __int128(now()) * 1000000;
        if (current - mtime < __int128(freshMs) * 1000000) continue;
        if (cutoff && mtime > *cutoff) continue;
        Match m;
        m.path = Posix::childPath(rule.folder, *name);
        m.dev = (uint64_t(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
        m.ino = sx.stx_ino;
        m.mtimeSec = sx.stx_mtime.tv_sec;
        m.mtimeNsec = sx.stx_mtime.tv_nsec;
        m.size = int64_t(sx.stx_size);
        out << m;
    }
    // Code point order of the canonical forms: UTF-8 byte order.
    QList<std::pair<QByteArray, qsizetype>> keys;
    keys.reserve(out.size());
    for (qsizetype i = 0; i < out.size(); ++i)
        keys.append({out[i].path.normalized(QString::NormalizationForm_C).toUtf8(), i});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Match> sorted;
    sorted.reserve(out.size());
    for (const auto &k : keys)
        sorted << out[k.second];
    return sorted;
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

RunResult run(const QList<CleanRule> &rules, TransferProgress &progress, const Clock &clock) {
    RunResult result;
    for (const CleanRule &rule : rules) {
        if (progress.isCancelled()) {
            result.cancelled = true;
            break;
        }
        const QList<Match> found = matchEntries(rule, clock);
        if (found.isEmpty()) continue;
        progress.setItem(0, rule.name);

        QString destination;
        if (rule.action != u"trash") {
            destination = FileLoader::norm(rule.destination);
            struct stat st {};
            if (!Posix::statPath(destination, st)) {
                // Only the last folder is made: a missing parent may be a share that is not mounted, and
                // the files must not land on the local disk beneath its mount point.
                const QString parent = Posix::parentOf(destination);
                const auto bytes = Posix::encode(destination);
                if (parent.isEmpty() || !Posix::statPath(parent, st) || !S_ISDIR(st.st_mode) || !bytes ||
                    (::mkdir(bytes->constData(), 0777) != 0 && errno != EEXIST)) {
                    result.errors << LF("Ziel nicht gefunden: %@", rule.destination);
                    continue;
                }
            }
        }
        for (const Match &m : found) {
            if (progress.isCancelled()) {
                result.cancelled = true;
                break;
            }
            // Changed since it was matched: it is no longer proven to be what the rule meant.
            if (!unchanged(m)) continue;
            if (rule.action == u"trash") {
                const FileOps::TrashResult t = FileOps::trash({m.path});
                result.trashed += t.moved;
                result.errors += t.errors;
            } else {
                const TransferOutcome o = FileOps::runWithProgress({m.path}, destination, true, progress, {});
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
    return result;
}

} // namespace RulesEngine
