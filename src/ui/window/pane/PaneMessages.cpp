#include "ui/window/pane/PaneMessages.h"

#include "core/localisation/Lang.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

GradientSymbol::GradientSymbol(const QString &symbol, int px, QWidget *parent)
    : QWidget(parent), m_symbol(symbol), m_px(px) {
    setFixedSize(px, px);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GradientSymbol::setSymbol(const QString &symbol) {
    m_symbol = symbol;
    update();
}

QPixmap GradientSymbol::render(const QString &symbol, int px, const AppTheme &theme, qreal dpr) {
    QPixmap shape = Symbols::pixmap(symbol, px, Qt::black, dpr);
    if (shape.isNull()) return shape;
    QPixmap out = shape;
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.drawPixmap(0, 0, shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    const QSizeF size = QSizeF(out.size()) / out.devicePixelRatio();
    p.fillRect(QRectF(QPointF(), size), theme.gradient(QRectF(QPointF(), size)));
    return out;
}

void GradientSymbol::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QPixmap pm = render(m_symbol, m_px, EnvironmentValues::appTheme(this), devicePixelRatioF());
    if (!pm.isNull()) p.drawPixmap(0, 0, pm);
}

MessageView::MessageView(int symbolPx, int spacing, int textWidth, QWidget *parent) : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(spacing);
    layout->addStretch(1);
    m_symbol = new GradientSymbol({}, symbolPx, this);
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText); // error texts quote file names
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_textWidth = textWidth;
    layout->addWidget(m_text, 0, Qt::AlignHCenter);
    // Colour and width follow light or dark and the window's font size.
    EnvironmentValues::follow(this, [this] {
        QPalette pal = m_text->palette();
        pal.setColor(QPalette::WindowText, AppTheme::secondaryText(palette().color(QPalette::WindowText),
                                                                   {palette().color(QPalette::Window),
                                                                    palette().color(QPalette::Base)}));
        m_text->setPalette(pal);
        fitText();
    });
}

void MessageView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) fitText();
    QWidget::changeEvent(event);
}

void MessageView::fitText() {
    // Wrapped within the width limit, as narrow as the text allows, so the layout knows its height.
    const QRect used = m_text->fontMetrics().boundingRect(
        QRect(0, 0, m_textWidth, 100000), Qt::TextWordWrap | Qt::AlignHCenter, m_text->text());
    m_text->setFixedWidth(qMax(1, used.width() + 2));
}

MessageView::MessageView(const QString &symbol, const QString &text, QWidget *parent)
    : MessageView(28, 8, 320, parent) {
    static_cast<QVBoxLayout *>(layout())->addStretch(1);
    setMessage(symbol, text);
}

void MessageView::setMessage(const QString &symbol, const QString &text) {
    m_symbol->setSymbol(symbol);
    m_text->setText(text);
    fitText();
    setAccessibleName(text);
}

QString MessageView::symbol() const {
    return m_symbol->symbol();
}

QString MessageView::text() const {
    return m_text->text();
}

AccessMessage::AccessMessage(const QString &symbol, const QString &text, QWidget *parent)
    : MessageView(36, 12, 380, parent) {
    QFont f = m_text->font();
    m_text->setFont(f);
    static_cast<QVBoxLayout *>(layout())->addStretch(1);
    setMessage(symbol, text);
}
