#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/Favorites.h"
#include "core/base/Defaults.h"
#include "core/localisation/FileFmt.h"
#include "core/model/PaneModel.h"
#include "core/model/OpenWithApp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class FavoritesTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        for (const char *name : {"a", "b", "x", "dir", "tool.sh", "app.desktop", "ran"}) {
            const QString p = dir.path() + u'/' + QLatin1String(name);
            if (QLatin1String(name) == QLatin1String("dir"))
                QDir().mkpath(p);
            else if (QLatin1String(name) != QLatin1String("ran"))
                TestUtil::writeFile(p, "x");
        }
    }
    Services services() {
        Services s;
        s.sidebar.watchMounts = false;
        s.sidebar.volumes = [] { return std::vector<Volume>(); };
        s.openFile = [this](const QString &path) {
            opened << path;
            return true;
        };
        s.desktop.launchEntry = [this](const QString &path) -> std::optional<QString> {
            launched << path;
            return std::nullopt;
        };
        return s;
    }
    QString p(const char *name) const { return dir.path() + u'/' + QLatin1String(name); }
    static QString toastText(const AppState &app) { return app.toast() ? app.toast()->text : QString(); }

    QTemporaryDir dir;
    QStringList opened, launched;
};

} // namespace

TEST_F(FavoritesTest, AddingKeepsOrderAtTheIndexSkipsMissingAndDuplicatesAndStoresTheList) {
    LanguageScope german(AppLanguage::de);
    AppState app(services());
    Favorites &f = app.favorites();
    f.setList({p("x")});
    EXPECT_EQ(f.addFavorites({p("a"), p("b")}, 0), 2);
    EXPECT_EQ(f.list(), (QStringList{p("a"), p("b"), p("x")}));
    EXPECT_EQ(toastText(app), LF("%@ zu den Favoriten hinzugefügt.", FileFmt::count(2)));
    app.settings().save();
    EXPECT_EQ(Defaults::value("quickFavorites").toStringList(), f.list());

    // The same new path twice: added once, the count says one.
    f.setList({});
    EXPECT_EQ(f.addFavorites({p("a"), p("a")}), 1);
    EXPECT_EQ(toastText(app), LF("%@ zu den Favoriten hinzugefügt.", FileFmt::count(1)));
    // Only duplicates and missing paths: nothing added, no count toast.
    app.toasts().setToast(std::nullopt);
    EXPECT_EQ(f.addFavorites({p("a"), p("nothing")}), 0);
    EXPECT_EQ(toastText(app), LF("„%@“ ist schon in den Favoriten.", QStringLiteral("a")));
    EXPECT_EQ(f.addFavorites({}), 0);
}

TEST_F(FavoritesTest, AnInsertionIndexOutsideTheListIsClamped) {
    AppState app(services());
    Favorites &f = app.favorites();
    f.setList({p("x")});
    EXPECT_EQ(f.addFavorites({p("a")}, 99), 1);
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("a")}));
    EXPECT_EQ(f.addFavorites({p("b")}, -5), 1);
    EXPECT_EQ(f.list(), (QStringList{p("b"), p("x"), p("a")}));
}

TEST_F(FavoritesTest, RemoveTakesEveryCopyAndMoveClampsItsIndex) {
    AppState app(services());
    Favorites &f = app.favorites();
    f.setList({p("a"), p("x"), p("a"), p("b")});
    f.removeFavorite(p("a"));
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b")}));
    f.removeFavorite(p("nothing")); // unchanged, stored all the same
    EXPECT_TRUE(app.settings().savePending());
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b")}));

    f.setList({p("a"), p("b"), p("x")});
    f.moveFavorite(p("a"), -1);
    EXPECT_EQ(f.list(), (QStringList{p("a"), p("b"), p("x")}));
    f.moveFavorite(p("x"), 3);
    EXPECT_EQ(f.list(), (QStringList{p("a"), p("b"), p("x")}));
    f.moveFavorite(p("a"), 1);
    EXPECT_EQ(f.list(), (QStringList{p("b"), p("a"), p("x")}));
    f.moveFavorite(p("x"), 0);
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b"), p("a")}));
    f.moveFavorite(p("nothing"), 0);
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b"), p("a")}));

    // The item menu's entry: adds what is missing, or removes when all are listed.
    f.toggle({p("dir")});
    EXPECT_TRUE(f.contains(p("dir")));
    f.toggle({p("dir"), p("x")});
    EXPECT_FALSE(f.contains(p("dir")));
    EXPECT_FALSE(f.contains(p("x")));
}

TEST_F(FavoritesTest, OpeningAFavouriteEntersFoldersStartsApplicationEntriesAndNeverRunsAPlainFile) {
    LanguageScope german(AppLanguage::de);
    // A script that would leave a mark if it ran.
    TestUtil::writeFile(p("tool.sh"), "#!/bin/sh\ntouch '" + p("ran").toUtf8() + "'\n");
    QFile::setPermissions(p("tool.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    AppState app(services());
    Favorites &f = app.favorites();

    f.openFavorite(p("dir"));
    EXPECT_EQ(app.activePane()->currentPath(), p("dir"));
    EXPECT_TRUE(opened.isEmpty());

    f.openFavorite(p("tool.sh"));
    EXPECT_EQ(opened, QStringList{p("tool.sh")}); // to its application, as a document
    EXPECT_TRUE(launched.isEmpty());
    // An entry of the application folders starts its program; the same entry anywhere else (a download)
    // is a document, and so is a hidden one.
    const QString apps = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
    const QByteArray entry =
        "[Desktop Entry]\nType=Application\nName=Tool\nExec=sh -c 'touch " + p("ran").toUtf8() + "'\n";
    TestUtil::writeFile(apps + "/kestrin-fav.desktop", entry);
    TestUtil::writeFile(apps + "/kestrin-hidden.desktop", entry + "Hidden=true\n");
    TestUtil::writeFile(p("app.desktop"), entry);
    f.openFavorite(apps + "/kestrin-fav.desktop");
    EXPECT_EQ(launched, QStringList{apps + "/kestrin-fav.desktop"});
    opened.clear();
    f.openFavorite(p("app.desktop"));
    f.openFavorite(apps + "/kestrin-hidden.desktop");
    EXPECT_EQ(launched.size(), 1);
    EXPECT_EQ(opened, (QStringList{p("app.desktop"), apps + "/kestrin-hidden.desktop"}));

    f.openFavorite(p("nothing"));
    ASSERT_TRUE(app.toast());
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_EQ(app.toast()->text,
              LF("„%@“ gibt es nicht mehr. Entferne den Eintrag über „Favoriten bearbeiten …“.", "nothing"));

    // The launcher itself refuses anything that is no desktop entry, an executable renamed to look like one
    // included.
    EXPECT_TRUE(OpenWith::launch(p("tool.sh"), {}).has_value());
    QFile::copy(p("tool.sh"), p("fake.desktop"));
    EXPECT_TRUE(OpenWith::launch(p("fake.desktop"), {}).has_value());
    EXPECT_TRUE(OpenWith::launch(p("app.desktop"), {}).has_value());
    QFile::copy(p("tool.sh"), apps + "/kestrin-fake.desktop");
    EXPECT_TRUE(OpenWith::launch(apps + "/kestrin-fake.desktop", {}).has_value());
    QTest::qWait(100);
    EXPECT_FALSE(TestUtil::exists(p("ran")));
}

TEST_F(FavoritesTest, ThePanelAddsAtTheEndAndTheStarTogglesTheTarget) {
    LanguageScope german(AppLanguage::de);
    Services s = services();
    QList<FilesQuestion> asked;
    std::optional<QStringList> answer = QStringList{p("b"), p("dir")};
    s.dialogs.askFiles = [&](const FilesQuestion &q, Dialogs::FilesDone done) {
        asked << q;
        done(answer);
    };
    AppState app(s);
    Favorites &f = app.favorites();
    f.setList({p("x")});
    app.activePane()->go(dir.path(), true, {});
    f.addFavoritesDialog();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].directory, dir.path());
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b"), p("dir")}));
    answer = std::nullopt;
    f.addFavoritesDialog();
    EXPECT_EQ(f.list(), (QStringList{p("x"), p("b"), p("dir")}));

    // The star acts on the selected folder, else on the folder shown.
    app.activePane()->setSelection({p("dir")});
    EXPECT_TRUE(f.favoriteTargetIsSelection());
    f.toggleFavoriteCurrent();
    EXPECT_FALSE(f.contains(p("dir")));
    EXPECT_EQ(toastText(app), LF("„%@“ aus den Favoriten entfernt.", "dir"));
    app.activePane()->setSelection({p("a")});
    EXPECT_EQ(f.favoriteTarget(), dir.path());
    f.toggleFavoriteCurrent();
    EXPECT_EQ(f.list().last(), dir.path());
}
