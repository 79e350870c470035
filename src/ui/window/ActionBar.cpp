#include "ui/window/ActionBar.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "ui/app/Commands.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <cmath>
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
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
        return {base.width() + iconSize() + 5, base.height()};
    }
    // At the narrowest the symbol alone.
    QSize minimumSizeHint() const override {
        return {iconSize() + 2 * BarButtonStyle::padX, BarButton::sizeHint().height()};
    }
    // The title gives way first: shortened, then left out, so the button never draws beyond itself.
    QString shownText() const override {
        const QFontMetrics fm(BarButtonStyle::font(ui()));
        const int room = width() - 2 * BarButtonStyle::padX - iconSize() - 5;
        QString text = L(key());
        if (fm.horizontalAdvance(text) > room) text = fm.elidedText(text, Qt::ElideRight, qMax(0, room));
        return text.size() < 3 ? QString() : text;
    }
    int drawnWidth() const override {
        const QString text = shownText();
        const int textWidth =
            text.isEmpty() ? 0 : QFontMetrics(BarButtonStyle::font(ui())).horizontalAdvance(text) + 5;
        return iconSize() + textWidth + 2 * BarButtonStyle::padX;
    }

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override {
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

private:
    int iconSize() const { return int(std::lround(ui().small())); }
    QString m_symbol;
    bool m_trailing;
};

} // namespace

ActionBar::ActionBar(AppState *app, QWidget *parent) : QWidget(parent), m_app(app) {
    setFixedHeight(34);
    // 34 at the base size of 13; the buttons' sizes follow the scale as well.
    EnvironmentValues::follow(this, [this] {
        setFixedHeight(qMax(34, int(std::lround(34 * EnvironmentValues::ui(this).font / 13))));
        for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            w->updateGeometry();
    });
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
        if (!help.isEmpty()) b->setToolTip(L(help));
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

    // Drawn like the other symbol buttons, enabled and disabled; a click opens the command's menu.
    QAction *tagsAction = commands->action(QString::fromUtf8(Cmd::tags));
    auto *tags = new IconButton(Commands::symbol(tagsAction), false, 12, this);
    tags->setHelpKey(K("Tags"));
    tags->setEnabled(tagsAction->isEnabled());
    connect(tagsAction, &QAction::enabledChanged, tags, &QWidget::setEnabled);
    connect(tags, &QAbstractButton::clicked, tagsAction, [tags, tagsAction] {
        if (QMenu *menu = tagsAction->menu()) menu->popup(tags->mapToGlobal(QPoint(0, tags->height())));
    });

    for (QWidget *w : m_transferGroup)
        row->addWidget(w);
    for (QWidget *w : std::initializer_list<QWidget *>{
             bar(Cmd::newFolder, K("Neuer Ordner"), false, false),
             bar(Cmd::rename, K("Umbenennen"), false, false), separator(), icon(Cmd::copy), icon(Cmd::cut),
             icon(Cmd::paste), icon(Cmd::share), tags, icon(Cmd::info)})
        row->addWidget(w);
    row->addStretch(1);

    if (m_app) connect(m_app, &AppState::dualPaneChanged, this, &ActionBar::sync);
    sync();
}

namespace {

// A thin divider in the text colour of the moment, faint like the window's other lines.
class BarSeparator : public QWidget {
public:
    explicit BarSeparator(QWidget *parent) : QWidget(parent) { setFixedSize(5, 16); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(0.2f);
        p.fillRect(QRect(2, 0, 1, height()), c);
    }
};

} // namespace

QWidget *ActionBar::separator() {
    return new BarSeparator(this);
}

void ActionBar::sync() {
    if (!m_app) return;
    for (QWidget *w : std::as_const(m_transferGroup))
        w->setVisible(m_app->dualPane());
}

QSize ActionBar::sizeHint() const {
    return {QWidget::sizeHint().width(), height()};
}

void ActionBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window).darker(103));
}
