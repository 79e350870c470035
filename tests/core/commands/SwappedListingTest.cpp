// Another account that shares a folder with the user swaps the folder, or an item in it, for a link to a
// private folder after the pane listed it: rename (F2, Get Info's name, a batch) and its undo, New Folder,
// duplicate, alias, tags, comments, the Trash (the key and a drop on the sidebar's Trash) and Get Info's lock
// leave the private folder alone and say why nothing was done.

#include "CommandFixture.h"

#include "common/SwappedFolder.h"
#include "core/app/AppState.h"
#include "core/app/FileActionCommands.h"
#include "core/app/FileInfoState.h"
#include "core/app/ItemCommands.h"
#include "core/app/RenameCommands.h"
#include "core/app/TrashCommands.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/fileops/UndoJournal.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>

using FileSteps::HeldFolder;

namespace {

enum class Cmd { rename, newFolder, duplicate, alias, tag, comment, infoName, trash, trashDrop };
// What renamed the items whose rename is undone.
enum class Renamer { f2, batch };

// The names of the item's attributes, NUL-separated.
QByteArray attributes(const QString &path) {
    char buf[4096];
    const ssize_t n = ::llistxattr(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n > 0 ? QByteArray(buf, n) : QByteArray();
}

// The item's immutable flag, or nothing where it can't be read; `clear` takes it off first.
std::optional<bool> immutable(const QString &path, bool clear = false) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    int flags = 0;
    const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (read && clear && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
    return read ? std::optional((flags & FS_IMMUTABLE_FL) != 0) : std::nullopt;
}

class SwappedListing : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    }
    // A folder of the pane with `a1` (and `a2`) listed and selected.
    QString listed(const QString &name) {
        const QString folder = make(name + u'/');
        make(name + QStringLiteral("/a1"), "mine");
        make(name + QStringLiteral("/a2"), "mine");
        show(app->left(), folder);
        // The listing of this folder, not the last one's items, is what the pane shows.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return app->left()->visibleRow(folder + QStringLiteral("/a2")) >= 0; }, 5000));
        app->left()->setSelection({folder + QStringLiteral("/a1")});
        return folder;
    }
    void run(Cmd cmd, const QStringList &items) {
        const qsizetype before = toasts.size();
        switch (cmd) {
        case Cmd::rename:
            textAnswers = {QStringLiteral("b1")};
            app->renames().renameSelection();
            break;
        case Cmd::newFolder:
            app->renames().newFolder();
            break;
        case Cmd::duplicate:
            app->fileActions().duplicate(items);
            break;
        case Cmd::alias:
            app->fileActions().makeAlias(items);
            break;
        case Cmd::tag:
            app->items().toggleTag(QStringLiteral("Rot"), items);
            break;
        case Cmd::comment: {
            FileInfoState info(app->sides(), app->items(), app->toasts(), items.first(), 0);
            info.setComment(QStringLiteral("note"));
            info.saveComment();
            break;
        }
        case Cmd::infoName: {
            FileInfoState info(app->sides(), app->items(), app->toasts(), items.first(), 0);
            info.setNameText(QStringLiteral("b1"));
            info.rename();
            break;
        }
        case Cmd::trash:
            answers = {AlertRole::confirm};
            app->trash().trashSelection();
            break;
        case Cmd::trashDrop:
            app->trash().trashDropped(items);
            break;
        }
        waitToast(before + 1);
    }
    // F2 gives `a1` of `folder` the name `b1`; a batch renames `a1` and `a2` to `b1` and `b2` as the batch
    // rename sheet does. The undo journal holds it.
    void renameForUndo(Renamer by, const QString &folder) {
        if (by == Renamer::f2) {
            run(Cmd::rename, {});
            ASSERT_EQ(lastToast(), "„a1“ umbenannt in „b1“.");
            return;
        }
        const auto at = [&](const char *name) { return folder + u'/' + QLatin1String(name); };
        const FileOps::TwoPhaseReport report =
            FileOps::renameInTwoPhases({{at("a1"), at("b1")}, {at("a2"), at("b2")}});
        ASSERT_EQ(report.done.size(), 2);
        app->undoJournal().record(QStringLiteral("2 Objekte umbenannt"), UndoAction::makeRenamed(report));
    }
    // The toast of undoing the last entry.
    QString undo() {
        const qsizetype before = toasts.size();
        app->fileActions().undoLast();
        waitToast(before + 1);
        EXPECT_TRUE(lastIsError());
        return lastToast();
    }
    // The undo's refusal of `folder`, once for each item of the entry.
    static QString folderRefused(Renamer by, const QString &folder) {
        return L("Rückgängig:") + u' ' + HeldFolder::refusalText(folder) +
               (by == Renamer::batch ? LF(" (+%d weitere)", 1) : QString());
    }
    TestUtil::LanguageScope de{AppLanguage::de};
};

} // namespace

TEST_F(SwappedListing, AFolderSwappedAfterTheListingIsLeftAlone) {
    for (const Cmd cmd : {Cmd::rename, Cmd::newFolder, Cmd::duplicate, Cmd::alias, Cmd::tag, Cmd::comment,
                          Cmd::infoName, Cmd::trash, Cmd::trashDrop}) {
        SCOPED_TRACE(int(cmd));
        // The new name taken there too: a rename's look for it must come after the folder is held.
        const TestUtil::PrivateFolder priv({QStringLiteral("a1"), QStringLiteral("b1")});
        const QString folder = listed(QStringLiteral("shared%1").arg(int(cmd)));
        const auto before = priv.state();
        ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
        run(cmd, {folder + QStringLiteral("/a1")});
        EXPECT_EQ(priv.state(), before);
        EXPECT_EQ(attributes(priv.path(QStringLiteral("a1"))), QByteArray());
        EXPECT_EQ(lastToast(), HeldFolder::refusalText(folder));
        EXPECT_TRUE(lastIsError());
        EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList({"a1", "a2"}));
    }
}

TEST_F(SwappedListing, AnItemSwappedAfterTheListingIsLeftAlone) {
    for (const Cmd cmd : {Cmd::rename, Cmd::duplicate, Cmd::alias, Cmd::tag, Cmd::comment, Cmd::infoName,
                          Cmd::trash, Cmd::trashDrop}) {
        SCOPED_TRACE(int(cmd));
        const TestUtil::PrivateFolder priv({QStringLiteral("a1")});
        const QString folder = listed(QStringLiteral("shared%1").arg(int(cmd)));
        const auto before = priv.state();
        ASSERT_TRUE(TestUtil::swapForLink(folder + QStringLiteral("/a1"), priv.path(QStringLiteral("a1"))));
        run(cmd, {folder + QStringLiteral("/a1")});
        EXPECT_EQ(priv.state(), before);
        EXPECT_EQ(attributes(priv.path(QStringLiteral("a1"))), QByteArray());
        EXPECT_EQ(lastToast(), HeldFolder::replaced(QStringLiteral("a1")).description);
        EXPECT_EQ(TestUtil::names(folder), QStringList({"a1", "a1.away", "a2"}));
    }
}

TEST_F(SwappedListing, ADuplicateStopsAtAFolderSwappedBetweenItsCopies) {
    const TestUtil::PrivateFolder priv({QStringLiteral("a1"), QStringLiteral("a2")});
    const QString folder = listed(QStringLiteral("shared"));
    const auto before = priv.state();
    StepHookScope swapAtFirst([&, done = false](FileSteps::Step s, const QString &) mutable {
        if (s == FileSteps::Step::fileCopied && !std::exchange(done, true)) {
            ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
        }
    });
    run(Cmd::duplicate, {folder + QStringLiteral("/a1"), folder + QStringLiteral("/a2")});
    EXPECT_EQ(priv.state(), before);
    EXPECT_EQ(lastToast(), HeldFolder::refusalText(folder));
    // The first copy was made where the listing was.
    EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList({"a1", "a1 Kopie", "a2"}));
}

// The undo of a rename goes to the folder and the item as the rename left them, not to whatever their
// paths lead to by then.
TEST_F(SwappedListing, TheUndoOfARenameLeavesWhatWasSwappedInAlone) {
    for (const Renamer by : {Renamer::f2, Renamer::batch}) {
        for (const bool wholeFolder : {true, false}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(int(by)).arg(wholeFolder).toStdString());
            const bool batch = by == Renamer::batch;
            const TestUtil::PrivateFolder priv({QStringLiteral("b1"), QStringLiteral("b2")});
            const QString folder = listed(QStringLiteral("shared%1%2").arg(int(by)).arg(wholeFolder));
            renameForUndo(by, folder);
            const auto before = priv.state();
            const QString b1 = folder + QStringLiteral("/b1");
            ASSERT_TRUE(wholeFolder ? TestUtil::swapForLink(folder, priv.path())
                                    : TestUtil::swapForLink(b1, priv.path(QStringLiteral("b1"))));
            EXPECT_EQ(undo(), wholeFolder ? folderRefused(by, folder)
                                          : L("Rückgängig:") + u' ' +
                                                HeldFolder::replaced(QStringLiteral("b1")).description);
            EXPECT_EQ(priv.state(), before);
            if (wholeFolder)
                EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")),
                          batch ? QStringList({"b1", "b2"}) : QStringList({"a2", "b1"}));
            else // the batch's other item goes back
                EXPECT_EQ(TestUtil::names(folder), QStringList({"a2", "b1", "b1.away"}));
        }
    }
}

// Nothing in a folder swapped in is looked at before the refusal: neither a new name missing there nor an
// old name taken there changes what the user is told.
TEST_F(SwappedListing, TheUndoOfARenameLooksIntoNoFolderSwappedIn) {
    for (const Renamer by : {Renamer::f2, Renamer::batch}) {
        for (const QStringList &inPrivate : {QStringList{"a1"}, QStringList{"a1", "b1", "b2"}}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(int(by)).arg(inPrivate.join(u' ')).toStdString());
            const TestUtil::PrivateFolder priv(inPrivate);
            const QString folder = listed(QStringLiteral("shared%1%2").arg(int(by)).arg(inPrivate.size()));
            renameForUndo(by, folder);
            const auto before = priv.state();
            ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
            EXPECT_EQ(undo(), folderRefused(by, folder));
            EXPECT_EQ(priv.state(), before);
        }
    }
}

// The Trash takes each item from its folder as listed: a folder swapped while the first item goes (the key,
// a drop on the sidebar's Trash) keeps the second from the private folder.
TEST_F(SwappedListing, TheTrashStopsAtAFolderSwappedBetweenItsItems) {
    for (const Cmd cmd : {Cmd::trash, Cmd::trashDrop}) {
        SCOPED_TRACE(int(cmd));
        const TestUtil::PrivateFolder priv({QStringLiteral("a1"), QStringLiteral("a2")});
        const QString folder = listed(QStringLiteral("shared%1").arg(int(cmd)));
        app->left()->setSelection({folder + QStringLiteral("/a1"), folder + QStringLiteral("/a2")});
        const auto before = priv.state();
        StepHookScope swapAtFirst([&, done = false](FileSteps::Step s, const QString &) mutable {
            if (s == FileSteps::Step::toTrash && !std::exchange(done, true)) {
                ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
            }
        });
        run(cmd, {folder + QStringLiteral("/a1"), folder + QStringLiteral("/a2")});
        swapAtFirst.end();
        EXPECT_EQ(priv.state(), before);
        EXPECT_EQ(lastToast(), HeldFolder::refusalText(folder) + u' ' +
                                   LF("%@ in den Papierkorb gelegt.", FileFmt::count(1)));
        // The first went from where the listing was.
        EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList({"a2"}));
    }
}

// A drop from another program names a folder no pane lists: it is reached through the user's own links
// only, so another account's link in its place leads nowhere, while a link of the user's own still leads.
TEST_F(SwappedListing, ADropThatNoPaneListedFollowsOnlyTheUsersOwnLinks) {
    const TestUtil::PrivateFolder priv({QStringLiteral("a1")});
    const QString folder = make(QStringLiteral("unlisted/"));
    make(QStringLiteral("unlisted/a1"), "mine");
    show(app->left(), make(QStringLiteral("elsewhere/")));
    show(app->right(), root + QStringLiteral("/elsewhere"));
    const auto before = priv.state();
    ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
    run(Cmd::trashDrop, {folder + QStringLiteral("/a1")});
    EXPECT_EQ(priv.state(), before);
    EXPECT_EQ(lastToast(), HeldFolder::refusalText(folder));
    EXPECT_TRUE(lastIsError());
    // The user's own link (root's here) to the folder leads there.
    const QString own = root + QStringLiteral("/own");
    ASSERT_EQ(::symlink(QFile::encodeName(folder + QStringLiteral(".away")).constData(),
                        QFile::encodeName(own).constData()),
              0);
    run(Cmd::trashDrop, {own + QStringLiteral("/a1")});
    EXPECT_EQ(lastToast(), LF("%@ in den Papierkorb gelegt.", FileFmt::count(1)));
    EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList());
}

// Get Info's lock sets the flag of the item whose facts it loaded, opened in its folder without following a
// link: a folder or item swapped after the load leaves the private file unlocked.
TEST_F(SwappedListing, TheLockLandsOnlyOnTheItemGetInfoLoaded) {
    for (const bool listedThere : {true, false}) {
        for (const bool wholeFolder : {true, false}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(listedThere).arg(wholeFolder).toStdString());
            const TestUtil::PrivateFolder priv({QStringLiteral("a1")});
            const QString folder = listed(QStringLiteral("shared%1%2").arg(listedThere).arg(wholeFolder));
            const QString a1 = folder + QStringLiteral("/a1");
            if (!immutable(a1) || !FileInfoState::canChangeLock()) GTEST_SKIP() << "no inode flags to change";
            struct Unlock {
                QString path;
                ~Unlock() { immutable(path, true); }
            } unlock{priv.path(QStringLiteral("a1"))};
            if (!listedThere) {
                // The pane's listing of another folder has replaced this one's, not merely begun.
                const QString other = make(QStringLiteral("elsewhere%1/x").arg(wholeFolder));
                show(app->left(), other.chopped(2));
                ASSERT_TRUE(QTest::qWaitFor([&] { return app->left()->visibleRow(other) >= 0; }, 5000));
            }
            FileInfoState info(app->sides(), app->items(), app->toasts(), a1, 0);
            info.load();
            QTRY_VERIFY_WITH_TIMEOUT(info.loaded(), 5000);
            ASSERT_TRUE(wholeFolder ? TestUtil::swapForLink(folder, priv.path())
                                    : TestUtil::swapForLink(a1, priv.path(QStringLiteral("a1"))));
            const qsizetype before = toasts.size();
            info.setLocked(true);
            waitToast(before + 1);
            EXPECT_EQ(immutable(priv.path(QStringLiteral("a1"))), false);
            EXPECT_FALSE(info.details().locked);
            // Refused for the folder where a pane listed it, else for the item found there.
            EXPECT_EQ(lastToast(), wholeFolder && listedThere
                                       ? HeldFolder::refusalText(folder)
                                       : HeldFolder::replaced(QStringLiteral("a1")).description);
            EXPECT_TRUE(lastIsError());
        }
    }
}

// On a volume without a Trash the items are deleted for good after the question, as listed too: a folder
// swapped while the question is up keeps the private file.
TEST_F(SwappedListing, DeletingWhatNoTrashTookLeavesAFolderSwappedDuringTheQuestion) {
    TestUtil::TmpfsMount vol(QStringLiteral("4m"));
    if (!vol.valid()) GTEST_SKIP() << "no tmpfs";
    // No Trash may be made there.
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + QStringLiteral("/.Trash-0"), "not a folder"));
    const TestUtil::PrivateFolder priv({QStringLiteral("a1")});
    const QString folder = vol.path() + QStringLiteral("/shared");
    ASSERT_TRUE(TestUtil::writeFile(folder + QStringLiteral("/a1"), "mine"));
    show(app->left(), folder);
    app->left()->setSelection({folder + QStringLiteral("/a1")});
    const auto before = priv.state();
    whileOpen = [&](const Alert &a) {
        if (a.has(AlertRole::destructive)) {
            ASSERT_TRUE(TestUtil::swapForLink(folder, priv.path()));
        }
    };
    answers = {AlertRole::confirm, AlertRole::destructive};
    const qsizetype toastsBefore = toasts.size();
    app->trash().trashSelection();
    waitToast(toastsBefore + 1);
    whileOpen = {};
    EXPECT_EQ(alerts.last().message, QStringLiteral("„a1“ sofort löschen?"));
    EXPECT_EQ(priv.state(), before);
    EXPECT_EQ(lastToast(), HeldFolder::refusalText(folder));
    EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList({"a1"}));
    ::unlink(QFile::encodeName(folder).constData());
}

// The same with no link on the way, so that no refusal of links stands in for the identity checks: the
// folder replaced by another account's real folder holding one item under its new name (a hard link, so
// that only the folder tells) and another file, or an item replaced by another file. The undo looks first;
// the two-phase rename it hands the items to looks again, by the ids it is given.
TEST_F(SwappedListing, TheUndoOfABatchRenameTakesOnlyTheFolderAndItemsItLeft) {
    for (const bool byUndo : {true, false}) {
        for (const bool wholeFolder : {true, false}) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(byUndo).arg(wholeFolder).toStdString());
            const QString folder = listed(QStringLiteral("plain%1%2").arg(byUndo).arg(wholeFolder));
            renameForUndo(Renamer::batch, folder);
            const UndoAction renamed = app->undoJournal().entries().last().action;
            const QString b1 = folder + QStringLiteral("/b1");
            const QString swapped = wholeFolder ? folder : b1, away = swapped + QStringLiteral(".away");
            ASSERT_EQ(::rename(QFile::encodeName(swapped), QFile::encodeName(away)), 0);
            if (wholeFolder) {
                ASSERT_TRUE(QDir().mkdir(folder));
                ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), TestUtil::otherAccount, 0), 0);
                ASSERT_EQ(::link(QFile::encodeName(away + QStringLiteral("/b1")).constData(),
                                 QFile::encodeName(b1).constData()),
                          0);
                ASSERT_TRUE(TestUtil::writeFile(folder + QStringLiteral("/b2"), "theirs"));
            } else {
                ASSERT_TRUE(TestUtil::writeFile(b1, "theirs"));
            }
            if (byUndo) {
                EXPECT_EQ(undo(), wholeFolder ? folderRefused(Renamer::batch, folder)
                                              : L("Rückgängig:") + u' ' +
                                                    HeldFolder::replaced(QStringLiteral("b1")).description);
            } else {
                QList<TransferPair> back;
                for (const TransferPair &p : renamed.pairs)
                    back << TransferPair{p.to, p.from};
                const FileOps::TwoPhaseReport r =
                    FileOps::renameInTwoPhases(back, nullptr, {}, renamed.renamedAs);
                EXPECT_EQ(r.done.size(), wholeFolder ? 0 : 1);
                EXPECT_EQ(r.errors.size(), wholeFolder ? 2 : 1);
            }
            if (wholeFolder) {
                EXPECT_EQ(TestUtil::names(folder), QStringList({"b1", "b2"}));
                EXPECT_EQ(TestUtil::names(folder + QStringLiteral(".away")), QStringList({"b1", "b2"}));
            } else { // the batch's other item goes back
                EXPECT_EQ(TestUtil::readFile(b1), "theirs");
                EXPECT_EQ(TestUtil::names(folder), QStringList({"a2", "b1", "b1.away"}));
            }
        }
    }
}
