#include "ui/window/ActionBar.h"

#include "core/app/Settings.h"
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

ActionBar::ActionBar(Settings &settings, Commands &commands, QWidget *parent)
    : QWidget(parent), m_settings(&settings), m_commands(commands) {
    setFixedHeight(34);
    // 34 at the base size of 13; the buttons' sizes follow the scale as well.
    EnvironmentValues::follow(this, [this] {
        setFixedHeight(qMax(34, int(std::lround(34 * EnvironmentValues::ui(this).font / 13))));
        for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            w->updateGeometry();
        fitTitles();
    });
    setAccessibleName(L("Aktionsleiste"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(6);
    row->addStretch(1);

    QWidget *copyToLeft = labelButton(Cmd::copyToLeft, K("Kopieren"), false, true);
    QWidget *copyToRight = labelButton(Cmd::copyToRight, K("Kopieren"), true, true);
    QWidget *sep1 = separator();
    QWidget *moveToLeft = labelButton(Cmd::moveToLeft, K("Verschieben"), false, false);
    QWidget *moveToRight = labelButton(Cmd::moveToRight, K("Verschieben"), true, false);
    QWidget *sep2 = separator();
    m_transferGroup = {copyToLeft, copyToRight, sep1, moveToLeft, moveToRight, sep2};
    for (QWidget *w : m_transferGroup)
        row->addWidget(w);
    for (QWidget *w : std::initializer_list<QWidget *>{
             labelButton(Cmd::newFolder, K("Neuer Ordner"), false, false),
             labelButton(Cmd::rename, K("Umbenennen"), false, false), separator(), iconButton(Cmd::copy),
             iconButton(Cmd::cut), iconButton(Cmd::paste), iconButton(Cmd::share), tagsButton(),
             iconButton(Cmd::info)})
        row->addWidget(w);
    row->addStretch(1);

    connect(&settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::dualPane) sync();
    });
    sync();
}

namespace {

// A button runs its command and is enabled with it.
QAbstractButton *bind(QAbstractButton *button, QAction *action) {
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    button->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    return button;
}

} // namespace

// The bar's own short label, the command's symbol before or after it.
QWidget *ActionBar::labelButton(const char *id, const char *label, bool trailing, bool prominent) {
    QAction *action = m_commands.action(QString::fromUtf8(id));
    auto *b = new LabelButton(QString::fromUtf8(label), m_commands.symbol(action), trailing, prominent, this);
    const QString help = m_commands.helpKey(action);
    // Also what names it when it shows its symbol alone.
    b->setToolTip(L(help.isEmpty() ? QString::fromUtf8(label) : help));
    b->setAccessibleName(L(help.isEmpty() ? QString::fromUtf8(label) : help));
    return bind(b, action);
}

QWidget *ActionBar::iconButton(const char *id) {
    QAction *action = m_commands.action(QString::fromUtf8(id));
    auto *b = new IconButton(m_commands.symbol(action), false, 12, this);
    b->setHelpKey(m_commands.helpKey(action));
    return bind(b, action);
}

// Drawn like the other symbol buttons, enabled and disabled; a click opens the command's menu.
QWidget *ActionBar::tagsButton() {
    QAction *tagsAction = m_commands.action(QString::fromUtf8(Cmd::tags));
    auto *tags = new IconButton(m_commands.symbol(tagsAction), false, 12, this);
    tags->setHelpKey(K("Tags"));
    tags->setEnabled(tagsAction->isEnabled());
    connect(tagsAction, &QAction::enabledChanged, tags, &QWidget::setEnabled);
    connect(tags, &QAbstractButton::clicked, tagsAction, [tags, tagsAction] {
        if (QMenu *menu = tagsAction->menu()) menu->popup(tags->mapToGlobal(QPoint(0, tags->height())));
    });
    return tags;
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
    if (!m_settings) return;
    for (QWidget *w : std::as_const(m_transferGroup))
        w->setVisible(m_settings->dualPane());
    fitTitles();
}

void ActionBar::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fitTitles();
}

void ActionBar::fitTitles() {
    const auto *row = static_cast<QHBoxLayout *>(layout());
    if (!row) return;
    const QMargins margins = row->contentsMargins();
    int need = margins.left() + margins.right();
    int shown = 0;
    QList<LabelButton *> titled;
    // What the layout will give each part (a fixed-size separator has no size hint of its own); the titles
    // show all together or not at all, so that none is cut short by the others.
    for (int i = 0; i < row->count(); ++i) {
        QLayoutItem *item = row->itemAt(i);
        QWidget *w = item->widget();
        if (!w || w->isHidden()) continue;
        auto *b = qobject_cast<LabelButton *>(w);
        need += b ? b->titledSizeHint().width() : item->sizeHint().width();
        ++shown;
        if (b) titled << b;
    }
    need += row->spacing() * qMax(0, shown - 1);
    for (LabelButton *b : std::as_const(titled))
        b->setSymbolOnly(need > width());
}

QSize ActionBar::sizeHint() const {
    return {QWidget::sizeHint().width(), height()};
}

void ActionBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window).darker(103));
}
