#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class Settings;
class Sides;
class TabGroup;
class SplitHandle;

// The middle of the main window: one pane, or two side by side with the split handle between them.
// Each pane view shows one side's current tab.
class PaneArea : public QWidget {
    Q_OBJECT
public:
    using ViewFactory = std::function<QWidget *(TabGroup *side, QWidget *parent)>;
    PaneArea(Sides &sides, Settings &settings, ViewFactory factory, QWidget *parent = nullptr);

    QWidget *leftView() const { return m_leftView; }
    QWidget *rightView() const { return m_rightView; }
    SplitHandle *splitHandle() const { return m_handle; }

    // Puts the views of the current tabs in place and lays them out.
    void sync();

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    void layoutViews();
    QPointer<Sides> m_sides;
    QPointer<Settings> m_settings;
    ViewFactory m_factory;
    QPointer<TabGroup> m_leftGroup, m_rightGroup;
    QPointer<QWidget> m_leftView, m_rightView;
    SplitHandle *m_handle = nullptr;
};
