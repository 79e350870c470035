#include "ui/panecontent/TagDots.h"

#include "core/model/Tags.h"

#include <QPainter>
#include <QPalette>

namespace TagColors {

QColor color(int number) {
    // The desktop's usual named colours in their light variants.
    switch (number) {
    case 2:
        return QColor(0x34, 0xC7, 0x59); // green
    case 3:
        return QColor(0xAF, 0x52, 0xDE); // purple
    case 4:
        return QColor(0x00, 0x7A, 0xFF); // blue
    case 5:
        return QColor(0xFF, 0xCC, 0x00); // yellow
    case 6:
        return QColor(0xFF, 0x3B, 0x30); // red
    case 7:
        return QColor(0xFF, 0x95, 0x00); // orange
    default:
        return QColor(0x8E, 0x8E, 0x93); // grey
    }
}

} // namespace TagColors

namespace TagDots {

QSizeF size(const QStringList &tags) {
    if (tags.isEmpty()) return {};
    return QSizeF(tags.size() * dot - (tags.size() - 1) * overlap, dot);
}

void paint(QPainter *p, const QPointF &left, const QStringList &tags, const QPalette &palette) {
    if (tags.isEmpty()) return;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QColor ring = palette.color(QPalette::Base);
    double x = left.x();
    for (const QString &tag : tags) {
        const QRectF circle(x, left.y() - dot / 2, dot, dot);
        p->setPen(Qt::NoPen);
        p->setBrush(TagColors::color(FileOps::colorNumber(tag)));
        p->drawEllipse(circle);
        // A ring in the background colour keeps overlapping dots apart.
        p->setPen(QPen(ring, 1));
        p->setBrush(Qt::NoBrush);
        p->drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
        x += dot - overlap;
    }
    p->restore();
}

QString helpText(const QStringList &tags) {
    QStringList names;
    for (const QString &tag : tags)
        names << tag.section(u'\n', 0, 0);
    return names.join(QStringLiteral(", "));
}

} // namespace TagDots
