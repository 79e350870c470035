#include "core/help/ToolHelpModifier.h"

ToolHelpModifier::ToolHelpModifier(HelpClock *clock, QObject *parent) : QObject(parent) {
    if (!clock) {
        m_ownClock = std::make_unique<TimerHelpClock>();
        clock = m_ownClock.get();
    }
    m_clock = clock;
}

ToolHelpModifier::~ToolHelpModifier() {
    cancelTask();
    cancelHideTask();
}

void ToolHelpModifier::setOverSymbol(bool over) {
    m_overSymbol = over;
    update();
}

void ToolHelpModifier::setOverCard(bool over) {
    // A hidden card cannot be under the pointer; a late leave or a stray enter must not count.
    m_overCard = over && m_shown;
    update();
}

void ToolHelpModifier::controlClicked() {
    cancelTask();
    setShown(false);
}

void ToolHelpModifier::dismiss() {
    cancelTask();
    cancelHideTask();
    setShown(false);
}

void ToolHelpModifier::resignActive() {
    cancelTask();
    setShown(false);
}

void ToolHelpModifier::linkFollowed() {
    setShown(false);
}

void ToolHelpModifier::update() {
    cancelTask();
    if (m_overSymbol || m_overCard) {
        // Moving between the control and an open card keeps it open; a closed one waits for the pointer to
        // rest.
        const int delay = m_shown ? 0 : showDelayMs;
        m_task = m_clock->after(delay, [this] {
            m_task = 0;
            if (!m_overSymbol && !m_overCard) return;
            setShown(true);
            armAutoHide();
        });
    } else {
        m_task = m_clock->after(leaveDelayMs, [this] {
            m_task = 0;
            setShown(false);
        });
    }
}

void ToolHelpModifier::armAutoHide() {
    cancelHideTask();
    m_hideTask = m_clock->after(autoHideMs, [this] {
        m_hideTask = 0;
        if (!m_overCard) setShown(false);
    });
}

void ToolHelpModifier::setShown(bool shown) {
    if (!shown) m_overCard = false;
    if (m_shown == shown) return;
    m_shown = shown;
    emit shownChanged(shown);
}

void ToolHelpModifier::cancelTask() {
    m_clock->cancel(m_task);
    m_task = 0;
}

void ToolHelpModifier::cancelHideTask() {
    m_clock->cancel(m_hideTask);
    m_hideTask = 0;
}
