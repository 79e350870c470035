#include "core/app/AppState.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtPasteboard.h"
#include "ui/app/QtTranslations.h"
#include "ui/window/MainWindow.h"

#include "core/model/OpenWithApp.h"
#include "platform/Relaunch.h"

#include <QApplication>
#include <QPointer>

int main(int argc, char **argv) {
    // Started anew after a restore: the settings are read only once the old instance has gone.
    Relaunch::awaitPredecessor();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin"));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    QApplication::setQuitOnLastWindowClosed(true);

    QPointer<MainWindow> window;
    Services services(makeQtDialogs([&window]() -> QWidget * { return window; }));
    services.openFile = [](const QString &path) {
        return OpenWith::openDocument(path) == OpenWith::Opened::opened;
    };
    services.keyboardModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    services.pasteboard = makeQtPasteboard();
    AppState app(std::move(services));
    QtTranslations::follow(&app.settings());
    KeyMonitor keys(&app);
    AppDelegate delegate;
    window = new MainWindow(&app);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return qapp.exec();
}
