// The browser's keyboard commands and type-to-select.
#include "core/app/AppState.h"

#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QDateTime>

bool AppState::handleKey(const KeyPress &press) {
    if (press.modalOpen || !press.mainWindowActive || press.textHasFocus) return false;
    const Qt::KeyboardModifiers mods =
        press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool none = mods == Qt::NoModifier, shift = mods == Qt::ShiftModifier,
               ctrl = mods == Qt::ControlModifier;
    PaneModel *pane = activePane();
    TabGroup *group = tabs(m_sides.active());

    // Ctrl+W closes the tab while the side has several; with one it is left to the window, which closes.
    if (ctrl && press.key == Qt::Key_W) {
        if (group->tabs().size() < 2) return false;
        group->close(group->index());
        return true;
    }
    if (none || shift) {
        int step = 0;
        switch (press.key) {
        case Qt::Key_Up:
            step = -1;
            break;
        case Qt::Key_Down:
            step = 1;
            break;
        case Qt::Key_Home:
            step = -1000000;
            break;
        case Qt::Key_End:
            step = 1000000;
            break;
        case Qt::Key_PageDown:
            step = none ? 10 : 0;
            break;
        case Qt::Key_PageUp:
            step = none ? -10 : 0;
            break;
        default:
            break;
        }
        if (step != 0) {
            pane->moveSelection(step, shift);
            return true;
        }
        // Type-to-select: one letter or digit; a pause of more than a second starts a new prefix.
        if (press.text.size() != 1 || !press.text[0].isLetterOrNumber()) return false;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - m_typeTime > 1000) m_typeBuffer.clear();
        m_typeTime = now;
        m_typeBuffer += press.text;
        pane->selectByPrefix(m_typeBuffer);
        return true;
    }
    return false;
}
