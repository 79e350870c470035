#include "ui/window/ActionBar.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "ui/app/Commands.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace {

// A bar button with a symbol before or after its title.
class LabelButton : public BarButton {
public:
    LabelButton(const char *key, const QString &symbol, bool trailing, bool prominent, QWidget *parent)
        : BarButton(QString::fromUtf8(key), prominent, parent), m_symbol(symbol), m_trailing(trailing) {}

    QSize sizeHint() const override {
        const QSize base = BarButton::sizeHint();
        if (m_symbolOnly) return {iconSize() + 2 * BarButtonStyle::padX, base.height()};
        return fullSize();
    }
    QSize fullSize() const {
        const QSize base = BarButton::sizeHint();
        return {base.width() + iconSize() + 5, base.height()};
    }
    // Without its title when the bar is too narrow for every title; the tooltip then names it.
    void setSymbolOnly(bool on) {
        if (on == m_symbolOnly) return;
        m_symbolOnly = on;
        setToolTip(on && m_tip.isEmpty() ? L(key()) : m_tip);
        updateGeometry();
        update();
    }
    void setTip(const QString &tip) {
        m_tip = tip;
        setToolTip(tip);
    }

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override {
        const int icon = iconSize();
        if (m_symbolOnly) {
            painter.drawPixmap(QPointF(rect.center().x() - icon / 2.0, rect.center().y() - icon / 2.0),
                               Symbols::pixmap(m_symbol, icon, foreground, devicePixelRatioF()));
            return;
        }
        const QString text = L(key());
        painter.setFont(BarButtonStyle::font(ui()));
        const double textWidth = painter.fontMetrics().horizontalAdvance(text);
        const double total = textWidth + 5 + icon;
        double x = rect.center().x() - total / 2;
        const QPixmap pix = Symbols::pixmap(m_symbol, icon, foreground, devicePixelRatioF());
        const double iconY = rect.center().y() - icon / 2.0;
        if (!m_trailing) {
            painter.drawPixmap(QPointF(x, iconY), pix);
            x += icon + 5;
        }
        painter.setPen(foreground);
        painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text);
        if (m_trailing) painter.drawPixmap(QPointF(x + textWidth + 5, iconY), pix);
    }

private:
    int iconSize() const { return int(std::lround(ui().small())); }
    QString m_symbol;
    QString m_tip;
    bool m_trailing;
    bool m_symbolOnly = false;
};

} // namespace

ActionBar::ActionBar(AppState *app, QWidget *parent) : QWidget(parent), m_app(app) {
    setFixedHeight(34);
    setAccessibleName(L("Aktionsleiste"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(6);
    row->addStretch(1);

    Commands *commands = Commands::of(app);
    if (!commands) return;
    // A button runs its command and is enabled with it.
    auto bind = [](QAbstractButton *button, QAction *action) {
        connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
        button->setEnabled(action->isEnabled());
        connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
        return button;
    };
    // The bar's own short label, the command's symbol before or after it.
    auto bar = [this, commands, bind](const char *id, const char *label, bool trailing, bool prominent) {
        QAction *action = commands->action(QString::fromUtf8(id));
        auto *b = new LabelButton(label, Commands::symbol(action), trailing, prominent, this);
        const QString help = Commands::helpKey(action);
        if (!help.isEmpty()) b->setTip(L(help));
        b->setAccessibleName(L(help.isEmpty() ? QString::fromUtf8(label) : help));
        bind(b, action);
        return b;
    };
    auto icon = [this, commands, bind](const char *id) {
        QAction *action = commands->action(QString::fromUtf8(id));
        auto *b = new IconButton(Commands::symbol(action), false, 12, this);
        b->setHelpKey(Commands::helpKey(action));
        bind(b, action);
        return b;
    };

    QWidget *copyToLeft = bar(Cmd::copyToLeft, K("Kopieren"), false, true);
    QWidget *copyToRight = bar(Cmd::copyToRight, K("Kopieren"), true, true);
    QWidget *sep1 = separator();
    QWidget *moveToLeft = bar(Cmd::moveToLeft, K("Verschieben"), false, false);
    QWidget *moveToRight = bar(Cmd::moveToRight, K("Verschieben"), true, false);
    QWidget *sep2 = separator();
    m_transferGroup = {copyToLeft, copyToRight, sep1, moveToLeft, moveToRight, sep2};

    auto *tags = new QToolButton(this);
    tags->setDefaultAction(commands->action(QString::fromUtf8(Cmd::tags)));
    tags->setAutoRaise(true);
    tags->setPopupMode(QToolButton::InstantPopup);
    tags->setFixedSize(26, 24);
    tags->setIconSize(QSize(12, 12));
    tags->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    tags->setAccessibleName(L("Tags"));

    for (QWidget *w : m_transferGroup)
        row->addWidget(w);
    for (QWidget *w : std::initializer_list<QWidget *>{
             bar(Cmd::newFolder, K("Neuer Ordner"), false, false),
             bar(Cmd::rename, K("Umbenennen"), false, false), separator(), icon(Cmd::copy), icon(Cmd::cut),
             icon(Cmd::paste), icon(Cmd::share), tags, icon(Cmd::info)})
        row->addWidget(w);
    row->addStretch(1);

    if (m_app)
        connect(&m_app->settings(), &Settings::changed, this, [this](Settings::Key key) {
            if (key == Settings::Key::dualPane) sync();
        });
    sync();
}

QWidget *ActionBar::separator() {
    auto *holder = new QWidget(this);
    holder->setFixedSize(5, 16);
    auto *line = new QFrame(holder);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setGeometry(2, 0, 1, 16);
    return holder;
}

void ActionBar::sync() {
    if (!m_app) return;
    for (QWidget *w : std::as_const(m_transferGroup))
        w->setVisible(m_app->settings().dualPane());
    fit();
}

// The titles go when the bar cannot show them all, so no button is cut off.
void ActionBar::fit() {
    auto *row = static_cast<QHBoxLayout *>(layout());
    if (!row) return;
    const QMargins m = row->contentsMargins();
    int needed = m.left() + m.right();
    int shown = 0;
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isHidden()) continue;
        auto *label = dynamic_cast<LabelButton *>(w);
        needed += label ? label->fullSize().width() : w->sizeHint().width();
        ++shown;
    }
    needed += row->spacing() * qMax(0, shown - 1);
    const bool symbolsOnly = needed > width();
    for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (auto *label = dynamic_cast<LabelButton *>(w)) label->setSymbolOnly(symbolsOnly);
}

void ActionBar::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fit();
}

QSize ActionBar::sizeHint() const {
    return {QWidget::sizeHint().width(), 34};
}

void ActionBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window).darker(103));
}
