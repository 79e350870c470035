// Renders the main window in a few states into PNG files, for looking at the layout by eye:
// kestrin-screens OUTDIR (run it under Xvfb; tools/screenshots.sh does).
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/help/ToolHelpModifier.h"
#include "ui/app/MainMenuBar.h"
#include "ui/app/QtDialogs.h"
#include "ui/help/ToolHelp.h"
#include "core/model/ViewMode.h"
#include "ui/app/SceneWindows.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/tools/CompareSheet.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/MainToolbar.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScreen>
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

// The screen around the window, so that cards and open menus (windows of their own) show too.
void shootScreen(MainWindow &w, const QString &file) {
    settle(700);
    const QRect r = w.frameGeometry().adjusted(-20, -20, 300, 300);
    QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(file);
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
    // A large sparse file, so the size column shows gigabytes.
    QFile big(left + "/Sicherung.img");
    big.open(QIODevice::WriteOnly);
    big.resize(3150000000);
    big.close();
    QDir().mkpath(home.path() + "/Leer");
    // Differences for the compare sheet.
    for (const char *name : {"Foto.jpg", "Nur rechts.txt"}) {
        QFile f(right + "/" + name);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(777, 'y'));
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
            app.settings().setToolbarCompact(compact);
            shoot(w, out + "/toolbar-" + QString(compact ? "compact-" : "normal-") + tag + ".png");
        }
        app.settings().setToolbarCompact(false);

        // A help card open on a toolbar button, then the files menu open.
        w.move(40, 40);
        if (ToolHelp *help = ToolHelp::of(w.toolbar()->item(QStringLiteral("view.list")))) {
            help->timing()->setOverSymbol(true);
            shootScreen(w, out + "/helpcard-" + tag + ".png");
            help->timing()->dismiss();
        }
        if (auto *bar = qobject_cast<MainMenuBar *>(w.menuBar())) {
            bar->filesMenu()->popup(
                w.mapToGlobal(bar->actionGeometry(bar->filesMenu()->menuAction()).bottomLeft()));
            shootScreen(w, out + "/menu-files-" + tag + ".png");
            bar->filesMenu()->hide();
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

        // The compare sheet with its rows, and the batch rename sheet with a counter pattern.
        app.items().openCompare();
        settle(800);
        if (auto *sheet = w.findChild<CompareSheet *>()) {
            sheet->grab().save(out + "/compare-sheet-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/compare-sheet-" + tag + ".png"));
        }
        app.requests().setCompareRequest(std::nullopt);
        settle(200);
        app.requests().setBatchRenameTarget(InfoTarget(
            {left + "/Foto.jpg", left + "/Notizen.txt", left + "/Bericht 2026.pdf", left + "/Archiv.zip"}));
        settle(500);
        if (auto *sheet = w.findChild<BatchRenameSheet *>()) {
            BatchRename::Settings s;
            s.pattern = "Urlaub [Z]";
            sheet->setSettings(s);
            settle(200);
            sheet->grab().save(out + "/batch-rename-sheet-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/batch-rename-sheet-" + tag + ".png"));
        }
        app.requests().setBatchRenameTarget(std::nullopt);
        settle(200);

        app.settings().setDualPane(false);
        shoot(w, out + "/one-pane-" + tag + ".png");
        app.settings().setDualPane(true);

        // A copy in progress: the banner at 40 % with a toast below it.
        app.services().timings.jobQuietMs = 0;
        std::optional<JobChannel::Step> job; // held until the shot is taken
        app.jobs().run(K("Kopiere"), [&job](const JobChannel::Step &s) { job = s; });
        auto progress = job->sharedProgress();
        progress->setTotal(1000, 5);
        progress->setItem(2, "Bericht 2026.pdf");
        progress->add(400);
        app.show(K("Unsichtbare Dateien werden angezeigt."));
        shoot(w, out + "/copy-banner-" + tag + ".png");
        job->end();
        app.services().timings = Services::Timings{};

        // The smallest window with the largest text in dark, and a large screen with the smallest text.
        app.settings().setAppearance("dark");
        app.settings().setFontSize(18);
        w.resize(900, 460);
        shoot(w, out + "/small-dark-18-" + tag + ".png");
        app.settings().setAppearance("light");
        app.settings().setFontSize(10);
        w.resize(2560, 1440);
        shoot(w, out + "/large-10-" + tag + ".png");
        app.settings().setFontSize(13);
        app.settings().setAppearance("system");
    }
    // How a job speaks: the quit question while it runs, its banner right after cancel, and a refusal.
    for (AppLanguage lang : {AppLanguage::en, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        QWidget *parent = nullptr;
        AppState app(makeQtDialogs([&parent] { return parent; }));
        MainWindow w(&app);
        parent = &w;
        w.move(40, 40);
        w.show();
        settle(500);

        app.services().timings.jobQuietMs = 0;
        std::optional<JobChannel::Step> job; // held until the shot is taken
        app.jobs().run(K("Kopiere"), [&job](const JobChannel::Step &s) { job = s; });
        auto progress = job->sharedProgress();
        progress->setTotal(1000, 4);
        progress->setItem(3, "Tabelle.ods");
        progress->add(600);
        w.close(); // asks, since a job runs
        shootScreen(w, out + "/quit-question-" + tag + ".png");
        if (QWidget *question = QApplication::activeModalWidget()) question->close();
        settle(200);

        app.jobs().cancel();
        shoot(w, out + "/cancelling-banner-" + tag + ".png");
        job->end();
        app.services().timings = Services::Timings{};

        app.clipboard().paste(right); // nothing on the clipboard
        shoot(w, out + "/refusal-toast-" + tag + ".png");
    }

    // The smallest window in German and Polish at the smallest and largest text, then the crowded
    // Trash header, an empty folder in the column view and a dark theme.
    QDir().mkpath(FileLoader::mainTrash());
    QFile trashed(FileLoader::mainTrash() + "/Alt.txt");
    trashed.open(QIODevice::WriteOnly);
    trashed.close();
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::pl}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.resize(900, 460);
        w.show();
        settle(500);
        app.left()->setSelection({left + "/Foto.jpg"});
        for (int pt : {10, 18}) {
            app.settings().setFontSize(pt);
            shoot(w, out + QStringLiteral("/min-%1-%2.png").arg(tag).arg(pt));
        }
        app.settings().setFontSize(13);
        // The banner with a short name stands where it stands with a long one: in the middle.
        app.services().timings.jobQuietMs = 0;
        std::optional<JobChannel::Step> job; // held until the shot is taken
        app.jobs().run(K("Kopiere"), [&job](const JobChannel::Step &s) { job = s; });
        auto progress = job->sharedProgress();
        progress->setTotal(1000, 1);
        progress->setItem(1, "a");
        progress->add(400);
        shoot(w, out + "/banner-short-name-" + tag + ".png");
        job->end();
        app.services().timings = Services::Timings{};
        app.right()->go(FileLoader::mainTrash());
        app.left()->setViewMode(ViewMode::columns);
        app.left()->go(home.path() + "/Leer");
        shoot(w, out + "/trash-empty-columns-" + tag + ".png");
        app.left()->setViewMode(ViewMode::list);
        app.left()->go(left);
        app.right()->go(right);
        app.settings().setThemeID("graphit");
        app.settings().setAppearance("dark");
        settle(300);
        app.left()->setSelection({left + "/Foto.jpg"});
        shoot(w, out + "/dark-graphit-" + tag + ".png");
        app.settings().setAppearance("system");
        app.settings().setThemeID("nebula");
    }
    // The manual opened at a chapter, and the feedback sheet with a message.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.show();
        settle(300);
        app.requests().openManual(std::nullopt);
        ManualWindow *manual = ManualWindow::open(&app);
        settle(300);
        manual->grab().save(out + "/manual-top-" + tag + ".png");
        app.requests().openManual(5);
        settle(300);
        manual->grab().save(out + "/manual-chapter5-" + tag + ".png");
        std::printf("%s\n", qPrintable(out + "/manual-chapter5-" + tag + ".png"));
        manual->close();
        app.requests().setFeedbackText(
            QStringLiteral("Beim Kopieren auf einen USB-Stick bleibt der Balken stehen."));
        app.requests().setShowFeedback(true);
        settle(300);
        if (QDialog *sheet = w.sheets()->current()) {
            sheet->grab().save(out + "/feedback-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/feedback-" + tag + ".png"));
        }
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
        app.cleanupRules().setRules({shots, logs, CleanRule()});
        app.requests().setShowRules(true);
        settle(600);
        if (QDialog *sheet = w.sheets()->current()) {
            sheet->grab().save(out + "/rules-" + tag + ".png");
            std::printf("%s\n", qPrintable(out + "/rules-" + tag + ".png"));
            sheet->reject();
        }
        app.items().openStorageAnalysis(QCoreApplication::applicationDirPath());
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
