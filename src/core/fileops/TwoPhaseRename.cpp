#include "core/fileops/TwoPhaseRename.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TransferJournal.h"
#include "platform/FileCopy.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <sys/xattr.h>

namespace FileOps {

namespace {

QString sentence(const FileError &error, const QString &name) {
    return error.description.isEmpty() ? explain(error, name) : error.description;
}

struct Aside {
    TransferPair pair;
    QString temp;
};

void setMark(const QString &path, const QByteArray &mark) {
    if (const auto p = Posix::encode(path); p && !mark.isEmpty())
        ::lsetxattr(p->constData(), FileCopy::partMark, mark.constData(), size_t(mark.size()), 0);
}

void dropMark(const QString &path) {
    if (const auto p = Posix::encode(path)) ::lremovexattr(p->constData(), FileCopy::partMark);
}

// Every hidden name with its old and new one is on record before the first rename, so that the next
// start gives each item a name again after a crash.
QList<FileSteps::Journal::Rename> plan(const QList<TransferPair> &pairs,
                                       const FileSteps::Journal::RenameBatch &batch) {
    QList<FileSteps::Journal::Rename> planned;
    planned.reserve(pairs.size());
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const TransferPair &p = pairs[i];
        FileSteps::Journal::Rename r{
            Posix::childPath(Posix::parentOf(p.from), batch.hiddenName(i)), p.from, p.to, {}};
        Posix::lstatPath(p.from, r.st);
        planned << r;
    }
    return planned;
}

// Every item out of the way; the marker goes with the item. A cancel stops here, before anything has
// its new name.
QList<Aside> moveAside(const QList<TransferPair> &pairs, const QList<FileSteps::Journal::Rename> &planned,
                       const QByteArray &mark, TransferProgress *progress, const Renamer &move,
                       TwoPhaseReport &report) {
    QList<Aside> aside;
    qsizetype reached = 0;
    for (qsizetype i = 0; i < pairs.size(); ++i, reached = i) {
        const TransferPair &p = pairs[i];
        if (progress) {
            if (progress->isCancelled()) {
                report.cancelled = true;
                break;
            }
            progress->setItem(i + 1, Posix::lastComponent(p.from));
        }
        const QString &temp = planned[i].hidden;
        setMark(p.from, mark);
        try {
            move(p.from, temp);
            aside << Aside{p, temp};
        } catch (const FileError &e) {
            dropMark(p.from);
            FileSteps::Journal::end(temp);
            report.errors << sentence(e, Posix::lastComponent(p.from));
        }
        if (progress) progress->add(1);
    }
    for (qsizetype i = reached; i < planned.size(); ++i)
        FileSteps::Journal::end(planned[i].hidden);
    return aside;
}

// An item that cannot take its new name goes back, or beside it under a free name; where it is now when
// that is not its old name (empty when it is), and false when it is left under the hidden name.
bool putBack(const Aside &a, const QString &oldName, const Renamer &move, QString &whereabouts) {
    try {
        move(a.temp, a.pair.from);
        dropMark(a.pair.from);
        return true;
    } catch (const FileError &) {
    }
    const QString folder = Posix::parentOf(a.pair.from);
    const QString free = uniqueURL(oldName, folder, true);
    try {
        move(a.temp, free);
        dropMark(free);
        whereabouts = LF("„%@“ liegt jetzt unter „%@“.", oldName, Posix::lastComponent(free));
        return true;
    } catch (const FileError &) {
        whereabouts =
            LF("„%@“ liegt noch unter dem versteckten Namen „%@“.", oldName, Posix::lastComponent(a.temp));
        return false;
    }
}

// Into place, never left hidden silently. Left under the hidden name, the record stays for the next start;
// else it ends with the batch's, once their folders are flushed.
void putInPlace(const Aside &a, const Renamer &move, TwoPhaseReport &report,
                FileSteps::Journal::Unflushed &renamed) {
    const QString oldName = Posix::lastComponent(a.pair.from);
    bool settled = true;
    try {
        move(a.temp, a.pair.to);
        dropMark(a.pair.to);
        report.done << a.pair;
    } catch (const FileError &e) {
        // The system's sentence would name the hidden name; the user knows the item by its old one.
        const QString why = explain(FileError::fromErrno(e.code ? e.code : EIO), oldName);
        QString whereabouts;
        settled = putBack(a, oldName, move, whereabouts);
        // One sentence per item, saying where it went.
        if (whereabouts.isEmpty()) {
            report.errors << why;
        } else {
            report.errors << why + u' ' + whereabouts;
            report.whereabouts << report.errors.last();
        }
    }
    if (settled) renamed.add(Posix::parentOf(a.pair.from), a.temp);
}

} // namespace

QString errorSummary(const QStringList &errors, const QStringList &whereabouts) {
    if (errors.isEmpty()) return {};
    QString text = errors.first();
    qsizetype shown = 1;
    bool firstSeen = false;
    for (const QString &w : whereabouts) {
        if (!firstSeen && w == errors.first()) {
            firstSeen = true;
            continue;
        }
        text += u' ' + w;
        ++shown;
    }
    if (errors.size() > shown) text += LF(" (+%d weitere)", int(errors.size() - shown));
    return text;
}

TwoPhaseReport renameInTwoPhases(const QList<TransferPair> &pairs, TransferProgress *progress,
                                 const Renamer &renamer) {
    const Renamer move =
        renamer ? renamer : Renamer([](const QString &a, const QString &b) { rename(a, b); });
    TwoPhaseReport report;
    if (progress) progress->setTotal(pairs.size() * 2, pairs.size());
    const FileSteps::Journal::RenameBatch batch = FileSteps::Journal::newRenameBatch();
    const QList<FileSteps::Journal::Rename> planned = plan(pairs, batch);
    QByteArray mark;
    try {
        mark = FileSteps::Journal::beginRenames(batch, planned);
    } catch (const FileError &e) {
        // Nothing renamed. A name the system cannot be given is said with the item it belongs to.
        QString why = e.description;
        for (const TransferPair &p : pairs)
            if (!FileSteps::PathBytes::of(p.from) || !FileSteps::PathBytes::of(p.to)) {
                why = explain(FileError::fromErrno(EILSEQ), Posix::lastComponent(p.to));
                break;
            }
        report.errors << why;
        return report;
    }
    FileSteps::Journal::Unflushed renamed;
    for (const Aside &a : moveAside(pairs, planned, mark, progress, move, report)) {
        putInPlace(a, move, report, renamed);
        if (progress) progress->add(1);
    }
    // The records go only once the new names are on the disk: a crash before then is settled by them.
    QString folder;
    if (const int e = renamed.end(&folder))
        report.errors.prepend(FileSteps::Journal::notFlushedText(folder, e));
    return report;
}

} // namespace FileOps
