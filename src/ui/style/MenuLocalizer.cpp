#include "ui/style/MenuLocalizer.h"

#include "core/localisation/Lang.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSet>
#include <QTimer>

namespace MenuLocalizer {

namespace {

constexpr const char *keyProperty = "kestrinMenuKey";
constexpr const char *hintProperty = "kestrinKeyHint";

std::chrono::milliseconds g_delay{250};
bool g_pending = false;
int g_passes = 0;

// Menu texts treat '&' as a mnemonic marker; a translated '&' must show as itself.
QString menuText(const QString &key) {
    QString text = L(key);
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    return text;
}

void retitle(QAction *action) {
    const QString k = key(action);
    if (k.isEmpty()) return;
    QString text = menuText(k);
    // Menus show what follows a tab in the shortcut column.
    const QString hint = action->property(hintProperty).toString();
    if (!hint.isEmpty()) text += u'\t' + hint;
    if (action->text() != text) action->setText(text);
}

void walkMenu(QWidget *menu, QSet<QWidget *> &seen) {
    if (!menu || seen.contains(menu)) return;
    seen.insert(menu);
    const auto actions = menu->actions();
    for (QAction *action : actions) {
        retitle(action);
        if (QMenu *sub = action->menu()) {
            retitle(sub->menuAction());
            walkMenu(sub, seen);
        }
    }
}

class MenuWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const auto type = event->type();
        if ((type == QEvent::ActionAdded || type == QEvent::ActionChanged) &&
            (qobject_cast<QMenu *>(watched) || qobject_cast<QMenuBar *>(watched)))
            scheduleApply();
        return false;
    }
};

} // namespace

void setKey(QAction *action, const QString &k) {
    action->setProperty(keyProperty, k);
    retitle(action);
}

void setKey(QMenu *menu, const QString &k) {
    setKey(menu->menuAction(), k);
}

void setKeyHint(QAction *action, const QString &hint) {
    action->setProperty(hintProperty, hint);
    retitle(action);
}

QString key(const QAction *action) {
    return action ? action->property(keyProperty).toString() : QString();
}

QMenu *addMenu(QMenuBar *bar, const QString &k) {
    QMenu *menu = bar->addMenu(QString());
    setKey(menu, k);
    return menu;
}

QMenu *addMenu(QMenu *parent, const QString &k) {
    QMenu *menu = parent->addMenu(QString());
    setKey(menu, k);
    return menu;
}

QAction *addAction(QMenu *menu, const QString &k) {
    QAction *action = menu->addAction(QString());
    setKey(action, k);
    return action;
}

void start() {
    static bool started = false;
    if (started || !qApp) return;
    started = true;
    qApp->installEventFilter(new MenuWatcher(qApp));
}

void scheduleApply() {
    if (!qApp) return;
    // Queued even on the main thread, so a burst of requests inside one event is one pass.
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (g_pending) return;
            g_pending = true;
            QTimer::singleShot(g_delay, qApp, [] {
                g_pending = false;
                apply();
            });
        },
        Qt::QueuedConnection);
}

void apply() {
    ++g_passes;
    QSet<QWidget *> seen;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *bar = qobject_cast<QMenuBar *>(w)) walkMenu(bar, seen);
        const auto bars = w->findChildren<QMenuBar *>();
        for (QMenuBar *bar : bars)
            walkMenu(bar, seen);
    }
}

void walk(QWidget *menu) {
    QSet<QWidget *> seen;
    walkMenu(menu, seen);
}

void setDelay(std::chrono::milliseconds delay) {
    g_delay = delay;
}

int passCount() {
    return g_passes;
}

} // namespace MenuLocalizer
