#pragma once

#include <QMainWindow>
#include <QPointer>

class ActionBar;
class AppState;
class Commands;
class InspectorResizeHandle;
class MainToolbar;
class PaneArea;
class QLineEdit;
class SheetPresenter;
class ToastView;

// The main window "Kestrin": sidebar, one or two panes with the action bar, the inspector, the toast and
// the progress banner floating at the bottom, and the sheets AppState asks for.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState *app = nullptr, QWidget *parent = nullptr);

    static constexpr QSize kDefaultSize{1400, 820};
    static constexpr QSize kMinimumSize{900, 460};
    static constexpr int kSidebarWidth = 210;

    // Asks before quitting while a job runs; on yes cancels it and closes the window once the job has
    // cleaned up. True when the window may close now; false while the question is up or the job cleans up.
    bool mayClose();

    PaneArea *paneArea() const { return m_panes; }
    ActionBar *actionBar() const { return m_actionBar; }
    ToastView *toastView() const { return m_toast; }
    QWidget *banner() const { return m_banner; }
    QWidget *sidebarColumn() const { return m_sidebar; }
    QWidget *inspectorColumn() const { return m_inspector; }
    InspectorResizeHandle *inspectorHandle() const { return m_inspectorHandle; }
    SheetPresenter *sheets() const { return m_sheets; }
    QLineEdit *searchField() const { return m_search; }
    MainToolbar *toolbar() const { return m_toolbar; }
    // The window's command registry, made once with the window.
    Commands &commands() const { return *m_commands; }

    // The parts of the window the keyboard moves through, in their order.
    enum class Part { sidebar, leftPane, rightPane, inspector, search };
    // The part that has the focus now (the active pane when the focus is elsewhere).
    Part focusedPart() const;
    // Gives the focus to the next (step 1) or previous (step -1) part shown, round the window.
    void focusNextPart(int step);
    void focusPart(Part part);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_askingToQuit = false; // the quit question is up: a second close asks no second time
    void registerSheets();
    void provideFormParts();
    void followState();
    void build();
    void buildColumns();
    void buildToolbar();
    void followPanes();
    void syncColumns();
    void syncOverlays();
    void applyEnvironment();
    void placeOverlays();

    QPointer<AppState> m_app;
    QWidget *m_root = nullptr;
    QWidget *m_sidebar = nullptr;
    QWidget *m_sidebarLine = nullptr;
    PaneArea *m_panes = nullptr;
    ActionBar *m_actionBar = nullptr;
    InspectorResizeHandle *m_inspectorHandle = nullptr;
    QWidget *m_inspector = nullptr;
    ToastView *m_toast = nullptr;
    QWidget *m_banner = nullptr;
    QLineEdit *m_search = nullptr;
    MainToolbar *m_toolbar = nullptr;
    SheetPresenter *m_sheets = nullptr;
    Commands *m_commands = nullptr;
    QList<QMetaObject::Connection> m_paneConnections;
};
