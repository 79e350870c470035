#include "core/fileops/FileOps.h"
#include "core/fileops/FileSteps.h"
#include "core/fileops/MoveFinish.h"
#include "core/fileops/TreeMeasure.h"

#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <cerrno>
#include <climits>

#include <unistd.h>

namespace FileOps {
namespace {

bool exists(const QString &path) {
    // A dangling link is an item too: its name is taken.
    struct stat st;
    return Posix::lstatPath(path, st);
}

qsizetype utf8Size(const QString &s) {
    return s.toUtf8().size();
}

// Drops whole characters (never half a surrogate pair) from the end of s.
void chopCharacter(QString &s) {
    if (s.size() >= 2 && s.back().isLowSurrogate() && s[s.size() - 2].isHighSurrogate())
        s.chop(2);
    else
        s.chop(1);
}

} // namespace

QString uniqueURL(const QString &name, const QString &folder, bool numbered) {
    const QString plain = Posix::childPath(folder, name);
    if (!exists(plain)) return plain;

    const qsizetype dot = name.lastIndexOf(u'.');
    const bool hasExt = dot > 0 && dot < name.size() - 1;
    const QString stem = hasExt ? name.left(dot) : name;
    const QString ext = hasExt ? name.mid(dot + 1) : QString();

    long nameMax = -1;
    if (const auto f = Posix::encode(folder)) nameMax = ::pathconf(f->constData(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;

    for (qint64 n = 1;; ++n) {
        QString suffix;
        if (numbered)
            suffix = u' ' + QString::number(n + 1);
        else if (n == 1)
            suffix = u' ' + L("Kopie");
        else
            suffix = u' ' + L("Kopie") + u' ' + QString::number(n);
        QString s = stem;
        QString e = ext;
        auto make = [&] { return e.isEmpty() ? s + suffix : s + suffix + u'.' + e; };
        // Too long for the file system with the suffix: shorten the stem, then the extension.
        while (utf8Size(make()) > nameMax && !s.isEmpty())
            chopCharacter(s);
        while (utf8Size(make()) > nameMax && !e.isEmpty())
            chopCharacter(e);
        const QString candidate = Posix::childPath(folder, make());
        if (!exists(candidate)) return candidate;
    }
}

bool sameVolume(const QString &a, const QString &b) {
    struct stat sa, sb;
    const bool okA = Posix::statPath(a, sa);
    const bool okB = Posix::statPath(b, sb);
    return okA && okB && sa.st_dev == sb.st_dev;
}

SizeCount totalSize(const QStringList &paths) {
    SizeCount sum;
    for (const QString &path : paths) {
        struct stat st;
        if (!Posix::statPath(path, st)) continue;
        if (S_ISDIR(st.st_mode)) {
            const TreeStats t = detail::regularFilesBelow(path);
            sum.bytes += t.bytes;
            sum.files += t.files;
            continue;
        }
        sum.bytes += st.st_size;
        ++sum.files;
    }
    return sum;
}

void rename(const QString &from, const QString &to) {
    const QString name = Posix::lastComponent(from);
    const FileError notApplied{ENOENT, LF("Das Laufwerk hat das Umbenennen von „%@“ nicht übernommen.", name),
                               true};
    int e = detail::renameNoReplace(from, to);
    if (e == EXDEV) {
        // Another volume: a verified copy, then the original goes.
        try {
            TransferProgress progress;
            detail::moveAcross(from, to, progress);
            e = 0;
        } catch (const FileError &error) {
            // Our own sentence (what stayed of the original) says more than the error code.
            if (error.renameNotApplied || error.description != FileError::fromErrno(error.code).description)
                throw;
            e = error.code;
        } catch (const CopyFailure &failure) {
            e = failure.underlying.code;
        } catch (const CancelledError &) {
            e = ECANCELED;
        }
        if (e == 0 && !exists(to)) throw notApplied;
    } else if (e == 0 && !exists(to)) {
        throw notApplied;
    }
    if (e) {
        throw FileError{
            e, LF("„%@“ ließ sich nicht umbenennen.", name) + u' ' + explain(FileError::fromErrno(e), name),
            false};
    }
}

QString aboutItems(const QStringList &paths, const char *one, const char *many) {
    return paths.size() == 1 ? LF(one, Posix::lastComponent(paths.first())) : LF(many, int(paths.size()));
}

} // namespace FileOps
