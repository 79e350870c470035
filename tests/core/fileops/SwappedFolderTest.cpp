// Another account that shares a folder with the user swaps it for a link to a private folder between two
// steps: nothing in the private folder changes, nothing of it is read into the user's tree, and the step
// is refused by a sentence that names the folder.

#include "Fixture.h"

#include "common/SwappedFolder.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <grp.h>
#include <sys/mount.h>

using namespace FileOpsTest;
using FileSteps::Step;

namespace {

class SwappedFolder : public Started {
protected:
    void SetUp() override {
        Started::SetUp();
        priv = mkdir(QStringLiteral("private"));
        ASSERT_EQ(::chmod(priv.toUtf8().constData(), 0700), 0);
    }
    void TearDown() override { FileSteps::setStepHook({}); }

    // At the first `step`, `folder` goes aside and a link to the private folder takes its name.
    void swapAt(Step step, const QString &folder) {
        FileSteps::setStepHook([this, step, folder, done = false](Step s, const QString &) mutable {
            if (s != step || std::exchange(done, true)) return;
            ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".old")));
            ASSERT_EQ(::symlink(priv.toUtf8().constData(), folder.toUtf8().constData()), 0);
        });
    }
    static bool refused(const TransferOutcome &out, const QString &folder) {
        return out.errors.join(u'\n').contains(FileSteps::HeldFolder::refusalText(folder));
    }

    QString priv;
};

} // namespace

TEST_F(SwappedFolder, ReplaceIntoADestinationSwappedForALinkLeavesThePrivateFolder) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString dest = mkdir(QStringLiteral("shared/D"));
    QStringList sources;
    QHash<QString, ConflictChoice> replace;
    for (const QString &name : {QStringLiteral("x1"), QStringLiteral("x2"), QStringLiteral("x3")}) {
        sources << file(QStringLiteral("src/") + name, "new");
        replace.insert(sources.back(), ConflictChoice::replace);
        file(QStringLiteral("shared/D/") + name, "old");
        file(QStringLiteral("private/") + name, "private");
    }
    const auto before = snapshot(priv);
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        // A move within one volume renames: it meets no copied file, only the old item leaving its name.
        swapAt(move ? Step::oldItemOut : Step::fileCopied, dest);
        const TransferOutcome out = run(sources, dest, move, replace);
        EXPECT_EQ(snapshot(priv), before);
        EXPECT_TRUE(refused(out, dest)) << out.errors.join(u'\n').toStdString();
        EXPECT_TRUE(names(TrashRoots::homeTrash() + QStringLiteral("/files")).isEmpty());
        EXPECT_EQ(out.done, 0);
        // Nothing changed in the real folder either, and the sources are where they were.
        ASSERT_TRUE(QFile::remove(dest));
        ASSERT_TRUE(QDir().rename(dest + QStringLiteral(".old"), dest));
        EXPECT_EQ(snapshot(path(QStringLiteral("shared/D"))).size(), 4);
        EXPECT_EQ(TestUtil::readFile(path(QStringLiteral("shared/D/x1"))), "old");
        EXPECT_EQ(TestUtil::readFile(sources.first()), "new");
    }
}

TEST_F(SwappedFolder, ASwappedSourceFolderIsNeitherReadNorEmptied) {
    TestUtil::LanguageScope de(AppLanguage::de);
    // Across volumes as root, where a move copies and then deletes; else within one.
    const MountAt other(mkdir(QStringLiteral("other")));
    const QString src = mkdir(QStringLiteral("shared/S"));
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        if (move && !other.mounted) continue; // a rename copies no file the swap could follow
        const QString dest = mkdir(move ? QStringLiteral("other/D2") : QStringLiteral("other/D1"));
        file(QStringLiteral("shared/S/a"), "mine");
        file(QStringLiteral("shared/S/b/inner"), "mine too");
        file(QStringLiteral("private/b/inner"), "private");
        const auto before = snapshot(priv);
        swapAt(Step::fileCopied, src);
        const TransferOutcome out = run({src + QStringLiteral("/a"), src + QStringLiteral("/b")}, dest, move);
        EXPECT_EQ(snapshot(priv), before);
        EXPECT_FALSE(exists(dest + QStringLiteral("/b")));
        EXPECT_TRUE(refused(out, src)) << out.errors.join(u'\n').toStdString();
        // The first item's copy is made; a move keeps its original, in a folder no longer the one shown.
        EXPECT_EQ(out.done, move ? 0 : 1);
        ASSERT_TRUE(QFile::remove(src));
        ASSERT_TRUE(QDir().rename(src + QStringLiteral(".old"), src));
        EXPECT_EQ(TestUtil::readFile(src + QStringLiteral("/b/inner")), "mine too");
    }
}

TEST_F(SwappedFolder, TheSecondNameOfAFileLinksToItsOwnCopyInAPartSwappedMeanwhile) {
    file(QStringLiteral("src/t/a/f"), "shared");
    mkdir(QStringLiteral("src/t/b"));
    ASSERT_EQ(::link(path(QStringLiteral("src/t/a/f")).toUtf8().constData(),
                     path(QStringLiteral("src/t/b/g")).toUtf8().constData()),
              0);
    file(QStringLiteral("private/t/a/f"), "private");
    file(QStringLiteral("private/t/b/g"), "private");
    const QString dest = mkdir(QStringLiteral("D"));
    swapAt(Step::fileCopied, dest);
    TransferProgress progress;
    FileOps::copyTree(path(QStringLiteral("src/t")), dest + QStringLiteral("/t"), progress, false);
    // The copy went on in the folder it began in.
    const QString copy = path(QStringLiteral("D.old/t"));
    struct stat a, b, outside;
    ASSERT_EQ(::lstat((copy + QStringLiteral("/a/f")).toUtf8().constData(), &a), 0);
    ASSERT_EQ(::lstat((copy + QStringLiteral("/b/g")).toUtf8().constData(), &b), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_nlink, 2u);
    for (const QString &name : {QStringLiteral("a/f"), QStringLiteral("b/g")}) {
        ASSERT_EQ(::lstat((priv + QStringLiteral("/t/") + name).toUtf8().constData(), &outside), 0);
        EXPECT_EQ(outside.st_nlink, 1u) << "an outside file got a name inside the copy";
    }
}

TEST_F(SwappedFolder, DeleteForGoodLeavesAMountATrashedFolderCarried) {
    TestUtil::LanguageScope en(AppLanguage::en);
    const QString trash = TrashRoots::homeTrash();
    const QString item = trash + QStringLiteral("/files/A");
    QDir().mkpath(item + QStringLiteral("/mnt"));
    QDir().mkpath(trash + QStringLiteral("/info"));
    const QString info = trash + QStringLiteral("/info/A.trashinfo");
    ASSERT_TRUE(
        TestUtil::writeFile(info, "[Trash Info]\nPath=/somewhere/A\nDeletionDate=2024-01-01T00:00:00\n"));
    ASSERT_TRUE(TestUtil::writeFile(item + QStringLiteral("/mine"), "gone"));
    const MountAt mount(item + QStringLiteral("/mnt"));
    if (!mount.mounted) GTEST_SKIP() << "needs root to mount";
    ASSERT_TRUE(TestUtil::writeFile(item + QStringLiteral("/mnt/kept"), "stays"));

    const FileOps::DeleteResult r = FileOps::deletePermanently({item});
    EXPECT_EQ(TestUtil::readFile(item + QStringLiteral("/mnt/kept")), "stays");
    EXPECT_FALSE(exists(item + QStringLiteral("/mine")));
    EXPECT_TRUE(exists(info)); // still shown in the Trash
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors,
              QStringList{QStringLiteral("“A” contains the mounted folder “A/mnt”. It stays with its "
                                         "contents; everything else was deleted permanently.")});
}

// A volume whose top another account owns: its sticky .Trash counts (one another account made on a
// volume not its own does not), and the user's folder in it, swapped for a link while an item goes in,
// takes nothing: the item and its info file go into the folder found.
TEST_F(SwappedFolder, TrashIntoASharedTrashSwappedMeanwhileLeavesThePrivateFolder) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a volume and a second account";
    TestUtil::TmpfsMount vol(QStringLiteral("4m"));
    ASSERT_TRUE(vol.valid());
    const QString shared = vol.path() + QStringLiteral("/.Trash");
    const QString own = shared + u'/' + QString::number(::getuid());
    QDir().mkpath(own + QStringLiteral("/files"));
    QDir().mkpath(own + QStringLiteral("/info"));
    const auto owned = [](const QString &p, uid_t uid, mode_t mode) {
        ASSERT_EQ(::chown(p.toUtf8().constData(), uid, uid), 0);
        ASSERT_EQ(::chmod(p.toUtf8().constData(), mode), 0);
    };
    owned(shared, TestUtil::otherAccount, 01777);
    owned(own, ::getuid(), 0700);
    const QString first = vol.path() + QStringLiteral("/sub/v.txt");
    ASSERT_TRUE(TestUtil::writeFile(first, "v"));
    auto r = FileOps::trash(FileOps::unlisted({first}));
    ASSERT_EQ(r.done, 1);
    EXPECT_TRUE(r.moved[0].inTrash.startsWith(vol.path() + QStringLiteral("/.Trash-")))
        << r.moved[0].inTrash.toStdString();

    owned(vol.path(), TestUtil::otherAccount, 0755);
    file(QStringLiteral("private/files/kept"), "private");
    file(QStringLiteral("private/info/kept.trashinfo"), "private");
    const auto before = snapshot(priv);
    const QString second = vol.path() + QStringLiteral("/sub/w.txt");
    ASSERT_TRUE(TestUtil::writeFile(second, "w"));
    FileSteps::setStepHook([&, done = false](Step s, const QString &) mutable {
        if (s == Step::toTrash && !std::exchange(done, true)) {
            ASSERT_TRUE(TestUtil::swapForLink(own, priv));
        }
    });
    r = FileOps::trash(FileOps::unlisted({second}));
    EXPECT_EQ(snapshot(priv), before);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(TestUtil::readFile(own + QStringLiteral(".away/files/w.txt")), "w");
    EXPECT_TRUE(exists(own + QStringLiteral(".away/info/w.txt.trashinfo")));
}

// Handed bare paths with nothing listed and no first look (a rule's move, a caller of its own), a folder
// already swapped for another account's link is reached through the user's own links only: refused.
TEST_F(SwappedFolder, ABarePathSwappedBeforeTheRunIsRefused) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    TestUtil::LanguageScope de(AppLanguage::de);
    file(QStringLiteral("private/a"), "private");
    const auto before = snapshot(priv);
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move, the source swapped" : "copy, the destination swapped");
        const QString base = move ? QStringLiteral("m") : QStringLiteral("c");
        const QString src = mkdir(base + QStringLiteral("/S")), dest = mkdir(base + QStringLiteral("/D"));
        file(base + QStringLiteral("/S/a"), "mine");
        const QString swapped = move ? src : dest;
        ASSERT_TRUE(TestUtil::swapForLink(swapped, priv));
        const TransferOutcome out = run({src + QStringLiteral("/a")}, dest, move);
        EXPECT_EQ(snapshot(priv), before);
        EXPECT_TRUE(refused(out, swapped)) << out.errors.join(u'\n').toStdString();
        EXPECT_EQ(out.done, 0);
    }
}

// As a user who is not root, whose own links lead on and another account's do not: items no pane listed
// (a drop from another program) go to the Trash only from a folder reached through the user's own links,
// so a shared folder swapped for another account's link to the user's private folder keeps that one's file.
TEST_F(SwappedFolder, AnUnlistedTrashFollowsOnlyTheUsersOwnLinksAsAnotherAccount) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to act as two accounts";
    TestUtil::LanguageScope de(AppLanguage::de);
    constexpr uid_t user = 4242;
    const auto owned = [](const QString &p, uid_t uid, mode_t mode) {
        ASSERT_EQ(::lchown(p.toUtf8().constData(), uid, uid), 0);
        if (mode) {
            ASSERT_EQ(::chmod(p.toUtf8().constData(), mode), 0);
        }
    };
    owned(tmp.path(), 0, 0755);
    owned(mkdir(QStringLiteral("group")), 0, 0777); // a project folder both accounts write to
    const QString shared = mkdir(QStringLiteral("group/F"));
    const QString mine = mkdir(QStringLiteral("mine"));
    for (const QString &p : {shared, mine, mkdir(QStringLiteral("data")), mkdir(QStringLiteral("state"))})
        owned(p, user, 0700);
    owned(file(QStringLiteral("group/F/a1"), "shared"), user, 0600);
    owned(file(QStringLiteral("mine/a1"), "private"), user, 0600);
    const auto before = snapshot(mine);
    ASSERT_TRUE(TestUtil::swapForLink(shared, mine));
    // The user's own link to where the folder went.
    const QString own = path(QStringLiteral("own"));
    ASSERT_EQ(::symlink((shared + QStringLiteral(".away")).toUtf8().constData(), own.toUtf8().constData()),
              0);
    owned(own, user, 0);

    const auto out = TestChild::outputOf([&] {
        qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toUtf8());
        qputenv("XDG_STATE_HOME", path(QStringLiteral("state")).toUtf8());
        if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(2);
        const auto swapped = FileOps::trash(FileOps::unlisted({shared + QStringLiteral("/a1")}));
        const auto through = FileOps::trash(FileOps::unlisted({own + QStringLiteral("/a1")}));
        return (QString::number(swapped.done) + u'\n' + swapped.errors.join(u'|') + u'\n' +
                QString::number(through.done) + u'\n' + through.errors.join(u'|'))
            .toUtf8();
    });
    ASSERT_TRUE(out);
    EXPECT_EQ(snapshot(mine), before);
    EXPECT_EQ(QString::fromUtf8(*out),
              QStringLiteral("0\n") + FileSteps::HeldFolder::refusalText(shared) + QStringLiteral("\n1\n"));
    EXPECT_FALSE(exists(shared + QStringLiteral(".away/a1")));
}

// Root trashes its file in a folder of another account's, a folder the system also shows elsewhere by a bind
// mount. Between the hold and the Trash's lookup that account swaps the held folder for a link into the bind
// mount: the Trash is still the one at the held folder's own top, nothing is made in that account's folder,
// and the record names where the item lay. One by one and grouped; reached through the bind mount, the
// item goes to that mount's top.
TEST_F(SwappedFolder, TheTrashOfAFolderSwappedBeforeTheLookupIsAtTheHeldFoldersTop) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a volume, a bind mount and a second account";
    TestUtil::TmpfsMount vol(QStringLiteral("4m"));
    ASSERT_TRUE(vol.valid());
    const QString u = vol.path() + QStringLiteral("/u"), proj = u + QStringLiteral("/proj");
    const QString bind = mkdir(QStringLiteral("bind"));
    ASSERT_TRUE(QDir().mkpath(proj));
    ASSERT_EQ(::chown(u.toUtf8().constData(), TestUtil::otherAccount, TestUtil::otherAccount), 0);
    ASSERT_EQ(::mount(u.toUtf8().constData(), bind.toUtf8().constData(), nullptr, MS_BIND, nullptr), 0);
    const auto unbind = qScopeGuard([&] {
        Trash::setBeforeLookupForTests({});
        ::umount2(bind.toUtf8().constData(), MNT_DETACH);
    });
    const QString trash = vol.path() + QStringLiteral("/.Trash-0");
    for (const bool grouped : {false, true}) {
        SCOPED_TRACE(grouped ? "grouped" : "one by one");
        const QString name = grouped ? QStringLiteral("y") : QStringLiteral("x");
        ASSERT_TRUE(TestUtil::writeFile(proj + u'/' + name, "mine"));
        const int dirFd = ::open(proj.toUtf8().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        Trash::setBeforeLookupForTests([&, done = false]() mutable {
            if (!std::exchange(done, true)) {
                ASSERT_TRUE(TestUtil::swapForLink(proj, bind + QStringLiteral("/proj.away")));
            }
        });
        const QString inTrash =
            grouped ? FileSteps::Journal::trashAllRecorded({{dirFd, name.toUtf8(), proj + u'/' + name}})
                          .value(0)
                          .inTrash
                    : FileOps::trash(FileOps::unlisted({proj + u'/' + name})).moved.value(0).inTrash;
        ::close(dirFd);
        EXPECT_FALSE(exists(u + QStringLiteral("/.Trash-0")));
        EXPECT_EQ(inTrash, trash + QStringLiteral("/files/") + name);
        EXPECT_EQ(TestUtil::readFile(trash + QStringLiteral("/files/") + name), "mine");
        EXPECT_TRUE(TestUtil::readFile(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"))
                        .contains("\nPath=u/proj.away/" + name.toUtf8() + '\n'));
        QDir(u + QStringLiteral("/.Trash-0")).removeRecursively();
        ASSERT_TRUE(QFile::remove(proj));
        ASSERT_TRUE(QDir().rename(proj + QStringLiteral(".away"), proj));
    }
    Trash::setBeforeLookupForTests({});
    ASSERT_TRUE(TestUtil::writeFile(proj + QStringLiteral("/z"), "z"));
    EXPECT_EQ(FileOps::trash(FileOps::unlisted({bind + QStringLiteral("/proj/z")})).moved.value(0).inTrash,
              bind + QStringLiteral("/.Trash-0/files/z"));
    EXPECT_TRUE(
        TestUtil::readFile(bind + QStringLiteral("/.Trash-0/info/z.trashinfo")).contains("\nPath=proj/z\n"));
}
