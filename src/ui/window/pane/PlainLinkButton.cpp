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
    p.drawText(inner, int(m_align | Qt::AlignVCenter) | Qt::TextSingleLine, m_text);
}
