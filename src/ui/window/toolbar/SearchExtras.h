#pragma once

#include "ui/window/toolbar/ToolbarButtons.h"

#include <QPointer>
#include <QWidget>

class Sides;
class WindowRequests;
class PaneModel;
class QProgressBar;

// The search filter of one pane: kind, size, age and subfolders. Its symbol fills and takes the accent
// colour while the filter differs from the default.
class SearchFilterMenu : public ToolbarMenuButton {
    Q_OBJECT
public:
    SearchFilterMenu(WindowRequests &requests, PaneModel *pane, QWidget *parent = nullptr);
    void setPane(PaneModel *pane);
    // Builds the entries for the pane's filter of now; the menu does so each time it opens.
    void fill();
    void sync();

private:
    QPointer<PaneModel> m_pane;
};

// The search extras of the active pane in the toolbar: a progress indicator while searching, the
// end-search button while a text or filter is set, and the filter menu. Follows the active pane.
class SearchExtras : public QWidget {
    Q_OBJECT
public:
    SearchExtras(Sides &sides, WindowRequests &requests, QWidget *parent = nullptr);
    PaneModel *pane() const { return m_pane; }
    QProgressBar *progress() const { return m_progress; }
    IconButton *endSearch() const { return m_end; }
    SearchFilterMenu *filterMenu() const { return m_filter; }

private:
    void follow();
    void sync();

    QPointer<Sides> m_sides;
    QPointer<PaneModel> m_pane;
    QProgressBar *m_progress = nullptr;
    IconButton *m_end = nullptr;
    SearchFilterMenu *m_filter = nullptr;
};
