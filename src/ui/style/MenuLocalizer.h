#pragma once

#include <QString>

#include <chrono>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// Keeps the titles of our menu bars in the current language. Every menu and action carries its
// German key; a pass re-titles whatever differs from the key's text in the current language, and gives
// each title of a menu bar and of its menus a mnemonic that no other entry of its menu has.
// Menu changes and language changes ask for a pass; requests are coalesced to one pass per delay.
namespace MenuLocalizer {

// Gives an action (or a menu, through its menu action) its German key and titles it now.
void setKey(QAction *action, const QString &key);
void setKey(QMenu *menu, const QString &key);
// Keys served elsewhere (not the action's shortcut), shown in the menu's shortcut column.
void setKeyHint(QAction *action, const QString &hint);
// A title as a menu shows it: its '&' as the character, and the mnemonic chosen for the action while the
// title is the one it was chosen for.
QString titled(const QAction *action, const QString &title);
// The key of an action; empty when it has none (such titles are left alone).
QString key(const QAction *action);
// A new keyed submenu of a menu bar or menu, and a new keyed action of a menu.
QMenu *addMenu(QMenuBar *bar, const QString &key);
QMenu *addMenu(QMenu *menu, const QString &key);
QAction *addAction(QMenu *menu, const QString &key);

// Watches every menu and menu bar for added and changed items. Call once at start-up.
void start();
// Asks for a pass soon; cheap and safe to call often.
void scheduleApply();
// One pass over every menu bar of the application's top-level windows, now.
void apply();
// One pass over one menu or menu bar and its submenus, depth first.
void walk(QWidget *menu);

// The coalescing window (0.25 s); tests shorten it.
void setDelay(std::chrono::milliseconds delay);
// Passes run so far, for tests.
int passCount();

} // namespace MenuLocalizer
