#pragma once

#include "core/model/Side.h"

#include "core/model/FileItem.h"

#include <QObject>
#include <QStringList>

class PaneHooks;
class PaneModel;
class TabGroup;

// The two pane sides: their tab groups (opened at the remembered folders), which side is active, and the
// remembered folders. Whether one or two panes show and where they split are settings. Main thread only.
class Sides : public QObject {
    Q_OBJECT
public:
    explicit Sides(QObject *parent = nullptr);

    TabGroup *leftTabs() const { return m_left; }
    TabGroup *rightTabs() const { return m_right; }
    TabGroup *tabs(Side side) const { return side == Side::left ? m_left : m_right; }
    PaneModel *left() const;
    PaneModel *right() const;
    PaneModel *pane(Side side) const;
    PaneModel *activePane() const { return pane(m_active); }
    // The item with the identities the pane in front that lists it listed (the active side first); zero
    // where neither lists it.
    ShownItem shown(const QString &path) const;

    Side active() const { return m_active; }
    void setActive(Side value);

    // Every tab of both sides gets these hooks.
    void setHooks(PaneHooks *hooks);
    void refreshAll();
    // The program moved or renamed `from` to `to`: every tab of both sides that shows it, or a folder below
    // it, goes along. One that went into a Trash is left where it was, as when it was trashed.
    void followMove(const QString &from, const QString &to);
    // True when nothing is at path any more (another program took it away); then every tab that shows
    // it drops it.
    bool forgetGone(const QString &path);
    // Writes each side's folder when it differs from the one remembered.
    void saveLastPaths();

signals:
    void activeChanged();
    // A side shows another pane: a tab was chosen, opened or closed.
    void currentPaneChanged(Side side);
    // The active pane is another one: the other side became active, or the active side shows another tab.
    void activePaneChanged();

private:
    TabGroup *m_left = nullptr;
    TabGroup *m_right = nullptr;
    Side m_active = Side::left;
    PaneModel *m_current[2] = {nullptr, nullptr};
};
