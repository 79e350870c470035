#pragma once

#include <QMainWindow>
#include <QPointer>

class AppState;
class QSplitter;

// The main window "Kestrin": two panes side by side.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState *app = nullptr, QWidget *parent = nullptr);

    static constexpr QSize kDefaultSize{1400, 820};
    static constexpr QSize kMinimumSize{900, 460};

    QSplitter *paneSplit() const { return m_split; }
    // Asks before quitting while a job runs; on yes cancels it and waits for its clean-up.
    bool mayClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPointer<AppState> m_app;
    QSplitter *m_split = nullptr;
};
