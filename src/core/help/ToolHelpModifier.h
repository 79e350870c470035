#pragma once

#include "core/help/HelpClock.h"

#include <QObject>
#include <memory>

// When the hover help card of one control shows and hides. The interface reports where the pointer is
// and what was clicked; this decides, on its clock, whether the card is shown:
// - the pointer rests on the control for showDelayMs: the card opens and an automatic hide is armed;
// - the pointer leaves both the control and the card: the card closes leaveDelayMs later unless it returns;
// - autoHideMs after it was armed the card closes unless the pointer is on the card;
// - a click on the control, a click outside the card or the application going to the background close it.
class ToolHelpModifier : public QObject {
    Q_OBJECT
public:
    static constexpr int showDelayMs = 550;
    static constexpr int leaveDelayMs = 350;
    static constexpr int autoHideMs = 4000;

    // Without a clock the program's timers are used.
    explicit ToolHelpModifier(HelpClock *clock = nullptr, QObject *parent = nullptr);
    ~ToolHelpModifier() override;

    bool overSymbol() const { return m_overSymbol; }
    bool overCard() const { return m_overCard; }
    bool shown() const { return m_shown; }

    // Hover changes of the control and of the card.
    void setOverSymbol(bool over);
    void setOverCard(bool over);
    // A click on the control closes its card and drops a pending showing.
    void controlClicked();
    // A mouse-down outside the card: closes it, drops every pending decision.
    void dismiss();
    // The application stopped being the active one.
    void resignActive();
    // The card's link was followed.
    void linkFollowed();

signals:
    void shownChanged(bool shown);

private:
    void update();
    void armAutoHide();
    void setShown(bool shown);
    void cancelTask();
    void cancelHideTask();

    std::unique_ptr<TimerHelpClock> m_ownClock;
    HelpClock *m_clock;
    bool m_overSymbol = false;
    bool m_overCard = false;
    bool m_shown = false;
    quint64 m_task = 0;     // the pending show-or-hide decision
    quint64 m_hideTask = 0; // the pending automatic hide
};
