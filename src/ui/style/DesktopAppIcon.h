#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// Pictures of desktop applications: Icon= of their entry, a theme name or an absolute picture file.
// A generic application symbol stands in when neither gives one.
QIcon desktopAppIcon(const QString &iconField);
// A picture named by its path (an absolute Icon=), fitted into edge × edge: read without blocking (a FIFO is
// no picture), from a regular file only, bounded in bytes and pixels. Null when there is none. Any thread.
QImage iconPicture(const QString &path, int edge);
// The icon of a .desktop entry, at size × size (a copy; the shared icons are never changed).
QPixmap toolbarAppIcon(const QString &desktopFile, int size);
