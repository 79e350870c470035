#pragma once

#include "core/model/FileItem.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// The images drawn as file icons: the desktop icon theme's icon of a file's type, a folder icon recoloured to
// the colour of its tag, and a folder icon carrying an application's icon. Type icons are cached per MIME
// type (not per path), so a renamed or retyped file never keeps an old icon; our bundled SVGs stand in where
// the desktop has no icon theme. A desktop entry's own icon is read in a worker; a generic application icon
// stands in until it is there, and the windows draw again once it is. Main thread only.
namespace IconCache {

inline constexpr int side = 128; // tinted and badged folders are made at 128 x 128

// The icon of the file at path (a folder when path is a directory). Never null.
QIcon icon(const QString &path);
// The same for a listed item, without touching the disk.
QIcon icon(const FileItem &item);
// The file's icon recoloured to tag colour number; the plain icon when no bitmap can be had.
QIcon tintedFolder(const QString &path, int number);
QIcon tintedFolder(const FileItem &item, int number);
// The generic folder icon with the application's icon (a .desktop file or an image) drawn on it.
QIcon appFolder(const QString &appPath);

// Sized pixmaps of the three images above, cached per size and device pixel ratio; what a delegate draws on
// every row. px is the edge in device-independent pixels; a non-positive px gives a null pixmap.
QPixmap iconPixmap(const FileItem &item, int px, qreal dpr = 1.0);
QPixmap tintedFolderPixmap(const FileItem &item, int number, int px, qreal dpr = 1.0);
QPixmap appFolderPixmap(const QString &appPath, int px, qreal dpr = 1.0);

// The theme name (or bundled fallback name) chosen for an item, e.g. "folder", "image-jpeg".
QString iconName(const FileItem &item);

// How many icons were looked up in the theme or made so far (tests: a second request must not add one).
int madeCount();
// Waits until every desktop entry being read for its icon is in (tests).
void waitForEntries();
// Drops every cached image (tests, and a change of the desktop's icon theme).
void clear();

} // namespace IconCache
