#include "ui/style/FocusFrame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

void FocusFrame::paint(const QWidget *control, QPainter &painter, const QRect &around) {
    if (!control->hasFocus()) return;
    QStyleOptionFocusRect option;
    option.initFrom(control);
    option.rect = around.isEmpty() ? control->rect() : around;
    option.backgroundColor = control->palette().color(control->backgroundRole());
    painter.save();
    // Drawn at the control's own scale, whatever a pressed look did to the painter.
    painter.resetTransform();
    painter.setOpacity(1);
    control->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, control);
    painter.restore();
}
