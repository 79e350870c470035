#include "common/ScriptedDialogs.h"
#include "common/ComboWidth.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/SettingsCommands.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/QtTranslations.h"
#include "ui/help/ManualWindow.h"
#include "ui/help/HelpButton.h"
#include "ui/settings/SettingsParts.h"
#include "ui/settings/SettingsView.h"
#include "ui/style/Symbols.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        Lang::resetForTests();
        m_hidden = FileLoader::showHidden();
    }
    void TearDown() override {
        Lang::setCurrent(m_language);
        FileLoader::setShowHidden(m_hidden);
        TestUtil::freshSettings();
    }

    static ChoiceChip *chip(QWidget *in, const QString &key) {
        for (ChoiceChip *c : in->findChildren<ChoiceChip *>())
            if (c->key() == key) return c;
        ADD_FAILURE() << "no chip " << key.toStdString();
        return nullptr;
    }
    template <typename W> static W *titled(QWidget *in, const char *key) {
        for (W *w : in->findChildren<W *>())
            if (w->text() == L(key)) return w;
        ADD_FAILURE() << "nothing titled " << key;
        return nullptr;
    }
    static QStringList selectedChips(QWidget *in) {
        QStringList out;
        for (ChoiceChip *c : in->findChildren<ChoiceChip *>())
            if (c->selected()) out << c->key();
        return out;
    }

    AppLanguage m_language = Lang::current();
    bool m_hidden = false;
};

// What of a widget's text is cut at the size it has; empty when everything shows.
QString clipped(QWidget *w) {
    if (auto *label = qobject_cast<QLabel *>(w)) {
        if (label->text().isEmpty()) return {};
        if (label->wordWrap()) {
            if (label->heightForWidth(label->width()) > label->height()) return label->text();
        } else if (label->fontMetrics().horizontalAdvance(label->text()) > label->contentsRect().width()) {
            return label->text();
        }
        return {};
    }
    if (auto *tab = qobject_cast<SettingsTab *>(w)) return tab->fits() ? QString() : tab->text();
    if (auto *combo = qobject_cast<QComboBox *>(w)) {
        for (int i = 0; i < combo->count(); ++i)
            if (comboWidthFor(combo, combo->itemText(i)) > combo->width()) return combo->itemText(i);
        return {};
    }
    if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        if (!b->text().isEmpty() && b->sizeHint().width() > b->width()) return b->text();
        if (qobject_cast<ThemeGrid *>(b->parentWidget()) &&
            QFontMetrics(b->font()).horizontalAdvance(b->text()) > b->width())
            return b->text();
    }
    return {};
}

} // namespace

// Every page in every language at the window's width of 600: nothing sticks out and no text is cut. At
// the largest text a page taller than the screen scrolls, its reset within reach.
TEST_F(SettingsWindowTest, EveryPageFitsInEveryLanguage) {
    QList<std::pair<AppLanguage, int>> cases;
    for (AppLanguage lang : AppLanguages::allCases)
        cases << std::pair{lang, 13};
    cases << std::pair{AppLanguage::th, 18} << std::pair{AppLanguage::pl, 18};
    bool scrolled = false;
    AppDelegate delegate; // keeps the window on its screen
    for (const auto &[lang, pt] : cases) {
        LanguageScope scope(lang);
        AppState app;
        app.settings().setToolbarApps({"a.desktop"});
        app.settings().setFontSize(pt);
        SettingsWindow window(&app);
        // Placed lower than usual, as a window manager may do.
        const QRect screen = window.screen()->availableGeometry();
        window.move(screen.x() + 30, screen.y() + 120);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        SettingsView *view = window.view();
        ASSERT_EQ(view->count(), 7);
        EXPECT_EQ(view->width(), 600);
        // Every tab shows a symbol, drawn even without an icon theme.
        for (int t = 0; t < view->count(); ++t)
            EXPECT_FALSE(Symbols::bundledPath(view->tab(t)->symbol()).isEmpty())
                << view->tab(t)->text().toStdString();
        for (int i = 0; i < view->count(); ++i) {
            view->setCurrentIndex(i);
            QApplication::processEvents();
            QApplication::processEvents();
            SettingsPage *page = view->page(i);
            SCOPED_TRACE(AppLanguages::rawValue(lang).toStdString() + " " + std::to_string(pt) +
                         " pt, page " + std::to_string(i + 1));
            EXPECT_LE(page->heightForWidth(600), page->height());
            QScrollArea *scroll = view->scrollArea();
            EXPECT_LE(scroll->mapTo(&window, QPoint(0, scroll->height())).y(), window.height());
            EXPECT_LE(window.height(), window.screen()->availableGeometry().height());
            QTRY_VERIFY_WITH_TIMEOUT(screen.contains(window.frameGeometry()), 2000);
            scrolled |= scroll->verticalScrollBar()->maximum() > 0;
            if (QPushButton *reset = page->resetButton()) {
                scroll->ensureWidgetVisible(reset);
                EXPECT_TRUE(window.rect().contains(QRect(reset->mapTo(&window, QPoint()), reset->size())));
            }
            QList<QWidget *> widgets = page->findChildren<QWidget *>();
            for (int t = 0; t < view->count(); ++t)
                widgets << view->tab(t);
            for (QWidget *w : widgets) {
                if (!w->isVisibleTo(&window)) continue;
                const QRect r(w->mapTo(&window, QPoint(0, 0)), w->size());
                EXPECT_LE(r.right(), 600 - 1) << w->metaObject()->className();
                EXPECT_EQ(clipped(w), QString()) << w->metaObject()->className();
            }
        }
    }
    EXPECT_TRUE(scrolled) << "no page was taller than the screen";
}

// Chips, toggles and the theme grid write their setting at once, and follow it when it changes elsewhere.
// Where large text leaves the tabs' longest words no room in 600 (German at 16 pt: „Zurücksetzen“), the
// window grows rather than cut a tab.
TEST_F(SettingsWindowTest, TabsTooLongForTheWidthWidenTheWindow) {
    LanguageScope scope(AppLanguage::de);
    AppState app;
    app.settings().setFontSize(16);
    SettingsWindow window(&app);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SettingsView *view = window.view();
    EXPECT_GT(view->width(), 600);
    for (int t = 0; t < view->count(); ++t) {
        const QRect r(view->tab(t)->mapTo(view, QPoint()), view->tab(t)->size());
        EXPECT_TRUE(view->tab(t)->fits()) << view->tab(t)->text().toStdString();
        EXPECT_LE(r.right(), view->width() - 1) << view->tab(t)->text().toStdString();
    }
}

TEST_F(SettingsWindowTest, ChipsAndTogglesWriteAtOnceAndFollowTheirKeys) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    view.show();
    Settings &s = app.settings();

    QTest::mouseClick(chip(&view, "Dunkel"), Qt::LeftButton);
    EXPECT_EQ(s.appearance(), "dark");
    EXPECT_TRUE(s.savePending());
    EXPECT_TRUE(chip(&view, "Dunkel")->selected());
    EXPECT_FALSE(chip(&view, "Automatisch")->selected());
    QTest::mouseClick(chip(&view, "15"), Qt::LeftButton);
    EXPECT_EQ(s.fontSize(), 15);
    QTest::mouseClick(chip(&view, "Benutzerordner"), Qt::LeftButton);
    EXPECT_EQ(s.startFolder(), "home");
    QTest::mouseClick(chip(&view, "Farbverlauf des Themas"), Qt::LeftButton);
    EXPECT_EQ(s.folderIcons(), "theme");
    QTest::mouseClick(chip(&view, "Erweitert (mit Namen)"), Qt::LeftButton);
    EXPECT_FALSE(s.toolbarCompact());
    QTest::mouseClick(chip(&view, "English"), Qt::LeftButton);
    EXPECT_EQ(s.language(), AppLanguage::en);
    s.setLanguage(AppLanguage::de);

    view.setCurrentIndex(1);
    QApplication::processEvents();
    auto *grid = view.findChild<ThemeGrid *>();
    ASSERT_TRUE(grid);
    QAbstractButton *ember = nullptr;
    for (QAbstractButton *b : grid->findChildren<QAbstractButton *>())
        if (b->objectName() != s.themeID()) ember = b;
    ASSERT_TRUE(ember);
    QTest::mouseClick(ember, Qt::LeftButton);
    EXPECT_EQ(s.themeID(), ember->objectName());

    view.setCurrentIndex(2);
    QApplication::processEvents();
    QCheckBox *sidebar = titled<QCheckBox>(&view, "Seitenleiste zeigen");
    ASSERT_TRUE(sidebar && sidebar->isChecked());
    QTest::mouseClick(sidebar, Qt::LeftButton, {}, QPoint(8, sidebar->height() / 2));
    EXPECT_FALSE(s.showSidebar());
    // Changed elsewhere (the key for hidden files, the main window's handle): the page follows at once.
    view.setCurrentIndex(4);
    QCheckBox *hidden = titled<QCheckBox>(&view, "Unsichtbare Dateien anzeigen  (⌘⇧.)");
    ASSERT_TRUE(hidden);
    s.setShowHidden(true);
    EXPECT_TRUE(hidden->isChecked());
    s.setFontSize(17);
    EXPECT_FALSE(selectedChips(&view).contains("13"));
    for (int size = 11; size <= 16; ++size)
        EXPECT_FALSE(chip(&view, QString::number(size))->selected());
    s.setAppearance("sepia");
    for (const char *key : {"Automatisch", "Hell", "Dunkel"})
        EXPECT_FALSE(chip(&view, key)->selected());
}

// The chosen chips tell assistive technology so in the interface language.
TEST_F(SettingsWindowTest, ChosenChipsAreDescribedInTheLanguage) {
    const std::pair<AppLanguage, QString> words[] = {
        {AppLanguage::pl, "zaznaczone"}, {AppLanguage::th, "เลือกอยู่"}, {AppLanguage::de, "ausgewählt"}};
    for (const auto &[lang, word] : words) {
        LanguageScope scope(lang);
        AppState app;
        SettingsCommands commands(&app);
        SettingsView view(app.settings(), app.requests(), commands);
        ASSERT_FALSE(selectedChips(&view).isEmpty());
        for (ChoiceChip *c : view.findChildren<ChoiceChip *>())
            EXPECT_EQ(c->accessibleDescription(), c->selected() ? word : QString()) << c->key().toStdString();
    }
}

// The English chips share one style of capitals: every longer word outside brackets starts with one.
TEST_F(SettingsWindowTest, EnglishChipsAreCapitalisedAlike) {
    LanguageScope en(AppLanguage::en);
    AppState app;
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    int chips = 0;
    for (ChoiceChip *c : view.findChildren<ChoiceChip *>()) {
        ++chips;
        QString text = c->text();
        text.remove(QRegularExpression(QStringLiteral("\\(.*\\)")));
        for (const QString &word : text.split(u' ', Qt::SkipEmptyParts))
            EXPECT_FALSE(word.size() >= 4 && word[0].isLower()) << c->text().toStdString();
    }
    EXPECT_GT(chips, 10);
}

// A language chip rebuilds the window in the new language once its click is over.
TEST_F(SettingsWindowTest, LanguageChipRebuildsTheWindow) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    SettingsWindow window(&app);
    window.show();
    QPointer<ChoiceChip> english = chip(window.view(), "English");
    ASSERT_TRUE(english);
    QTest::mouseClick(english, Qt::LeftButton);
    EXPECT_TRUE(english); // not deleted inside its own click
    QTRY_VERIFY(!english);
    EXPECT_EQ(window.windowTitle(), "Settings");
    EXPECT_EQ(window.view()->tab(0)->text(), "General");
}

// The split text and its button by the stored fraction.
TEST_F(SettingsWindowTest, SplitTextAndEvenButton) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    auto *text = view.findChild<QLabel *>("splitText");
    QPushButton *even = titled<QPushButton>(&view, "Auf 50/50 stellen");
    ASSERT_TRUE(text && even);
    app.settings().setSplitFraction(0.504);
    EXPECT_EQ(text->text(), "Aufteilung: 50 zu 50");
    EXPECT_FALSE(even->isEnabled());
    app.settings().setSplitFraction(0.506);
    EXPECT_EQ(text->text(), "Aufteilung: 51 zu 49");
    EXPECT_TRUE(even->isEnabled());
    app.settings().setSplitFraction(0.625);
    EXPECT_EQ(text->text(), "Aufteilung: 63 zu 37");
    even->click();
    EXPECT_EQ(app.settings().splitFraction(), 0.5);
}

// The picker shows the stored layout, and the automatic one at once when the key is removed.
TEST_F(SettingsWindowTest, KeyboardPickerFollowsTheKey) {
    AppState app;
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    auto *picker = view.findChild<QComboBox *>();
    ASSERT_TRUE(picker);
    ASSERT_EQ(picker->count(), 4);
    EXPECT_EQ(picker->currentData(), "auto");
    app.settings().setKeyboardLayout("th");
    EXPECT_EQ(picker->currentData(), "th");
    app.settings().reset(Settings::Reset::general);
    EXPECT_EQ(picker->currentData(), "auto");
    EXPECT_FALSE(Defaults::contains("keyboardLayout"));
    app.settings().setKeyboardLayout("qwertz");
    EXPECT_EQ(picker->currentData(), "auto");
    picker->setCurrentIndex(2);
    emit picker->activated(2);
    EXPECT_EQ(app.settings().keyboardLayout(), "us");
}

// At the largest size in Polish the keyboard menu shows its longest choice whole.
TEST_F(SettingsWindowTest, KeyboardPickerShowsItsChoicesWhole) {
    LanguageScope pl(AppLanguage::pl);
    AppState app;
    app.settings().setFontSize(18);
    SettingsWindow window(&app);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (int i = 0; i < window.view()->count(); ++i) {
        window.view()->setCurrentIndex(i);
        QApplication::processEvents();
        for (QComboBox *picker : window.view()->page(i)->findChildren<QComboBox *>()) {
            if (picker->findData("auto") < 0) continue;
            for (int k = 0; k < picker->count(); ++k)
                EXPECT_GE(picker->width(), comboWidthFor(picker, picker->itemText(k)))
                    << picker->itemText(k).toStdString();
            return;
        }
    }
    FAIL() << "no keyboard menu";
}

// The toolbar page's count and its buttons; pages' resets by the page; the reset asks first.
TEST_F(SettingsWindowTest, ToolbarPageAndPageResets) {
    LanguageScope de(AppLanguage::de);
    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    auto *count = view.findChild<QLabel *>("appCount");
    auto *remove = view.findChild<QPushButton *>("removeApps");
    ASSERT_TRUE(count && remove);
    EXPECT_EQ(count->text(), "0 von 5");
    EXPECT_FALSE(remove->isEnabled());
    app.settings().setToolbarApps({"a.desktop", "b.desktop"});
    EXPECT_EQ(count->text(), "2 von 5");
    EXPECT_TRUE(remove->isEnabled());
    // No main window has a toolbar editor now.
    EXPECT_FALSE(view.findChild<QPushButton *>("editToolbar")->isEnabled());

    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(view.page(i)->resetButton() != nullptr, i < 5) << i;
        auto *help = view.page(i)->findChild<HelpButton *>();
        ASSERT_TRUE(help);
        EXPECT_EQ(help->section(), 11);
    }
    app.settings().setShowInspector(true);
    d.answers = {AlertAnswer(AlertRole::cancel), AlertAnswer(AlertRole::confirm)};
    view.page(2)->resetButton()->click();
    EXPECT_TRUE(app.settings().showInspector());
    view.page(2)->resetButton()->click();
    ASSERT_EQ(d.alerts.size(), 2);
    EXPECT_EQ(d.alerts[1].message, "Fenster zurücksetzen?");
    EXPECT_FALSE(app.settings().showInspector());
    EXPECT_EQ(app.settings().toolbarApps().size(), 2);
}

// Buttons that open a sheet in the main window ask nothing while there is none, so no sheet turns up
// later when one opens; with a main window they ask for it.
TEST_F(SettingsWindowTest, SheetButtonsNeedAMainWindow) {
    LanguageScope de(AppLanguage::de);
    AppState app;
    SettingsCommands commands(&app);
    SettingsView view(app.settings(), app.requests(), commands);
    QPushButton *rules = view.findChild<QPushButton *>("editRules");
    QPushButton *feedback = titled<QPushButton>(&view, "Feedback senden");
    ASSERT_TRUE(rules && feedback);
    rules->click();
    feedback->click();
    QApplication::processEvents();
    EXPECT_FALSE(app.requests().showRules());
    EXPECT_FALSE(app.requests().showFeedback());

    auto *main = new MainWindow(&app);
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    rules->click();
    EXPECT_TRUE(app.requests().showRules() || main->sheets()->current());
    delete main;
}

// The settings and manual windows take a new theme, font size and folder icons at once.
TEST_F(SettingsWindowTest, WindowsFollowTheLooksAtOnce) {
    AppState app;
    SettingsWindow settings(&app);
    ManualWindow manual(app.settings(), app.requests());
    app.settings().setFontSize(16);
    app.settings().setThemeID("ember");
    app.settings().setFolderIcons("theme");
    for (QWidget *w : {static_cast<QWidget *>(&settings), static_cast<QWidget *>(&manual)}) {
        EXPECT_EQ(EnvironmentValues::ui(w).font, 16);
        EXPECT_FALSE(EnvironmentValues::ui(w).finderFolders);
        EXPECT_EQ(EnvironmentValues::appTheme(w).id, AppTheme::named("ember").id);
        EXPECT_EQ(w->font().pixelSize(), 16);
    }
}

// Qt's own texts follow the language where the system has a translation.
TEST_F(SettingsWindowTest, QtTextsFollowTheLanguage) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(dir + "/qtbase_de.qm")) GTEST_SKIP() << "no Qt translations installed";
    AppState app;
    app.settings().setLanguage(AppLanguage::de);
    QtTranslations::follow(&app.settings());
    EXPECT_TRUE(QtTranslations::loaded());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    app.settings().setLanguage(AppLanguage::pl);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Anuluj");
    app.settings().setLanguage(AppLanguage::en);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

// Every page is reached by keys: Ctrl+Tab and Ctrl+PgDn on, Ctrl+Shift+Tab and Ctrl+PgUp back, round the
// pages, with the focus on the page shown; the page follows its tab however the tab was chosen (an
// assistive tool toggles it); Escape closes the window.
// The window opens with the focus shown on the first control of its page, not on the page's foot.
TEST_F(SettingsWindowTest, OpensWithTheFocusShownOnThePage) {
    AppState app;
    QPointer<SettingsWindow> settings = SettingsWindow::open(&app);
    ASSERT_TRUE(settings);
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    QWidget *focus = QApplication::focusWidget();
    ASSERT_TRUE(focus);
    QWidget *page = settings->view()->page(0);
    EXPECT_TRUE(page->isAncestorOf(focus));
    for (QWidget *other : page->findChildren<QWidget *>())
        if (other->isVisible() && (other->focusPolicy() & Qt::TabFocus)) {
            EXPECT_LE(focus->mapTo(page, QPoint()).y(), other->mapTo(page, QPoint()).y())
                << other->metaObject()->className();
        }
    EXPECT_TRUE(settings->testAttribute(Qt::WA_KeyboardFocusChange));
    settings->close();
    QTRY_VERIFY(!settings);
}

TEST_F(SettingsWindowTest, PagesTurnByKeysAndFollowTheirTabs) {
    AppState app;
    SettingsWindow settings(&app);
    settings.show();
    settings.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    SettingsView *view = settings.view();
    ASSERT_EQ(view->count(), 7);
    auto press = [](int key, Qt::KeyboardModifiers mods = {}) {
        QWidget *to =
            QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_TRUE(to);
        QTest::keyClick(to, Qt::Key(key), mods);
    };
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier,
                                ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        int page;
    } steps[] = {{Qt::Key_Tab, ctrl, 1},      {Qt::Key_PageDown, ctrl, 2}, {Qt::Key_Backtab, ctrlShift, 1},
                 {Qt::Key_Tab, ctrlShift, 0}, {Qt::Key_PageUp, ctrl, 6},   {Qt::Key_PageDown, ctrl, 0},
                 {Qt::Key_PageDown, ctrl, 1}};
    for (const auto &step : steps) {
        press(step.key, step.mods);
        EXPECT_EQ(view->currentIndex(), step.page) << step.key;
        EXPECT_TRUE(view->page(step.page)->isVisible());
        EXPECT_TRUE(view->tab(step.page)->isChecked());
        EXPECT_TRUE(view->page(step.page)->isAncestorOf(QApplication::focusWidget())) << step.page;
    }

    QAccessibleInterface *tab = QAccessible::queryAccessibleInterface(view->tab(4));
    ASSERT_TRUE(tab && tab->actionInterface());
    ASSERT_TRUE(tab->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    tab->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(view->currentIndex(), 4);
    EXPECT_TRUE(view->page(4)->isVisible());
    EXPECT_FALSE(view->page(1)->isVisible());

    press(Qt::Key_Escape);
    EXPECT_FALSE(settings.isVisible());
}

// A click gives the keys to the control clicked; a click on text or the background takes them from the
// control that had them, so that Space never acts on a control the mouse did not touch. After a language
// switch the chip chosen keeps the keys; switched from elsewhere, the top row takes them at its choice.
TEST_F(SettingsWindowTest, AClickTakesTheKeysWithIt) {
    LanguageScope en(AppLanguage::en);
    AppState app;
    app.settings().setLanguage(AppLanguage::en);
    QPointer<SettingsWindow> settings = SettingsWindow::open(&app);
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    auto *top = qobject_cast<ChoiceChip *>(QApplication::focusWidget());
    ASSERT_TRUE(top);
    EXPECT_EQ(top->key(), "English");
    ChoiceChip *home = chip(settings->view(), "Benutzerordner");
    QTest::mouseClick(home, Qt::LeftButton);
    EXPECT_TRUE(home->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(app.settings().language(), AppLanguage::en);
    EXPECT_EQ(app.settings().startFolder(), "home");

    // On a block's title: nothing keeps the keys but the window.
    QLabel *title = settings->view()->page(0)->findChild<QLabel *>(QStringLiteral("blockTitle"));
    ASSERT_TRUE(title);
    QTest::mouseClick(title, Qt::LeftButton);
    EXPECT_FALSE(settings->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : settings.data(),
                    Qt::Key_Space);
    EXPECT_EQ(app.settings().language(), AppLanguage::en);
    EXPECT_EQ(app.settings().startFolder(), "home");

    QPointer<ChoiceChip> polish = chip(settings->view(), "Polski");
    QTest::mouseClick(polish, Qt::LeftButton);
    QTRY_VERIFY(!polish);
    // The window stays active through the rebuild, its keys with the chip.
    auto *chosen = qobject_cast<ChoiceChip *>(QApplication::focusWidget());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->key(), "Polski");

    // Switched from the main window while the page's foot had the keys: the top control has them.
    QPushButton *reset = settings->view()->page(0)->findChild<QPushButton *>();
    ASSERT_TRUE(reset);
    reset->setFocus(Qt::TabFocusReason);
    QPointer<QPushButton> old = reset;
    app.settings().setLanguage(AppLanguage::en);
    QTRY_VERIFY(!old);
    auto *first = qobject_cast<ChoiceChip *>(QApplication::focusWidget());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->key(), "English");
    settings->close();
    QTRY_VERIFY(!settings);
}

// Opened in any language, the ring stands on the chosen language, never on the first of the row.
TEST_F(SettingsWindowTest, TheLanguageRowIsEnteredAtTheChosenOne) {
    for (AppLanguage lang : AppLanguages::allCases) {
        LanguageScope scope(lang);
        AppState app;
        app.settings().setLanguage(lang);
        QPointer<SettingsWindow> settings = SettingsWindow::open(&app);
        ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
        auto *focus = qobject_cast<ChoiceChip *>(QApplication::focusWidget());
        ASSERT_TRUE(focus) << AppLanguages::rawValue(lang).toStdString();
        EXPECT_EQ(focus->key(), AppLanguages::nativeName(lang));
        EXPECT_TRUE(focus->selected());
        settings->close();
        QTRY_VERIFY(!settings);
    }
}
