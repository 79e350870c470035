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
// other key goes on to AppState::keyDown (moving through the list, type-to-select). Keys act on what has
// the focus: the keys of the commands on the files, and the browser's own, reach the files only from a
// pane; any other part of the window (the sidebar, the toolbar, the inspector) gets them as plain keys.
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
    // Whether the files are meant by a key: the focus is in a pane (the nearest widget carrying
    // paneProperty true), or nothing has it.
    static bool inPane(const QWidget *focus);
    static constexpr const char *paneProperty = "kestrinPane";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shift+F10 as the menu key of whatever else has the focus (a sidebar row): its own menu, if any.
    static void contextMenuByKey(QWidget *focus);
    QPointer<AppState> m_app;
    QPointer<Commands> m_commands;
    std::optional<int> m_taken; // the key taken at its ShortcutOverride, whose KeyPress follows
};
