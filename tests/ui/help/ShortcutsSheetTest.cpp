#include "common/TestCommands.h"
#include "common/ComboWidth.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/help/KeyMap.h"
#include "core/help/ShortcutData.h"
#include "ui/app/Commands.h"
#include "ui/help/KeyCap.h"
#include "ui/help/KeyboardGraphic.h"
#include "ui/help/ShortcutsSheet.h"
#include "ui/style/UIScale.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include "ui/style/EnvironmentValues.h"
#include "ui/style/WheelGuard.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QKeyEvent>
#include <QScrollArea>
#include <QWheelEvent>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

const ShortcutItem &itemWith(const QString &keys) {
    for (const ShortcutGroup &group : ShortcutData::groups())
        for (const ShortcutItem &item : group.items)
            if (item.keys == keys) return item;
    throw std::runtime_error("no such shortcut");
}

KeyboardGraphic::Key keyOf(KbLayout layout, const QString &id, int nth = 0) {
    for (const KeyboardGraphic::Key &k : KeyboardGraphic::keys(layout))
        if (k.id == id && nth-- == 0) return k;
    return {};
}

QStringList rowIds(KbLayout layout, int row) {
    QStringList out;
    for (const KeyboardGraphic::Key &k : KeyboardGraphic::keys(layout))
        if (k.row == row) out << k.id;
    return out;
}

int listedCount(const ShortcutsSheet &sheet) {
    int n = 0;
    for (const auto &[title, ids] : sheet.listed())
        n += int(ids.size());
    return n;
}

class ShortcutsSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
    }
    std::unique_ptr<AppState> app;
};

} // namespace

TEST(KeyboardGraphicTest, RowsOfTheGermanUsAndThaiKeyboards) {
    const QStringList de2 = rowIds(KbLayout::de, 2), de4 = rowIds(KbLayout::de, 4);
    EXPECT_TRUE(de2.contains("Z") && !de2.contains("Y"));
    EXPECT_TRUE(de4.contains("Y") && !de4.contains("Z"));
    EXPECT_EQ(de2.last(), "sp1");
    EXPECT_EQ(de2[de2.size() - 2], "+");
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::de, "sp1").width, 1.5);
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::de, "sp1").rect.width(), 60); // a spacer has no gaps inside
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::de, "return").width, 1.5);
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::us, "return").width, 2.25);
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::us, "delete").rect.width(), 84); // two keys and the gap between

    // The bottom row is the widest: 44 per unit less one gap, plus the padding.
    EXPECT_NEAR(KeyboardGraphic::naturalSize().width(), 44 * 15.7 - 4 + 20, 0.01);
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::us, "F5").rect.height(), 28);
    EXPECT_DOUBLE_EQ(keyOf(KbLayout::us, "fn").rect.height(), 36);
    EXPECT_TRUE(keyOf(KbLayout::us, "cmd", 1).rect.left() > keyOf(KbLayout::us, "space").rect.right());
    EXPECT_FALSE(keyOf(KbLayout::us, "space").isSpacer()); // the space bar is drawn and can light
    EXPECT_TRUE(keyOf(KbLayout::de, "sp1").isSpacer());

    const KeyboardGraphic::Key q = keyOf(KbLayout::th, "Q"), y = keyOf(KbLayout::th, "Y");
    EXPECT_EQ(q.label, "Q");
    EXPECT_EQ(q.sub, QString(QChar(0x0E46)));
    EXPECT_EQ(q.subSize(KbLayout::th), 11);
    EXPECT_EQ(y.sub, QString(QChar(0x25CC)) + QChar(0x0E31));
    EXPECT_EQ(keyOf(KbLayout::th, "shift").sub, "Umschalt");
    EXPECT_EQ(keyOf(KbLayout::th, "shift").subSize(KbLayout::th), 7);
    int thai = 0;
    for (const KeyboardGraphic::Key &k : KeyboardGraphic::keys(KbLayout::th))
        if (!k.sub.isEmpty() && k.sub != "Umschalt" && k.row >= 1 && k.row <= 4) ++thai;
    EXPECT_EQ(thai, 47);
    for (KbLayout l : {KbLayout::de, KbLayout::us, KbLayout::automatic})
        for (const KeyboardGraphic::Key &k : KeyboardGraphic::keys(l))
            if (k.id.size() == 1) {
                EXPECT_TRUE(k.sub.isEmpty()) << qPrintable(k.id);
            }
}

// Every key the table's shortcuts name must be on the drawn keyboard of each layout: only the words for
// mouse actions and keys that are not drawn may light nothing.
TEST(KeyboardGraphicTest, EveryKeyOfTheTableIsOnEachKeyboard) {
    const QSet<QString> words = {"DOPPELKLICK",  "ZIEHEN", "KLICK",  "AUF",    "DREIECK",
                                 "FENSTERTITEL", "LANGE",  "HALTEN", "CONTROL"};
    for (KbLayout layout : {KbLayout::de, KbLayout::us, KbLayout::th}) {
        QSet<QString> drawn;
        for (const KeyboardGraphic::Key &k : KeyboardGraphic::keys(layout))
            drawn << k.id;
        for (const ShortcutGroup &group : ShortcutData::groups())
            for (const ShortcutItem &item : group.items)
                for (const QStringList &alternative : item.alternatives())
                    for (const QString &id : KeyMap::ids(alternative, layout))
                        EXPECT_TRUE(drawn.contains(id) || words.contains(id))
                            << qPrintable(item.keys) << " -> " << qPrintable(id) << " on "
                            << qPrintable(KbLayouts::rawValue(layout));
    }
    // The examples: "[" is Option 5 on the German keyboard and a key of its own on the US one.
    EXPECT_EQ(KeyMap::ids(itemWith("⌘ [").alternatives().first(), KbLayout::de),
              (QSet<QString>{"cmd", "opt", "5"}));
    EXPECT_EQ(KeyMap::ids(itemWith("⌘ [").alternatives().first(), KbLayout::us), (QSet<QString>{"cmd", "["}));
    EXPECT_EQ(KeyMap::ids(itemWith("⇧ ⌘ ?").alternatives().first(), KbLayout::th),
              (QSet<QString>{"shift", "cmd", "/"}));
}

TEST(KeyboardGraphicTest, FitsANarrowSheetAndKeepsItsProportions) {
    KeyboardGraphic keyboard({"cmd", "KLICK"}, KbLayout::de);
    const QSizeF natural = KeyboardGraphic::naturalSize();
    EXPECT_EQ(keyboard.heightForWidth(2000), int(std::ceil(natural.height())));
    const int narrow = 480 - 2 * 18; // the narrowest sheet less its padding
    EXPECT_LE(keyboard.heightForWidth(narrow), int(std::ceil(natural.height() * narrow / natural.width())));
    keyboard.resize(narrow, keyboard.heightForWidth(narrow));
    EXPECT_LE(keyboard.drawScale() * natural.width(), narrow + 0.01);
    EXPECT_EQ(keyboard.lit(), (QSet<QString>{"cmd", "KLICK"}));
}

TEST(KeyCapTest, SizesAndNameLines) {
    KeyCap f11("F11"), klick("Klick"), shift("⇧");
    const UIScale ui;
    EXPECT_EQ(f11.textSize(), ui.font + 1);
    EXPECT_EQ(f11.horizontalPadding(), 6);
    EXPECT_EQ(klick.textSize(), ui.small());
    EXPECT_EQ(klick.horizontalPadding(), 8);
    EXPECT_TRUE(KeyCap::nameOf("F11").isEmpty());
    EXPECT_TRUE(KeyCap::nameOf("Klick").isEmpty());
    EXPECT_GE(f11.sizeHint().width(), 28);
    EXPECT_GE(f11.sizeHint().height(), 30);
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        const LanguageScope scope(lang);
        EXPECT_EQ(L(KeyCap::nameOf("⌃")), "control");
    }
    // No German key name in the English interface.
    const LanguageScope en(AppLanguage::en);
    EXPECT_EQ(L(KeyCap::nameOf("⌘")), "command");
    EXPECT_EQ(L(KeyCap::nameOf("⇧")), "shift");
    EXPECT_EQ(L(KeyCap::nameOf("␣")), "space");
}

TEST_F(ShortcutsSheetTest, TheMainWindowRegistersTheSheetSoTheCommandIsAvailable) {
    MainWindow window(app.get());
    EXPECT_TRUE(window.sheets()->canShow(SheetPresenter::Sheet::shortcuts));
    QAction *command = window.commands().action(Cmd::shortcuts);
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->isEnabled());
    command->trigger();
    QTRY_VERIFY(qobject_cast<ShortcutsSheet *>(window.sheets()->current()));
}

TEST_F(ShortcutsSheetTest, HeldModifiersFilterByTheFirstAlternative) {
    const LanguageScope de(AppLanguage::de);
    ShortcutsSheet sheet(app->settings(), app->requests());
    EXPECT_EQ(listedCount(sheet), 186);
    sheet.setHeld({"⌥"});
    for (const auto &[title, ids] : sheet.listed())
        for (const QUuid &id : ids)
            for (const ShortcutGroup &g : ShortcutData::groups())
                for (const ShortcutItem &item : g.items)
                    if (item.id == id) {
                        EXPECT_TRUE(item.modifiers().contains("⌥")) << qPrintable(item.keys);
                    }
    sheet.setHeld({"fn"});
    bool desktop = false; // "⌘ Mission Control / fn H / fn F11" uses fn only in later alternatives
    for (const auto &[title, ids] : sheet.listed())
        desktop = desktop || ids.contains(itemWith("⌘ Mission Control / fn H / fn F11").id);
    EXPECT_FALSE(desktop);
    sheet.setHeld({"⌘", "⇧"});
    EXPECT_TRUE(sheet.matches(itemWith("⌥ ⇧ ⌘ ⌫"))); // further modifiers don't exclude
    EXPECT_FALSE(sheet.matches(itemWith("⌘ C")));
    sheet.setHeld({"⌃", "⌥", "⌘", "⇧", "fn"}); // no shortcut has all of them
    EXPECT_TRUE(sheet.listed().isEmpty());
    sheet.setHeld({});
    EXPECT_EQ(listedCount(sheet), 186);
}

TEST_F(ShortcutsSheetTest, SearchTrimsFoldsCaseAndLooksAtBothLanguagesAndTheKeys) {
    ShortcutsSheet sheet(app->settings(), app->requests());
    sheet.setQuery(" \t ");
    EXPECT_EQ(listedCount(sheet), 186);
    sheet.setQuery("  PAPIERKORB ");
    const auto padded = sheet.listed();
    sheet.setQuery("papierkorb");
    EXPECT_EQ(sheet.listed(), padded);
    EXPECT_EQ(listedCount(sheet), 3);
    {
        const LanguageScope en(AppLanguage::en);
        sheet.setQuery("trash");
        EXPECT_EQ(listedCount(sheet), 3);
        EXPECT_TRUE(sheet.matches(itemWith("⇧ ⌘ ⌫")));
        sheet.setQuery("papierkorb");
        EXPECT_EQ(listedCount(sheet), 3);
    }
    sheet.setQuery("⌘ c");
    EXPECT_TRUE(sheet.matches(itemWith("⌘ C")));
    EXPECT_FALSE(sheet.matches(itemWith("⌘ V")));
    sheet.setQuery("nichts dergleichen");
    EXPECT_TRUE(sheet.listed().isEmpty());
}

TEST_F(ShortcutsSheetTest, ClickedRowAndHeldKeysLightTheKeyboard) {
    app->settings().setKeyboardLayout("de");
    ShortcutsSheet sheet(app->settings(), app->requests());
    const ShortcutItem &back = itemWith("⌘ [");
    sheet.clickRow(back.id);
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"cmd", "opt", "5"}));
    EXPECT_EQ(sheet.keyboard()->lit(), sheet.litKeys());
    sheet.setHeld({"⇧"});
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"cmd", "opt", "5", "shift"}));
    // Filtered out of the list, the selection stays lit.
    EXPECT_FALSE(sheet.matches(back));
    EXPECT_EQ(sheet.keyboard()->lit(), (QSet<QString>{"cmd", "opt", "5", "shift"}));
    sheet.clickRow(itemWith("⌃ D / fn ⌫").id); // another row moves the selection; first alternative only
    EXPECT_EQ(sheet.litKeys(), (QSet<QString>{"ctrl", "D", "shift"}));
    sheet.clickRow(itemWith("⌃ D / fn ⌫").id); // again: cleared
    EXPECT_FALSE(sheet.selected());
    EXPECT_EQ(sheet.litKeys(), QSet<QString>{"shift"});
    app->settings().setKeyboardLayout("us");
    sheet.clickRow(back.id);
    EXPECT_EQ(sheet.keyboard()->lit(), (QSet<QString>{"cmd", "[", "shift"}));
}

TEST_F(ShortcutsSheetTest, ModifierKeysOfTheRealKeyboardAreHeld) {
    ShortcutsSheet sheet(app->settings(), app->requests());
    sheet.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &press);
    EXPECT_EQ(sheet.held(), QSet<QString>{"⇧"});
    QKeyEvent alsoCtrl(QEvent::KeyPress, Qt::Key_Control, Qt::ShiftModifier);
    QApplication::sendEvent(&sheet, &alsoCtrl);
    EXPECT_EQ(sheet.held(), (QSet<QString>{"⇧", "⌘"}));
    QKeyEvent releaseShift(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
    QApplication::sendEvent(&sheet, &releaseShift);
    EXPECT_EQ(sheet.held(), QSet<QString>{"⌘"});
    sheet.hide();
    QKeyEvent later(QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier);
    QApplication::sendEvent(&sheet, &later);
    EXPECT_EQ(sheet.held(), QSet<QString>{"⌘"}); // no monitor once the sheet is gone
}

TEST_F(ShortcutsSheetTest, LayoutNotesFollowTheStoredLayout) {
    const LanguageScope de(AppLanguage::de);
    const QString german =
        L("Die Tastatur zeigt die deutsche Mac-Belegung. Sonderzeichen wie [ ] { } | ` liegen auf "
          "deutscher Tastatur an anderen Stellen als in Apples Liste; die Markierung ist dort eine "
          "Näherung.");
    ShortcutsSheet sheet(app->settings(), app->requests());
    app->settings().setKeyboardLayout("th");
    EXPECT_EQ(sheet.layoutNotes().size(), 2);
    EXPECT_EQ(sheet.keyboard()->keyboardLayout(), KbLayout::th);
    app->settings().setKeyboardLayout("de");
    EXPECT_EQ(sheet.layoutNotes(), QStringList{german});
    {
        const LanguageScope pl(AppLanguage::pl);
        app->settings().setKeyboardLayout("auto");
        EXPECT_EQ(sheet.keyboardLayout(), KbLayout::us);
        EXPECT_EQ(sheet.layoutNotes().size(), 1);
        EXPECT_NE(sheet.layoutNotes().first(), german);
    }
    app->settings().setKeyboardLayout("qwertz"); // not a layout: the automatic choice
    EXPECT_EQ(sheet.keyboardLayout(), KbLayout::de);
    EXPECT_EQ(sheet.layoutNotes(), QStringList{german});
}

// Opened, the keys are the list's: the wheel over the layout menu leaves the stored layout alone.
TEST_F(ShortcutsSheetTest, ThePickerStoresTheLayoutItShows) {
    WheelGuard::install();
    ShortcutsSheet sheet(app->settings(), app->requests());
    auto *picker = sheet.findChild<QComboBox *>();
    ASSERT_TRUE(picker);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    EXPECT_TRUE(qobject_cast<QScrollArea *>(QApplication::focusWidget()));
    const QString stored = app->settings().keyboardLayout();
    for (int notch = 0; notch < 3; ++notch) {
        QWheelEvent wheel(QPointF(5, 5), picker->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(picker, &wheel);
    }
    EXPECT_EQ(app->settings().keyboardLayout(), stored);
    picker->setCurrentIndex(picker->findData(KbLayouts::rawValue(KbLayout::th)));
    EXPECT_EQ(KbLayouts::fromStored(app->settings().keyboardLayout()), KbLayout::th);
    EXPECT_EQ(sheet.keyboard()->keyboardLayout(), KbLayout::th);
}

// The layout menu shows its longest choice whole, at the largest size in Polish, wide or narrow.
TEST_F(ShortcutsSheetTest, ThePickerShowsItsChoicesWhole) {
    const LanguageScope pl(AppLanguage::pl);
    EnvironmentValues *env = nullptr;
    QWidget window;
    env = EnvironmentValues::install(&window);
    UIScale ui;
    ui.font = 18;
    env->setUi(ui);
    QFont f = window.font();
    f.setPixelSize(18);
    window.setFont(f);
    ShortcutsSheet sheet(app->settings(), app->requests(), &window);
    sheet.setWindowFlag(Qt::Widget);
    for (int width : {1000, 700}) {
        sheet.resize(width, 700);
        sheet.show();
        QApplication::processEvents();
        auto *picker = sheet.findChild<QComboBox *>();
        ASSERT_TRUE(picker);
        for (int i = 0; i < picker->count(); ++i)
            EXPECT_GE(picker->width(), comboWidthFor(picker, picker->itemText(i)))
                << width << " " << picker->itemText(i).toStdString();
    }
}
