#include "ui/window/MainWindow.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin"));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    QApplication::setQuitOnLastWindowClosed(true);

    MainWindow window;
    window.show();
    return app.exec();
}
