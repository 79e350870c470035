#pragma once

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QStringList>

class QPainter;
class QPalette;

// The colour of a tag colour number (2 green ... 7 orange; anything else grey).
namespace TagColors {
QColor color(int number);
} // namespace TagColors

// An item's tags as a run of overlapping 9-point dots, with the tag names as help text.
namespace TagDots {

inline constexpr double dot = 9;
inline constexpr double overlap = 3;

// Width and height of the run; empty for no tags (no space taken).
QSizeF size(const QStringList &tags);
// Draws the run with its left edge at left.x() and vertically centred on left.y().
void paint(QPainter *painter, const QPointF &left, const QStringList &tags, const QPalette &palette);
// The tag names (each cut before its first newline) joined by ", ".
QString helpText(const QStringList &tags);

} // namespace TagDots
