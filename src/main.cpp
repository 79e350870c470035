#include "core/app/AppState.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtPasteboard.h"
#include "ui/app/QtTranslations.h"
#include "ui/style/AppIcons.h"
#include "ui/window/MainWindow.h"

#include "core/model/FileLoader.h"
#include "core/model/OpenWithApp.h"
#include "core/model/PaneModel.h"
#include "platform/Relaunch.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>
#include <QPointer>

int main(int argc, char **argv) {
    // Started anew after a restore: the settings are read only once the old instance has gone.
    Relaunch::awaitPredecessor();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrin"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin"));
    QApplication::setDesktopFileName(QStringLiteral("kestrin"));
    QApplication::setQuitOnLastWindowClosed(true);
    AppIcons::install();

    QPointer<MainWindow> window;
    Services services(makeQtDialogs([&window]() -> QWidget * { return window; }));
    services.openFile = [](const QString &path) {
        return OpenWith::openDocument(path) == OpenWith::Opened::opened;
    };
    services.keyboardModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    services.pasteboard = makeQtPasteboard();
    AppState app(std::move(services));
    QtTranslations::follow(&app.settings());
    window = new MainWindow(&app);
    // A path handed over by the desktop ("open with", the desktop entry's %U) or typed after the name;
    // after the window is built, so that what cannot be opened is told in it.
    if (const QStringList args = QApplication::arguments(); args.size() > 1)
        app.openGiven(args[1], QDir::currentPath());
    // The monitor serves the window's registry; filters installed later run first, so the delegate
    // still sees every event ahead of the monitor.
    KeyMonitor keys(app, window->commands());
    AppDelegate delegate;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    const int code = qapp.exec();
    // What is not in the settings file yet is written now, waiting a little for another running copy;
    // the user hears which settings that could not save.
    if (const QString unsaved = app.finishSettings(3000); !unsaved.isEmpty())
        QMessageBox::warning(nullptr, QApplication::applicationName(), unsaved);
    return code;
}
