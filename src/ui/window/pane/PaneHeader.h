#pragma once

#include <QPointer>
#include <QWidget>

class Commands;
class QHBoxLayout;
class Settings;
class Sides;
struct PaneParts;
class BarButton;
class QAbstractButton;
class QAction;
class Breadcrumbs;
class IconButton;
class PaneModel;
class PlacesMenu;
class QLabel;
class SortMenu;

// The round mark of the active pane; a click on it activates the pane.
class ActiveIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ActiveIndicator(QWidget *parent = nullptr);
    bool isOn() const { return m_on; }
    void setOn(bool on);
    QSize sizeHint() const override { return QSize(21, 13); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_on = false;
};

// The pane's navigation header: the active mark, home, parent, breadcrumbs, the Trash commands, new
// tab, go to folder and sort, over a status line with counts and free space.
class PaneHeader : public QWidget {
    Q_OBJECT
public:
    PaneHeader(PaneModel *model, const PaneParts &parts, QWidget *parent = nullptr);

    bool isActive() const;
    bool inTrash() const;
    // The item count or selection, and the free space after " · " when the volume reports it.
    static QString statusText(const PaneModel &model);
    // Secondary text in a header: the status line and the outer crumbs.
    static QColor secondaryColor(const QWidget *w);

    ActiveIndicator *indicator() const { return m_indicator; }
    PlacesMenu *placesMenu() const { return m_places; }
    IconButton *homeButton() const { return m_home; }
    IconButton *upButton() const { return m_up; }
    BarButton *putBackButton() const { return m_putBack; }
    BarButton *emptyTrashButton() const { return m_emptyTrash; }
    IconButton *newTabButton() const { return m_newTab; }
    IconButton *goToButton() const { return m_goTo; }
    SortMenu *sortMenu() const { return m_sort; }
    Breadcrumbs *breadcrumbs() const { return m_crumbs; }
    QLabel *statusLabel() const { return m_status; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void refresh();
    // Where the row is too narrow for the current folder's name, go to folder, new tab, sort, home and
    // up step out in that order until it shows whole; all are in the menus and on keys as well.
    void fitRow();
    // The row's buttons from the trail on: crumbs, the Trash commands, new tab, go to folder and sort.
    void addCommandButtons(QHBoxLayout *row, const PaneParts &parts);
    // The status line under the row.
    void addStatus(QLayout *column);
    void watch();
    QAction *command(const char *id) const;
    // The button runs the registered command on this side (making it the active one first).
    void bindOnThisSide(QAbstractButton *button, const char *id);

    QPointer<PaneModel> m_model;
    QPointer<Sides> m_sides;
    QPointer<Settings> m_settings;
    QPointer<Commands> m_commands;
    ActiveIndicator *m_indicator;
    PlacesMenu *m_places;
    IconButton *m_home;
    IconButton *m_up;
    Breadcrumbs *m_crumbs;
    BarButton *m_putBack;
    BarButton *m_emptyTrash;
    IconButton *m_newTab;
    IconButton *m_goTo;
    SortMenu *m_sort;
    QLabel *m_status;
};
