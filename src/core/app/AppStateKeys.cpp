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

    if (ctrl) {
        switch (press.key) {
        case Qt::Key_A:
            pane->selectAll();
            return true;
        case Qt::Key_Z:
            undoLast();
            return true;
        case Qt::Key_Down:
            if (pane->selection().isEmpty()) return false;
            openSelection();
            return true;
        case Qt::Key_W:
            if (group->tabs().size() < 2) return false;
            group->close(group->index());
            return true;
        case Qt::Key_T:
            group->newTab();
            return true;
        default:
            break;
        }
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
        if (press.key == Qt::Key_Tab || press.key == Qt::Key_Backtab) {
            if (!m_settings.dualPane()) return false;
            m_sides.setActive(m_sides.active() == Side::left ? Side::right : Side::left);
            return true;
        }
        // Linux file managers open with Enter; F2 renames (a shortcut of the window).
        if (none && (press.key == Qt::Key_Return || press.key == Qt::Key_Enter)) {
            if (pane->selection().isEmpty()) return false;
            openSelection();
            return true;
        }
        // Until the preview exists Space is left to the window.
        if (none && press.key == Qt::Key_Space) {
            if (!quickLook) return false;
            quickLook();
            return true;
        }
        if (none && press.key == Qt::Key_Escape) {
            if (pane->selection().isEmpty()) return false;
            pane->setSelection({});
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
