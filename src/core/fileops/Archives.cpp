#include "core/fileops/Archives.h"

#include "core/fileops/FileActionContext.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/fileops/ToolRunner.h"
#include "core/fileops/TreeWalk.h"
#include "core/localisation/Lang.h"
#include "core/model/FileFmt.h"
#include "platform/Posix.h"

#include <QDir>
#include <QTimer>
#include <QUuid>

#include <cerrno>

#include <sys/stat.h>

namespace FileActions {
namespace {

// A name can never be taken for an option ("-v" goes to the tool as "./-v"), nor by bsdtar
// for another archive whose entries it should copy ("@old.tar").
QString guarded(const QString &name) {
    return name.startsWith(u'-') || name.startsWith(u'@') ? QStringLiteral("./") + name : name;
}

QStringList guarded(const QStringList &names) {
    QStringList out;
    out.reserve(names.size());
    for (const QString &n : names)
        out << guarded(n);
    return out;
}

QString stemOf(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

void removeQuietly(const QString &path) {
    FileOps::detail::removeTree(path);
}

// Whether the folder holds at least one entry; nothing when it cannot be read.
std::optional<bool> hasEntries(const QString &folder) {
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) return std::nullopt;
    return !dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

const char *const bundledKey =
    K("„%@“ angelegt. Die Dateien sind schon komprimiert, Kestrin hat sie nur gebündelt.");

} // namespace

QString archiveBaseName(const QStringList &paths) {
    if (paths.size() == 1) return Restore::name(paths.first());
    QString stem = stemOf(Restore::name(paths.first()));
    if (stem.isEmpty()) stem = Restore::name(paths.first());
    if (stem.size() >= 25) stem = stem.left(23) + QStringLiteral("…");
    return stem + QStringLiteral(" + ") + QString::number(paths.size() - 1);
}

ToolCall compressCall(ArchiveFormat written, bool bundled, const QString &folder, const QStringList &names,
                      const QString &archive) {
    if (written == ArchiveFormat::zip) {
        // -y keeps links as links, -nw takes names literally (no wildcards), "--" ends the options.
        QStringList args{QStringLiteral("-r"), QStringLiteral("-q"), QStringLiteral("-y"),
                         QStringLiteral("-nw")};
        if (bundled) args << QStringLiteral("-0");
        args << archive << QStringLiteral("--") << guarded(names);
        return {QString::fromLatin1(zipTool), args, folder, {}};
    }
    QStringList args = Archive::tarArguments(written, bundled);
    args << archive << guarded(names);
    return {QString::fromLatin1(tarTool),
            args,
            folder,
            {{QStringLiteral("COPYFILE_DISABLE"), QStringLiteral("1")}}};
}

ToolCall extractCall(const QString &archive, const QString &target) {
    // bsdtar refuses names with "..", strips a leading "/" and does not extract through links,
    // so nothing lands outside the target folder.
    return {QString::fromLatin1(tarTool),
            {QStringLiteral("-xf"), archive, QStringLiteral("-C"), target},
            std::nullopt,
            {}};
}

CompressResult compressItems(const QStringList &paths, ArchiveFormat format, const QString &baseName,
                             TransferProgress &progress) {
    CompressResult result;
    QStringList names;
    for (const QString &p : paths)
        names << Restore::name(p);
    const QString folder = Restore::folder(paths.first());
    result.bundled = Archive::allAlreadyCompressed(paths);
    const ArchiveFormat written = result.bundled ? Archive::bundledEquivalent(format) : format;
    const QString temp = Posix::childPath(folder, QStringLiteral(".Kestrin-") +
                                                      QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                                      Archive::ext(written));

    const ToolCall call = compressCall(written, result.bundled, folder, names, temp);
    if (auto failure = runTool(call.tool, call.arguments, call.directory, call.environment, &progress)) {
        removeQuietly(temp);
        result.cancelled = progress.isCancelled();
        result.error = *failure;
        return result;
    }
    // A cancel that came as the tool finished still means: no archive.
    if (progress.isCancelled()) {
        removeQuietly(temp);
        result.cancelled = true;
        return result;
    }
    if (!Restore::exists(temp)) {
        removeQuietly(temp);
        result.error = L("Das Archiv wurde nicht angelegt.");
        return result;
    }
    const Restore::Placed placed =
        Restore::moveToFreeName(temp, folder, baseName + Archive::ext(written), progress);
    if (placed.error) {
        removeQuietly(temp);
        result.error = Restore::message(*placed.error, baseName + Archive::ext(written));
        return result;
    }
    result.dest = placed.path;
    return result;
}

ExtractResult extractArchives(const QStringList &archives, TransferProgress &progress) {
    ExtractResult result;
    for (const QString &archive : archives) {
        if (progress.isCancelled()) break;
        const QString folder = Restore::folder(archive);
        const QString name = Restore::name(archive);
        const QString stem = Archive::strippedName(name);
        QString target = Posix::childPath(folder, stem);
        if (Restore::exists(target))
            target =
                FileOps::uniqueURL(stem + QStringLiteral(" (") + Archive::formatLabel(name) + u')', folder);

        QString failure;
        bool ours = false;
        const auto bytes = Posix::encode(target);
        if (!bytes) {
            failure = FileOps::explain(FileError::fromErrno(EILSEQ), Restore::name(target));
        } else if (::mkdir(bytes->constData(), 0777) != 0) {
            failure = FileError::fromErrno(errno).description;
        } else {
            ours = true;
            const ToolCall call = extractCall(archive, target);
            if (auto error =
                    runTool(call.tool, call.arguments, call.directory, call.environment, &progress)) {
                failure = *error;
            } else if (progress.isCancelled()) {
                failure = L("Abgebrochen. Unvollständiges wurde entfernt.");
            } else if (hasEntries(target).value_or(false)) {
                result.created << target;
                continue;
            } else {
                failure = L("Das Archiv ist leer oder noch nicht fertig geschrieben.");
            }
        }
        // Only a folder made here is removed; one that appeared meanwhile is not ours.
        if (ours) removeQuietly(target);
        if (!progress.isCancelled())
            result.errors << QStringLiteral("„") + name + QStringLiteral("“: ") + failure;
    }
    return result;
}

void compress(const FileActionContext &ctx, const QStringList &given, ArchiveFormat format) {
    const QStringList paths = Restore::normalized(given);
    if (paths.isEmpty()) {
        ctx.toast(K("Nichts ausgewählt."));
        return;
    }
    const QString folder = Restore::folder(paths.first());
    for (const QString &p : paths) {
        if (Restore::folder(p) != folder) {
            ctx.toast(K("Zum Komprimieren müssen alle Objekte im selben Ordner liegen."), true);
            return;
        }
    }
    const QString baseName = archiveBaseName(paths);
    std::shared_ptr<TransferProgress> progress = ctx.begin(K("Komprimiere"));
    if (!progress) return;
    const QString archiveName = baseName + Archive::ext(format);
    progress->setItem(0, archiveName);

    // The banner shows how long the tool has been at work.
    auto *ticker = new QTimer(ctx.owner.data());
    auto seconds = std::make_shared<int>(0);
    QObject::connect(ticker, &QTimer::timeout, ticker, [progress, seconds, archiveName] {
        ++*seconds;
        progress->setItem(0, QStringLiteral("%1 · %2:%3")
                                 .arg(archiveName)
                                 .arg(*seconds / 60)
                                 .arg(*seconds % 60, 2, 10, QLatin1Char('0')));
    });
    ticker->start(ctx.tickMs);

    inBackground(
        ctx,
        [paths, format, baseName, progress] { return compressItems(paths, format, baseName, *progress); },
        [ctx, progress, ticker = QPointer<QTimer>(ticker)](const CompressResult &result) {
            if (ticker) ticker->deleteLater();
            const bool cancelled = progress->isCancelled() || result.cancelled;
            ctx.end();
            ctx.refresh();
            if (cancelled) {
                ctx.toast(K("Abgebrochen. Das unfertige Archiv wurde entfernt."));
            } else if (result.error) {
                ctx.toast(LF("Komprimieren fehlgeschlagen: %@", *result.error), true);
            } else if (result.dest) {
                const QString dest = QDir::cleanPath(*result.dest);
                const QString name = Restore::name(dest);
                ctx.selectPaths({dest});
                ctx.journal(LF("Komprimiert zu „%@“", name), UndoAction::makeCreated({dest}));
                ctx.toast(result.bundled ? LF(bundledKey, name) : LF("„%@“ angelegt.", name));
            }
        });
}

void extract(const FileActionContext &ctx, const QStringList &given) {
    const QStringList paths = Restore::normalized(given);
    QStringList archives;
    for (const QString &p : paths)
        if (Archive::canExtract(Restore::name(p))) archives << p;
    if (archives.isEmpty()) {
        ctx.toast(K("Zum Entpacken ein Archiv markieren (ZIP, 7z, RAR, TAR)."));
        return;
    }
    std::shared_ptr<TransferProgress> progress = ctx.begin(K("Entpacke"));
    if (!progress) return;
    progress->setItem(0, Restore::name(archives.first()));
    inBackground(
        ctx, [archives, progress] { return extractArchives(archives, *progress); },
        [ctx, progress](const ExtractResult &result) {
            const bool cancelled = progress->isCancelled();
            ctx.end();
            ctx.refresh();
            selectCreated(ctx, result.created, LF("%@ entpackt", FileFmt::count(result.created.size())));
            if (cancelled)
                ctx.toast(K("Abgebrochen. Unvollständiges wurde entfernt."));
            else if (!result.errors.isEmpty())
                ctx.toast(result.errors.first(), true);
            else
                ctx.toast(LF("%@ entpackt.", FileFmt::count(result.created.size())));
        });
}

} // namespace FileActions
