#pragma once

#include <QPointer>
#include <QWidget>

class Settings;

// What the windows of their own (the manual, the settings) share.
namespace OwnWindow {

// Follows the theme, the font size and the folder icons of the settings at once.
void followLooks(QWidget *w, Settings *settings);
// Deletes the widget's layout and child widgets, so it can be built anew.
void clearLayout(QWidget *w);

// Shows the one window held in slot (made by make() when there is none) and brings it forward.
template <typename W, typename Make> W *openOne(QPointer<W> &slot, Make make) {
    if (!slot) {
        slot = make();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}

} // namespace OwnWindow
