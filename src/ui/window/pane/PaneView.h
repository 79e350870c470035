#pragma once

#include "core/model/PaneModel.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/window/pane/PaneParts.h"

#include <QPointer>
#include <QWidget>

class PaneContent;
class PaneHeader;
class PaneModel;
class PathBar;
class QVBoxLayout;
class TabGroup;

// The frame of one file pane over the current tab of a side: accent strip, tab bar (two tabs or more),
// header, content and path bar. The whole pane takes dropped files, and any click in it makes its side
// the active one.
class PaneView : public QWidget {
    Q_OBJECT
public:
    // Over one tab: the pane shows this model for as long as it lives.
    PaneView(PaneModel *model, const PaneParts &parts, QWidget *parent = nullptr);
    // Over a side: the pane follows the group's current tab.
    PaneView(TabGroup *group, const PaneParts &parts, QWidget *parent = nullptr);
    ~PaneView() override;

    PaneModel *model() const { return m_model; }
    const PaneParts &parts() const { return m_parts; }
    bool isActive() const;
    // Columns put drops into the one selected folder, the other views into the folder shown.
    QString dropDestination() const;
    FolderDropTarget dropTarget();
    bool dropTargeted() const { return m_dropTargeted; }

    PaneHeader *header() const { return m_header; }
    PaneContent *content() const { return m_content; }
    PathBar *pathBar() const { return m_pathBar; }
    // The tab strip while the side has two tabs or more, else nullptr.
    QWidget *tabBar() const { return m_tabBar && !m_tabBox->isHidden() ? m_tabBar : nullptr; }
    QWidget *accentStrip() const { return m_strip; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    PaneView(TabGroup *group, PaneModel *model, const PaneParts &parts, QWidget *parent);
    void setModel(PaneModel *model);
    void followGroup();
    void setDropTargeted(bool on);
    void updateTabBar();

    QPointer<TabGroup> m_group;
    QPointer<PaneModel> m_model;
    PaneParts m_parts;
    QWidget *m_strip;
    QWidget *m_tabBox;
    QWidget *m_tabBar = nullptr;
    QWidget *m_body = nullptr;
    bool m_follows = true; // shows the group's current tab
    PaneHeader *m_header;
    PaneContent *m_content;
    PathBar *m_pathBar;
    QWidget *m_highlight;
    bool m_dropTargeted = false;
};
