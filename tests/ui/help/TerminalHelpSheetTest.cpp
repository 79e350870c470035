#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/help/TerminalData.h"
#include "ui/app/Commands.h"
#include "ui/help/TerminalHelpSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QToolButton>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class TerminalHelpSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        app->services().pasteboard.writeText = [this](const QString &text) { clipboard = text; };
    }

    static const TermEntry &entry(const QString &cmd) {
        for (const TermGroup &g : TerminalData::groups())
            for (const TermEntry &e : g.items)
                if (e.cmd == cmd) return e;
        throw std::runtime_error("no entry");
    }
    static QString key(const char *prefix, const QUuid &id) {
        return QString::fromLatin1(prefix) + id.toString(QUuid::WithoutBraces).toUpper();
    }
    static int rows(const QStringList &shown) {
        return int(
            std::count_if(shown.begin(), shown.end(), [](const QString &s) { return s.startsWith("  "); }));
    }
    static void wait(int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    std::unique_ptr<AppState> app;
    QString clipboard;
};

} // namespace

TEST_F(TerminalHelpSheetTest, TheMainWindowRegistersTheSheetSoTheCommandIsAvailable) {
    MainWindow window(app.get());
    EXPECT_TRUE(window.sheets()->canShow(SheetPresenter::Sheet::terminalHelp));
    QAction *command = window.commands().action(Cmd::terminalHelp);
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->isEnabled());
    command->trigger();
    QTRY_VERIFY(qobject_cast<TerminalHelpSheet *>(window.sheets()->current()));
}

TEST_F(TerminalHelpSheetTest, CommandSearchLooksAtLabelTextsAndLinesOfTheInterfaceLanguageOnly) {
    const LanguageScope de(AppLanguage::de);
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    EXPECT_EQ(rows(sheet.shown()), 92);
    sheet.setQuery(" \t ");
    EXPECT_EQ(rows(sheet.shown()), 92);
    sheet.setQuery("RM");
    EXPECT_TRUE(sheet.shown().contains("  rm"));
    // Only in the note of an example line: the entry under its group, still collapsed.
    sheet.setQuery("nachfragen");
    EXPECT_EQ(sheet.shown(), (QStringList{"Dateien und Ordner", "  rm"}));
    EXPECT_TRUE(sheet.openEntries().isEmpty());
    // Only in a warning, or nowhere: an empty list without group titles.
    sheet.setQuery("Sicherheitsnetz");
    EXPECT_TRUE(sheet.shown().isEmpty());
    sheet.setQuery("xyzzy");
    EXPECT_TRUE(sheet.shown().isEmpty());
    // A hidden entry keeps its expansion.
    sheet.toggle(entry("rm").id);
    sheet.setQuery("");
    EXPECT_TRUE(sheet.openEntries().contains(entry("rm").id));

    const LanguageScope en(AppLanguage::en);
    TerminalHelpSheet english(app->settings(), app->requests(), app->services().pasteboard);
    english.setQuery("Papierkorb");
    EXPECT_TRUE(english.shown().isEmpty());
    english.setQuery("recycle");
    EXPECT_TRUE(english.shown().isEmpty());
    english.setQuery("datei.txt"); // example lines are never translated
    EXPECT_TRUE(english.shown().contains("  cat"));
}

TEST_F(TerminalHelpSheetTest, CharacterSearchFindsTranslationGermanKeyAndKeys) {
    const LanguageScope en(AppLanguage::en);
    app->settings().setKeyboardLayout("de");
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    sheet.setTab(1);
    sheet.setQuery("bracket");
    const QStringList translated = sheet.shown();
    sheet.setQuery("Klammer");
    EXPECT_EQ(sheet.shown(), translated);
    EXPECT_TRUE(translated.contains("  [  Opening square bracket"));
    EXPECT_EQ(rows(translated), 6); // square, curly and round, each opening and closing
    sheet.setQuery("⌥");
    EXPECT_EQ(rows(sheet.shown()), 9);
    // The labels keep the other system's key symbols.
    EXPECT_TRUE(sheet.shown().contains("  ~  Tilde: first ⌥ N, then the space bar"))
        << sheet.shown().join("|").toStdString();
    // The query stays across pages.
    sheet.setTab(0);
    EXPECT_EQ(sheet.query(), "⌥");
}

TEST_F(TerminalHelpSheetTest, CopyButtonsPutTheirTextOnTheClipboard) {
    const LanguageScope de(AppLanguage::de);
    app->settings().setKeyboardLayout("th");
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    sheet.copyButton(key("row-", entry("sort, uniq").id))->click();
    EXPECT_EQ(clipboard, "sort datei.txt");
    EXPECT_FALSE(sheet.copyButton(key("row-", entry("⌃R").id)));
    sheet.toggle(entry("⌃R").id);
    EXPECT_FALSE(sheet.copyButton(key("line-", entry("⌃R").id) + "-0"));
    sheet.toggle(entry("tar").id);
    sheet.copyButton(key("line-", entry("tar").id) + "-1")->click();
    EXPECT_EQ(clipboard, "tar -xzf archiv.tar.gz");

    // Thai table: the hint row has nothing to copy, the others copy their character.
    const ShortcutGroup &thai = TerminalData::charGroupsTH().first();
    EXPECT_FALSE(sheet.copyButton(key("char-", thai.items[0].id)));
    sheet.copyButton(key("char-", thai.items[5].id))->click();
    EXPECT_EQ(clipboard, "|");
    sheet.copyButton(key("char-", thai.items[6].id))->click();
    EXPECT_EQ(clipboard, "\\");
}

TEST_F(TerminalHelpSheetTest, TheCopyMarkGoesOnTheFirstClicksScheduleAndMovesAtOnce) {
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    const QString a = key("row-", entry("pwd").id), b = key("row-", entry("cd").id);
    QElapsedTimer t;
    t.start();
    sheet.copyButton(a)->click();
    wait(1000);
    sheet.copyButton(a)->click();
    while (t.elapsed() < 1200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(sheet.copied(), a);
    wait(int(1450 - t.elapsed()));
    EXPECT_FALSE(sheet.copied()) << "the second click postponed the first one's clearing";

    sheet.copyButton(a)->click();
    wait(500);
    sheet.copyButton(b)->click();
    EXPECT_EQ(sheet.copied(), b);
    wait(1000); // past the first click's clearing, before the second's
    EXPECT_EQ(sheet.copied(), b);
    wait(450);
    EXPECT_FALSE(sheet.copied());
}

TEST_F(TerminalHelpSheetTest, ASelectedCharacterLightsItsKeysAcrossLayoutsThatShareIt) {
    const LanguageScope de(AppLanguage::de);
    app->settings().setKeyboardLayout("th");
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    const ShortcutGroup &thai = TerminalData::charGroupsTH().first();
    EXPECT_TRUE(sheet.litKeys().isEmpty());
    sheet.clickChar(thai.items[0].id);
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"ctrl", "space"}));
    sheet.clickChar(thai.items[0].id);
    EXPECT_TRUE(sheet.litKeys().isEmpty());

    // A US row stays selected and lit through Thai and back; a German row has no counterpart.
    sheet.clickChar(thai.items[3].id); // {
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"shift", "["}));
    app->settings().setKeyboardLayout("us");
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"shift", "["}));
    app->settings().setKeyboardLayout("de");
    EXPECT_TRUE(sheet.litKeys().isEmpty());
    EXPECT_EQ(sheet.selectedChar(), thai.items[3].id);
    sheet.clickChar(TerminalData::charGroupsDE().first().items[2].id); // { on the German keyboard
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"opt", "8"}));
}

TEST_F(TerminalHelpSheetTest, TheLayoutPickerShowsOnTheCharactersPageOnly) {
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    sheet.show();
    auto *picker = sheet.findChild<QComboBox *>();
    ASSERT_TRUE(picker);
    EXPECT_FALSE(picker->isVisible());
    sheet.setTab(1);
    EXPECT_TRUE(picker->isVisible());
    picker->setCurrentIndex(picker->findData("th"));
    emit picker->activated(picker->currentIndex());
    EXPECT_EQ(app->settings().keyboardLayout(), "th");
    EXPECT_EQ(sheet.resolvedLayout(), KbLayout::th);
}

// The settings page writes the same stored layout; the open sheet follows it without being touched.
TEST_F(TerminalHelpSheetTest, ALayoutStoredElsewhereMovesThePickerAndRedrawsTheCharacters) {
    app->settings().setKeyboardLayout("th");
    TerminalHelpSheet sheet(app->settings(), app->requests(), app->services().pasteboard);
    sheet.setTab(1);
    auto *picker = sheet.findChild<QComboBox *>();
    ASSERT_TRUE(picker);
    const auto rowsShown = [&sheet] { return sheet.shown().filter(QRegularExpression("^  ")); };
    const QStringList thai = rowsShown();
    app->settings().setKeyboardLayout("de");
    EXPECT_EQ(picker->currentData().toString(), "de");
    EXPECT_NE(rowsShown(), thai);
}
