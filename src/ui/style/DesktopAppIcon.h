#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// Pictures of desktop applications: Icon= of their entry, a theme name or an absolute picture file.
// A generic application symbol stands in when neither gives one.
QIcon desktopAppIcon(const QString &iconField);
// The icon of a .desktop entry, at size × size (a copy; the shared icons are never changed).
QPixmap toolbarAppIcon(const QString &desktopFile, int size);
