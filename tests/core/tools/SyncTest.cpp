#include "../fileops/Fixture.h"

#include "core/fileops/TrashMemory.h"
#include "core/tools/FolderSync.h"
#include "platform/TrashRoots.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

using namespace FileOpsTest;
using S = CompareRow::Status;
using A = SyncAction;

namespace {

class Sync : public Dir {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QString L(const QString &rel = {}) const { return rel.isEmpty() ? path("L") : path("L/" + rel); }
    QString R(const QString &rel = {}) const { return rel.isEmpty() ? path("R") : path("R/" + rel); }
    void SetUp() override {
        Dir::SetUp();
        mkdir("L");
        mkdir("R");
        QDir(TrashRoots::homeTrash()).removeRecursively();
    }
    void TearDown() override { FolderSync::setAfterCopyHook({}); }
    CompareResult scan() {
        return FolderCompare::scan(L(), R(), [] { return false; });
    }
    // The plan the sheet would hand over: every row with an action under the mode.
    QList<SyncStep> plan(SyncMode mode, bool deleteExtra) {
        QList<SyncStep> steps;
        for (const CompareRow &row : scan().rows) {
            const A a = FolderCompare::action(row, mode, deleteExtra);
            if (a != A::none) steps << SyncStep{row, a};
        }
        return steps;
    }
    SyncResult run(const QList<SyncStep> &steps) { return FolderSync::run(L(), R(), steps, progress); }
    // Nothing hidden of ours left behind.
    void noTemp(const QString &folder) {
        for (const QString &n : names(folder))
            EXPECT_FALSE(n.startsWith(".dravendel-")) << n.toStdString();
    }
    TransferProgress progress;
};

void age(const QString &path, qint64 sec) {
    const timespec ts[2] = {{sec, 0}, {sec, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW);
}

} // namespace

TEST_F(Sync, MirrorReplacesTrashesAndASecondCompareIsEmpty) {
    file("L/new.txt", "new");
    file("L/tree/a/b.txt", "deep");
    file("L/changed.txt", "newer content");
    file("R/changed.txt", "old");
    age(R("changed.txt"), 1'600'000'000);
    file("R/extra.txt", "extra");
    mkdir("L/clash");
    file("L/clash/in.txt", "in");
    file("R/clash", "a file");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 5);
    const FolderSync::Counts c = FolderSync::counts(steps);
    EXPECT_EQ(c.trash, 1);
    EXPECT_EQ(c.replace, 2);

    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 5);
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join("\n").toStdString();
    EXPECT_EQ(TestUtil::readFile(R("changed.txt")), "newer content");
    EXPECT_EQ(TestUtil::readFile(R("clash/in.txt")), "in");
    EXPECT_EQ(TestUtil::readFile(R("tree/a/b.txt")), "deep");
    EXPECT_FALSE(exists(R("extra.txt")));
    ASSERT_EQ(r.trashed.size(), 3);
    for (const FileOps::TrashedPair &p : r.trashed)
        EXPECT_EQ(TrashMemory::origin(p.inTrash), p.original);
    EXPECT_EQ(progress.snapshot().count, 5);
    noTemp(R());
    EXPECT_TRUE(scan().rows.isEmpty());
}

TEST_F(Sync, DestinationChangedSinceTheCompareFailsThatStep) {
    file("L/a.txt", "left");
    file("R/a.txt", "right");
    age(R("a.txt"), 1'600'000'000);
    file("L/b.txt", "b");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 2);
    file("R/a.txt", "someone wrote this");
    file("R/b.txt", "appeared");
    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 0);
    ASSERT_EQ(r.errors.size(), 2);
    EXPECT_TRUE(r.errors[0].contains("seit dem Vergleich geändert"));
    EXPECT_EQ(TestUtil::readFile(R("a.txt")), "someone wrote this");
    EXPECT_EQ(TestUtil::readFile(R("b.txt")), "appeared");
    EXPECT_TRUE(r.trashed.isEmpty());
}

TEST_F(Sync, FailedCopyLeavesTheDestinationAndNoTemporaryCopy) {
    if (!TestUtil::NoFileRights().active()) GTEST_SKIP();
    file("L/a.txt", "left");
    file("R/a.txt", "right");
    age(R("a.txt"), 1'600'000'000);
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ::chmod(QFile::encodeName(L("a.txt")).constData(), 0);
    SyncResult r;
    {
        TestUtil::NoFileRights drop;
        r = run(steps);
    }
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(TestUtil::readFile(R("a.txt")), "right");
    EXPECT_TRUE(r.trashed.isEmpty());
    noTemp(R());
}

TEST_F(Sync, CancelDuringACopyKeepsTheDestination) {
    file("L/1.txt", "one");
    file("L/2.txt", "two");
    file("L/3.txt", "three");
    file("R/2.txt", "old two");
    age(R("2.txt"), 1'600'000'000);
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 3);
    FolderSync::setAfterCopyHook([this](const QString &temp) {
        if (temp.startsWith(R())) {
            static int n = 0;
            if (++n == 2) progress.cancel();
        }
    });
    const SyncResult r = run(steps);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(TestUtil::readFile(R("2.txt")), "old two");
    EXPECT_FALSE(exists(R("3.txt")));
    noTemp(R());
}

TEST_F(Sync, VanishedTrashTargetFailsWithItsMessage) {
    file("R/gone.txt", "x");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 1);
    QFile::remove(R("gone.txt"));
    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors.size(), 1);
}
