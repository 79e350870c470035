#include "ui/panecontent/SelectionBackground.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace SelectionBackground {

Look look(bool selected, bool hovering, bool strong, bool targeted) {
    Look l;
    if (selected) {
        l.fill = Look::Fill::gradient;
        l.fillOpacity = strong ? 0.32 : 0.16;
    } else if (hovering || targeted) {
        l.fill = Look::Fill::primary;
        l.fillOpacity = 0.06;
    }
    if (targeted) {
        l.borderOpacity = 1.0;
        l.borderWidth = 1.5;
    } else if (selected && strong) {
        l.borderOpacity = 0.55;
    }
    return l;
}

void paint(QPainter *p, const QRectF &rect, const AppTheme &theme, const QPalette &palette, bool selected,
           bool hovering, bool strong, bool targeted) {
    const Look l = look(selected, hovering, strong, targeted);
    if (l.fill == Look::Fill::none && l.borderOpacity <= 0) return;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect, radius, radius);
    if (l.fill == Look::Fill::gradient) {
        p->fillPath(shape, theme.gradient(rect, l.fillOpacity));
    } else if (l.fill == Look::Fill::primary) {
        QColor c = palette.color(QPalette::WindowText);
        c.setAlphaF(float(l.fillOpacity));
        p->fillPath(shape, c);
    }
    if (l.borderOpacity > 0) {
        // Inside the edge: the stroke's centre line runs half a line width in.
        const double inset = l.borderWidth / 2;
        const QRectF inner = rect.adjusted(inset, inset, -inset, -inset);
        QPen pen(QBrush(theme.gradient(rect, l.borderOpacity)), l.borderWidth, Qt::SolidLine, Qt::FlatCap,
                 Qt::MiterJoin);
        pen.setMiterLimit(10);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(inner, radius - inset, radius - inset);
    }
    p->restore();
}

} // namespace SelectionBackground
