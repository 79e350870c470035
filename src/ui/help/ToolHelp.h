#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class WindowRequests;
class HelpCardAnchor;
class HelpClock;
class QWidget;
class ToolHelpModifier;

// A hover help card instead of a plain tooltip: resting on the control opens a card with a short text and
// the link "Mehr im Handbuch" to the control's manual chapter; the control's context menu gets "Hilfe dazu".
// The text is asked for each time the card opens, so it follows the language and the control's state.
class ToolHelp : public QObject {
    Q_OBJECT
public:
    using Text = std::function<QString()>;

    ToolHelp(QWidget *control, WindowRequests *requests, Text text, int section, HelpClock *clock = nullptr);
    static ToolHelp *of(const QWidget *control);

    void setText(Text text) { m_text = std::move(text); }
    QString text() const { return m_text ? m_text() : QString(); }
    int section() const { return m_section; }
    void setSection(int section) { m_section = section; }

    ToolHelpModifier *timing() const { return m_timing; }
    HelpCardAnchor *anchor() const { return m_anchor; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void shownChanged(bool shown);
    void followLink();
    QPointer<QWidget> m_control;
    QPointer<WindowRequests> m_requests;
    Text m_text;
    int m_section;
    ToolHelpModifier *m_timing;
    HelpCardAnchor *m_anchor;
};

// Gives control a hover help card; a second call on the same control replaces its text and chapter.
// germanKey is looked up with L whenever the card opens.
ToolHelp *toolHelp(QWidget *control, WindowRequests *requests, const QString &germanKey, int section);
ToolHelp *toolHelp(QWidget *control, WindowRequests *requests, ToolHelp::Text text, int section);
