// The browser's own keys: moving through the list and type-to-select. Commands' keys are the registry's.
#include "core/app/AppState.h"

#include "core/model/PaneModel.h"

#include <QDateTime>

bool AppState::keyDown(const KeyPress &press) {
    if (press.modalOpen || !press.mainWindowActive || press.textHasFocus || !press.paneHasFocus) return false;
    const Qt::KeyboardModifiers mods =
        press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool none = mods == Qt::NoModifier, shift = mods == Qt::ShiftModifier;
    PaneModel *pane = activePane();
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
        // Type-to-select: one visible character (a name's dot or dash counts too), a space only within a
        // run (first, it is the preview's key); a pause of more than a second starts a new prefix.
        if (press.text.size() != 1 || !press.text[0].isPrint()) return false;
        const bool going = typingName();
        if (press.text[0].isSpace() && !going) return false;
        if (!going) m_typeBuffer.clear();
        m_typeTime = QDateTime::currentMSecsSinceEpoch();
        m_typeBuffer += press.text;
        pane->selectByPrefix(m_typeBuffer);
        return true;
    }
    return false;
}

bool AppState::typingName() const {
    return !m_typeBuffer.isEmpty() &&
           QDateTime::currentMSecsSinceEpoch() - m_typeTime <= m_services.timings.typeSelectMs;
}
