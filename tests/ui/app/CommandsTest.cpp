#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/localisation/Translations.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/app/Commands.h"
#include "ui/app/KeyMonitor.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>
#include <QMenu>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        ASSERT_TRUE(dir.isValid());
        file = dir.path() + "/a.txt";
        TestUtil::writeFile(file, "a");
        app = std::make_unique<AppState>();
        app->left()->go(dir.path());
        app->right()->go(dir.path());
        commands = &testCommands(app.get());
    }
    QAction *action(const char *id) const { return commands->action(QString::fromUtf8(id)); }
    static KeyPress press(const QKeySequence &key) {
        KeyPress p;
        p.key = key[0].key();
        p.modifiers = key[0].keyboardModifiers();
        return p;
    }

    QTemporaryDir dir;
    QString file;
    std::unique_ptr<AppState> app;
    Commands *commands = nullptr;
};

// The press a key stands for: a shifted character is its key with Shift (US and German layouts), since
// Qt matches a press of Ctrl+Shift+/ to Ctrl+? as well as to Ctrl+Shift+/.
QKeySequence pressed(const QKeySequence &key) {
    static const QHash<int, int> base{
        {Qt::Key_Question, Qt::Key_Slash},        {Qt::Key_BraceRight, Qt::Key_BracketRight},
        {Qt::Key_BraceLeft, Qt::Key_BracketLeft}, {Qt::Key_Greater, Qt::Key_Period},
        {Qt::Key_Colon, Qt::Key_Period},          {Qt::Key_Plus, Qt::Key_Equal}};
    Qt::KeyboardModifiers mods = key[0].keyboardModifiers();
    int k = key[0].key();
    if (base.contains(k)) {
        k = base.value(k);
        mods |= Qt::ShiftModifier;
    }
    return QKeySequence(QKeyCombination(mods, Qt::Key(k)));
}

} // namespace

TEST_F(CommandsTest, EveryCommandHasATranslatedTitleAKnownSymbolAndKeysOfItsOwn) {
    EXPECT_EQ(&testCommands(app.get()), commands);
    const QStringList symbols = Symbols::known();
    QSet<QString> ids;
    QHash<QKeySequence, QString> owner;
    for (QAction *a : commands->actions()) {
        const QString id = a->objectName();
        EXPECT_FALSE(ids.contains(id)) << id.toStdString();
        ids.insert(id);
        for (const QString &key : {commands->titleKey(a), commands->helpKey(a)}) {
            if (key.isEmpty()) continue;
            EXPECT_TRUE(Translations::en().contains(key) && Translations::pl().contains(key) &&
                        Translations::th().contains(key))
                << "no rows for " << key.toStdString();
        }
        if (!commands->symbol(a).isEmpty()) {
            EXPECT_TRUE(symbols.contains(commands->symbol(a))) << id.toStdString();
        }
        // Two keys of one command that one press matches are two owners too.
        for (const QKeySequence &typed : a->shortcuts() + commands->monitorKeys(a)) {
            const QKeySequence key = pressed(typed);
            EXPECT_FALSE(owner.contains(key)) << typed.toString().toStdString() << " of " << id.toStdString()
                                              << " and " << owner.value(key).toStdString();
            owner.insert(key, id);
        }
    }
    EXPECT_EQ(commands->action("nicht da"), nullptr);
    ASSERT_TRUE(action(Cmd::tags)->menu());
    EXPECT_GT(action(Cmd::tags)->menu()->actions().size(), 2);
}

// The key monitor decides first: each key it serves must be taken by it, and a command's own shortcut
// must never be, or the shortcut would be dead.
TEST_F(CommandsTest, MonitorKeysAreTakenByTheMonitorAndOwnKeysAreNot) {
    KeyMonitor monitor(*app, *commands);
    app->settings().setDualPane(true);
    app->requests().quickLook = [] {};
    app->undoJournal().record(
        "Neu", UndoAction::makeCreated({dir.path() + "/made.txt"})); // undo has something to do
    for (QAction *a : commands->actions())
        for (const QKeySequence &key : a->shortcuts()) {
            app->activePane()->setSelection({file});
            EXPECT_FALSE(monitor.keyDown(press(key))) << key.toString().toStdString();
        }
    app->sides().tabs(app->sides().active())->newTab(); // the tab keys have somewhere to go
    for (QAction *a : commands->actions())
        for (const QKeySequence &key : commands->monitorKeys(a)) {
            app->activePane()->setSelection({file});
            EXPECT_TRUE(monitor.keyDown(press(key))) << key.toString().toStdString();
        }
    app->settings().setShowHidden(false);
    // Each form a layout gives a shifted character is the one key of its command.
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier,
                                ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    for (const auto &[key, mods, id] : {std::tuple{Qt::Key_Question, ctrl, Cmd::manual},
                                        std::tuple{Qt::Key_Question, ctrlShift, Cmd::manual},
                                        std::tuple{Qt::Key_Slash, ctrlShift, Cmd::manual},
                                        std::tuple{Qt::Key_BraceRight, ctrlShift, Cmd::nextTab},
                                        std::tuple{Qt::Key_BracketLeft, ctrlShift, Cmd::previousTab},
                                        std::tuple{Qt::Key_BraceLeft, ctrlShift, Cmd::previousTab}}) {
        KeyPress p;
        p.key = key;
        p.modifiers = mods;
        EXPECT_EQ(commands->byMonitorKey(KeyMonitor::monitorKey(p)), action(id)) << key;
    }
}

TEST_F(CommandsTest, EnabledStatesFollowTheSelectionOfTheirSide) {
    QAction *toRight = action(Cmd::copyToRight), *toLeft = action(Cmd::moveToLeft), *copy = action(Cmd::copy);
    EXPECT_FALSE(toRight->isEnabled());
    EXPECT_TRUE(action(Cmd::paste)->isEnabled());
    app->left()->setSelection({file});
    EXPECT_TRUE(toRight->isEnabled());
    EXPECT_FALSE(toLeft->isEnabled());
    EXPECT_TRUE(copy->isEnabled());
    // The transfer keeps following the left side while the right one is active.
    app->sides().setActive(Side::right);
    EXPECT_TRUE(toRight->isEnabled());
    EXPECT_FALSE(copy->isEnabled());
    // A new tab is watched in place of the one it hides.
    app->sides().leftTabs()->newTab();
    EXPECT_FALSE(toRight->isEnabled());
    EXPECT_FALSE(copy->isEnabled());
    app->left()->setSelection({file});
    EXPECT_TRUE(toRight->isEnabled() && copy->isEnabled());
    app->sides().leftTabs()->close(app->sides().leftTabs()->index());
    app->left()->setSelection({});
    EXPECT_FALSE(toRight->isEnabled());
}

TEST_F(CommandsTest, TitlesFollowTheLanguageWithTheMonitorKeysAsHints) {
    const LanguageScope keep(Lang::current());
    app->settings().setLanguage(AppLanguage::en);
    EXPECT_EQ(action(Cmd::copyToLeft)->text(), "Copy to the Left\tCtrl+Shift+Left");
    EXPECT_EQ(action(Cmd::copy)->text(), "Copy\tCtrl+C");
    EXPECT_EQ(action(Cmd::copy)->iconText(), "Copy");
    EXPECT_EQ(action(Cmd::copy)->toolTip(), L("Kopieren (⌘C)"));
    EXPECT_EQ(action(Cmd::tags)->menu()->actions().constLast()->text(), "Remove Tags");
    app->settings().setLanguage(AppLanguage::de);
    EXPECT_EQ(action(Cmd::copyToLeft)->text(), "Nach links kopieren\tStrg+Umschalt+Links");
    // Polish and Thai keep the names on their keys' caps and name the arrows in their words.
    app->settings().setLanguage(AppLanguage::pl);
    EXPECT_EQ(action(Cmd::copyToLeft)->text().section(u'\t', 1), "Ctrl+Shift+Lewo");
    app->settings().setLanguage(AppLanguage::th);
    EXPECT_EQ(action(Cmd::up)->text().section(u'\t', 1), "Ctrl+ขึ้น");
    app->settings().setLanguage(AppLanguage::de);
    // The switch shows the setting.
    app->settings().setShowHidden(true);
    EXPECT_TRUE(action(Cmd::showHidden)->isChecked());
    action(Cmd::showHidden)->trigger();
    EXPECT_FALSE(app->settings().showHidden());
}

// A pane's cursor and refreshes change no command's state and its listings only whether the Trash can be
// emptied; its selection, place and view change only the commands that read them, and those follow at once.
TEST_F(CommandsTest, PaneChangesReevaluateOnlyTheCommandsThatReadThem) {
    QDir().mkpath(dir.path() + "/sub");
    PaneModel *pane = app->left();
    QTRY_VERIFY(pane->items().size() == 2 && !pane->freeSpace().isEmpty());
    const quint64 start = commands->evaluations();
    pane->setCursor(file);
    pane->refresh();
    TestUtil::writeFile(dir.path() + "/b.txt", "b");
    QTRY_VERIFY(pane->items().size() == 3);
    EXPECT_LE(commands->evaluations() - start, 3u); // empty Trash, once a listing
    const quint64 listed = commands->evaluations();

    EXPECT_FALSE(action(Cmd::trash)->isEnabled());
    EXPECT_FALSE(action(Cmd::copyToRight)->isEnabled());
    pane->setSelection({file});
    EXPECT_TRUE(action(Cmd::trash)->isEnabled());
    EXPECT_TRUE(action(Cmd::copyToRight)->isEnabled());
    EXPECT_TRUE(action(Cmd::copy)->isEnabled());
    const quint64 perSelection = commands->evaluations() - listed;
    EXPECT_GT(perSelection, 0u);
    EXPECT_LT(perSelection, quint64(commands->actions().size()) / 2);

    EXPECT_FALSE(action(Cmd::forward)->isEnabled());
    pane->go(dir.path() + "/sub");
    pane->goBack();
    QTRY_VERIFY(action(Cmd::forward)->isEnabled());
    pane->setViewMode(ViewMode::columns);
    EXPECT_TRUE(action(Cmd::asColumns)->isChecked());
    EXPECT_FALSE(action(Cmd::asList)->isChecked());
}

// After each kind of change, every command shows what a full evaluation of all of them gives: a rule that
// reads a fact it does not name keeps an old state here. Each step changes the state of some command.
TEST_F(CommandsTest, EveryCommandAfterEachKindOfChangeIsWhatAFullEvaluationGives) {
    struct State {
        bool enabled, checked;
        QString text;
    };
    const auto states = [&] {
        QList<State> s;
        for (QAction *a : commands->actions())
            s << State{a->isEnabled(), a->isChecked(), a->text()};
        return s;
    };
    const auto asAFullEvaluation = [&](const char *change) {
        const QList<State> kept = states();
        commands->update();
        const QList<State> full = states();
        for (qsizetype i = 0; i < full.size(); ++i) {
            const std::string id = commands->actions()[i]->objectName().toStdString();
            EXPECT_EQ(kept[i].enabled, full[i].enabled) << change << ": enabled " << id;
            EXPECT_EQ(kept[i].checked, full[i].checked) << change << ": checked " << id;
            EXPECT_EQ(kept[i].text, full[i].text) << change << ": title " << id;
        }
    };
    const QString home = TestUtil::testHome() + "/states";
    QDir(home).removeRecursively();
    // The test home's Trash starts empty.
    const QString trash = FileLoader::mainTrash();
    QDir(trash).removeRecursively();
    QDir(QFileInfo(trash).path() + "/info").removeRecursively();
    QDir().mkpath(trash);
    QDir().mkpath(home + "/sub");
    const QString zip = home + "/b.zip", text = home + "/c.txt";
    TestUtil::writeFile(zip, "z");
    TestUtil::writeFile(text, "c");
    // A tab of its own: no history yet.
    app->sides().leftTabs()->newTab(home);
    PaneModel *pane = app->left();
    QTRY_VERIFY(pane->items().size() == 3);
    EXPECT_FALSE(action(Cmd::back)->isEnabled());
    asAFullEvaluation("listing");

    pane->setSelection({text});
    asAFullEvaluation("selection");
    pane->setSelection({zip, text});
    EXPECT_TRUE(action(Cmd::extract)->isEnabled());
    asAFullEvaluation("selection of an archive");
    pane->setSelection({});
    asAFullEvaluation("no selection");

    pane->go(home + "/sub");
    QTRY_VERIFY(pane->currentPath() == home + "/sub" && pane->items().isEmpty());
    EXPECT_TRUE(action(Cmd::back)->isEnabled());
    asAFullEvaluation("place");
    pane->goBack();
    QTRY_VERIFY(pane->items().size() == 3);
    asAFullEvaluation("back");

    pane->setViewMode(pane->viewMode() == ViewMode::icons ? ViewMode::list : ViewMode::icons);
    asAFullEvaluation("view");

    app->items().toggleTag(QStringLiteral("Rot"), {text});
    QTest::qWait(100);
    asAFullEvaluation("tags");

    // Another program fills the Trash: the next listing tells that it can be emptied.
    EXPECT_FALSE(action(Cmd::emptyTrash)->isEnabled());
    TestUtil::writeFile(trash + "/elsewhere.txt", "e");
    QSignalSpy listed(pane, &PaneModel::listed);
    pane->refresh();
    QTRY_VERIFY(listed.count() > 0);
    // The Trash's contents are looked up off the window's thread: the answer comes later.
    QTRY_VERIFY(action(Cmd::emptyTrash)->isEnabled());
    asAFullEvaluation("listing with a filled Trash");

    // Into the Trash, and in its folder the item can be put back.
    QSignalSpy finished(&app->jobs(), &JobRunner::finished);
    app->trash().trashDropped({text});
    QTRY_VERIFY(finished.count() > 0 && !QFileInfo::exists(text));
    QTRY_VERIFY(pane->items().size() == 2);
    EXPECT_TRUE(action(Cmd::emptyTrash)->isEnabled());
    asAFullEvaluation("trash");
    pane->go(trash);
    QTRY_VERIFY(pane->items().size() == 2 && pane->items().constFirst().folder == FileLoader::norm(trash));
    asAFullEvaluation("the Trash shown");
    pane->setSelection({FileLoader::norm(trash) + "/c.txt"});
    EXPECT_TRUE(action(Cmd::putBack)->isEnabled());
    asAFullEvaluation("selection in the Trash");

    // The settings the rules read, and one that none reads (written on every step of a split drag).
    const quint64 before = commands->evaluations();
    app->settings().setSplitFraction(0.3);
    EXPECT_EQ(commands->evaluations(), before);
    for (Settings::Key key : {Settings::Key::dualPane, Settings::Key::showHidden, Settings::Key::showSidebar,
                              Settings::Key::showInspector}) {
        const char *name = QMetaEnum::fromType<Settings::Key>().valueToKey(int(key));
        Settings &s = app->settings();
        if (key == Settings::Key::dualPane) s.setDualPane(!s.dualPane());
        if (key == Settings::Key::showHidden) s.setShowHidden(!s.showHidden());
        if (key == Settings::Key::showSidebar) s.setShowSidebar(!s.showSidebar());
        if (key == Settings::Key::showInspector) s.setShowInspector(!s.showInspector());
        asAFullEvaluation(name);
    }
    QDir(home).removeRecursively();
}
