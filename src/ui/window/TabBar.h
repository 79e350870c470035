#pragma once

#include "core/model/TabGroup.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

struct FolderDropTarget;
class IconButton;
class QHBoxLayout;
class QTimer;
class TabButton;

// The strip of tabs above one pane: one button per tab of the group and a button that opens a new tab.
// The pane shows it only while its group holds two or more tabs.
class TabBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 28;
    static constexpr int padding = 6;
    static constexpr int spacing = 2;

    explicit TabBar(TabGroup *group, QWidget *parent = nullptr);

    TabGroup *group() const { return m_group; }
    // The buttons in tab order (tests).
    QList<TabButton *> buttons() const;
    IconButton *newTabButton() const { return m_plus; }

signals:
    // Files were dropped onto one of the tabs.
    void dropped();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    QPointer<TabGroup> m_group;
    QHBoxLayout *m_row = nullptr;
    IconButton *m_plus = nullptr;
    // One button per tab object, kept while the tab lives so it keeps its hover state.
    QHash<PaneModel *, TabButton *> m_buttons;
};

// One tab: folder symbol, the folder's name and, with two or more tabs, a close button. Files dropped onto
// it go into its tab's folder, and a drag that rests on it a moment shows its tab.
class TabButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int buttonHeight = 22;
    static constexpr int padding = 9;
    static constexpr int spacing = 6;
    static constexpr int titleWidth = 140;
    static constexpr int closeSide = 14;
    // How long a drag rests on a tab before it is shown (tests shorten it).
    static int &showDelayMs();

    TabButton(TabGroup *group, PaneModel *tab, int index, QWidget *parent = nullptr);

    PaneModel *tab() const { return m_tab; }
    int index() const { return m_index; }
    void setIndex(int index);
    bool isSelected() const;
    bool isHovered() const { return m_hover; }
    bool isDropTargeted() const { return m_dropTargeted; }
    bool hasCloseButton() const;
    QString title() const;
    // Where the parts are drawn, in widget coordinates (tests and clicks).
    QRect closeRect() const;
    QRect titleRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QFont titleFont() const;
    FolderDropTarget dropTarget();
    void setDropTargeted(bool on);
    QPointer<TabGroup> m_group;
    QPointer<PaneModel> m_tab;
    int m_index;
    bool m_hover = false;
    bool m_pressedClose = false;
    bool m_dropTargeted = false;
    QTimer *m_showTimer;
};
