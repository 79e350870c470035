#include "core/fileops/TwoPhaseRename.h"

#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <QUuid>

namespace FileOps {

namespace {

QString sentence(const FileError &error, const QString &name) {
    return error.description.isEmpty() ? explain(error, name) : error.description;
}

struct Aside {
    TransferPair pair;
    QString temp;
};

} // namespace

QString renameTempName() {
    return QStringLiteral(".dravendel-") +
           QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
}

TwoPhaseReport renameInTwoPhases(const QList<TransferPair> &pairs, TransferProgress *progress,
                                 const Renamer &renamer) {
    const Renamer move =
        renamer ? renamer : Renamer([](const QString &a, const QString &b) { rename(a, b); });
    TwoPhaseReport report;
    if (progress) progress->setTotal(pairs.size() * 2, pairs.size());

    // Phase 1: every item out of the way. A cancel stops here, before anything has its new name.
    QList<Aside> aside;
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const TransferPair &p = pairs[i];
        if (progress) {
            if (progress->isCancelled()) {
                report.cancelled = true;
                break;
            }
            progress->setItem(i + 1, Posix::lastComponent(p.from));
        }
        const QString temp = Posix::childPath(Posix::parentOf(p.from), renameTempName());
        try {
            move(p.from, temp);
            aside << Aside{p, temp};
        } catch (const FileError &e) {
            report.errors << sentence(e, Posix::lastComponent(p.from));
        }
        if (progress) progress->add(1);
    }

    // Phase 2: into place; an item that cannot take its name goes back, and is never left hidden silently.
    for (const Aside &a : aside) {
        const QString oldName = Posix::lastComponent(a.pair.from);
        try {
            move(a.temp, a.pair.to);
            report.done << a.pair;
        } catch (const FileError &e) {
            // The system's sentence would name the hidden name; the user knows the item by its old one.
            report.errors << explain(FileError::fromErrno(e.code ? e.code : EIO), oldName);
            try {
                move(a.temp, a.pair.from);
            } catch (const FileError &) {
                const QString folder = Posix::parentOf(a.pair.from);
                const QString free = uniqueURL(oldName, folder, true);
                try {
                    move(a.temp, free);
                    report.errors << LF("„%@“ liegt jetzt unter „%@“.", oldName, Posix::lastComponent(free));
                } catch (const FileError &) {
                    report.errors << LF("„%@“ liegt noch unter dem versteckten Namen „%@“.", oldName,
                                        Posix::lastComponent(a.temp));
                }
            }
        }
        if (progress) progress->add(1);
    }
    return report;
}

} // namespace FileOps
