#include "core/fileops/DuplicateAlias.h"

#include "core/fileops/FileActionContext.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/CopyJob.h"
#include "core/filesteps/FileSteps.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"

#include <QDir>

#include <QSet>

#include <optional>

#include <cerrno>

#include <unistd.h>

namespace FileActions {

namespace {

// A free name beside the item in its held folder, looked up by the folder's descriptor: as text and bytes.
struct FreeName {
    QString text;
    QByteArray bytes;
};
FreeName freeName(const FileSteps::HeldFolder &folder, const QString &wanted) {
    FreeName out{Posix::lastComponent(FileOps::uniqueURL(wanted, FileSteps::pinnedPath(folder))), {}};
    const auto bytes = Posix::encode(out.text);
    if (!bytes) throw FileError::fromErrno(EILSEQ);
    out.bytes = *bytes;
    return out;
}

} // namespace

DuplicateResult duplicateItems(const QList<ShownItem> &items, TransferProgress &progress) {
    DuplicateResult result;
    auto job = FileSteps::newCopyJob(progress);
    // Each volume opened before its first copy: the last flush hears of every write-back error since.
    FileSteps::JobVolumes volumes;
    QSet<dev_t> opened;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString &path = items[i].path;
        const QString name = Restore::name(path);
        if (progress.isCancelled()) {
            result.cancelled = true;
            break;
        }
        progress.setItem(i + 1, name);
        FileSteps::CopyReport report;
        std::optional<FileSteps::HeldFolder> folder;
        FreeName made;
        try {
            // Held as listed, and the item still the one listed: a swap after the listing leaves both alone.
            folder.emplace(FileSteps::HeldFolder::ofShown(items[i]));
            const QByteArray source = FileSteps::PathBytes(path).name();
            const struct stat st = folder->expect(source, items[i].item, name);
            made = freeName(*folder, name);
            if (!opened.contains(folder->identity().st_dev)) {
                opened.insert(folder->identity().st_dev);
                volumes.open(*folder);
            }
            FileSteps::copyTree(*job, *folder, source, *folder, made.bytes, false, report, &st);
            result.created << Posix::childPath(Restore::folder(path), made.text);
            continue;
        } catch (const CancelledError &) {
            result.cancelled = true;
        } catch (const CopyFailure &failure) {
            // A volume out of entries is told apart from one out of space.
            result.errors << FileOps::describe(
                folder ? CopyFailure{failure.path, FileSteps::withFullText(failure.underlying, folder->fd())}
                       : failure,
                name);
        } catch (const FileError &error) {
            if (folder && (error.code == ENOSPC || error.code == EDQUOT))
                result.errors << FileOps::explain(FileSteps::withFullText(error, folder->fd()), name);
            else
                result.errors << Restore::message(error, name);
        }
        // Only the copy begun here goes; an item that took the name meanwhile is not ours.
        if (report.createdRoot)
            FileSteps::removeTree(FileSteps::PathBytes(FileSteps::pinnedPath(*folder)).child(made.bytes));
        if (result.cancelled) break;
    }
    // Done only once the copies are on the drive.
    QStringList folders;
    for (const QString &made : std::as_const(result.created))
        folders << Posix::parentOf(made);
    QString unsaved;
    if (const int e = volumes.flush(folders, progress, &unsaved))
        result.errors << FileSteps::notSavedText(unsaved, e);
    return result;
}

namespace {

void finishDuplicate(const FileActionContext &ctx, const DuplicateResult &result) {
    ctx.refresh();
    selectCreated(ctx, result.created,
                  [n = result.created.size()] { return LF("%@ dupliziert", FileFmt::count(n)); });
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
    const QList<ShownItem> items = ctx.listed(paths);
    // First the size: a large duplicate becomes a job with the banner and cancel.
    inBackground(
        ctx, [paths] { return FileOps::totalBytes(paths); },
        [ctx, items, jobFrom](qint64 bytes) {
            if (bytes >= jobFrom) {
                ctx.job(K("Dupliziere"), [ctx, items, bytes](const JobChannel::Step &step) {
                    step.progress().setTotal(bytes, items.size());
                    step.then([items](TransferProgress &progress) { return duplicateItems(items, progress); },
                              [ctx](const DuplicateResult &result, const JobChannel::Step &at) {
                                  at.end();
                                  finishDuplicate(ctx, result);
                              });
                });
                return;
            }
            inBackground(
                ctx,
                [items] {
                    TransferProgress progress;
                    return duplicateItems(items, progress);
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
    for (const ShownItem &item : ctx.listed(paths)) {
        const QString name = Restore::name(item.path);
        try {
            const auto folder = FileSteps::HeldFolder::ofShown(item);
            folder.expect(FileSteps::PathBytes(item.path).name(), item.item, name);
            // A link that points at the item by its full path, made only where nothing is yet;
            // a name taken between the look and the link is followed by the next free one.
            const FileSteps::PathBytes to(QDir::cleanPath(item.path));
            for (int attempt = 0;; ++attempt) {
                const FreeName made = freeName(folder, name + QStringLiteral(" Alias"));
                if (::symlinkat(to.c_str(), folder.fd(), made.bytes.constData()) == 0) {
                    created << Posix::childPath(Restore::folder(item.path), made.text);
                    break;
                }
                if (errno != EEXIST || attempt >= 20) throw FileError::fromErrno(errno);
            }
        } catch (const FileError &error) {
            errors << Restore::message(error, name);
        }
    }
    ctx.refresh();
    selectCreated(ctx, created,
                  [n = created.size()] { return LP("%d Alias angelegt|%d Aliasse angelegt", n, n); });
    if (errors.isEmpty())
        ctx.toast(LP("%d Alias angelegt.|%d Aliasse angelegt.", created.size(), created.size()));
    else
        ctx.toast(errors.first(), true);
}

} // namespace FileActions
