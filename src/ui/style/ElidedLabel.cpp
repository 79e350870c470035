#include "ui/style/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

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

bool ElidedLabel::event(QEvent *event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (shownText() != text())
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    // Any width will do: what does not fit wraps or ends in "…".
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("W…W")));
    setFullText(text);
}

void WrappingLabel::setFullText(const QString &text) {
    m_full = text;
    setAccessibleName(text);
    fit();
}

void WrappingLabel::resizeEvent(QResizeEvent *event) {
    QLabel::resizeEvent(event);
    fit();
}

void WrappingLabel::changeEvent(QEvent *event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("W…W")));
        fit();
    }
}

void WrappingLabel::fit() {
    const int room = contentsRect().width();
    QStringList words = m_full.split(u' ');
    for (QString &word : words)
        if (fontMetrics().horizontalAdvance(word) > room)
            word = fontMetrics().elidedText(word, Qt::ElideMiddle, room);
    const QString shown = words.join(u' ');
    if (shown != text()) setText(shown);
    // (lines beyond a height limit are cut as well)
    const bool whole = shown == m_full && heightForWidth(width()) <= maximumHeight();
    setToolTip(whole ? QString() : m_full);
}
