#include "core/fileops/DuplicateAlias.h"

#include "core/fileops/FileActionContext.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/CopyJob.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"

#include <QDir>

#include <cerrno>

#include <unistd.h>

namespace FileActions {

DuplicateResult duplicateItems(const QStringList &paths, TransferProgress &progress) {
    DuplicateResult result;
    auto job = FileSteps::newCopyJob(progress);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &path = paths[i];
        const QString name = Restore::name(path);
        if (progress.isCancelled()) {
            result.cancelled = true;
            break;
        }
        progress.setItem(i + 1, name);
        const QString target = FileOps::uniqueURL(name, Restore::folder(path));
        FileSteps::CopyReport report;
        try {
            FileSteps::copyTree(*job, path, target, false, report);
            result.created << target;
            continue;
        } catch (const CancelledError &) {
            result.cancelled = true;
        } catch (const CopyFailure &failure) {
            result.errors << FileOps::describe(failure, name);
        } catch (const FileError &error) {
            result.errors << FileOps::explain(error, name);
        }
        // Only the copy begun here goes; an item that took the name meanwhile is not ours.
        if (report.createdRoot) FileSteps::removeTree(target);
        if (result.cancelled) break;
    }
    // Done only once the copies are on the drive.
    QStringList folders;
    for (const QString &made : std::as_const(result.created))
        folders << Posix::parentOf(made);
    QString unsaved;
    if (const int e = FileSteps::flushVolumes(folders, progress, &unsaved))
        result.errors << FileSteps::notSavedText(unsaved, e);
    return result;
}

namespace {

void finishDuplicate(const FileActionContext &ctx, const DuplicateResult &result) {
    ctx.refresh();
    selectCreated(ctx, result.created, LF("%@ dupliziert", FileFmt::count(result.created.size())));
    if (!result.errors.isEmpty())
        ctx.toast(result.errors.first(), true);
    else if (result.cancelled)
        ctx.warn(K("Abgebrochen. Unvollständiges wurde entfernt."));
    else
        ctx.toast(LF("%@ dupliziert.", FileFmt::count(result.created.size())));
}

} // namespace

void duplicate(const FileActionContext &ctx, const QStringList &given, qint64 jobFrom) {
    const QStringList paths = Restore::normalized(given);
    if (paths.isEmpty()) {
        ctx.warn(K("Nichts ausgewählt."));
        return;
    }
    // First the size: a large duplicate becomes a job with the banner and cancel.
    inBackground(
        ctx, [paths] { return FileOps::totalBytes(paths); },
        [ctx, paths, jobFrom](qint64 bytes) {
            if (bytes >= jobFrom) {
                ctx.job(K("Dupliziere"), [ctx, paths, bytes](const JobChannel::Step &step) {
                    step.progress().setTotal(bytes, paths.size());
                    step.then([paths](TransferProgress &progress) { return duplicateItems(paths, progress); },
                              [ctx](const DuplicateResult &result, const JobChannel::Step &at) {
                                  at.end();
                                  finishDuplicate(ctx, result);
                              });
                });
                return;
            }
            inBackground(
                ctx,
                [paths] {
                    TransferProgress progress;
                    return duplicateItems(paths, progress);
                },
                [ctx](const DuplicateResult &result) { finishDuplicate(ctx, result); });
        });
}

void makeAlias(const FileActionContext &ctx, const QStringList &given) {
    const QStringList paths = Restore::normalized(given);
    if (paths.isEmpty()) {
        ctx.warn(K("Nichts ausgewählt."));
        return;
    }
    QStringList created;
    QStringList errors;
    for (const QString &path : paths) {
        const QString name = Restore::name(path);
        int e = Restore::exists(path) ? EEXIST : ENOENT;
        QString target;
        const auto from = Posix::encode(QDir::cleanPath(path));
        if (!from) e = EILSEQ;
        // A link that points at the item by its full path, made only where nothing is yet;
        // a name taken between the look and the link is followed by the next free one.
        for (int attempt = 0; e == EEXIST && attempt < 20; ++attempt) {
            target = FileOps::uniqueURL(name + QStringLiteral(" Alias"), Restore::folder(path));
            const auto to = Posix::encode(target);
            e = !to ? EILSEQ : ::symlink(from->constData(), to->constData()) == 0 ? 0 : errno;
        }
        if (e == 0)
            created << QDir::cleanPath(target);
        else
            errors << FileOps::explain(FileError::fromErrno(e), name);
    }
    ctx.refresh();
    selectCreated(ctx, created, LF("%@ Alias angelegt", FileFmt::count(created.size())));
    if (errors.isEmpty())
        ctx.toast(LF("%@ Alias angelegt.", FileFmt::count(created.size())));
    else
        ctx.toast(errors.first(), true);
}

} // namespace FileActions
