#include "core/model/FullDetails.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FactsHelper.h"
#include "core/model/FileLoader.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/FileFlags.h"
#include "platform/Posix.h"

#include <QReadWriteLock>
#include <cmath>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QReadWriteLock providerLock;
FullDetails::ExtraProvider &provider() {
    static FullDetails::ExtraProvider p;
    return p;
}

QString userName(uid_t uid) {
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd *found = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found) return {};
    return QString::fromUtf8(found->pw_name);
}

QString groupName(gid_t gid) {
    std::vector<char> buf(16384);
    struct group gr {};
    struct group *found = nullptr;
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) != 0 || !found) return {};
    return QString::fromUtf8(found->gr_name);
}

QDateTime fromTimespec(const struct timespec &ts) {
    return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

} // namespace

FullDetails FullDetails::load(const QString &path) {
    FullDetails d = loadWithoutContent(path);
    if (d == FullDetails()) return d; // gone
    d.extra = extraInfo(path);
    return d;
}

FullDetails FullDetails::loadWithoutContent(const QString &path) {
    FullDetails d;
    struct stat st {};
    // A link to a folder (a pane opened through it) shows what it leads to, as the pane does.
    if (!Posix::statPath(path, st) && !Posix::lstatPath(path, st)) return d;
    const FileItem item = FileLoader::item(path);
    d.kind = item.kind;
    d.isDirectory = S_ISDIR(st.st_mode);
    d.bytes = d.isDirectory ? 0 : qint64(st.st_size);
    d.onDisk = qint64(st.st_blocks) * 512;
    d.created = FileFlags::birthTime(path);
    d.modified = fromTimespec(st.st_mtim);
    d.mode = int(st.st_mode & 07777);
    d.owner = userName(st.st_uid);
    d.group = groupName(st.st_gid);
    d.locked = FileFlags::immutable(path).value_or(false);
    d.comment = FileOps::comment(path);
    d.tags = FileOps::tags(path);
    d.openWithPath = FileOps::openWithOverride(path);
    return d;
}

QList<FullDetails::Extra> FullDetails::extraInfo(const QString &path) {
    ExtraProvider p;
    {
        QReadLocker lock(&providerLock);
        p = provider();
    }
    return p ? p(path) : FactsHelper::read(path);
}

void FullDetails::setExtraProvider(ExtraProvider p) {
    QWriteLocker lock(&providerLock);
    provider() = std::move(p);
}

namespace InfoFmt {

QString longDate(const QDateTime &date) {
    const QLocale locale = AppLanguages::locale(Lang::current());
    return locale.toString(date.toLocalTime().date(), QLocale::LongFormat) + QStringLiteral(", ") +
           locale.toString(date.toLocalTime().time(), QLocale::ShortFormat);
}

QString grouped(qint64 n) {
    return localNumber(n);
}

QString exactBytes(qint64 bytes) {
    return LP("%d Byte|%d Byte", bytes, bytes);
}

QString location(const QString &path) {
    QString parent = Posix::parentOf(path);
    if (parent.isEmpty()) parent = QStringLiteral("/");
    QStringList names;
    QString prefix;
    const QStringList parts = parent.split(u'/', Qt::SkipEmptyParts);
    names << localName(QStringLiteral("/"));
    for (const QString &part : parts) {
        prefix += u'/' + part;
        names << localName(prefix);
    }
    return names.join(QStringLiteral(" ▸ "));
}

} // namespace InfoFmt
