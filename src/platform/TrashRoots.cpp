#include "platform/TrashRoots.h"

#include "platform/Posix.h"
#include "platform/Xdg.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace TrashRoots {
namespace {

// What a would-be trash folder is: ours, absent, or there but not to be trusted (and why).
struct Verdict {
    bool exists = false;
    Refusal refusal = Refusal::none; // none when it is ours
    unsigned owner = 0;
};

// A folder we own that is a folder, not a link to one: nobody else can have put items or descriptions in it.
Verdict ownFolder(const QString &path) {
    struct stat st {};
    if (!Posix::lstatPath(path, st)) return {};
    if (S_ISLNK(st.st_mode)) return {true, Refusal::link};
    if (!S_ISDIR(st.st_mode)) return {true, Refusal::notFolder};
    if (st.st_uid != getuid()) return {true, Refusal::foreignOwner, unsigned(st.st_uid)};
    return {true, Refusal::none};
}

// The freedesktop rules for both kinds of volume trash: <top>/.Trash must be a real folder with the sticky
// bit (so nobody can replace another's <uid> folder), made by root or the volume top's owner, holding <uid>
// as a folder of ours; <top>/.Trash-<uid> must be a real folder of ours.
struct Candidate {
    QString path;
    Verdict verdict;
};
QList<Candidate> candidates(const QString &mountPoint) {
    const QString uid = QString::number(getuid());
    const QString top = mountPoint == u"/" ? QString() : mountPoint;
    const QString shared = top + QStringLiteral("/.Trash");
    QList<Candidate> out;
    Verdict inShared = ownFolder(shared + u'/' + uid);
    if (inShared.exists && inShared.refusal == Refusal::none) {
        struct stat st {};
        if (!Posix::lstatPath(shared, st) || !S_ISDIR(st.st_mode))
            inShared.refusal = Refusal::sharedNotFolder;
        else if (!(st.st_mode & S_ISVTX))
            inShared.refusal = Refusal::sharedNotSticky;
        else if (struct stat topSt{};
                 st.st_uid != 0 && (!Posix::lstatPath(mountPoint, topSt) || st.st_uid != topSt.st_uid))
            // Whoever owns .Trash may rename the user's folder in it: only an administrator's counts.
            inShared = {true, Refusal::sharedForeignOwner, unsigned(st.st_uid)};
    }
    out.push_back({shared + u'/' + uid, inShared});
    const QString own = top + QStringLiteral("/.Trash-") + uid;
    out.push_back({own, ownFolder(own)});
    return out;
}

QMutex confineLock;
QString confinedTo; // empty: every volume

// The mount points whose trash folders count.
QStringList seenMountPoints() {
    QString below;
    {
        const QMutexLocker lock(&confineLock);
        below = confinedTo;
    }
    QStringList out = Volumes::mountPoints();
    if (!below.isEmpty()) out.removeIf([&](const QString &m) { return !Posix::isAtOrBelow(m, below); });
    return out;
}

} // namespace

void confineForTests(const QString &folder) {
    const QMutexLocker lock(&confineLock);
    confinedTo = folder;
}

QString homeTrash() {
    return QDir::cleanPath(Xdg::dataHome() + QStringLiteral("/Trash"));
}

QStringList volumeTrashes(const QString &mountPoint) {
    QStringList out;
    for (const Candidate &c : candidates(mountPoint))
        if (c.verdict.exists && c.verdict.refusal == Refusal::none) out << c.path;
    return out;
}

QList<Refused> refused() {
    QList<Refused> out;
    for (const QString &mount : seenMountPoints())
        for (const Candidate &c : candidates(mount))
            if (c.verdict.exists && c.verdict.refusal != Refusal::none &&
                std::none_of(out.cbegin(), out.cend(), [&](const Refused &r) { return r.path == c.path; }))
                out.push_back({c.path, c.verdict.refusal, c.verdict.owner});
    return out;
}

QStringList all() {
    QStringList out{homeTrash()};
    for (const QString &mount : seenMountPoints())
        for (const QString &t : volumeTrashes(mount))
            if (!out.contains(t)) out << t;
    return out;
}

QString rootFor(const QString &path) {
    const QString home = homeTrash();
    if (Volumes::sameVolume(path, home) || Volumes::sameVolume(path, QFileInfo(home).path())) return home;
    const dev_t dev = Volumes::deviceOf(path);
    if (dev == 0) return {};
    const QString mount = Volumes::mountPointOf(path);
    const QStringList existing = volumeTrashes(mount);
    if (!existing.isEmpty()) return existing.first();
    return (mount == u"/" ? QString() : mount) + QStringLiteral("/.Trash-") + QString::number(getuid());
}

QString containing(const QString &path) {
    const QString clean = QDir::cleanPath(path);
    const QString home = homeTrash();
    if (Posix::isAtOrBelow(clean, home)) return home;
    if (!clean.contains(QStringLiteral("/.Trash"))) return {};
    // A Trash is found from the folders above its entries, never through an entry (a link in the Trash
    // leads anywhere), and only at the real top of a volume, whichever way the path reaches that top.
    const QString uid = QString::number(getuid());
    const QStringList parts = clean.split(u'/');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        qsizetype last = i;
        if (parts[i] == u".Trash" && i + 1 < parts.size() && parts[i + 1] == uid)
            last = i + 1;
        else if (parts[i] != QStringLiteral(".Trash-") + uid)
            continue;
        const QString top = parts.mid(0, i).join(u'/');
        const QString realTop = Volumes::realPath(top.isEmpty() ? QStringLiteral("/") : top);
        if (realTop.isEmpty() || Volumes::mountPointOf(realTop) != realTop) continue;
        const QString shown = parts.mid(0, last + 1).join(u'/');
        const QString real = (realTop == u"/" ? QString() : realTop) + shown.mid(top.size());
        if (volumeTrashes(realTop).contains(real)) return shown;
    }
    return {};
}

} // namespace TrashRoots
