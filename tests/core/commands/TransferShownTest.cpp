// A copy or move acts in the folders the panes showed, or that its first look held where no pane listed
// them: one swapped for a link to a private folder after the listing, or while the conflict question is up,
// is refused by a sentence that names it; so is an item that another took the place of.
#include "CommandFixture.h"

#include "common/SwappedFolder.h"
#include "common/TestChild.h"
#include "core/app/Transfers.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <QMimeData>
#include <QUrl>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

// The other account, in the folder that holds `args[0]`: that folder goes aside (to its name + ".away")
// and a link to `args[1]` takes its name; or the link named `args[2]` there, which the user made.
TEST_CHILD(swapAsOtherAccount) {
    const QByteArray folder = QFile::encodeName(args.value(0)), target = QFile::encodeName(args.value(1));
    const qsizetype slash = folder.lastIndexOf('/');
    const QByteArray name = folder.mid(slash + 1);
    if (::chdir(folder.left(slash).constData()) != 0) return 2;
    if (::setgroups(0, nullptr) != 0 || ::setgid(TestUtil::otherAccount) != 0 ||
        ::setuid(TestUtil::otherAccount) != 0)
        return 3;
    if (::rename(name.constData(), (name + ".away").constData()) != 0) return 4;
    if (args.size() > 2)
        return ::rename(QFile::encodeName(args[2]).constData(), name.constData()) == 0 ? 0 : 5;
    return ::symlink(target.constData(), name.constData()) == 0 ? 0 : 5;
}

bool swapAsOther(const QString &folder, const QString &target, const QString &usersLink = {}) {
    const int status =
        TestChild::run("swapAsOtherAccount", usersLink.isEmpty() ? QStringList{folder, target}
                                                                 : QStringList{folder, target, usersLink});
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

// A favourite, a drop from another program, a paste: folders that no pane listed are held at the first
// look through the user's own links only, and the question and the job act only in those.
TEST_F(CommandTest, ATransferOfBarePathsActsOnlyInTheFoldersHeldAtTheFirstLook) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    const TestUtil::TmpfsMount vol(QStringLiteral("4m"));
    if (!vol.valid()) GTEST_SKIP() << "needs a second volume";
    LanguageScope de(AppLanguage::de);
    enum class Op { dropOnFavourite, copy, moveAcross, replaceCopy, replaceMove };
    // The favourite is swapped before the drop; the others while the question is up (after the first
    // look) or inside the job.
    enum class When { beforeDrop, whileAsked, inStep };
    struct Case {
        const char *what;
        Op op;
        When when;
        // The other account moves in a link the user made to the private folder, not one of its own.
        bool usersLink = false;
    };
    int n = 0;
    for (const Case &c :
         {Case{"drop on a favourite swapped for a link", Op::dropOnFavourite, When::beforeDrop},
          Case{"copy, swapped while asked", Op::copy, When::whileAsked},
          Case{"copy, swapped in the step", Op::copy, When::inStep},
          Case{"move across volumes, swapped while asked", Op::moveAcross, When::whileAsked},
          Case{"move across volumes, swapped in the step", Op::moveAcross, When::inStep},
          Case{"replace by a copy, swapped while asked", Op::replaceCopy, When::whileAsked},
          Case{"replace by a copy, swapped in the step", Op::replaceCopy, When::inStep},
          Case{"replace by a move, swapped while asked", Op::replaceMove, When::whileAsked},
          Case{"replace by a move, swapped in the step", Op::replaceMove, When::inStep},
          Case{"copy, the user's link moved in while asked", Op::copy, When::whileAsked, true},
          Case{"move across volumes, the user's link moved in while asked", Op::moveAcross, When::whileAsked,
               true}}) {
        SCOPED_TRACE(c.what);
        const QString base = QStringLiteral("bare%1").arg(++n);
        // The other account's folder, in a place of its own: the user drops into it or takes from it.
        const QString shared = make(base + "/shared/");
        const bool fromShared = c.op == Op::moveAcross;
        const QString src = fromShared ? make(base + "/shared/S/") : make(base + "/src/");
        const QString dst = fromShared ? vol.path() + u'/' + base : make(base + "/shared/D/");
        QDir().mkpath(dst);
        for (const QString &p : {shared, fromShared ? src : dst})
            ASSERT_EQ(
                ::chown(QFile::encodeName(p).constData(), TestUtil::otherAccount, TestUtil::otherAccount), 0);
        const QStringList items{src + "/a", src + "/b"};
        for (const QString &item : items)
            ASSERT_TRUE(TestUtil::writeFile(item, "mine " + Posix::lastComponent(item).toUtf8()));
        ASSERT_TRUE(TestUtil::writeFile(dst + "/a", "old"));
        const QString swapped = fromShared ? src : dst;
        const TestUtil::PrivateFolder priv({"a", "b"});
        const auto before = priv.state();
        const QString usersLink = c.usersLink ? shared + "/mine" : QString();
        if (c.usersLink) {
            ASSERT_EQ(::symlink(QFile::encodeName(priv.path()).constData(),
                                QFile::encodeName(usersLink).constData()),
                      0);
        }
        const bool move = c.op == Op::dropOnFavourite || c.op == Op::moveAcross || c.op == Op::replaceMove;
        const bool replace = c.op == Op::replaceCopy || c.op == Op::replaceMove;
        bool swappedNow = false;
        if (c.when == When::beforeDrop) {
            ASSERT_TRUE(swappedNow = swapAsOther(swapped, priv.path(), usersLink));
        }
        if (c.when == When::whileAsked)
            whileOpen = [&](const Alert &) {
                if (!std::exchange(swappedNow, true)) {
                    ASSERT_TRUE(swapAsOther(swapped, priv.path(), usersLink));
                }
            };
        std::optional<StepHookScope> swapInStep;
        if (c.when == When::inStep) {
            // A move within one volume renames: it meets no copied file, only the old item leaving its name.
            const FileSteps::Step at =
                c.op == Op::replaceMove ? FileSteps::Step::oldItemOut : FileSteps::Step::fileCopied;
            swapInStep.emplace([&, at](FileSteps::Step s, const QString &) {
                if (s == at && !std::exchange(swappedNow, true)) {
                    ASSERT_TRUE(swapAsOther(swapped, priv.path(), usersLink));
                }
            });
        }
        alerts.clear();
        toasts.clear();
        answers = {replace ? AlertRole::replace : AlertRole::keepBoth};
        if (c.op == Op::dropOnFavourite) {
            // Dragged from the pane, and handed on as the sidebar's row does.
            show(app->left(), src);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(items[0]), QUrl::fromLocalFile(items[1])});
            ASSERT_TRUE(app->left()->handleDrop(&data, dst, false));
        } else {
            app->transfers().transfer(items, dst, move);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty(), 5000);
        swapInStep.reset();
        whileOpen = {};
        EXPECT_TRUE(swappedNow);
        EXPECT_EQ(priv.state(), before);
        EXPECT_TRUE(toasts.last().text.contains(FileSteps::HeldFolder::refusalText(swapped)))
            << toasts.last().text.toStdString();
        // Nothing of the private folder was asked about, nor taken to the destination.
        if (c.when == When::beforeDrop) {
            EXPECT_TRUE(alerts.isEmpty());
        }
        EXPECT_FALSE(exists((fromShared ? dst : dst + ".away") + "/b"));
        // The second item was left where it was, in the folder the user chose.
        EXPECT_EQ(TestUtil::readFile((fromShared ? src + ".away" : src) + "/b"), "mine b");
        answers.clear();
    }
}
