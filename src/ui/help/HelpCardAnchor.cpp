#include "ui/help/HelpCardAnchor.h"

#include "core/localisation/Lang.h"
#include "ui/style/Symbols.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

HelpCard::HelpCard(QWidget *parent)
    : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("help card"));

    QFont textFont = font();
    textFont.setPixelSize(12);
    m_text = new QLabel(this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setFixedWidth(textWidth);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setFont(textFont);

    QFont linkFont = textFont;
    linkFont.setWeight(QFont::Medium);
    m_link = new QToolButton(this);
    m_link->setText(L("Mehr im Handbuch"));
    m_link->setIcon(Symbols::icon(QStringLiteral("book")));
    m_link->setIconSize(QSize(12, 12));
    m_link->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_link->setAutoRaise(true);
    m_link->setFocusPolicy(Qt::NoFocus);
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->setFont(linkFont);
    QPalette pal = m_link->palette();
    pal.setColor(QPalette::ButtonText, pal.color(QPalette::Link));
    m_link->setPalette(pal);
    connect(m_link, &QToolButton::clicked, this, &HelpCard::linkActivated);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(m_text);
    layout->addWidget(m_link, 0, Qt::AlignLeft);
    fitHeight();
}

void HelpCard::setText(const QString &text) {
    m_text->setText(text);
    fitHeight();
}

QString HelpCard::text() const {
    return m_text->text();
}

void HelpCard::fitHeight() {
    QLayout *l = layout();
    l->activate();
    const int height =
        l->hasHeightForWidth() ? l->totalHeightForWidth(cardWidth) : l->totalSizeHint().height();
    setFixedSize(cardWidth, height);
}

void HelpCard::enterEvent(QEnterEvent *event) {
    QFrame::enterEvent(event);
    emit hoverChanged(true);
}

void HelpCard::leaveEvent(QEvent *event) {
    QFrame::leaveEvent(event);
    emit hoverChanged(false);
}

HelpCardAnchor::HelpCardAnchor(QWidget *anchor, QObject *parent)
    : QObject(parent ? parent : anchor), m_anchor(anchor) {}

HelpCardAnchor::~HelpCardAnchor() {
    stopMonitor();
    delete m_card;
}

void HelpCardAnchor::show(const QString &text) {
    if (!m_anchor || !m_anchor->isVisible()) return;
    if (!m_card) {
        // A child of the control's window, so it stays above it and goes with it.
        m_card = new HelpCard(m_anchor->window());
        connect(m_card, &HelpCard::hoverChanged, this, &HelpCardAnchor::cardHoverChanged);
        connect(m_card, &HelpCard::linkActivated, this, &HelpCardAnchor::linkActivated);
    }
    m_card->setText(text);
    place();
    m_card->show();
    startMonitor();
}

void HelpCardAnchor::hide() {
    stopMonitor();
    if (m_card) {
        m_card->hide();
        m_card->deleteLater();
        m_card = nullptr;
    }
}

// Below the control, left edges aligned; above it where the screen has no room below; always on screen.
void HelpCardAnchor::place() {
    const QRect control(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
    const QSize size = m_card->size();
    QScreen *screen = m_anchor->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(control.topLeft(), size);
    QPoint at(control.left(), control.bottom() + 1 + 4);
    if (at.y() + size.height() > avail.bottom() && control.top() - 4 - size.height() >= avail.top())
        at.setY(control.top() - 4 - size.height());
    at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - size.width())));
    m_card->move(at);
}

void HelpCardAnchor::startMonitor() {
    if (m_monitoring) return;
    qApp->installEventFilter(this);
    m_monitoring = true;
}

void HelpCardAnchor::stopMonitor() {
    if (!m_monitoring) return;
    qApp->removeEventFilter(this);
    m_monitoring = false;
}

bool HelpCardAnchor::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || (m_card && widget->window() == m_card)) return false;
    // Posted, and the click goes on to its target all the same.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (onDismiss) onDismiss();
        },
        Qt::QueuedConnection);
    return false;
}
