// Renders the main window in a few states into PNG files, for looking at the layout by eye:
// kestrin-screens OUTDIR (run it under Xvfb; tools/screenshots.sh does).
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/Transfers.h"
#include "core/app/FileActionCommands.h"
#include "core/fileops/UndoJournal.h"
#include "ui/settings/SettingsView.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "core/help/ToolHelpModifier.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/MainMenuBar.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtTranslations.h"
#include "ui/help/ToolHelp.h"
#include "ui/help/ShortcutsSheet.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/ContextMenus.h"
#include "ui/panecontent/QuickLook.h"
#include "ui/panecontent/TagMenu.h"
#include "core/model/ViewMode.h"
#include "ui/help/ManualWindow.h"
#include "ui/settings/SettingsParts.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/app/AboutPanel.h"
#include "ui/style/AppIcons.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/tools/CompareSheet.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/MainToolbar.h"
#include "ui/panecontent/OpenWithMenu.h"
#include "ui/help/TerminalHelpSheet.h"
#include "core/help/TerminalData.h"
#include "ui/inspector/FileInfoAppSection.h"
#include "core/app/Favorites.h"
#include "platform/Volumes.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PlacesMenu.h"
#include "ui/window/PaneArea.h"
#include "ui/window/pane/PaneView.h"
#include "ui/window/pane/PathBar.h"
#include "core/fileops/ConflictQuestion.h"
#include <QProcess>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// One widget as it is drawn, and its file named on the output.
// A fresh state and main window in a language, shown and settled; tag names the language in file names.
struct Scene {
    Scene(AppLanguage lang, int ms) : tag(enter(lang)) {
        w.show();
        settle(ms);
    }
    static QString enter(AppLanguage lang) {
        Lang::setCurrent(lang);
        return AppLanguages::rawValue(lang);
    }
    const QString tag;
    AppState app;
    MainWindow w{&app};
};

void grabTo(QWidget *widget, const QString &file) {
    widget->grab().save(file);
    std::printf("%s\n", qPrintable(file));
}

void shoot(MainWindow &w, const QString &file) {
    settle(300);
    grabTo(&w, file);
}

// The screen around the window, so that cards and open menus (windows of their own) show too.
void shootScreen(MainWindow &w, const QString &file) {
    settle(700);
    const QRect r = w.frameGeometry().adjusted(-20, -20, 300, 300);
    QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(file);
    std::printf("%s\n", qPrintable(file));
}

void closePopups() {
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

// Where the keyboard's focus shows, reached by keys as a user reaches it: the menu bar after F10 and
// Escape, the checked view button after Tab from the search field, a sidebar row's menu after Shift+F10,
// at the smallest window and on a large screen; the settings window as it opens, and the Information
// window after its first Tab.
void focusShots(const QString &out, const QString &left) {
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Scene scene(lang, 500);
        auto &[tag, app, w] = scene;
        app.settings().setShowSidebar(true);
        app.left()->setViewMode(ViewMode::list);
        app.left()->setSelection({left + "/Notizen.txt"});
        w.move(40, 40);
        w.activateWindow();
        settle(300);
        KeyMonitor keys(app, w.commands());
        for (const QSize size : {QSize(900, 460), QSize(2560, 1440)}) {
            const QString name = QStringLiteral("-%1-%2.png").arg(tag).arg(size.width());
            w.resize(size);
            w.paneArea()->setFocus();
            settle(300);
            QTest::keyClick(w.paneArea(), Qt::Key_F10);
            settle(300);
            if (QWidget *menu = QApplication::activePopupWidget()) QTest::keyClick(menu, Qt::Key_Escape);
            settle(300);
            shoot(w, out + "/focus-menubar" + name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            w.paneArea()->setFocus();
            QTest::keyClick(w.paneArea(), Qt::Key_F, Qt::ControlModifier);
            QWidget *checked = w.toolbar()->item(QStringLiteral("view.list"));
            for (int i = 0; i < 40 && QApplication::focusWidget() != checked; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            shoot(w, out + "/focus-viewbutton" + name);
            w.focusPart(MainWindow::Part::sidebar);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10, Qt::ShiftModifier);
            shootScreen(w, out + "/focus-sidebar-menu" + name);
            closePopups();
        }
        if (QWidget *settings = SettingsWindow::open(&app)) {
            settle(500);
            grabTo(settings, out + "/focus-settings-" + tag + ".png");
            settings->close();
        }
        w.activateWindow();
        app.items().showInfo({left + "/Notizen.txt"});
        settle(800);
        if (auto *info = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                           : w.findChild<QDialog *>()) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : info, Qt::Key_Tab);
            settle(300);
            grabTo(info, out + "/focus-info-tab-" + tag + ".png");
            info->close();
        }
        settle(200);
    }
}

// The window light and dark, at the smallest and largest text, at the smallest size and on a large screen,
// into PREFIX-LOOK-PT-WIDTH.png; before runs just before each shot. Back to the usual look after.
void shootLooks(AppState &app, MainWindow &w, const QString &prefix, const std::function<void()> &before) {
    for (const char *look : {"light", "dark"})
        for (int pt : {10, 18})
            for (const QSize size : {QSize(900, 460), QSize(2560, 1440)}) {
                app.settings().setAppearance(QString::fromLatin1(look));
                app.settings().setFontSize(pt);
                w.resize(size);
                before();
                shoot(w, prefix + QStringLiteral("-%1-%2-%3.png")
                                      .arg(QString::fromLatin1(look))
                                      .arg(pt)
                                      .arg(size.width()));
            }
    app.settings().setAppearance("system");
    app.settings().setFontSize(13);
}

// The smallest window with the sidebar and the inspector open: the active pane's header in a folder of
// the desktop's, a text file's facts in the inspector and a toast over the panes, at the smallest window
// and on a large screen, at the smallest and largest text, light and dark, German and Thai.
void headerShots(const QString &out, const QString &home) {
    const QString folder = home + "/Dokumente";
    QFile text(folder + "/Brief an die Hausverwaltung.txt");
    text.open(QIODevice::WriteOnly);
    text.write("Sehr geehrte Damen und Herren,\n");
    text.close();
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
        app.settings().setShowSidebar(true);
        app.settings().setShowInspector(true);
        app.left()->setViewMode(ViewMode::list);
        app.left()->go(folder);
        app.sides().setActive(Side::left);
        settle(300);
        app.left()->setSelection({text.fileName()});
        shootLooks(app, w, out + "/header-" + tag, [&] {
            settle(200);
            app.show(L("Pfad kopiert: ") + text.fileName());
        });
    }
}

// The sheets and questions at the largest text, German and Thai: the information sheet (at 13 too), the
// compare sheet with the keys in its list and after Tab, the batch rename sheet, the question about a
// folder that is there already, and the path bars of the smallest window on a deep folder.
void sheetShots(const QString &out, const QString &left, const QString &right) {
    QString deep = left;
    for (int i = 0; i < 5; ++i)
        deep += QStringLiteral("/Ordner mit Namen %1").arg(i);
    QDir().mkpath(deep);
    const QString folder = QStringLiteral("/Unterordner mit einem recht langen Namen");
    QDir().mkpath(right + folder);
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
        w.resize(900, 460);
        w.move(40, 40);
        w.activateWindow();
        app.left()->go(left);
        app.right()->go(right);
        for (int pt : {13, 18}) {
            app.settings().setFontSize(pt);
            settle(300);
            const QString name = QStringLiteral("-%1-%2.png").arg(tag).arg(pt);
            app.items().showInfo({left + "/Notizen.txt"});
            settle(900);
            if (QDialog *sheet = w.sheets()->current()) {
                grabTo(sheet, out + "/sheets-info" + name);
                // Down to the permission menus.
                for (QScrollArea *scroll : sheet->findChildren<QScrollArea *>())
                    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
                settle(200);
                grabTo(sheet, out + "/sheets-info-end" + name);
                sheet->reject();
                settle(200);
            }
        }
        const QString name = QStringLiteral("-%1-18.png").arg(tag);
        app.items().openCompare();
        settle(800);
        if (auto *sheet = w.findChild<CompareSheet *>()) {
            if (auto *table = sheet->findChild<QTableView *>()) {
                table->setFocus(Qt::TabFocusReason);
                QTest::keyClick(table, Qt::Key_Down);
            }
            settle(200);
            grabTo(sheet, out + "/sheets-compare-list" + name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            settle(200);
            grabTo(sheet, out + "/sheets-compare-tab" + name);
        }
        app.requests().setCompareRequest(std::nullopt);
        settle(200);
        app.requests().setBatchRenameTarget(InfoTarget({left + "/Foto.jpg", left + "/Notizen.txt"}));
        settle(500);
        if (QDialog *sheet = w.sheets()->current()) grabTo(sheet, out + "/sheets-batch-rename" + name);
        app.requests().setBatchRenameTarget(std::nullopt);
        settle(200);
        FileOps::askConflicts({left + folder}, right, false, makeQtDialogs([&w = w] { return &w; }),
                              [](const FileOps::ConflictAnswers &) {});
        settle(500);
        if (QWidget *box = QApplication::activeModalWidget()) {
            grabTo(box, out + "/sheets-conflict" + name);
            box->close();
        }
        settle(200);
        app.left()->go(deep);
        app.right()->go(deep + "/..");
        settle(800);
        shoot(w, out + "/sheets-window" + name);
        int i = 0;
        for (PathBar *bar : w.findChildren<PathBar *>())
            if (bar->isVisible()) grabTo(bar, out + QStringLiteral("/sheets-pathbar-%1").arg(i++) + name);
    }
}

// What follows the text size and the appearance, Polish and Thai at the largest text, light and dark: the
// Edit menu (its entries disabled with nothing to undo), an item's menu, the About panel, the compare,
// feedback, storage, batch rename and shortcut sheets, and the settings page with the keyboard menu.
void looksShots(const QString &out, const QString &left, const QString &right) {
    for (AppLanguage lang : {AppLanguage::pl, AppLanguage::th}) {
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
        w.resize(1100, 700);
        w.move(40, 40);
        w.activateWindow();
        app.settings().setFontSize(18);
        app.left()->go(left);
        app.right()->go(right);
        settle(500);
        for (const char *look : {"light", "dark"}) {
            app.settings().setAppearance(QString::fromLatin1(look));
            settle(300);
            const QString name = QStringLiteral("-%1-%2.png").arg(tag, QString::fromLatin1(look));
            if (auto *bar = qobject_cast<MainMenuBar *>(w.menuBar())) {
                bar->editMenu()->popup(
                    w.mapToGlobal(bar->actionGeometry(bar->editMenu()->menuAction()).bottomLeft()));
                shootScreen(w, out + "/looks-menu-edit" + name);
                closePopups();
            }
            const FileItem item = FileLoader::item(left + "/Notizen.txt");
            app.left()->setSelection({item.path()});
            ContextMenus::popup(w.paneArea()->findChild<PaneView *>()->parts().menus, app.left(), &item,
                                w.mapToGlobal(QPoint(260, 190)), &w);
            shootScreen(w, out + "/looks-item-menu" + name);
            closePopups();
            if (AboutPanel *about = AboutPanel::openPanel()) {
                settle(300);
                grabTo(about, out + "/looks-about" + name);
                about->close();
            }
            app.items().openCompare();
            settle(800);
            if (QDialog *sheet = w.sheets()->current()) {
                grabTo(sheet, out + "/looks-compare" + name);
                sheet->reject();
            }
            app.requests().setCompareRequest(std::nullopt);
            app.requests().setFeedbackText(QStringLiteral("Pasek postępu zatrzymuje się przy kopiowaniu."));
            app.requests().setShowFeedback(true);
            settle(400);
            if (QDialog *sheet = w.sheets()->current()) {
                grabTo(sheet, out + "/looks-feedback" + name);
                sheet->reject();
            }
            settle(200);
            app.items().openStorageAnalysis(QCoreApplication::applicationDirPath());
            auto *storage = qobject_cast<StorageAnalysisSheet *>(w.sheets()->current());
            for (int i = 0; storage && storage->model().scanning() && i < 600; ++i)
                settle(100);
            settle(300);
            if (storage) {
                grabTo(storage, out + "/looks-storage" + name);
                storage->reject();
            }
            settle(200);
            app.requests().setBatchRenameTarget(InfoTarget({left + "/Foto.jpg", left + "/Notizen.txt"}));
            settle(500);
            if (QDialog *sheet = w.sheets()->current()) {
                grabTo(sheet, out + "/looks-batch-rename" + name);
                sheet->reject();
            }
            app.requests().setBatchRenameTarget(std::nullopt);
            app.requests().setShowShortcuts(true);
            settle(500);
            if (QDialog *sheet = w.sheets()->current()) {
                sheet->resize(1000, 700);
                settle(300);
                grabTo(sheet, out + "/looks-shortcuts" + name);
                sheet->reject();
            }
            settle(200);
            if (SettingsWindow *settings = SettingsWindow::open(&app)) {
                for (int page = 0; page < settings->view()->count(); ++page) {
                    settings->view()->setCurrentIndex(page);
                    settle(200);
                    if (settings->view()->page(page)->findChild<QComboBox *>()) {
                        grabTo(settings, out + "/looks-settings" + name);
                        break;
                    }
                }
                settings->close();
            }
            settle(200);
        }
        app.settings().setAppearance("system");
    }
}

// On a 1366×768 screen at the largest text, Polish and Thai: every settings page, a page taller than the
// screen also scrolled to its end; the inspector's Open With menu in a narrow column; a folder's menu with
// nothing to paste; the Files menu with nothing selected; the File menu's Undo after one item was moved.
void smallScreenShots(const QString &out, const QString &left, const QString &right) {
    for (AppLanguage lang : {AppLanguage::pl, AppLanguage::th}) {
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
        app.settings().setFontSize(18);
        app.settings().setShowInspector(true);
        app.settings().setInspectorWidth(220);
        w.move(0, 0);
        w.resize(QGuiApplication::primaryScreen()->availableGeometry().size() - QSize(20, 40));
        w.activateWindow();
        app.left()->go(left);
        app.right()->go(right);
        settle(600);
        if (SettingsWindow *settings = SettingsWindow::open(&app)) {
            settings->move(0, 0);
            for (int page = 0; page < settings->view()->count(); ++page) {
                settings->view()->setCurrentIndex(page);
                settle(300);
                const QString name = QStringLiteral("/small-settings-%1-%2").arg(page + 1).arg(tag);
                grabTo(settings, out + name + ".png");
                QScrollBar *bar = settings->view()->scrollArea()->verticalScrollBar();
                if (bar->maximum() > 0) {
                    bar->setValue(bar->maximum());
                    settle(200);
                    grabTo(settings, out + name + "-end.png");
                }
            }
            settings->close();
        }
        const FileItem note = FileLoader::item(left + "/Notizen.txt");
        app.sides().setActive(Side::left);
        app.left()->setSelection({note.path()});
        settle(1500);
        if (auto *column = qobject_cast<QScrollArea *>(w.inspectorColumn()))
            if (auto *apps = column->findChild<QComboBox *>(QStringLiteral("appPicker"))) {
                column->ensureWidgetVisible(apps, 0, 120);
                settle(300);
                shoot(w, out + "/small-inspector-openwith-" + tag + ".png");
            }
        const FileItem folder = FileLoader::item(left + "/Unterordner mit einem recht langen Namen");
        app.left()->setSelection({folder.path()});
        ContextMenus::popup(w.paneArea()->findChild<PaneView *>()->parts().menus, app.left(), &folder,
                            w.mapToGlobal(QPoint(260, 190)), &w);
        shootScreen(w, out + "/small-folder-menu-" + tag + ".png");
        closePopups();
        app.left()->setSelection({});
        auto *bar = qobject_cast<MainMenuBar *>(w.menuBar());
        if (bar) {
            bar->filesMenu()->popup(
                w.mapToGlobal(bar->actionGeometry(bar->filesMenu()->menuAction()).bottomLeft()));
            shootScreen(w, out + "/small-menu-files-" + tag + ".png");
            closePopups();
        }
        app.transfers().transfer({note.path()}, right, true);
        for (int i = 0; i < 50 && (app.jobs().busy() || !app.undoJournal().undoTitle()); ++i)
            settle(100);
        if (bar) {
            bar->fileMenu()->popup(
                w.mapToGlobal(bar->actionGeometry(bar->fileMenu()->menuAction()).bottomLeft()));
            shootScreen(w, out + "/small-menu-file-" + tag + ".png");
            closePopups();
        }
        app.fileActions().undoLast();
        for (int i = 0; i < 50 && (app.jobs().busy() || !QFile::exists(note.path())); ++i)
            settle(100);
        app.settings().setShowInspector(false);
        app.settings().setFontSize(13);
    }
}

// The main menu's Files menu, the information sheet, the cleanup rules with an incomplete rule chosen,
// the question about a folder for Put Back and the Go to Folder question, Polish and Thai at the largest
// text, light and dark, in the smallest window and on a large screen; the Files menu in English too.
void looksMoreShots(const QString &out, const QString &left, const QString &home) {
    for (AppLanguage lang : {AppLanguage::pl, AppLanguage::th, AppLanguage::en}) {
        const QString tag = Scene::enter(lang);
        QWidget *parent = nullptr;
        AppState app(makeQtDialogs([&parent] { return parent; }));
        QtTranslations::follow(&app.settings()); // Qt's own texts in the folder chooser
        MainWindow w(&app);
        parent = &w;
        w.move(40, 40);
        w.show();
        w.activateWindow();
        app.settings().setFontSize(18);
        app.left()->go(left);
        settle(500);
        CleanRule shots;
        shots.name = "Bildschirmfotos ablegen";
        shots.folder = left;
        shots.extensions = "jpg, png";
        shots.destination = home;
        CleanRule unfinished;
        unfinished.name = "Alte Protokolle";
        app.cleanupRules().setRules({shots, unfinished});
        for (const char *look : {"light", "dark"})
            for (const QSize size : {QSize(900, 460), QSize(2560, 1440)}) {
                app.settings().setAppearance(QString::fromLatin1(look));
                w.resize(size);
                settle(300);
                const QString name =
                    QStringLiteral("-%1-%2-%3.png").arg(tag, QString::fromLatin1(look)).arg(size.width());
                if (auto *bar = qobject_cast<MainMenuBar *>(w.menuBar())) {
                    bar->filesMenu()->popup(
                        w.mapToGlobal(bar->actionGeometry(bar->filesMenu()->menuAction()).bottomLeft()));
                    settle(300);
                    grabTo(bar->filesMenu(), out + "/looks-menu-files" + name);
                    closePopups();
                }
                if (lang == AppLanguage::en) continue;
                app.items().showInfo({left + "/Notizen.txt"});
                settle(900);
                if (QDialog *sheet = w.sheets()->current()) {
                    grabTo(sheet, out + "/looks-info" + name);
                    sheet->reject();
                    settle(200);
                }
                app.requests().setShowRules(true);
                settle(600);
                if (QDialog *sheet = w.sheets()->current()) {
                    if (auto *list = sheet->findChild<QListWidget *>()) list->setCurrentRow(1);
                    settle(200);
                    grabTo(sheet, out + "/looks-rules" + name);
                    sheet->reject();
                }
                app.requests().setShowRules(false);
                settle(200);
                app.services().dialogs.folder(
                    FolderQuestion{
                        L("Der alte Ort ist nicht bekannt oder fehlt. In welchen Ordner sollen die "
                          "Objekte zurück?"),
                        L("Hierher zurücklegen"), home},
                    [](const std::optional<QString> &) {});
                settle(800);
                if (QWidget *box = QApplication::activeModalWidget()) {
                    grabTo(box, out + "/looks-put-back-folder" + name);
                    box->close();
                }
                settle(200);
                app.items().goToFolder();
                settle(500);
                if (QWidget *box = QApplication::activeModalWidget()) {
                    grabTo(box, out + "/looks-go-to-folder" + name);
                    box->close();
                }
                settle(200);
            }
        app.settings().setAppearance("system");
        app.settings().setFontSize(13);
    }
}

} // namespace

int main(int argc, char **argv) {
    // A private home, so the real settings and folders are never touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    // A few applications of the user's own, the text editor the default for text.
    const QString appDir = home.path() + "/.local/share/applications";
    QDir().mkpath(appDir);
    const char *const entries[][3] = {{"texteditor", "Texteditor", "accessories-text-editor"},
                                      {"bilder", "Bildbetrachter", "image-viewer"},
                                      {"terminal", "Terminal", "utilities-terminal"},
                                      {"rechner", "Rechner", "accessories-calculator"}};
    for (const auto &e : entries) {
        QFile f(appDir + "/" + e[0] + ".desktop");
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nIcon=%2\nExec=true %F\n"
                               "MimeType=text/plain;\n")
                    .arg(QString::fromUtf8(e[1]), QString::fromUtf8(e[2]))
                    .toUtf8());
    }
    QFile cache(appDir + "/mimeinfo.cache");
    cache.open(QIODevice::WriteOnly);
    cache.write(
        "[MIME Cache]\ntext/plain=texteditor.desktop;bilder.desktop;terminal.desktop;rechner.desktop;\n");
    cache.close();
    QDir().mkpath(home.path() + "/.config");
    QFile mimeapps(home.path() + "/.config/mimeapps.list");
    mimeapps.open(QIODevice::WriteOnly);
    mimeapps.write("[Default Applications]\ntext/plain=texteditor.desktop\n");
    mimeapps.close();
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

    // The desktop's own folders under their German names, as the desktop's tools make them, and one file
    // in the Trash, for the sidebar, the trail and the columns view below.
    for (const char *name : {"Bilder", "Musik", "Videos", "Schreibtisch", "Dokumente", "Downloads"})
        QDir().mkpath(home.path() + "/" + name);
    {
        QFile dirs(home.path() + "/.config/user-dirs.dirs");
        dirs.open(QIODevice::WriteOnly);
        dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                   "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/Bilder\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n");
    }
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"header") {
        headerShots(out, home.path());
        return 0;
    }
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"sheets") {
        sheetShots(out, left, right);
        return 0;
    }
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"looks") {
        looksShots(out, left, right);
        looksMoreShots(out, left, home.path());
        return 0;
    }
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"small") {
        smallScreenShots(out, left, right);
        return 0;
    }
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"focus") {
        focusShots(out, left);
        return 0;
    }
    // Kestrin's icon at the sizes a desktop shows it; the About panel; the columns view with a preview,
    // the sidebar and the Trash's trail at the smallest window and on a large screen, at the smallest and
    // largest text, light and dark, German and Thai.
    {
        for (int size : {16, 32, 48, 128, 256})
            AppIcons::appIcon().pixmap(size, size).save(out + QStringLiteral("/icon-%1.png").arg(size));
        for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
            Scene scene(lang, 300);
            auto &[tag, app, w] = scene;
            if (AboutPanel *about = AboutPanel::openPanel()) {
                settle(300);
                grabTo(about, out + "/about-" + tag + ".png");
                about->close();
            }
            if (lang == AppLanguage::en) continue;
            QDir().mkpath(FileLoader::mainTrash() + "/Alter Ordner");
            app.right()->go(FileLoader::mainTrash() + "/Alter Ordner");
            app.left()->setViewMode(ViewMode::columns);
            app.left()->go(left);
            settle(300);
            app.left()->setSelection({left + "/Notizen.txt"});
            shootLooks(app, w, out + "/wording-" + tag, [] {});
            app.left()->setViewMode(ViewMode::list);
        }
    }
    headerShots(out, home.path());
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == u"wording") return 0;

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
        Scene scene(lang, 500);
        auto &[tag, app, w] = scene;
        app.left()->setSelection({left + "/Foto.jpg"});
        shoot(w, out + "/two-panes-" + tag + ".png");

        // The menus the keys open: F10 the first menu of the menu bar, Shift+F10 the item menu at the cursor.
        {
            w.move(40, 40);
            w.activateWindow();
            KeyMonitor keys(app, w.commands());
            KeyPress press;
            press.mainWindowActive = true;
            press.key = Qt::Key_F10;
            keys.menuKey(press, &w);
            shootScreen(w, out + "/keys-f10-" + tag + ".png");
            for (QWidget *popup = QApplication::activePopupWidget(); popup;
                 popup = QApplication::activePopupWidget())
                popup->close();
            if (QMenuBar *bar = w.menuBar()) bar->setActiveAction(nullptr);
            settle(200);
            app.sides().setActive(Side::left);
            app.left()->setCursor(left + "/Foto.jpg");
            press.modifiers = Qt::ShiftModifier;
            keys.menuKey(press, &w);
            shootScreen(w, out + "/keys-shift-f10-" + tag + ".png");
            for (QWidget *popup = QApplication::activePopupWidget(); popup;
                 popup = QApplication::activePopupWidget())
                popup->close();
            settle(200);
        }

        // The compare sheet with its rows, and the batch rename sheet with a counter pattern.
        app.items().openCompare();
        settle(800);
        if (auto *sheet = w.findChild<CompareSheet *>()) {
            grabTo(sheet, out + "/compare-sheet-" + tag + ".png");
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
            grabTo(sheet, out + "/batch-rename-sheet-" + tag + ".png");
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
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
        app.requests().openManual(std::nullopt);
        ManualWindow *manual = ManualWindow::open(app.settings(), app.requests());
        settle(300);
        manual->grab().save(out + "/manual-top-" + tag + ".png");
        app.requests().openManual(5);
        settle(300);
        grabTo(manual, out + "/manual-chapter5-" + tag + ".png");
        manual->close();
        app.requests().setFeedbackText(
            QStringLiteral("Beim Kopieren auf einen USB-Stick bleibt der Balken stehen."));
        app.requests().setShowFeedback(true);
        settle(300);
        if (QDialog *sheet = w.sheets()->current()) {
            grabTo(sheet, out + "/feedback-" + tag + ".png");
        }
    }

    // The Terminal help: commands with an entry open, and the characters with a key lit; German, English and
    // Thai, on the narrowest sheet and a wide one.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.show();
        for (int width : {480, 940}) {
            TerminalHelpSheet sheet(app.settings(), app.requests(), app.services().pasteboard, &w);
            sheet.resize(width, 760);
            sheet.show();
            for (const TermEntry &e : TerminalData::groups()[1].items)
                if (e.cmd == QLatin1String("rm")) sheet.toggle(e.id);
            settle(300);
            grabTo(&sheet, out + QStringLiteral("/terminal-commands-%1-%2.png").arg(tag).arg(width));
            sheet.setTab(1);
            const auto &table = TerminalData::charGroups(sheet.resolvedLayout());
            sheet.clickChar(table.first().items[lang == AppLanguage::th ? 4 : 2].id);
            settle(600);
            grabTo(&sheet, out + QStringLiteral("/terminal-chars-%1-%2.png").arg(tag).arg(width));
        }
    }

    // The item menu with its tag submenu, and the preview window on a picture and a text, German and
    // Thai, light and dark.
    const QString samples = home.path() + "/Vorschau";
    QDir().mkpath(samples);
    {
        QImage picture(640, 400, QImage::Format_RGB32);
        QPainter p(&picture);
        QLinearGradient sky(0, 0, 0, 400);
        sky.setColorAt(0, QColor(90, 150, 220));
        sky.setColorAt(1, QColor(250, 200, 140));
        p.fillRect(picture.rect(), sky);
        p.setBrush(QColor(60, 90, 60));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPoint(200, 520), 420, 220);
        p.end();
        picture.save(samples + "/Aussicht.png");
        QFile text(samples + "/Liesmich.txt");
        text.open(QIODevice::WriteOnly);
        text.write(
            "Kestrin – Vorschau\n\nÄnderungen seit der letzten Fassung:\n- Spalten\n- Schnellvorschau\n");
        text.close();
        // Both carry one tag, so the tag submenu shows its checkmark.
        for (const QString &name : {QStringLiteral("Aussicht.png"), QStringLiteral("Liesmich.txt")})
            FileOps::setTagNames({QStringLiteral("Grün")}, samples + u'/' + name);
    }
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        MainWindow w(&app);
        w.move(40, 40);
        w.show();
        settle(500);
        app.left()->go(samples);
        settle(500);
        for (const char *lookName : {"light", "dark"}) {
            app.settings().setAppearance(QString::fromLatin1(lookName));
            settle(300);
            const FileItem item = FileLoader::item(samples + "/Liesmich.txt");
            app.left()->setSelection({item.path(), samples + "/Aussicht.png"});
            QMenu *menu = ContextMenus::popup(w.paneArea()->findChild<PaneView *>()->parts().menus,
                                              app.left(), &item, w.mapToGlobal(QPoint(260, 190)), &w);
            settle(200);
            QMenu *share = nullptr;
            for (QAction *a : menu->actions())
                if (a->objectName() == u"Teilen und Markieren") share = a->menu();
            if (share) {
                share->popup(menu->mapToGlobal(menu->actionGeometry(share->menuAction()).topRight()));
                settle(200);
                if (auto *tags = share->findChild<TagMenu *>())
                    tags->popup(share->mapToGlobal(share->actionGeometry(tags->menuAction()).topRight()));
            }
            shootScreen(w, out + "/item-menu-" + tag + "-" + lookName + ".png");
            for (QWidget *popup = QApplication::activePopupWidget(); popup;
                 popup = QApplication::activePopupWidget())
                popup->close();
            settle(200);
            if (w.commands().action(Cmd::quickLook)->isEnabled())
                w.commands().action(Cmd::quickLook)->trigger();
            if (auto *look = w.findChild<QuickLook *>(); look && look->window()) {
                PreviewWindow *preview = look->window();
                preview->resize(720, 520);
                for (int i = 0; i < 2; ++i) {
                    settle(600);
                    const QString file =
                        out + QStringLiteral("/quicklook-%1-%2-%3.png")
                                  .arg(tag, QString::fromLatin1(lookName), QString::number(i + 1));
                    grabTo(preview, file);
                    preview->showItem(1);
                }
                look->toggle({});
            }
        }
        app.settings().setAppearance("system");
    }

    // The cleanup rules and the storage analysis of the build folder (the folder this program lies in).
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Scene scene(lang, 300);
        auto &[tag, app, w] = scene;
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
            grabTo(sheet, out + "/rules-" + tag + ".png");
            sheet->reject();
        }
        app.items().openStorageAnalysis(QCoreApplication::applicationDirPath());
        auto *storage = qobject_cast<StorageAnalysisSheet *>(w.sheets()->current());
        for (int i = 0; storage && storage->model().scanning() && i < 600; ++i)
            settle(100);
        settle(300);
        if (storage) {
            grabTo(storage, out + "/storage-" + tag + ".png");
            storage->setTab(1);
            settle(300);
            grabTo(storage, out + "/storage-largest-" + tag + ".png");
            storage->reject();
        }
    }

    // The toolbar applications with their editor, "Öffnen mit" and the Get Info section, German and Thai.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        auto save = [&](QWidget *widget, const QString &name) {
            grabTo(widget, out + "/" + name + "-" + tag + ".png");
        };
        AppState app;
        app.settings().setToolbarApps(
            {appDir + "/texteditor.desktop", appDir + "/bilder.desktop", appDir + "/terminal.desktop"});
        app.settings().setToolbarCompact(false);
        MainWindow w(&app);
        w.move(40, 40);
        w.show();
        settle(600);
        if (QWidget *strip = w.toolbar()->item(QStringLiteral("appsStrip"))) save(strip, "apps-strip");
        app.settings().setToolbarCompact(true);
        settle(300);
        if (QWidget *strip = w.toolbar()->item(QStringLiteral("appsStrip")))
            save(strip, "apps-strip-compact");
        app.settings().setToolbarApps({appDir + "/texteditor.desktop", appDir + "/bilder.desktop",
                                       appDir + "/terminal.desktop", appDir + "/fehlt.desktop"});
        app.requests().setShowToolbarEditor(true);
        settle(600);
        if (QDialog *sheet = w.sheets()->current()) {
            save(sheet, "toolbar-editor");
            sheet->reject();
        }
        settle(200);
        QMenu *menu = OpenWithMenu::build(app.toasts(), {left + "/Notizen.txt"}, &w);
        menu->popup(w.mapToGlobal(QPoint(300, 200)));
        shootScreen(w, out + "/open-with-" + tag + ".png");
        menu->hide();
        QWidget panel;
        panel.setWindowTitle(QStringLiteral("Info"));
        auto *section = new FileInfoAppSection(app.toasts(), app.services(), left + "/Notizen.txt", &panel);
        panel.resize(300, 260);
        section->resize(280, 240);
        section->move(10, 10);
        panel.show();
        for (int i = 0; i < 50 && !section->isLoaded(); ++i)
            settle(100);
        settle(200);
        save(&panel, "getinfo-apps");
    }
    // The inspector with one item and with several, and the information sheet for one and for several.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        app.settings().setShowInspector(true);
        MainWindow w(&app);
        w.resize(1400, 900);
        w.show();
        settle(500);
        FileOps::setComment(QStringLiteral("Entwurf für die Sitzung"), left + "/Notizen.txt");
        FileOps::setTagNames({QStringLiteral("Blau"), QStringLiteral("Projekt")}, left + "/Notizen.txt");
        app.left()->setSelection({left + "/Notizen.txt"});
        settle(800);
        shoot(w, out + "/inspector-one-" + tag + ".png");
        app.left()->setSelection({left + "/Foto.jpg", left + "/Notizen.txt", left + "/Archiv.zip",
                                  left + "/Unterordner mit einem recht langen Namen"});
        settle(800);
        shoot(w, out + "/inspector-several-" + tag + ".png");
        for (const auto &[paths, name] :
             {std::pair{QStringList{left + "/Notizen.txt"}, QStringLiteral("info-sheet-one-")},
              std::pair{QStringList{left + "/Foto.jpg", left + "/Notizen.txt", left + "/Bericht 2026.pdf"},
                        QStringLiteral("info-sheet-several-")}}) {
            app.items().showInfo(paths);
            settle(900);
            if (QDialog *sheet = w.sheets()->current()) {
                grabTo(sheet, out + "/" + name + tag + ".png");
                sheet->reject();
                settle(200);
            }
        }
    }
    // The sidebar with a mounted volume and own favourites, the places menu of a pane while the sidebar
    // is hidden, and the favourites editor, German and Thai.
    for (const char *folder : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Projekte"})
        QDir().mkpath(home.path() + "/" + folder);
    const QString media = home.path() + "/media";
    const QString stick = media + "/USB-Stick";
    QDir().mkpath(stick);
    const bool mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64m", "kestrin", stick}) == 0;
    Defaults::setValue("userFavorites", QStringList{home.path() + "/Projekte"});
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        Services services;
        services.sidebar.volumes = [media, stick, mounted] {
            return mounted ? Volumes::userVolumes({media})
                           : std::vector<Volume>{{stick, "/dev/sdb1", "vfat", true}};
        };
        AppState app(services);
        app.favorites().setList({home.path() + "/Projekte", left + "/Notizen.txt", home.path() + "/weg"});
        MainWindow w(&app);
        w.move(40, 40);
        w.show();
        settle(800);
        app.left()->go(home.path() + "/Projekte");
        shoot(w, out + "/sidebar-" + tag + ".png");
        app.settings().setShowSidebar(false);
        settle(300);
        if (auto *header = w.paneArea()->findChild<PaneHeader *>()) {
            PlacesMenu *places = header->placesMenu();
            places->menu()->popup(places->mapToGlobal(QPoint(0, places->height())));
            shootScreen(w, out + "/places-menu-" + tag + ".png");
            places->menu()->hide();
        }
        app.settings().setShowSidebar(true);
        app.requests().setShowFavoritesEditor(true);
        settle(400);
        if (QDialog *sheet = w.sheets()->current()) {
            grabTo(sheet, out + "/favorites-editor-" + tag + ".png");
            sheet->reject();
        }
        app.settings().save();
    }
    if (mounted) QProcess::execute("umount", {stick});
    // The icon grid and the columns with a preview, with thumbnails, German and Thai, light and dark.
    const QString pictures = home.path() + "/Bilder";
    QDir().mkpath(pictures + "/Urlaub 2026");
    for (int i = 0; i < 7; ++i) {
        QImage img(i % 2 ? 240 : 360, 240, QImage::Format_RGB32);
        QPainter painter(&img);
        QLinearGradient g(0, 0, img.width(), img.height());
        g.setColorAt(0, QColor::fromHsv(i * 50 % 360, 160, 240));
        g.setColorAt(1, QColor::fromHsv((i * 50 + 120) % 360, 200, 120));
        painter.fillRect(img.rect(), g);
        painter.end();
        img.save(pictures + QStringLiteral("/Strand %1.jpg").arg(i + 1));
        if (i < 3) img.save(pictures + QStringLiteral("/Urlaub 2026/Tag %1.png").arg(i + 1));
    }
    QImage odd(120, 120, QImage::Format_RGB32);
    odd.fill(QColor(250, 200, 60));
    odd.save(pictures + "/Tom & Jerry mit einem sehr langen Namen.png");
    QFile notes(pictures + "/Notizen.txt");
    notes.open(QIODevice::WriteOnly);
    notes.write("Liste");
    notes.close();
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        for (const char *look : {"light", "dark"}) {
            Lang::setCurrent(lang);
            const QString tag = AppLanguages::rawValue(lang);
            AppState app;
            MainWindow w(&app);
            w.resize(1500, 820);
            w.show();
            app.settings().setAppearance(look);
            app.left()->setViewMode(ViewMode::icons);
            app.left()->go(pictures);
            app.right()->setViewMode(ViewMode::columns);
            app.right()->go(pictures + "/Urlaub 2026");
            settle(600);
            app.left()->setSelection({pictures + "/Strand 2.jpg"});
            app.right()->setSelection({pictures + "/Urlaub 2026/Tag 2.png"});
            settle(1200);
            shoot(w, out + QStringLiteral("/grid-columns-%1-%2.png").arg(tag, QString::fromLatin1(look)));
            app.settings().setAppearance("system");
        }
    }
    // The seven settings pages, German and Thai.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        app.settings().setToolbarApps({QStringLiteral("org.example.editor.desktop")});
        SettingsWindow *settings = SettingsWindow::open(&app);
        for (int page = 0; page < settings->view()->count(); ++page) {
            settings->view()->setCurrentIndex(page);
            settle(300);
            const QString file = out + "/settings-" + QString::number(page + 1) + "-" + tag + ".png";
            grabTo(settings, file);
        }
        settings->close();
        settle(100);
    }
    // The shortcut reference with keys lit, German, English and Thai (each on the layout its language
    // chooses), wide and at the narrowest sheet.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        Lang::setCurrent(lang);
        const QString tag = AppLanguages::rawValue(lang);
        AppState app;
        app.settings().setKeyboardLayout(QStringLiteral("auto"));
        MainWindow w(&app);
        w.show();
        app.requests().setShowShortcuts(true);
        settle(300);
        auto *sheet = qobject_cast<ShortcutsSheet *>(w.sheets()->current());
        if (!sheet) continue;
        auto idOf = [](const QString &keys) {
            for (const ShortcutGroup &group : ShortcutData::groups())
                for (const ShortcutItem &item : group.items)
                    if (item.keys == keys) return item.id;
            return QUuid();
        };
        sheet->resize(940, 760);
        sheet->clickRow(idOf(QStringLiteral("⌥ ⌘ ⎋")));
        settle(300);
        sheet->grab().save(out + "/shortcuts-wide-" + tag + ".png");
        sheet->setQuery(QStringLiteral("⏻")); // the power key's rows: its symbol needs a font of its own
        settle(200);
        sheet->grab().save(out + "/shortcuts-power-" + tag + ".png");
        sheet->setQuery(QString());
        sheet->clickRow(idOf(QStringLiteral("⇧ ⌘ ?")));
        sheet->setHeld({QStringLiteral("⇧"), QStringLiteral("⌘")});
        sheet->resize(480, 760);
        settle(300);
        grabTo(sheet, out + "/shortcuts-480-" + tag + ".png");
        sheet->close();
        settle(100);
    }
    return 0;
}
