// The cleanup rules sheet and the storage analysis sheet.
#include "common/TestCommands.h"
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "platform/TrashRoots.h"
#include "ui/app/Commands.h"
#include "ui/tools/RulesSheet.h"
#include "ui/tools/StorageAnalysisSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using TestUtil::LanguageScope;
using TestUtil::writeFile;

namespace {

void oldFile(const QString &path) {
    ASSERT_TRUE(writeFile(path, "x"));
    const time_t t = time_t(QDateTime::currentSecsSinceEpoch() - 86400);
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.toUtf8().constData(), times, 0), 0);
}

QPushButton *button(QWidget *w, const char *key) {
    for (QPushButton *b : w->findChildren<QPushButton *>())
        if (b->text() == L(key)) return b;
    return nullptr;
}

bool showsText(QWidget *w, const QString &text) {
    for (QLabel *l : w->findChildren<QLabel *>())
        if (l->isVisibleTo(w) && l->text() == text) return true;
    return false;
}

class RulesSheetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        RulesSheet::previewDelayMs() = 10;
        ASSERT_TRUE(tmp.isValid());
    }
    QTemporaryDir tmp;
};

} // namespace

TEST_F(RulesSheetsTest, TheMenuEntriesLightUpAndOpenTheSheets) {
    AppState app;
    MainWindow w(&app);
    Commands *commands = &w.commands();
    QAction *rules = commands->action(QString::fromUtf8(Cmd::rules));
    QAction *storage = commands->action(QString::fromUtf8(Cmd::storage));
    ASSERT_TRUE(rules && storage);
    EXPECT_TRUE(rules->isEnabled());
    EXPECT_TRUE(storage->isEnabled());
    rules->trigger();
    EXPECT_TRUE(qobject_cast<RulesSheet *>(w.sheets()->current()));
    w.sheets()->current()->reject();
    EXPECT_FALSE(app.requests().showRules());
    app.items().openStorageAnalysis(tmp.path());
    auto *sheet = qobject_cast<StorageAnalysisSheet *>(w.sheets()->current());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->model().path(), tmp.path());
    sheet->reject();
    EXPECT_FALSE(app.requests().storageRequest());
}

// At the largest text size the buttons under the list stay below its frame, and a folder once chosen
// loses the warning colour of "nicht gewählt".
TEST_F(RulesSheetsTest, ListButtonsStayBelowTheListAndAChosenFolderIsNoWarning) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    app.settings().setFontSize(18);
    MainWindow w(&app);
    w.commands().action(QString::fromUtf8(Cmd::rules))->trigger();
    auto *sheet = qobject_cast<RulesSheet *>(w.sheets()->current());
    ASSERT_TRUE(sheet);
    sheet->addRule();
    sheet->show();
    QTest::qWait(50);
    auto *list = sheet->findChild<QListWidget *>();
    ASSERT_TRUE(list);
    const QRect frame(list->mapTo(sheet, QPoint()), list->size());
    for (const char *key : {"Regel", "Entfernen", "Beispiel: Bildschirmfotos aufräumen"}) {
        QPushButton *b = button(sheet, key);
        ASSERT_TRUE(b) << key;
        EXPECT_GE(b->mapTo(sheet, QPoint()).y(), frame.bottom()) << key;
    }

    auto colourOf = [&](const QString &text) -> std::optional<QColor> {
        for (QLabel *l : sheet->findChildren<QLabel *>())
            if (l->isVisibleTo(sheet) && l->text() == text) {
                l->ensurePolished();
                return l->palette().color(l->foregroundRole());
            }
        return std::nullopt;
    };
    const QColor warning(255, 149, 0);
    EXPECT_EQ(colourOf("nicht gewählt"), warning);
    ScriptedDialogs dialogs;
    app.services().dialogs = dialogs.dialogs();
    dialogs.folderAnswers = {tmp.path()};
    button(sheet, "Wählen …")->click();
    ASSERT_EQ(app.cleanupRules().rules().value(0).folder, tmp.path());
    QTest::qWait(20);
    QStringList texts;
    for (QLabel *l : sheet->findChildren<QLabel *>())
        texts << l->text();
    ASSERT_TRUE(colourOf(tmp.path())) << texts.join(" | ").toStdString();
    EXPECT_NE(*colourOf(tmp.path()), warning);
    sheet->reject();
}

TEST_F(RulesSheetsTest, RulesSheetAddsRemovesAndSelects) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    RulesSheet sheet(&app);
    EXPECT_FALSE(sheet.index());
    EXPECT_FALSE(button(&sheet, "Entfernen")->isEnabled());
    EXPECT_FALSE(button(&sheet, "Jetzt ausführen")->isEnabled());
    EXPECT_TRUE(showsText(&sheet, "Wähle links eine Regel oder lege eine neue an."));

    sheet.addRule();
    sheet.addRule();
    ASSERT_EQ(app.cleanupRules().rules().size(), 2);
    EXPECT_EQ(app.cleanupRules().rules()[0].name, "Neue Regel");
    EXPECT_NE(app.cleanupRules().rules()[0].id, app.cleanupRules().rules()[1].id);
    EXPECT_EQ(sheet.selected(), app.cleanupRules().rules()[1].id);
    QTest::qWait(20);
    EXPECT_TRUE(showsText(&sheet,
                          "Mindestens eine Bedingung (Name, Endung oder Alter) ist nötig, damit die Regel "
                          "nicht auf alles passt."));
    EXPECT_TRUE(showsText(&sheet, "nicht gewählt"));

    sheet.addExample();
    sheet.addExample();
    ASSERT_EQ(app.cleanupRules().rules().size(), 4);
    const CleanRule a = app.cleanupRules().rules()[2], b = app.cleanupRules().rules()[3];
    EXPECT_NE(a.id, b.id);
    EXPECT_FALSE(a.enabled);
    EXPECT_EQ(a.folder, QDir::homePath() + "/Desktop");
    EXPECT_EQ(b.destination, QDir::homePath() + "/Pictures/Bildschirmfotos");

    // Removing the last selects the first, not the neighbour.
    sheet.removeRule();
    EXPECT_EQ(app.cleanupRules().rules().size(), 3);
    EXPECT_EQ(sheet.selected(), app.cleanupRules().rules()[0].id);

    // The folder choice opens in the field's folder and writes the chosen one; a cancel changes nothing.
    sheet.select(app.cleanupRules().rules()[2].id);
    QTest::qWait(20);
    ScriptedDialogs dialogs;
    app.services().dialogs = dialogs.dialogs();
    dialogs.folderAnswers = {std::nullopt, QStringLiteral("/chosen")};
    button(&sheet, "Wählen …")->click();
    EXPECT_EQ(app.cleanupRules().rules()[2].folder, QDir::homePath() + "/Desktop");
    button(&sheet, "Wählen …")->click();
    ASSERT_EQ(dialogs.folderQuestions.size(), 2);
    EXPECT_EQ(dialogs.folderQuestions[0].directory, QDir::homePath() + "/Desktop");
    EXPECT_EQ(app.cleanupRules().rules()[2].folder, "/chosen");

    // A new sheet starts at the first rule.
    RulesSheet again(&app);
    EXPECT_EQ(again.index(), 0);
}

TEST_F(RulesSheetsTest, RulesPreviewIsComputedAwayAndOnlyTheNewestCounts) {
    LanguageScope de(AppLanguage::de);
    const QString many = tmp.path() + "/many", none = tmp.path() + "/none";
    QDir().mkpath(many);
    QDir().mkpath(none);
    for (int i = 0; i < 5; ++i)
        oldFile(many + QStringLiteral("/f%1.png").arg(i));
    AppState app;
    CleanRule r;
    r.folder = many;
    r.extensions = "png";
    r.action = "trash";
    app.cleanupRules().setRules({r});
    RulesSheet sheet(&app);
    QTRY_VERIFY(sheet.previewCount().has_value());
    EXPECT_EQ(*sheet.previewCount(), 5);
    EXPECT_TRUE(showsText(&sheet, "Trifft jetzt auf 5 Dateien zu."));
    EXPECT_TRUE(showsText(&sheet, "• f3.png"));
    EXPECT_FALSE(showsText(&sheet, "• f4.png"));
    EXPECT_TRUE(showsText(&sheet, "… und 1 weitere"));
    EXPECT_TRUE(button(&sheet, "Jetzt ausführen")->isEnabled())
        << "disabled rules don't count, this one is on";

    // Two quick edits: the first one's answer never shows.
    QList<CleanRule> list = app.cleanupRules().rules();
    list[0].folder = none;
    app.cleanupRules().setRules(list);
    QTest::qWait(1);
    list[0].folder = many;
    app.cleanupRules().setRules(list);
    list[0].folder = none;
    app.cleanupRules().setRules(list);
    QTRY_VERIFY(sheet.previewCount().has_value());
    QTest::qWait(50);
    EXPECT_EQ(*sheet.previewCount(), 0);

    // Valid, then at once incomplete: no count is shown for the incomplete rule.
    list[0].folder = many;
    app.cleanupRules().setRules(list);
    QCoreApplication::processEvents(); // the sheet has seen the valid rule
    list[0].extensions.clear();
    app.cleanupRules().setRules(list);
    QTest::qWait(100);
    EXPECT_FALSE(sheet.previewCount().has_value());
    for (QLabel *l : sheet.findChildren<QLabel *>())
        EXPECT_FALSE(l->isVisibleTo(&sheet) && l->text().startsWith("Trifft jetzt auf"))
            << "shown for an incomplete rule";
}

TEST_F(RulesSheetsTest, AFolderInTheTrashAndAVolumeWithoutOneAreSaidInPlace) {
    LanguageScope de(AppLanguage::de);
    const QString folder = tmp.path() + "/in";
    QDir().mkpath(folder);
    oldFile(folder + "/a.png");
    const QString trash = TrashRoots::homeTrash() + "/files";
    QDir().mkpath(trash);
    AppState app;
    CleanRule r;
    r.folder = folder;
    r.extensions = "png";
    r.action = "trash";
    app.cleanupRules().setRules({r});
    RulesSheet sheet(&app);
    QTRY_VERIFY(sheet.previewCount().has_value());
    EXPECT_FALSE(sheet.previewMarksNoTrash());
    EXPECT_TRUE(sheet.refusalText().isEmpty());

    ScriptedDialogs dialogs;
    app.services().dialogs = dialogs.dialogs();
    dialogs.folderAnswers = {trash};
    button(&sheet, "Wählen …")->click();
    EXPECT_EQ(app.cleanupRules().rules().first().folder, folder);
    EXPECT_TRUE(sheet.refusalText().contains(trash)) << sheet.refusalText().toStdString();

    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount vol("1m");
    ASSERT_TRUE(vol.valid());
    ASSERT_TRUE(writeFile(vol.path() + QStringLiteral("/.Trash-%1").arg(::getuid()), "not a folder"));
    oldFile(vol.path() + "/b.png");
    oldFile(vol.path() + "/c.png");
    QList<CleanRule> list = app.cleanupRules().rules();
    list[0].folder = vol.path();
    app.cleanupRules().setRules(list);
    QTRY_VERIFY(sheet.previewCount() == 2);
    EXPECT_TRUE(sheet.previewMarksNoTrash());
    EXPECT_TRUE(showsText(&sheet, "• b.png – wird übersprungen"));
}

TEST_F(RulesSheetsTest, StorageRowsTextsAndShares) {
    EXPECT_EQ(StorageAnalysisSheet::relativeFolder("/a/b", "/a/b/f"), "/a/b");
    EXPECT_EQ(StorageAnalysisSheet::relativeFolder("/a/b", "/a/b/c/d/f"), "c/d");
    EXPECT_EQ(StorageAnalysisSheet::relativeFolder("/", "/f"), "");
    EXPECT_EQ(StorageAnalysisSheet::barWidth(0, 1, 140), 2);
    EXPECT_EQ(StorageAnalysisSheet::barWidth(50, 100, 140), 70);
    StorageEntry e{"/x", "x", 125, false, false};
    {
        LanguageScope de(AppLanguage::de);
        EXPECT_EQ(StorageAnalysisSheet::share(e, 1000), "12,5 %");
    }
    {
        LanguageScope en(AppLanguage::en);
        EXPECT_EQ(StorageAnalysisSheet::share(e, 1000), "12.5 %");
    }
    EXPECT_EQ(StorageAnalysisSheet::share(e, 0), "");
    // The columns hold their widest texts at every size, a share's first digit too.
    for (double pt : {10.0, 13.0, 18.0}) {
        LanguageScope pl(AppLanguage::pl);
        UIScale ui;
        ui.font = pt;
        const QFontMetrics digits(StorageAnalysisSheet::digitsFont(ui));
        for (qint64 size : {769, 1000})
            EXPECT_GE(
                StorageAnalysisSheet::shareColumn(ui),
                digits.horizontalAdvance(StorageAnalysisSheet::share({"/x", "x", size, false, false}, 1000)))
                << pt << " pt, " << size;
        EXPECT_GE(StorageAnalysisSheet::sizeColumn(ui),
                  digits.horizontalAdvance(FileFmt::size(987'600'000'000)))
            << pt << " pt";
    }
    e.otherVolume = true;
    EXPECT_EQ(StorageAnalysisSheet::share(e, 1000), "");
}

TEST_F(RulesSheetsTest, StorageSheetWalksInAndBackAndOpensInThePane) {
    LanguageScope de(AppLanguage::de);
    const QString a = tmp.path();
    QDir().mkpath(a + "/B/C/D");
    writeFile(a + "/B/C/D/deep.bin", QByteArray(20000, 'x'));
    writeFile(a + "/top.bin", QByteArray(9000, 'x'));
    AppState app;
    StorageAnalysisSheet sheet(&app, a);
    QTRY_VERIFY(!sheet.model().scanning());
    ASSERT_EQ(sheet.rowCount(), 2);
    EXPECT_FALSE(button(&sheet, "Zurück")->isEnabled());

    // A folder selected, then the largest files: the actions are off, and on again back on the folders.
    sheet.select(a + "/B");
    EXPECT_TRUE(button(&sheet, "Diesen Ordner analysieren")->isEnabled());
    sheet.setTab(1);
    EXPECT_FALSE(button(&sheet, "Im Fenster öffnen")->isEnabled());
    sheet.setTab(0);
    EXPECT_TRUE(button(&sheet, "Im Fenster öffnen")->isEnabled());

    for (const char *sub : {"/B", "/B/C", "/B/C/D"}) {
        sheet.activate(StorageEntry{a + sub, "", 0, true, false});
        QTRY_VERIFY(!sheet.model().scanning());
    }
    EXPECT_TRUE(showsText(&sheet, LF("Gesamt: %@", FileFmt::size(sheet.model().snapshot().total))));
    for (const QString &expected : {a + "/B/C", a + "/B", a}) {
        button(&sheet, "Zurück")->click();
        EXPECT_EQ(sheet.model().path(), expected);
        QTRY_VERIFY(!sheet.model().scanning());
    }
    EXPECT_FALSE(button(&sheet, "Zurück")->isEnabled());

    // An empty folder shows the empty text once measured.
    QDir().mkpath(a + "/empty");
    sheet.activate(StorageEntry{a + "/empty", "", 0, true, false});
    QTRY_VERIFY(!sheet.model().scanning());
    EXPECT_TRUE(showsText(&sheet, "Hier gibt es nichts zu messen."));

    // A file opens its folder in the active pane with the file selected, and the sheet closes.
    sheet.open();
    sheet.openInPane(StorageEntry{a + "/top.bin", "top.bin", 1, false, false});
    EXPECT_FALSE(sheet.isVisible());
    QTRY_COMPARE(app.activePane()->currentPath(), a);
    EXPECT_TRUE(app.activePane()->selection().contains(a + "/top.bin"));
}
