#pragma once

#include "core/app/Pasteboard.h"

class QMimeData;

// The core's clipboard on the system clipboard: file URLs as text/uri-list, the paths as plain text, and
// the desktop's two cut marks, x-special/gnome-copied-files ("copy" or "cut") and
// application/x-kde-cutselection ("1" for a cut), so other file managers know a cut and we know theirs.
// The change counter rises with every change of the clipboard, ours and other programs'.
Pasteboard makeQtPasteboard();

// Bounds on what another program may put on the clipboard for us to read.
inline constexpr qsizetype maxClipboardBytes = 16 * 1024 * 1024;
inline constexpr qsizetype maxClipboardUris = 100000;

// The bytes of the cut/copy marker for the paths (exposed for tests).
QByteArray copiedFilesMarker(const QStringList &paths, bool cut);
// The local files the clipboard's contents hold, with their cut mark; nothing when they hold no file
// URIs or anything malformed or over the bounds.
std::optional<PasteboardFiles> filesOnClipboard(const QMimeData &data);
