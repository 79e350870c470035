#include "ui/window/pane/PlainLinkButton.h"

#include <QPainter>

PlainLinkButton::PlainLinkButton(const QString &text, QWidget *parent) : LinkButton({}, parent) {
    setPlainText(text);
}

void PlainLinkButton::setPlainText(const QString &text) {
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void PlainLinkButton::setLabelAlignment(Qt::Alignment align) {
    m_align = align;
    update();
}

QSize PlainLinkButton::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(m_text) + 2 * LinkButtonStyle::padX, fm.height());
}

void PlainLinkButton::paintLabel(QPainter &p, const QRectF &r, const QColor &fg) {
    p.setFont(font());
    p.setPen(fg);
    const QRectF inner = r.adjusted(LinkButtonStyle::padX, 0, -LinkButtonStyle::padX, 0);
    // Shortened rather than cut where the room is smaller than the text.
    // (elidedText alone would also shorten a text that fits but for a fraction of a pixel)
    const int room = qMax(0, int(inner.width()));
    const QString text = p.fontMetrics().horizontalAdvance(m_text) <= room
                             ? m_text
                             : p.fontMetrics().elidedText(m_text, Qt::ElideRight, room);
    p.drawText(inner, int(m_align | Qt::AlignVCenter) | Qt::TextSingleLine, text);
}
