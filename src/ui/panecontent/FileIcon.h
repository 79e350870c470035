#pragma once

#include "core/model/FileItem.h"
#include "ui/style/AppTheme.h"
#include "ui/style/UIScale.h"

#include <QPixmap>
#include <QRectF>

#include <optional>

class QPainter;

// The icon of a FileItem in a square, drawn by list and column delegates: a theme-coloured folder glyph when
// folders follow the theme, else the application-badged, tag-tinted or plain type icon.
namespace FileIcon {

inline constexpr double defaultSize = 18;
inline constexpr double glyphScale = 0.85; // the theme folder glyph's share of the square

enum class Choice { themeGlyph, appFolder, tintedFolder, typeIcon };
Choice choose(const FileItem &item, const UIScale &ui);

// The image of choices 2 to 4 at px x px (null for the theme glyph).
QPixmap image(const FileItem &item, const UIScale &ui, int px, qreal dpr = 1.0);
// The folder glyph filled with the tag colour, or with the theme gradient when tint is empty.
QPixmap glyph(const AppTheme &theme, std::optional<int> tint, int px, qreal dpr = 1.0);

// Draws the item's icon fitted and centred in the largest square inside rect.
void paint(QPainter *painter, const QRectF &rect, const FileItem &item, const AppTheme &theme,
           const UIScale &ui, double glyphShare = glyphScale);

} // namespace FileIcon
