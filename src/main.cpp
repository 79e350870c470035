#include "core/app/AppState.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtPasteboard.h"
#include "ui/app/QtTranslations.h"
#include "ui/style/AppIcons.h"
#include "ui/window/MainWindow.h"

#include "core/app/AppInfo.h"
#include "core/localisation/Lang.h"
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

#include <cstdio>
#include <optional>
#include <cstring>

namespace {

// --help and --version answer on the terminal before anything needs a display or reads the settings, in
// the system's language. Nothing when the program is to start.
std::optional<int> answerOnTerminal(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0) break; // a folder follows, whatever its name
        QString out;
        if (std::strcmp(arg, "--version") == 0) {
            out =
                QStringLiteral("kestrin ") + AppInfo::version + QStringLiteral(" (") + AppInfo::serial + u')';
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            const AppLanguage lang = AppLanguages::system();
            out = LIn(lang, K("Aufruf: kestrin [ORDNER]")) + u'\n' +
                  LIn(lang,
                      K("Öffnet den Ordner im aktiven Fenster, bei einer Datei ihren Ordner mit der Datei "
                        "ausgewählt.")) +
                  QStringLiteral("\n\n  -h, --help   ") + LIn(lang, K("zeigt diese Hilfe")) +
                  QStringLiteral("\n  --version    ") + LIn(lang, K("zeigt die Version"));
        } else {
            continue;
        }
        const QByteArray bytes = out.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv) {
    if (const std::optional<int> answered = answerOnTerminal(argc, argv)) return *answered;
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
    QStringList args = QApplication::arguments().mid(1);
    if (!args.isEmpty() && args.first() == u"--") args.removeFirst();
    if (!args.isEmpty()) app.openGiven(args.first(), QDir::currentPath());
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
