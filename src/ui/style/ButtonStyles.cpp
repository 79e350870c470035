#include "ui/style/ButtonStyles.h"

#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/FocusFrame.h"
#include "ui/style/Symbols.h"

#include <cmath>
#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolTip>
#include <QVariantAnimation>

namespace {

std::chrono::milliseconds g_flashDuration{350};

QColor primary(const QPalette &palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette &palette) {
    QColor c = primary(palette);
    c.setAlphaF(c.alphaF() * 0.5f);
    return c;
}

} // namespace

namespace BarButtonStyle {

ButtonLook look(const ButtonState &s, bool prominent, const AppTheme &theme, const QPalette &palette) {
    ButtonLook l;
    l.radius = 6;
    const bool active = s.active() && s.enabled;
    if (!s.enabled)
        l.foreground = secondary(palette);
    else if (!prominent && !active)
        l.foreground = primary(palette);
    else
        l.foreground = theme.onAccent();

    if (!s.enabled) {
        l.fill = ButtonLook::Fill::primary;
        l.fillOpacity = 0.05;
    } else if (prominent) {
        l.fill = ButtonLook::Fill::gradient;
        l.fillOpacity = active ? 0.75 : s.hover ? 1.0 : 0.92;
    } else if (active) {
        l.fill = ButtonLook::Fill::gradient;
        l.fillOpacity = 0.95;
    } else {
        l.fill = ButtonLook::Fill::primary;
        l.fillOpacity = s.hover ? 0.14 : 0.06;
    }
    l.border = s.hover && s.enabled;
    l.scale = active ? 0.94 : 1;
    l.opacity = s.enabled ? 1 : 0.7;
    return l;
}

QFont font(const UIScale &ui) {
    QFont f;
    f.setPixelSize(qMax(1, qRound(ui.small() + 0.5)));
    f.setWeight(QFont::Medium);
    return f;
}

} // namespace BarButtonStyle

namespace IconButtonStyle {

ButtonLook look(const ButtonState &s, bool selected, const AppTheme &theme, const QPalette &palette) {
    ButtonLook l;
    l.radius = 5;
    const bool active = s.active() && s.enabled;
    l.foreground = selected || active ? theme.onAccent() : primary(palette);
    if (selected || active) {
        l.fill = ButtonLook::Fill::gradient;
        l.fillOpacity = active ? 1.0 : 0.9;
    } else {
        l.fill = ButtonLook::Fill::primary;
        l.fillOpacity = s.hover && s.enabled ? 0.14 : 0;
    }
    l.scale = active ? 0.9 : 1;
    l.opacity = s.enabled ? 1 : 0.5;
    return l;
}

QSize frame(double size) {
    return QSize(qRound(size + 14), qRound(size + 12));
}

} // namespace IconButtonStyle

namespace LinkButtonStyle {

ButtonLook look(const ButtonState &s, const AppTheme &, const QPalette &palette) {
    ButtonLook l;
    l.radius = 4;
    if (s.pressed) {
        l.fill = ButtonLook::Fill::gradient;
        l.fillOpacity = 0.35;
    } else {
        l.fill = ButtonLook::Fill::primary;
        l.fillOpacity = s.hover ? 0.1 : 0;
    }
    l.scale = s.pressed ? 0.96 : 1;
    l.foreground = palette.color(QPalette::WindowText);
    return l;
}

} // namespace LinkButtonStyle

// StyledButton

void StyledButton::setFlashDuration(std::chrono::milliseconds duration) {
    g_flashDuration = duration;
}

std::chrono::milliseconds StyledButton::flashDuration() {
    return g_flashDuration;
}

StyledButton::StyledButton(bool hasFlash, double pressedScale, QWidget *parent)
    : QAbstractButton(parent), m_hasFlash(hasFlash), m_pressedScale(pressedScale) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::ArrowCursor);
    // Reached by Tab; a click leaves the focus where it was, so the keys stay with the files (see
    // mousePressEvent for a ring on another button).
    setFocusPolicy(Qt::TabFocus);
    m_anim = new QVariantAnimation(this);
    m_anim->setDuration(100);
    m_anim->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_anim, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        m_scaleProgress = v.toDouble();
        update();
    });
    connect(this, &QAbstractButton::pressed, this, [this] {
        m_wasPressed = true;
        activeChanged();
    });
    connect(this, &QAbstractButton::released, this, [this] {
        // Any end of a press shows the flash, so even a very short click is visible.
        if (m_wasPressed && m_hasFlash && isEnabled()) {
            m_flash = true;
            const int generation = ++m_flashGeneration;
            QTimer::singleShot(g_flashDuration, this, [this, generation] {
                if (generation != m_flashGeneration) return;
                m_flash = false;
                activeChanged();
            });
        }
        m_wasPressed = false;
        activeChanged();
    });
}

ButtonState StyledButton::state() const {
    ButtonState s;
    s.enabled = isEnabled();
    s.hover = m_hover;
    s.pressed = isDown();
    s.flash = m_flash;
    return s;
}

AppTheme StyledButton::theme() const {
    return EnvironmentValues::appTheme(this);
}

UIScale StyledButton::ui() const {
    return EnvironmentValues::ui(this);
}

void StyledButton::activeChanged() {
    const bool active = state().active();
    if (active != m_wasActive) {
        m_wasActive = active;
        m_anim->stop();
        m_anim->setStartValue(m_scaleProgress);
        m_anim->setEndValue(active ? 1.0 : 0.0);
        m_anim->start();
    }
    update();
}

void StyledButton::mousePressEvent(QMouseEvent *event) {
    // A click leaves the keys with the files; but when another button has them, the next Space would
    // act on a button the mouse never touched: they come here instead.
    const QWidget *focus = QApplication::focusWidget();
    if (event->button() == Qt::LeftButton && focus && focus != this && focus->window() == window() &&
        qobject_cast<const QAbstractButton *>(focus) && (focusPolicy() & Qt::TabFocus))
        setFocus(Qt::MouseFocusReason);
    QAbstractButton::mousePressEvent(event);
}

void StyledButton::enterEvent(QEnterEvent *event) {
    m_hover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void StyledButton::leaveEvent(QEvent *event) {
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void StyledButton::changeEvent(QEvent *event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        // A disabled button shows no flash.
        m_flash = false;
        ++m_flashGeneration;
        activeChanged();
    }
    QAbstractButton::changeEvent(event);
}

void StyledButton::paintEvent(QPaintEvent *) {
    const ButtonLook l = look();
    const AppTheme t = theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    // Eased between 1 and the pressed scale as the active state changes.
    const double scale = 1 - (1 - m_pressedScale) * m_scaleProgress;
    p.translate(r.center());
    p.scale(scale, scale);
    p.translate(-r.center());
    p.setOpacity(l.opacity);

    QPainterPath shape;
    shape.addRoundedRect(r, l.radius, l.radius);
    if (l.fill == ButtonLook::Fill::gradient) {
        // The label sits on the gradient, so the fill keeps it readable.
        p.fillPath(shape, t.forText().gradient(r, l.fillOpacity));
    } else if (l.fill == ButtonLook::Fill::primary && l.fillOpacity > 0) {
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(float(l.fillOpacity));
        p.fillPath(shape, c);
    }
    if (l.border) {
        const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(QBrush(t.gradient(inner, 0.7)), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(inner, l.radius - 0.5, l.radius - 0.5);
    }
    paintLabel(p, r, l.foreground);
    FocusFrame::paint(this, p, {}, l.fill == ButtonLook::Fill::gradient ? l.foreground : QColor());
}

// BarButton

BarButton::BarButton(const QString &key, bool prominent, QWidget *parent)
    : StyledButton(true, 0.94, parent), m_key(key), m_prominent(prominent) {
    setAccessibleName(L(key));
}

void BarButton::setKey(const QString &key) {
    m_key = key;
    setAccessibleName(L(key));
    updateGeometry();
    update();
}

void BarButton::setProminent(bool prominent) {
    m_prominent = prominent;
    update();
}

ButtonLook BarButton::look() const {
    return BarButtonStyle::look(state(), m_prominent, theme(), palette());
}

QSize BarButton::sizeHint() const {
    const QFontMetrics fm(BarButtonStyle::font(ui()));
    return QSize(fm.horizontalAdvance(L(m_key)) + 2 * BarButtonStyle::padX,
                 fm.height() + 2 * BarButtonStyle::padY);
}

QSize BarButton::minimumSizeHint() const {
    // Room for a few letters; the title is shortened below its full width.
    const QFontMetrics fm(BarButtonStyle::font(ui()));
    const QSize full = sizeHint();
    return QSize(qMin(full.width(), fm.horizontalAdvance(QStringLiteral("Mm…")) + 2 * BarButtonStyle::padX),
                 full.height());
}

QString BarButton::shownText() const {
    const QFontMetrics fm(BarButtonStyle::font(ui()));
    const int room = qMax(0, width() - 2 * BarButtonStyle::padX);
    const QString text = L(m_key);
    // (elidedText alone would also shorten a text that fits but for a fraction of a pixel)
    return fm.horizontalAdvance(text) <= room ? text : fm.elidedText(text, Qt::ElideRight, room);
}

int BarButton::drawnWidth() const {
    return QFontMetrics(BarButtonStyle::font(ui())).horizontalAdvance(shownText()) + 2 * BarButtonStyle::padX;
}

void BarButton::paintLabel(QPainter &p, const QRectF &r, const QColor &fg) {
    p.setFont(BarButtonStyle::font(ui()));
    p.setPen(fg);
    p.drawText(r, Qt::AlignCenter, shownText());
}

// LabelButton

LabelButton::LabelButton(const QString &key, const QString &symbol, bool trailing, bool prominent,
                         QWidget *parent)
    : BarButton(key, prominent, parent), m_symbol(symbol), m_trailing(trailing) {}

QSize LabelButton::sizeHint() const {
    return m_symbolOnly ? minimumSizeHint() : titledSizeHint();
}

QSize LabelButton::titledSizeHint() const {
    const QSize base = BarButton::sizeHint();
    return {base.width() + iconSize() + 5, base.height()};
}

void LabelButton::setSymbolOnly(bool on) {
    if (on == m_symbolOnly) return;
    m_symbolOnly = on;
    updateGeometry();
    update();
}

QSize LabelButton::minimumSizeHint() const {
    return {iconSize() + 2 * BarButtonStyle::padX, BarButton::sizeHint().height()};
}

QString LabelButton::shownText() const {
    const QFontMetrics fm(BarButtonStyle::font(ui()));
    const int room = width() - 2 * BarButtonStyle::padX - iconSize() - 5;
    const QString text = L(key());
    return !m_symbolOnly && fm.horizontalAdvance(text) <= room ? text : QString();
}

int LabelButton::drawnWidth() const {
    const QString text = shownText();
    const int textWidth =
        text.isEmpty() ? 0 : QFontMetrics(BarButtonStyle::font(ui())).horizontalAdvance(text) + 5;
    return iconSize() + textWidth + 2 * BarButtonStyle::padX;
}

void LabelButton::paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) {
    const int icon = iconSize();
    painter.setFont(BarButtonStyle::font(ui()));
    const QString text = shownText();
    const double textWidth = text.isEmpty() ? -5 : painter.fontMetrics().horizontalAdvance(text);
    const double total = textWidth + 5 + icon;
    double x = rect.center().x() - total / 2;
    const QPixmap pix = Symbols::pixmap(m_symbol, icon, foreground, devicePixelRatioF());
    const double iconY = rect.center().y() - icon / 2.0;
    if (!m_trailing) {
        painter.drawPixmap(QPointF(x, iconY), pix);
        x += icon + 5;
    }
    painter.setPen(foreground);
    if (!text.isEmpty())
        painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text);
    if (m_trailing) painter.drawPixmap(QPointF(x + textWidth + 5, iconY), pix);
}

int LabelButton::iconSize() const {
    return int(std::lround(ui().small()));
}

// IconButton

IconButton::IconButton(const QString &symbol, bool selected, double size, QWidget *parent)
    : StyledButton(true, 0.9, parent), m_symbol(symbol), m_selected(selected), m_size(size) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void IconButton::setHelpKey(const QString &key) {
    m_helpKey = key;
    setAccessibleName(L(key));
}

void IconButton::setSelected(bool selected) {
    m_selected = selected;
    update();
}

void IconButton::setSymbol(const QString &symbol) {
    m_symbol = symbol;
    update();
}

ButtonLook IconButton::look() const {
    return IconButtonStyle::look(state(), m_selected, theme(), palette());
}

QSize IconButton::sizeHint() const {
    return IconButtonStyle::frame(m_size);
}

bool IconButton::event(QEvent *e) {
    // The tooltip is looked up when shown, so it follows the current language.
    if (e->type() == QEvent::ToolTip && !m_helpKey.isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent *>(e)->globalPos(), L(m_helpKey), this);
        return true;
    }
    return StyledButton::event(e);
}

void IconButton::paintLabel(QPainter &p, const QRectF &r, const QColor &fg) {
    const int px = qMax(1, qRound(m_size));
    const QPixmap pm = Symbols::pixmap(m_symbol, px, fg, devicePixelRatioF());
    if (pm.isNull()) return;
    const QSizeF s = QSizeF(pm.size()) / pm.devicePixelRatio();
    p.drawPixmap(QPointF(r.center().x() - s.width() / 2, r.center().y() - s.height() / 2), pm);
}

// LinkButton

LinkButton::LinkButton(const QString &key, QWidget *parent) : StyledButton(false, 0.96, parent), m_key(key) {
    // Links sit in running text, so they take the text colour unless the caller picks another role.
    setForegroundRole(QPalette::WindowText);
    setAccessibleName(L(key));
}

void LinkButton::setKey(const QString &key) {
    m_key = key;
    setAccessibleName(L(key));
    updateGeometry();
    update();
}

ButtonLook LinkButton::look() const {
    ButtonLook l = LinkButtonStyle::look(state(), theme(), palette());
    l.foreground = palette().color(foregroundRole());
    return l;
}

QSize LinkButton::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(L(m_key)) + 2 * LinkButtonStyle::padX, fm.height());
}

void LinkButton::paintLabel(QPainter &p, const QRectF &r, const QColor &fg) {
    p.setFont(font());
    p.setPen(fg);
    p.drawText(r, Qt::AlignCenter, L(m_key));
}

// SettingsGearButton

SettingsGearButton::SettingsGearButton(QWidget *parent)
    : IconButton(QStringLiteral("gearshape"), false, 14, parent) {
    setHelpKey(K("Einstellungen (⌘,)"));
}
