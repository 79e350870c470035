#include "ui/window/MainWindow.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QSplitter>

MainWindow::MainWindow(AppState *app, QWidget *parent) : QMainWindow(parent), m_app(app) {
    setWindowTitle(QStringLiteral("Kestrin"));
    setMinimumSize(kMinimumSize);
    resize(kDefaultSize);

    m_split = new QSplitter(Qt::Horizontal, this);
    m_split->setChildrenCollapsible(false);
    for (const char *name : {"leftPane", "rightPane"}) {
        auto *pane = new QFrame(m_split);
        pane->setObjectName(QLatin1String(name));
        pane->setFrameShape(QFrame::StyledPanel);
        pane->setMinimumWidth(300);
        m_split->addWidget(pane);
    }
    setCentralWidget(m_split);

    // Ctrl+Q, and Ctrl+W when the side has one tab left (the key monitor takes it otherwise), close the
    // window through closeEvent, which asks first while a job runs.
    for (QKeySequence::StandardKey key : {QKeySequence::Quit, QKeySequence::Close}) {
        auto *action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, &QWidget::close);
        addAction(action);
    }
}

bool MainWindow::mayClose() {
    if (!m_app || !m_app->currentProgress()) return true;
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = L("Es läuft noch ein Vorgang. Trotzdem beenden?");
    alert.informative = L("Der Vorgang wird abgebrochen; Unvollständiges wird entfernt.");
    alert.buttons = {L("Vorgang abbrechen und beenden"), L("Weiterarbeiten")};
    if (m_app->dialogs().ask(alert).button != 0) return false;
    m_app->cancelJob();
    m_app->waitForJob();
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (mayClose())
        event->accept();
    else
        event->ignore();
}
