#pragma once

// Packing items into an archive and unpacking archives into new folders, through the
// system's archive tools, as jobs of the application core.

#include "core/fileops/ArchiveFormat.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

struct FileActionContext;
class TransferProgress;

namespace FileActions {

constexpr const char *tarTool = "/usr/bin/bsdtar";
// Decompresses anything bsdtar reads (gzip, bzip2, xz, zstd …) to its standard output.
constexpr const char *catTool = "/usr/bin/bsdcat";

// Our program that unpacks an archive with its names as stored, beside the app's own; tests name theirs.
QString unpackTool();
void setUnpackTool(const QString &path);

// One run of a tool.
struct ToolCall {
    QString tool;
    QStringList arguments;
    QHash<QString, QString> environment;
};

// The archive name of a selection: the item's whole name, or for several items the first one's
// stem (cut to 23 characters and "…" from 25 on) with " + " and the number of the others.
QString archiveBaseName(const QStringList &paths);

// The run that unpacks `archive` into the folder the tool works in; with `keepModes` the archive's
// modes, which taming then takes down to what the umask allows.
ToolCall extractCall(const QString &archive, bool keepModes = false);

struct CompressResult {
    std::optional<QString> error;
    std::optional<QString> dest;
    bool bundled = false;
    bool cancelled = false;
};
// Blocking: packs the items (all in one folder) into a new archive next to them, from our own walk.
CompressResult compressItems(const QStringList &paths, ArchiveFormat format, const QString &baseName,
                             TransferProgress &progress);

struct ExtractResult {
    QStringList created; // folders that now hold unpacked content
    QStringList errors;
    QStringList leftOut; // for each archive whose special files were left out, what they were
    bool stopped =
        false; // a cancel stopped an archive (what it had unpacked is gone) or kept one from starting
};
// Blocking: unpacks each archive into a new folder beside it.
ExtractResult extractArchives(const QStringList &archives, TransferProgress &progress);

void compress(const FileActionContext &ctx, const QStringList &paths, ArchiveFormat format);
void extract(const FileActionContext &ctx, const QStringList &paths);

} // namespace FileActions
