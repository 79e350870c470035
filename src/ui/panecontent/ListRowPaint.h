#pragma once

#include "core/model/FileItem.h"
#include "ui/style/AppTheme.h"

#include <QPixmap>
#include <QRectF>
#include <QStringList>

class QPainter;

// Simple item drawing for list rows until the shared item painters are in: the selection, hover and
// drop highlight, the tag dots and a cached icon per kind of item.
namespace ListRowPaint {

void background(QPainter &p, const QRectF &rect, const AppTheme &theme, bool selected, bool hovering,
                bool targeted);
// Draws the dots of the coloured tags, starting at x, centred on y; returns the width used.
double tagDots(QPainter &p, double x, double centerY, const QStringList &tags);
double tagDotsWidth(const QStringList &tags);
QPixmap icon(const FileItem &item, int px, qreal dpr);

} // namespace ListRowPaint
