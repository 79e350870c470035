#include "ui/style/FocusFrame.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

void FocusFrame::paint(const QWidget *control, QPainter &painter, const QRect &around, const QColor &onFill) {
    if (!control->hasFocus()) return;
    QStyleOptionFocusRect option;
    option.initFrom(control);
    option.rect = around.isEmpty() ? control->rect() : around;
    option.backgroundColor = control->palette().color(control->backgroundRole());
    painter.save();
    // Drawn at the control's own scale, whatever a pressed look did to the painter.
    painter.resetTransform();
    painter.setOpacity(1);
    if (!onFill.isValid()) {
        control->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, control);
    } else if (option.state & QStyle::State_KeyboardFocusChange) {
        // When the style shows its frame: after the keyboard moved the focus.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(onFill, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(option.rect).adjusted(2.5, 2.5, -2.5, -2.5), 3, 3);
    }
    painter.restore();
}

bool FocusFrame::shows(const QWidget *control) {
    if (!control->hasFocus()) return false;
    QStyleOption option;
    option.initFrom(control);
    return option.state & QStyle::State_KeyboardFocusChange;
}
