#pragma once

#include <QString>
#include <Qt>

// One key-down as the core sees it: the window layer fills it from the toolkit's event.
struct KeyPress {
    int key = 0;                          // Qt::Key
    Qt::KeyboardModifiers modifiers = {}; // Caps Lock is never among them
    QString text;                         // the typed characters, if any
    bool textHasFocus = false;            // a text field or editor has the keyboard focus
    bool modalOpen = false;               // a question, sheet or other modal window is up
    bool mainWindowActive = true;         // the key window is the main window "Kestrin"
    bool paneHasFocus = true;             // a pane has the focus (or nothing has): the files are meant
};
