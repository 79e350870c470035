#pragma once

#include <QObject>
#include <QPointer>

class WindowRequests;
class QAction;
class QMenu;
class QPoint;
class QWidget;

// The context-menu item "Hilfe dazu" of a view: a right-click on it (where no child shows a menu of its
// own) offers the item, which opens the manual at the view's chapter.
class HelpContext : public QObject {
    Q_OBJECT
public:
    HelpContext(QWidget *view, WindowRequests *requests, int section);
    static HelpContext *of(const QWidget *view);
    int section() const { return m_section; }
    void setSection(int section) { m_section = section; }

    // Adds the item to a menu (for views that build their own context menu).
    static QAction *addItem(QMenu *menu, WindowRequests *requests, int section);
    // Opens a menu holding only the item at a global position; it deletes itself when closed.
    static QMenu *popup(QWidget *parent, WindowRequests *requests, int section, const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<WindowRequests> m_requests;
    int m_section;
};

// Gives view the item "Hilfe dazu" for a chapter; a second call changes the chapter.
HelpContext *helpContext(QWidget *view, WindowRequests *requests, int section);
