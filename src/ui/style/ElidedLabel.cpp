#include "ui/style/ElidedLabel.h"

#include <QPainter>

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent, Qt::TextElideMode mode)
    : QLabel(text, parent), m_mode(mode) {
    setTextFormat(Qt::PlainText);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), m_mode, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
    p.drawText(contentsRect(), int(alignment()) | Qt::TextSingleLine, shownText());
}
