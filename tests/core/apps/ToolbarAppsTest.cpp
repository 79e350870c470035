// The toolbar applications: adding (by panel and by drop), the limit, replacing, moving, removing and
// launching, with fixture entries.
#include "core/apps/AppFixtures.h"

#include "common/ScriptedDialogs.h"
#include "core/app/AppState.h"
#include "core/app/ToolbarApps.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"

#include <gtest/gtest.h>

using namespace AppFixtures;
using TestUtil::LanguageScope;

namespace {

class ToolbarAppsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        apps = ToolbarApps::of(app.get());
        apps->choose = [this](const ToolbarApps::Choice &c, ToolbarApps::Chosen done) {
            choices << c;
            done(chosen);
        };
        apps->launcher = [this](const QString &a, const QStringList &paths) -> std::optional<QString> {
            launched << QStringList{a} + paths;
            return launchError;
        };
    }
    QString toastText() const { return app->toast() ? app->toast()->text : QString(); }
    bool toastIsError() const { return app->toast() && app->toast()->isError; }
    static QString e(int i) { return entry(QStringLiteral("many%1").arg(i, 2, 10, QLatin1Char('0'))); }

    LanguageScope de{AppLanguage::de};
    std::unique_ptr<AppState> app;
    ToolbarApps *apps = nullptr;
    QList<ToolbarApps::Choice> choices;
    QStringList chosen;
    QList<QStringList> launched;
    std::optional<QString> launchError;
};

} // namespace

TEST_F(ToolbarAppsTest, OnlyEntriesOfTheApplicationFoldersAreAdded) {
    const QString refusal = "Das ist keine App. Ziehe ein Programm (Endung .desktop) hierher.";
    EXPECT_EQ(apps->addToolbarApps({downloads() + "/evil.desktop", root() + "/writer.sh"}), 0);
    EXPECT_EQ(toastText(), refusal);
    EXPECT_TRUE(toastIsError());
    EXPECT_TRUE(apps->apps().isEmpty());
    // The same by the panel: the download is refused, the real entry taken.
    chosen = {downloads() + "/evil.desktop", entry("zeta")};
    apps->addToolbarApp();
    EXPECT_EQ(apps->apps(), QStringList{entry("zeta")});
    EXPECT_EQ(toastText(), refusal);
    ASSERT_EQ(choices.size(), 1);
    EXPECT_TRUE(choices[0].many);
}

TEST_F(ToolbarAppsTest, APartlyRefusedDropKeepsTheLimitErrorInView) {
    app->settings().setToolbarApps({e(0), e(1), e(2), e(3)});
    EXPECT_EQ(apps->addToolbarApps({e(4), e(5), e(6)}), 1);
    EXPECT_EQ(apps->apps().size(), 5);
    // One toast: the summary does not replace the limit error that came just before it.
    EXPECT_TRUE(toastIsError());
    EXPECT_TRUE(toastText().contains("1 Objekt zur Leiste hinzugefügt.")) << toastText().toStdString();
    EXPECT_TRUE(toastText().contains("Mehr als 5 Apps passen nicht in die Leiste."))
        << toastText().toStdString();
    // Full: the panel does not open, the limit is a plain notice; a listed one is a duplicate first.
    apps->addToolbarApp();
    EXPECT_TRUE(choices.isEmpty());
    EXPECT_FALSE(toastIsError());
    EXPECT_EQ(apps->addToolbarApps({e(0)}), 0);
    EXPECT_EQ(toastText(), "„App 00“ ist schon in der Leiste.");
}

TEST_F(ToolbarAppsTest, DropsInsertAtTheIndexAndSkipDuplicates) {
    app->settings().setToolbarApps({e(0), e(1)});
    EXPECT_EQ(apps->addToolbarApps({e(1), e(2), e(3)}, 1), 2);
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(2), e(3), e(1)}));
    EXPECT_EQ(toastText(), "2 Objekte zur Leiste hinzugefügt.");
    EXPECT_FALSE(toastIsError());
}

TEST_F(ToolbarAppsTest, MoveRemoveAndReplaceKeepTheOthersInPlace) {
    app->settings().setToolbarApps({e(0), e(1), e(2), e(3)});
    apps->moveToolbarApp(e(0), 99);
    EXPECT_EQ(apps->apps(), (QStringList{e(1), e(2), e(3), e(0)}));
    apps->moveToolbarApp(e(0), -1);
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(1), e(2), e(3)}));
    apps->moveToolbarApp(e(1), 2);
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(2), e(1), e(3)}));
    apps->moveToolbarApp(e(9), 0);
    apps->removeToolbarApp(e(9));
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(2), e(1), e(3)}));
    apps->removeToolbarApp(e(2));
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(1), e(3)}));

    chosen = {e(3)}; // stands in another slot
    apps->replaceToolbarApp(e(0));
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(1), e(3)}));
    EXPECT_EQ(toastText(), "„App 03“ ist schon in der Leiste.");
    chosen = {e(7)};
    apps->replaceToolbarApp(e(1));
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(7), e(3)}));
    chosen = {downloads() + "/evil.desktop"};
    apps->replaceToolbarApp(e(7));
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(7), e(3)}));
}

TEST_F(ToolbarAppsTest, LaunchOpensTheSelectionOrStartsAloneAndSaysWhatFailed) {
    const QString folder = root() + "/sel";
    TestUtil::writeFile(folder + "/b.txt", "b");
    TestUtil::writeFile(folder + "/a.txt", "a");
    app->activePane()->go(folder);
    QTRY_VERIFY_WITH_TIMEOUT(app->activePane()->items().size() == 2, 5000);
    app->activePane()->setSelection({folder + "/b.txt", folder + "/a.txt"});
    apps->launchToolbarApp(entry("zeta"));
    ASSERT_EQ(launched.size(), 1);
    EXPECT_EQ(launched[0], (QStringList{entry("zeta"), folder + "/a.txt", folder + "/b.txt"}));
    app->activePane()->setSelection({});
    apps->launchToolbarApp(entry("zeta"));
    EXPECT_EQ(launched.last(), QStringList{entry("zeta")});

    launchError = QStringLiteral("Zeta: kaputt");
    apps->launchToolbarApp(entry("zeta"));
    EXPECT_EQ(toastText(), "Zeta: kaputt");
    EXPECT_TRUE(toastIsError());
    launched.clear();
    apps->launchToolbarApp(appsDir() + "/gone.desktop");
    EXPECT_TRUE(launched.isEmpty());
    EXPECT_EQ(toastText(),
              "„gone.desktop“ gibt es nicht mehr. Entferne das Symbol über „Leiste anpassen …“.");
}
