// A copy or move acts in the folders the panes showed: one swapped for a link to a private folder after
// the listing, or while the conflict question is up, is refused by a sentence that names it; so is an item
// that another took the place of.
#include "CommandFixture.h"

#include "common/SwappedFolder.h"
#include "core/app/Transfers.h"
#include "core/filesteps/HeldFolder.h"
#include "core/localisation/Lang.h"

using TestUtil::LanguageScope;

TEST_F(CommandTest, ATransferActsOnlyInTheFoldersThePanesShowed) {
    LanguageScope de(AppLanguage::de);
    struct Case {
        const char *what;
        bool move, swapSource, whileAsked;
    };
    int n = 0;
    for (const Case &c : {Case{"replace, the destination swapped while asked", false, false, true},
                          Case{"copy, the destination swapped after the listing", false, false, false},
                          Case{"move, the source swapped after the listing", true, true, false}}) {
        SCOPED_TRACE(c.what);
        const QString base = QString::number(++n);
        const QString src = make(base + "/src/"), dst = make(base + "/dst/");
        const QString a = make(base + "/src/a", "new");
        make(base + "/dst/a", "old");
        TestUtil::PrivateFolder priv({"a"});
        const auto before = priv.state();
        show(app->left(), src);
        show(app->right(), dst);
        QTRY_VERIFY_WITH_TIMEOUT(app->left()->shownFolder(src) && app->right()->shownFolder(dst), 5000);
        app->left()->setSelection({a});
        const QString swapped = c.swapSource ? src : dst;
        if (c.whileAsked)
            whileOpen = [&, done = false](const Alert &) mutable {
                if (!std::exchange(done, true)) {
                    ASSERT_TRUE(TestUtil::swapForLink(swapped, priv.path()));
                }
            };
        else
            ASSERT_TRUE(TestUtil::swapForLink(swapped, priv.path()));
        alerts.clear();
        toasts.clear();
        answers = {AlertRole::replace};
        app->transfers().transferSelection(Side::left, c.move);
        QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty(), 5000);
        EXPECT_EQ(priv.state(), before);
        EXPECT_TRUE(toasts.last().text.contains(FileSteps::HeldFolder::refusalText(swapped)))
            << toasts.last().text.toStdString();
        EXPECT_EQ(TestUtil::readFile(swapped + ".away/a"), c.swapSource ? "new" : "old");
        // Nothing of the private folder was shown in a question either.
        if (!c.swapSource && !c.whileAsked) {
            EXPECT_TRUE(alerts.isEmpty());
        }
        whileOpen = {};
        answers.clear();
    }
}

TEST_F(CommandTest, ATransferTakesOnlyTheItemsThePaneListed) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    LanguageScope de(AppLanguage::de);
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        const QString base = move ? "m" : "c";
        const QString src = make(base + "/src/"), dst = make(base + "/dst/");
        const QString a = make(base + "/src/a", "new");
        make(base + "/dst/a", "old");
        TestUtil::PrivateFolder priv({"a"});
        const auto before = priv.state();
        show(app->left(), src);
        show(app->right(), dst);
        QTRY_VERIFY_WITH_TIMEOUT(app->left()->visibleRow(a) >= 0 && app->right()->shownFolder(dst), 5000);
        app->left()->setSelection({a});
        ASSERT_TRUE(TestUtil::swapForLink(a, priv.path("a")));
        toasts.clear();
        answers = {AlertRole::replace};
        app->transfers().transferSelection(Side::left, move);
        QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty(), 5000);
        EXPECT_TRUE(toasts.last().text.contains(FileSteps::HeldFolder::replaced("a").description))
            << toasts.last().text.toStdString();
        EXPECT_EQ(priv.state(), before);
        EXPECT_EQ(TestUtil::readFile(dst + "/a"), "old");
        EXPECT_TRUE(QFileInfo(a).isSymLink());
        answers.clear();
    }
}
