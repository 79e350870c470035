#include "ui/help/HelpContext.h"

#include "core/app/WindowRequests.h"
#include "core/localisation/Lang.h"
#include "ui/style/Symbols.h"

#include <QContextMenuEvent>
#include <QMenu>

HelpContext::HelpContext(QWidget *view, WindowRequests *requests, int section)
    : QObject(view), m_requests(requests), m_section(section) {
    view->installEventFilter(this);
}

HelpContext *HelpContext::of(const QWidget *view) {
    return view ? view->findChild<HelpContext *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

QAction *HelpContext::addItem(QMenu *menu, WindowRequests *requests, int section) {
    QAction *item = menu->addAction(Symbols::icon(QStringLiteral("questionmark.circle")), L("Hilfe dazu"));
    QPointer<WindowRequests> target(requests);
    QObject::connect(item, &QAction::triggered, menu, [target, section] {
        if (target) target->openManual(section);
    });
    return item;
}

QMenu *HelpContext::popup(QWidget *parent, WindowRequests *requests, int section, const QPoint &globalPos) {
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addItem(menu, requests, section);
    menu->popup(globalPos);
    return menu;
}

bool HelpContext::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::ContextMenu || !m_requests) return false;
    popup(static_cast<QWidget *>(watched), m_requests, m_section,
          static_cast<QContextMenuEvent *>(event)->globalPos());
    return true;
}

HelpContext *helpContext(QWidget *view, WindowRequests *requests, int section) {
    if (HelpContext *existing = HelpContext::of(view)) {
        existing->setSection(section);
        return existing;
    }
    return new HelpContext(view, requests, section);
}
