#pragma once

#include "core/app/KeyPress.h"

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <optional>

class AppState;
class Commands;
class QWidget;

// The application-wide key-down monitor: a key the command registry serves as a monitor key triggers its
// command, as does a key an enabled command takes ahead of the window's own (Ctrl+W closing a tab); every
// other key goes on to AppState::keyDown (moving through the list, type-to-select).
class KeyMonitor : public QObject {
    Q_OBJECT
public:
    // Runs the commands of the registry it is given and passes the other keys to the state.
    KeyMonitor(AppState &app, Commands &commands, QObject *parent = nullptr);

    // True when the key was used.
    bool keyDown(const KeyPress &press);
    // The keys that open menus: F10 the menu bar's first, Shift+F10 and the menu key the item or
    // background menu of the active pane in window. True when a menu opened.
    bool menuKey(const KeyPress &press, QWidget *window);
    // The registry's form of a pressed key: Shift+Tab is Tab, the period's shifted characters the period.
    static QKeySequence monitorKey(const KeyPress &press);
    // Whether the focus widget keeps every key to itself: the menu bar and menus, and a part of the window
    // that carries ownKeysProperty true (the sidebar, the toolbar), which moves through its own entries.
    // The nearest widget carrying the property decides.
    static bool keepsItsKeys(const QWidget *focus);
    static constexpr const char *ownKeysProperty = "kestrinOwnKeys";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<AppState> m_app;
    QPointer<Commands> m_commands;
    std::optional<int> m_taken; // the key taken at its ShortcutOverride, whose KeyPress follows
};
