#pragma once

#include <QAction>
#include <QMenu>
#include <QStringList>

namespace MenuTest {

// The names (German keys) of a menu's entries in order, separators left out.
inline QStringList entries(const QMenu *menu) {
    QStringList out;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator()) out << a->objectName();
    return out;
}

// An entry anywhere in the menu or its submenus; nullptr when there is none.
inline QAction *find(const QMenu *menu, const QString &name) {
    for (QAction *a : menu->actions()) {
        if (a->objectName() == name) return a;
        if (a->menu())
            if (QAction *found = find(a->menu(), name)) return found;
    }
    return nullptr;
}

inline QMenu *submenu(const QMenu *menu, const QString &name) {
    QAction *a = find(menu, name);
    return a ? a->menu() : nullptr;
}

} // namespace MenuTest
