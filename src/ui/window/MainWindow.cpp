#include "ui/window/MainWindow.h"

#include <QFrame>
#include <QSplitter>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {
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
}
