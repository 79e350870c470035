// Keys and buttons reach commands through the registry only: Ctrl+W closes a tab as the registry's
// command, and a pane header button is the face of its command in every language.
#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/app/Commands.h"
#include "ui/app/KeyMonitor.h"
#include "ui/style/ButtonStyles.h"
#include "ui/window/pane/PaneHeader.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

KeyPress ctrlW() {
    KeyPress press{Qt::Key_W, Qt::ControlModifier, "w", false, false};
    press.mainWindowActive = true;
    return press;
}

} // namespace

TEST(CommandRoads, CtrlWClosesATabAsTheRegistrysCommandAndIsTheWindowsWithOneTab) {
    TestUtil::freshSettings();
    AppState app;
    KeyMonitor monitor(app, testCommands(&app));
    QAction *closeTab = testCommands(&app).action(Cmd::closeTab);
    QSignalSpy runs(closeTab, &QAction::triggered);
    TabGroup *tabs = app.sides().leftTabs();
    tabs->newTab();
    ASSERT_EQ(tabs->tabs().size(), 2);
    // The core's own keys know nothing of it any more.
    EXPECT_FALSE(app.keyDown(ctrlW()));
    EXPECT_EQ(tabs->tabs().size(), 2);

    EXPECT_TRUE(monitor.keyDown(ctrlW()));
    EXPECT_EQ(runs.count(), 1);
    EXPECT_EQ(tabs->tabs().size(), 1);
    // One tab: the key goes on to the window's own Ctrl+W, which closes it.
    EXPECT_FALSE(closeTab->isEnabled());
    EXPECT_FALSE(monitor.keyDown(ctrlW()));
    EXPECT_EQ(runs.count(), 1);
    // Nor while a text field has the focus.
    tabs->newTab();
    KeyPress typing = ctrlW();
    typing.textHasFocus = true;
    EXPECT_FALSE(monitor.keyDown(typing));
    EXPECT_EQ(tabs->tabs().size(), 2);
}

TEST(CommandRoads, HeaderButtonsTakeTitleHelpAndClickFromTheirCommand) {
    TestUtil::freshSettings();
    TestUtil::LanguageScope de(AppLanguage::de);
    AppState app;
    app.settings().setLanguage(AppLanguage::de);
    PaneHeader header(app.right(), testPaneParts(&app));
    QAction *putBack = testCommands(&app).action(Cmd::putBack);
    QAction *goTo = testCommands(&app).action(Cmd::goToFolder);
    BarButton *button = header.putBackButton();
    EXPECT_EQ(button->key(), testCommands(&app).titleKey(putBack));
    EXPECT_EQ(button->toolTip(), putBack->toolTip());
    EXPECT_EQ(header.goToButton()->accessibleName(), L(testCommands(&app).helpKey(goTo)));

    // Another language: the button says what its command says.
    app.settings().setLanguage(AppLanguage::en);
    ASSERT_NE(putBack->toolTip(), QString());
    EXPECT_EQ(button->toolTip(), putBack->toolTip());
    EXPECT_EQ(button->accessibleName(), L(testCommands(&app).titleKey(putBack)));
    EXPECT_NE(button->accessibleName(), QStringLiteral("Zurücklegen"));

    // A click makes the header's side active first, then runs the command there.
    QSignalSpy runs(goTo, &QAction::triggered);
    app.sides().setActive(Side::left);
    bool rightWasActive = false;
    QObject::connect(goTo, &QAction::triggered,
                     [&] { rightWasActive = app.sides().active() == Side::right; });
    app.services().dialogs = {}; // the question goes nowhere
    header.goToButton()->click();
    EXPECT_EQ(runs.count(), 1);
    EXPECT_TRUE(rightWasActive);
    app.settings().setLanguage(AppLanguage::de);
}
