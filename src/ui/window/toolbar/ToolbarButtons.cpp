#include "ui/window/toolbar/ToolbarButtons.h"

#include "ui/style/FocusFrame.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

ToolbarIconButton::ToolbarIconButton(const QString &symbol, QWidget *parent)
    : IconButton(symbol, false, 14, parent) {
    // Reached by Tab from the search field; a click leaves the focus with the files.
    setFocusPolicy(Qt::TabFocus);
    setEnabled(false);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action && m_action->isEnabled())
            m_action->trigger();
        else if (m_whileDisabled)
            m_whileDisabled();
    });
}

void ToolbarIconButton::setAction(QAction *action, std::function<void()> whileDisabled) {
    if (m_action) m_action->disconnect(this);
    m_action = action;
    m_whileDisabled = std::move(whileDisabled);
    if (action) connect(action, &QAction::enabledChanged, this, &ToolbarIconButton::updateEnabled);
    updateEnabled();
}

void ToolbarIconButton::updateEnabled() {
    setEnabled(m_action && (m_whileDisabled || m_action->isEnabled()));
}

void ToolbarIconButton::setDimmed(bool dimmed) {
    if (dimmed == m_dimmed) return;
    m_dimmed = dimmed;
    update();
}

ButtonLook ToolbarIconButton::look() const {
    ButtonLook l = IconButton::look();
    if (m_dimmed) l.opacity *= 0.5;
    return l;
}

ToolbarMenuButton::ToolbarMenuButton(const QString &symbol, QWidget *parent)
    : QToolButton(parent), m_symbol(symbol) {
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(kFrame);
}

void ToolbarMenuButton::keyPressEvent(QKeyEvent *event) {
    if (opensMenu(this, event)) return;
    QToolButton::keyPressEvent(event);
}

bool ToolbarMenuButton::opensMenu(QToolButton *button, QKeyEvent *event) {
    // Space presses the button, which opens the menu; Return and Down open it as a menu does.
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain || !button->menu() || (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Down))
        return false;
    button->showMenu();
    return true;
}

void ToolbarMenuButton::setSymbol(const QString &symbol) {
    if (symbol == m_symbol) return;
    m_symbol = symbol;
    update();
}

void ToolbarMenuButton::setSymbolColor(const QColor &color) {
    m_color = color;
    update();
}

void ToolbarMenuButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (underMouse() || isDown()) {
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(isDown() ? 0.16f : 0.08f);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 5, 5);
        p.fillPath(shape, fill);
    }
    QColor fg = m_color.isValid() ? m_color : palette().color(QPalette::WindowText);
    if (!isEnabled()) fg = palette().color(QPalette::Disabled, QPalette::WindowText);
    const QPixmap pm = Symbols::pixmap(m_symbol, 14, fg, devicePixelRatioF());
    if (!pm.isNull()) {
        const QSizeF s = QSizeF(pm.size()) / pm.devicePixelRatio();
        p.drawPixmap(QPointF((width() - s.width()) / 2, (height() - s.height()) / 2), pm);
    }
    FocusFrame::paint(this, p);
}
