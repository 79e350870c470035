#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// Symbol names used across the interface, drawn from the desktop icon theme where it has a
// matching icon and from our bundled SVGs otherwise, so the app looks complete without a theme.
namespace Symbols {

// Makes the bundled SVGs (":/icons/…") available; cheap after the first call.
void registerBundled();
// Every symbol name of the table.
QStringList known();
// The icon-theme name for a symbol; empty when the theme naming has no counterpart.
QString themeName(const QString &symbol);
// The bundled SVG for a symbol; empty when none is bundled.
QString bundledPath(const QString &symbol);
// The theme's icon (symbolic variant first), else the bundled one, else a null icon.
QIcon icon(const QString &symbol);
// The symbol as a single-colour pixmap of px x px device-independent pixels. Cached.
QPixmap pixmap(const QString &symbol, int px, const QColor &color, qreal devicePixelRatio = 1.0);

} // namespace Symbols
