#pragma once

#include "core/app/Pasteboard.h"

// The core's clipboard on the system clipboard: file URLs as text/uri-list plus the desktop's
// x-special/gnome-copied-files marker ("copy" or "cut"), so other file managers know a cut.
// The change counter rises with every change of the clipboard, ours and other programs'.
Pasteboard makeQtPasteboard();

// The bytes of the cut/copy marker for the paths (exposed for tests).
QByteArray copiedFilesMarker(const QStringList &paths, bool cut);
