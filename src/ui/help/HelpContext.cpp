#include "ui/help/HelpContext.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "ui/style/Symbols.h"

#include <QContextMenuEvent>
#include <QMenu>

HelpContext::HelpContext(QWidget *view, AppState *app, int section)
    : QObject(view), m_app(app), m_section(section) {
    view->installEventFilter(this);
}

HelpContext *HelpContext::of(const QWidget *view) {
    return view ? view->findChild<HelpContext *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

QAction *HelpContext::addItem(QMenu *menu, AppState *app, int section) {
    QAction *item = menu->addAction(Symbols::icon(QStringLiteral("questionmark.circle")), L("Hilfe dazu"));
    QPointer<AppState> target(app);
    QObject::connect(item, &QAction::triggered, menu, [target, section] {
        if (target) target->requests().openManual(section);
    });
    return item;
}

QMenu *HelpContext::popup(QWidget *parent, AppState *app, int section, const QPoint &globalPos) {
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addItem(menu, app, section);
    menu->popup(globalPos);
    return menu;
}

bool HelpContext::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::ContextMenu || !m_app) return false;
    popup(static_cast<QWidget *>(watched), m_app, m_section,
          static_cast<QContextMenuEvent *>(event)->globalPos());
    return true;
}

HelpContext *helpContext(QWidget *view, AppState *app, int section) {
    if (HelpContext *existing = HelpContext::of(view)) {
        existing->setSection(section);
        return existing;
    }
    return new HelpContext(view, app, section);
}
