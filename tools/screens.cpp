// Renders the main window in a few states into PNG files, for looking at the layout by eye:
// kestrin-screens OUTDIR (run it under Xvfb; tools/screenshots.sh does).
#include "core/app/AppState.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void shoot(MainWindow &w, const QString &file) {
    settle(300);
    w.grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

} // namespace

int main(int argc, char **argv) {
    // A private home, so the real settings and folders are never touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    QApplication qapp(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screens");
    QDir().mkpath(out);

    const QString left = home.path() + "/Dokumente-Beispiel", right = home.path() + "/Ziel";
    QDir().mkpath(left + "/Unterordner mit einem recht langen Namen");
    QDir().mkpath(right);
    for (const char *name : {"Bericht 2026.pdf", "Foto.jpg", "Notizen.txt", "Tabelle.ods", "Archiv.zip"}) {
        QFile f(left + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(12345, 'x'));
    }
    Defaults::setValue("lastPath.left", left);
    Defaults::setValue("lastPath.right", right);

    // The toolbar at the smallest window, normal and compact, in three languages.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.resize(MainWindow::kMinimumSize);
        w.show();
        settle(500);
        app.left()->setSelection({left + "/Foto.jpg"});
        for (bool compact : {false, true}) {
            app.setToolbarCompact(compact);
            shoot(w, out + "/toolbar-" + QString(compact ? "compact-" : "normal-") + tag + ".png");
        }
    }

    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.show();
        settle(500);
        app.left()->setSelection({left + "/Foto.jpg"});
        shoot(w, out + "/two-panes-" + tag + ".png");

        app.setDualPane(false);
        shoot(w, out + "/one-pane-" + tag + ".png");
        app.setDualPane(true);

        // A copy in progress: the banner at 40 % with a toast below it.
        AppState::timing().firstStatusMs = 0;
        auto progress = app.beginJob(K("Kopiere"));
        progress->setTotal(1000, 5);
        progress->setItem(2, "Bericht 2026.pdf");
        progress->add(400);
        app.show(K("Unsichtbare Dateien werden angezeigt."));
        shoot(w, out + "/copy-banner-" + tag + ".png");
        app.endJob();
        AppState::timing() = AppState::Timing{};

        // The smallest window with the largest text in dark, and a large screen with the smallest text.
        app.setAppearance("dark");
        app.setFontSize(18);
        w.resize(900, 460);
        shoot(w, out + "/small-dark-18-" + tag + ".png");
        app.setAppearance("light");
        app.setFontSize(10);
        w.resize(2560, 1440);
        shoot(w, out + "/large-10-" + tag + ".png");
        app.setFontSize(13);
        app.setAppearance("system");
    }

    // The cleanup rules and the storage analysis of the build folder (the folder this program lies in).
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.show();
        settle(300);
        CleanRule shots;
        shots.name = "Bildschirmfotos ablegen";
        shots.folder = left;
        shots.nameContains = "Foto";
        shots.extensions = "jpg, png";
        shots.destination = right;
        CleanRule logs;
        logs.name = "Alte Protokolle";
        logs.folder = left;
        logs.extensions = "log";
        logs.olderThanDays = 30;
        logs.action = "trash";
        app.setRules({shots, logs, CleanRule()});
        app.setShowRules(true);
        settle(600);
        if (QDialog *sheet = w.sheets()->current()) {
            sheet->grab().save(out + "/rules-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/rules-" + tag + ".png"));
            sheet->reject();
        }
        app.openStorageAnalysis(QCoreApplication::applicationDirPath());
        auto *storage = qobject_cast<StorageAnalysisSheet *>(w.sheets()->current());
        for (int i = 0; storage && storage->model().scanning() && i < 600; ++i)
            settle(100);
        settle(300);
        if (storage) {
            storage->grab().save(out + "/storage-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/storage-" + tag + ".png"));
            storage->setTab(1);
            settle(300);
            storage->grab().save(out + "/storage-largest-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/storage-largest-" + tag + ".png"));
            storage->reject();
        }
    }
    return 0;
}
