#pragma once

#include <QMainWindow>

class QSplitter;

// The main window "Kestrin": two panes side by side.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    static constexpr QSize kDefaultSize{1400, 820};
    static constexpr QSize kMinimumSize{900, 460};

    QSplitter *paneSplit() const { return m_split; }

private:
    QSplitter *m_split = nullptr;
};
