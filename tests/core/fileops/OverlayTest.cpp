// On overlayfs as containers set it up, a folder of the lower layer answers EXDEV to a rename on the
// same drive. It still goes to that drive's Trash, aside for a Replace, or to its new name: by a verified
// copy, never under a hidden name, and never offered for deleting for good.
#include "Fixture.h"

#include "common/OverlayMount.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/StepHooks.h"

#include <QScopeGuard>

#include <csignal>
#include <sys/wait.h>

using namespace FileOpsTest;

namespace {

class Overlay : public Started {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QString at(const QString &rel) const { return ov.path() + u'/' + rel; }
    // Nothing of ours under a hidden name anywhere on the volume.
    void nothingHidden() const {
        QDirIterator it(ov.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString n = it.next().section(u'/', -1);
            EXPECT_FALSE(n.startsWith(".dravendel-") || n.startsWith(".kestrin-"))
                << it.filePath().toStdString();
        }
    }
    TestUtil::OverlayMount ov;
};

#define OVERLAY_WITH(lowerFiles)                                                                             \
    if (!ov.available()) GTEST_SKIP() << ov.skipReason().toStdString();                                      \
    for (const auto &[rel, data] : std::initializer_list<std::pair<const char *, const char *>> lowerFiles)  \
        ASSERT_TRUE(TestUtil::writeFile(ov.lower() + u'/' + QString::fromUtf8(rel), data));                  \
    ASSERT_TRUE(ov.mount())

} // namespace

TEST_F(Overlay, ALowerFolderGoesToTheDrivesTrash) {
    OVERLAY_WITH(({{"album/keep.txt", "keep"}, {"album/sub/deep.txt", "deep"}, {"old/sub/x", "x"}}));
    ASSERT_EQ(::rename(QFile::encodeName(at("album")), QFile::encodeName(at("other"))), -1);
    ASSERT_EQ(errno, EXDEV); // what the drive does: the case at hand
    const FileOps::TrashResult r = FileOps::trash(FileOps::unlisted({at("album")}));
    EXPECT_EQ(r.errors, QStringList{});
    EXPECT_EQ(r.noTrash, QStringList{});
    ASSERT_EQ(r.moved.size(), 1);
    EXPECT_EQ(r.moved[0].inTrash, at(".Trash-0/files/album"));
    EXPECT_FALSE(exists(at("album")));
    EXPECT_EQ(TestUtil::readFile(at(".Trash-0/files/album/sub/deep.txt")), "deep");
    EXPECT_TRUE(TestUtil::readFile(at(".Trash-0/info/album.trashinfo")).contains("Path=album\n"));
    nothingHidden();

    // Deleted for good, its folders are no mounts.
    const auto gone = FileOps::deletePermanently({at("old")});
    EXPECT_EQ(gone.errors, QStringList{});
    EXPECT_FALSE(exists(at("old")));
}

// Its carry into the Trash failing half way: while the copy is made, the folder stays whole under its
// name and nothing of it is in the Trash; once the copy has the entry's name, the entry keeps its info
// file, so that it can be put back, and a file changed meanwhile stays where it was.
TEST_F(Overlay, ALowerFolderWhoseCarryIntoTheTrashFailsHalfWayIsWholeOnOneSide) {
    OVERLAY_WITH(({{"album/a.txt", "a"}, {"album/b.txt", "b"}, {"album/sub/c.txt", "c"}}));
    const auto whole = snapshot(at("album"));
    const auto reset = qScopeGuard([] {
        FileSteps::setStepHook({});
        FileSteps::setDiskErrorForTests(0);
    });
    FileSteps::setStepHook([](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::fileCopied) FileSteps::setDiskErrorForTests(EIO);
    });
    FileOps::TrashResult r = FileOps::trash(FileOps::unlisted({at("album")}));
    FileSteps::setStepHook({});
    FileSteps::setDiskErrorForTests(0);
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.moved.isEmpty());
    EXPECT_EQ(snapshot(at("album")), whole);
    EXPECT_EQ(names(at(".Trash-0/files")), QStringList{});
    EXPECT_EQ(names(at(".Trash-0/info")), QStringList{});
    nothingHidden();

    // The copy in the Trash, the first file of the original removed, another one written.
    QString changed;
    FileSteps::setStepHook([&](FileSteps::Step s, const QString &removed) {
        if (s != FileSteps::Step::fileRemoved || !changed.isEmpty()) return;
        changed = removed.endsWith("/a.txt") ? "b.txt" : "a.txt";
        TestUtil::writeFile(at("album/" + changed), "changed meanwhile");
    });
    r = FileOps::trash(FileOps::unlisted({at("album")}));
    FileSteps::setStepHook({});
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(names(at("album")), QStringList{changed});
    EXPECT_EQ(TestUtil::readFile(at("album/" + changed)), "changed meanwhile");
    EXPECT_EQ(names(at(".Trash-0/files")), QStringList{"album"});
    EXPECT_FALSE(exists(at(".Trash-0/files/album/" + changed)));
    EXPECT_EQ(TestUtil::readFile(at(".Trash-0/files/album/sub/c.txt")), "c");
    EXPECT_TRUE(TestUtil::readFile(at(".Trash-0/info/album.trashinfo")).contains("Path=album\n"));
    nothingHidden();
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(exists(at(".Trash-0/info/album.trashinfo")));
}

TEST_F(Overlay, ALowerFolderIsReplacedAndMovedOnTheSameDrive) {
    OVERLAY_WITH(({{"proj/old.txt", "old"}, {"box/in.txt", "in"}, {"dest/.keep", ""}}));
    const QString proj = file("src/proj/new.txt", "new");
    TransferOutcome o =
        run({path("src/proj")}, ov.path(), false, {{path("src/proj"), ConflictChoice::replace}});
    EXPECT_EQ(o.errors, QStringList{});
    EXPECT_EQ(names(at("proj")), QStringList{"new.txt"});
    ASSERT_EQ(o.replaced.size(), 1);
    EXPECT_EQ(TestUtil::readFile(o.replaced[0].inTrash + "/old.txt"), "old");

    o = run({at("box")}, at("dest"), true);
    EXPECT_EQ(o.errors, QStringList{});
    EXPECT_FALSE(exists(at("box")));
    EXPECT_EQ(TestUtil::readFile(at("dest/box/in.txt")), "in");
    nothingHidden();
}

TEST_F(Overlay, ABatchRenameGivesALowerFolderItsNewNameByACopy) {
    OVERLAY_WITH(
        ({{"Trip/day1/a.jpg", "a"}, {"Trip/b.jpg", "b"}, {"photo1.JPG", "1"}, {"x", "x"}, {"y", "y"}}));
    const QList<TransferPair> pairs{{at("Trip"), at("trip")},
                                    {at("photo1.JPG"), at("photo1.jpg")},
                                    {at("x"), at("y")},
                                    {at("y"), at("x")}};
    // While the copy is made, no other item waits under a hidden name.
    QStringList besideTheCopy;
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases(
        pairs, nullptr, [&](const QString &from, const QString &to, const std::function<void()> &rename) {
            if (from == at("Trip") && to == at("trip")) besideTheCopy = names(ov.path());
            rename();
        });
    EXPECT_EQ(r.errors, QStringList{});
    EXPECT_EQ(r.done.size(), 4);
    EXPECT_EQ(besideTheCopy, QStringList({"Trip", "photo1.jpg", "x", "y"}));
    EXPECT_EQ(names(ov.path()), QStringList({"photo1.jpg", "trip", "x", "y"}));
    EXPECT_EQ(TestUtil::readFile(at("trip/day1/a.jpg")), "a");
    EXPECT_EQ(TestUtil::readFile(at("x")), "y");
    nothingHidden();

    // The same for one item, and back.
    FileOps::rename(at("trip"), at("Trip"));
    EXPECT_EQ(TestUtil::readFile(at("Trip/b.jpg")), "b");
    EXPECT_FALSE(exists(at("trip")));
}

TEST_F(Overlay, ABatchRenameWhoseNewNameIsTakenLeavesTheLowerFolderWholeAndNothingMade) {
    OVERLAY_WITH(({{"Trip/a.jpg", "a"}, {"trip", "someone else's"}}));
    int copied = 0;
    FileSteps::setStepHook(
        [&](FileSteps::Step s, const QString &) { copied += s == FileSteps::Step::fileCopied; });
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{at("Trip"), at("trip")}});
    FileSteps::setStepHook({});
    EXPECT_EQ(r.errors, QStringList{"„Trip“: Am Ziel gibt es schon ein Objekt mit diesem Namen."});
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(names(ov.path()), QStringList({"Trip", "trip"}));
    EXPECT_EQ(TestUtil::readFile(at("Trip/a.jpg")), "a");
    nothingHidden();
}

// Killed at any step of the copy that renames the folder, the next start leaves each item once and
// whole, under its old or its new name, and nothing under a hidden one. The folder left under its old
// name while the other item has its new one is named, once.
TEST_F(Overlay, ABatchRenameByACopyKilledAtAnyStepLeavesEveryItemOnceAndWhole) {
    if (!ov.available()) GTEST_SKIP() << ov.skipReason().toStdString();
    QMap<QString, QByteArray> tree;
    for (int step = 1;; ++step) {
        TestUtil::OverlayMount fresh;
        for (const char *rel : {"Trip/day1/a.jpg", "Trip/day1/b.jpg", "Trip/c.jpg", "photo1.JPG"})
            ASSERT_TRUE(TestUtil::writeFile(fresh.lower() + u'/' + rel, rel));
        ASSERT_TRUE(fresh.mount());
        const QString root = fresh.path();
        if (tree.isEmpty()) tree = snapshot(root + "/Trip");
        const pid_t child = TestChild::forkAlone();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int n = 0;
            FileSteps::setStepHook([&](FileSteps::Step, const QString &) {
                if (++n == step) ::raise(SIGKILL);
            });
            FileOps::renameInTwoPhases(
                {{root + "/Trip", root + "/trip"}, {root + "/photo1.JPG", root + "/photo1.jpg"}}, nullptr,
                [&](const QString &, const QString &, const auto &rename) {
                    if (++n == step) ::raise(SIGKILL);
                    rename();
                });
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        const bool killed = WIFSIGNALED(status);
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        const QStringList there = names(root);
        const bool apart = there.contains("Trip") && there.contains("photo1.jpg");
        EXPECT_EQ(left.oldNames, apart ? QStringList{root + "/Trip"} : QStringList{}) << step;
        EXPECT_TRUE(FileOps::recoverTransfers().isEmpty()) << step;
        EXPECT_EQ(there.filter(QRegularExpression("^(Trip|trip)$")).size(), 1)
            << step << there.join(' ').toStdString();
        EXPECT_EQ(there.filter(QRegularExpression("^photo1\\.(JPG|jpg)$")).size(), 1) << step;
        EXPECT_EQ(snapshot(root + (there.contains("trip") ? "/trip" : "/Trip")), tree) << step;
        EXPECT_EQ(there.filter(QRegularExpression("^\\.(dravendel|kestrin)-")), QStringList{}) << step;
        if (!killed || step > 200) break;
    }
}
