#include "../fileops/Fixture.h"
#include "common/FatFuse.h"
#include "common/OverlayMount.h"
#include "common/SwappedFolder.h"

#include "common/TestChild.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "platform/Posix.h"
#include "core/filesteps/TrashMemory.h"
#include "core/tools/FolderSync.h"
#include "platform/TrashRoots.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>

#include <climits>
#include <csignal>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cstring>

using namespace FileOpsTest;
using S = CompareRow::Status;
using A = SyncAction;
using FileSteps::Step;

namespace {

// The steps the sheet would hand over for left and right: every row with an action under the mode.
QList<SyncStep> planOf(const QString &left, const QString &right, SyncMode mode, bool deleteExtra) {
    QList<SyncStep> steps;
    for (const CompareRow &row : FolderCompare::scan(left, right, [] { return false; }).rows) {
        const A a = FolderCompare::action(row, mode, deleteExtra);
        if (a != A::none) steps << SyncStep{row, a};
    }
    return steps;
}

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
    QList<SyncStep> plan(SyncMode mode, bool deleteExtra) { return planOf(L(), R(), mode, deleteExtra); }
    SyncResult run(const QList<SyncStep> &steps) { return FolderSync::run(L(), R(), steps, progress); }
    // Nothing hidden of ours left behind.
    void noTemp(const QString &folder) {
        for (const QString &n : names(folder))
            EXPECT_FALSE(n.startsWith(".dravendel-") || n.startsWith(".kestrin-")) << n.toStdString();
    }
    TransferProgress progress;
};

QString rootGone(const QString &root) {
    return QString("„%1“ ist nicht mehr der Ordner des Vergleichs. Bitte erneut vergleichen.").arg(root);
}

void age(const QString &path, qint64 sec) {
    const timespec ts[2] = {{sec, 0}, {sec, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW);
}

// Mirrors args[0] onto args[1], with the exchange or without (args[2]), and dies at step args[3].
TEST_CHILD(syncKilledAtAStep) {
    const Step at = Step(args.value(3).toInt());
    FileSteps::setExchangeForTests(args.value(2) == u"1");
    FileSteps::setStepHook([at](Step s, const QString &) {
        if (s == at) ::raise(SIGKILL);
    });
    TransferProgress progress;
    FolderSync::run(args.value(0), args.value(1),
                    planOf(args.value(0), args.value(1), SyncMode::leftToRight, false), progress);
    return 0;
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
    // The compare's sizes of the files, the folders' contents measured: new, changed, tree, clash.
    EXPECT_EQ(progress.snapshot().total, 3 + 13 + 4 + 2);
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

// A folder swapped since the compare for another one that looks the same (name, size, time, what it
// lists) is not the folder the compare read: neither trashed as a surplus nor replaced.
TEST_F(Sync, AFolderSwappedForALookAlikeSinceTheCompareFailsThatStep) {
    file("R/surplus/in.txt", "compared");
    file("R/clash/in.txt", "compared");
    file("L/clash", "a file");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 2);
    for (const char *name : {"surplus", "clash"}) {
        const QString folder = R(name), was = R(QString(name) + ".was");
        const struct stat before = TestUtil::lstatOf(folder);
        ASSERT_EQ(::rename(QFile::encodeName(folder), QFile::encodeName(was)), 0);
        file(QString("R/%1/in.txt").arg(name), "swapped in");
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
        ASSERT_EQ(TestUtil::lstatOf(folder).st_size, before.st_size);
    }
    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors, (QStringList{"„clash“ wurde seit dem Vergleich geändert.",
                                     "„surplus“ wurde seit dem Vergleich geändert."}));
    for (const char *name : {"surplus", "clash"})
        EXPECT_EQ(TestUtil::readFile(R(QString(name) + "/in.txt")), "swapped in") << name;
    EXPECT_TRUE(r.trashed.isEmpty());
    noTemp(R());
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
    // One group, and a group for each step.
    const auto reset = qScopeGuard([] { FolderSync::setGroupStepsForTests(0); });
    for (const int group : {0, 1}) {
        FolderSync::setGroupStepsForTests(group);
        int copies = 0;
        TransferProgress each;
        FolderSync::setAfterCopyHook([&](const QString &temp) {
            if (temp.startsWith(R()) && ++copies == 2) each.cancel();
        });
        const SyncResult r = FolderSync::run(L(), R(), steps, each);
        EXPECT_TRUE(r.cancelled);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(TestUtil::readFile(R("2.txt")), "old two");
        EXPECT_FALSE(exists(R("3.txt")));
        noTemp(R());
        QFile::remove(R("1.txt"));
    }
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

TEST_F(Sync, DestinationWrittenDuringTheCopyIsKept) {
    file("L/a.txt", "left");
    file("R/a.txt", "right");
    age(R("a.txt"), 1'600'000'000);
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 1);
    FolderSync::setAfterCopyHook([this](const QString &) { file("R/a.txt", "written meanwhile"); });
    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 0);
    ASSERT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(r.errors[0].contains("seit dem Vergleich geändert"));
    EXPECT_EQ(TestUtil::readFile(R("a.txt")), "written meanwhile");
    EXPECT_TRUE(r.trashed.isEmpty());
    EXPECT_TRUE(names(TrashRoots::homeTrash() + "/files").isEmpty());
    noTemp(R());
}

// Names of one file stay names of one copy only while they are that: a file written between its two names,
// and (as root) another volume's file that shows the same inode number, get copies of their own.
TEST_F(Sync, NamesOfOneFileStayNamesOfOneCopyOnlyWhileTheyAre) {
    file("L/new/a", "before");
    ASSERT_EQ(::link(QFile::encodeName(L("new/a")).constData(), QFile::encodeName(L("new/b")).constData()),
              0);
    bool written = false;
    const auto reset = qScopeGuard([] { FileSteps::setStepHook({}); });
    FileSteps::setStepHook([&](Step s, const QString &) {
        if (s == Step::fileCopied && !std::exchange(written, true))
            TestUtil::writeFile(L("new/a"), "written between");
    });
    EXPECT_EQ(run(plan(SyncMode::leftToRight, false)).done, 1);
    FileSteps::setStepHook({});
    QStringList copies{TestUtil::readFile(R("new/a")), TestUtil::readFile(R("new/b"))};
    copies.sort();
    EXPECT_EQ(copies, (QStringList{"before", "written between"}));

    // In a folder both sides have, each new name is a step of its own: names of one file still end as one
    // copy.
    ASSERT_TRUE(QDir().mkpath(R("both")));
    file("L/both/x", "linked");
    ASSERT_EQ(::link(QFile::encodeName(L("both/x")).constData(), QFile::encodeName(L("both/y")).constData()),
              0);
    EXPECT_TRUE(run(plan(SyncMode::leftToRight, false)).errors.isEmpty());
    EXPECT_EQ(TestUtil::readFile(R("both/y")), "linked");
    EXPECT_EQ(TestUtil::lstatOf(R("both/x")).st_ino, TestUtil::lstatOf(R("both/y")).st_ino);
    ASSERT_TRUE(QDir(L("both")).removeRecursively() && QDir(R("both")).removeRecursively());

    if (!TestUtil::isRoot()) return;
    KESTRIN_FAT_OR_SKIP(stick);
    ASSERT_TRUE(QDir(R()).removeRecursively() && QDir().mkdir(R()));
    ASSERT_TRUE(QDir().mkpath(stick.backing() + "/m") && QDir().mkpath(L("new/m")));
    if (::link(QFile::encodeName(L("new/a")).constData(),
               QFile::encodeName(stick.backing() + "/m/c").constData()))
        GTEST_SKIP() << "the stick's backing is on another volume";
    ASSERT_EQ(QProcess::execute("mount", {"--bind", stick.path() + "/m", L("new/m")}), 0);
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", L("new/m")}); });
    ASSERT_EQ(TestUtil::lstatOf(L("new/m/c")).st_ino, TestUtil::lstatOf(L("new/a")).st_ino);
    age(L("new/a"), 1'600'000'000); // a time the stick keeps as it is
    EXPECT_EQ(run(plan(SyncMode::leftToRight, false)).done, 1);
    EXPECT_EQ(TestUtil::lstatOf(R("new/a")).st_ino, TestUtil::lstatOf(R("new/b")).st_ino);
    EXPECT_NE(TestUtil::lstatOf(R("new/m/c")).st_ino, TestUtil::lstatOf(R("new/a")).st_ino);
}

TEST_F(Sync, SpecialFilesAreNotCopiedAndSaySo) {
    // One at the top is a row of the compare that no step copies; one in a new folder is passed over by
    // its copy. What the run and the compare tell says it once.
    ASSERT_EQ(::mkfifo(QFile::encodeName(L("pipe")).constData(), 0600), 0);
    file("L/with/a.txt", "a");
    ASSERT_EQ(::mkfifo(QFile::encodeName(L("with/pipe")).constData(), 0600), 0);
    const CompareResult compared = scan();
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 1);
    const SyncResult r = run(steps);
    EXPECT_EQ(r.done, 1);
    EXPECT_EQ(r.errors, QStringList{});
    const QString told =
        (r.errors +
         QStringList{r.passedOver, FolderCompare::leftOutText(FolderCompare::leftOut(compared.rows))})
            .join(u' ');
    EXPECT_EQ(told.count("lassen sich nicht kopieren"), 1) << told.toStdString();
    EXPECT_TRUE(told.contains("Ausgelassen: 1 Zeile, die sich nicht synchronisieren lässt: „pipe“."))
        << told.toStdString();
    EXPECT_EQ(names(R()), QStringList{"with"});
    EXPECT_EQ(names(R("with")), QStringList{"a.txt"});
    // Inside a new folder they stay behind, said with how many and which: a lone one, then a pipe, a socket
    // and (as root) a device beside a file.
    QFile::remove(L("pipe"));
    ASSERT_TRUE(QDir(L("with")).removeRecursively() && QDir(R("with")).removeRecursively());
    const auto special = [&](const QString &rel, mode_t type) {
        if (type == S_IFSOCK) {
            sockaddr_un at{AF_UNIX, {}};
            std::strncpy(at.sun_path, QFile::encodeName(L(rel)).constData(), sizeof at.sun_path - 1);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const bool made = ::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0;
            ::close(fd);
            return made;
        }
        return ::mknod(QFile::encodeName(L(rel)).constData(), type | 0600, makedev(1, 3)) == 0;
    };
    mkdir("L/lone");
    file("L/new/a.txt", "a");
    ASSERT_TRUE(special("lone/pipe", S_IFIFO) && special("new/pipe", S_IFIFO) &&
                special("new/sock", S_IFSOCK));
    const QStringList inNew =
        QStringList{"pipe", "sock"} + (special("new/dev", S_IFCHR) ? QStringList{"dev"} : QStringList{});
    const QList<SyncStep> folders = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(folders.size(), 2);
    const SyncResult lone = run({folders[0]});
    EXPECT_EQ(lone.done, 1);
    EXPECT_EQ(lone.passedOver, "Pipes, Sockets und Geräte lassen sich nicht kopieren. 1 solches Objekt wurde "
                               "übergangen: „pipe“.");
    const SyncResult three = run({folders[1]});
    EXPECT_EQ(three.done, 1);
    EXPECT_TRUE(three.errors.isEmpty());
    EXPECT_TRUE(
        three.passedOver.startsWith(QString("Pipes, Sockets und Geräte lassen sich nicht kopieren. %1 solche "
                                            "Objekte wurden übergangen: ")
                                        .arg(inNew.size())));
    for (const QString &n : inNew)
        EXPECT_TRUE(three.passedOver.contains("„" + n + "“")) << n.toStdString();
    EXPECT_EQ(names(R("new")), QStringList{"a.txt"});
}

TEST_F(Sync, ARootThatIsNoLongerTheComparedFolderIsRefused) {
    file("L/a.txt", "left");
    const CompareResult compared = scan();
    ASSERT_TRUE(compared.leftId && compared.rightId);
    QList<SyncStep> steps;
    for (const CompareRow &row : compared.rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
    ASSERT_EQ(steps.size(), 1);
    // Another folder under the same path (a volume that went leaves its mount point folder).
    ASSERT_TRUE(QDir().rename(R(), path("R.before")));
    mkdir("R");
    const SyncResult r = FolderSync::run(L(), R(), steps, progress, {compared.leftId, compared.rightId});
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors, QStringList{QString("„%1“ ist nicht mehr der Ordner des Vergleichs. Bitte erneut "
                                            "vergleichen.")
                                        .arg(R())});
    EXPECT_TRUE(names(R()).isEmpty());

    // Swapped once the first of three groups is copied and flushed: it is not finished, and no later group
    // acts; the run is told once.
    ASSERT_TRUE(QDir(R()).removeRecursively() && QDir(path("R.before")).removeRecursively());
    mkdir("R");
    file("L/b.txt", "b");
    file("L/c.txt", "c");
    const CompareResult three = scan();
    steps.clear();
    for (const CompareRow &row : three.rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
    const auto reset = qScopeGuard([] {
        FileSteps::setStepHook({});
        FolderSync::setGroupStepsForTests(0);
    });
    FolderSync::setGroupStepsForTests(1);
    FileSteps::setStepHook([&](Step s, const QString &) {
        if (s == Step::flushed && !exists(path("R.before"))) {
            ASSERT_TRUE(QDir().rename(R(), path("R.before")) && QDir().mkdir(R()));
        }
    });
    const SyncResult gone = FolderSync::run(L(), R(), steps, progress, {three.leftId, three.rightId});
    EXPECT_EQ(gone.done, 0);
    EXPECT_EQ(gone.errors, QStringList{rootGone(R())});
    EXPECT_TRUE(names(R()).isEmpty());
    EXPECT_TRUE(names(path("R.before")).isEmpty());
}

// A sync killed in a copy, or between putting a replacement in place and trashing the old item: the next
// start leaves no hidden copy and one whole item under the name.
TEST_F(Sync, KilledAtAnyStepTheNextStartLeavesOneWholeItem) {
    const QByteArray big = pattern(8 << 20);
    const QString a = R("a.bin");
    for (const bool exchange : {true, false}) {
        for (const Step at : {Step::chunkCopied, Step::oldItemOut}) {
            SCOPED_TRACE(QString("exchange %1, step %2").arg(exchange).arg(int(at)).toStdString());
            file("L/a.bin", big);
            file("R/a.bin", "old");
            age(a, 1'600'000'000);
            ASSERT_EQ(plan(SyncMode::leftToRight, false).size(), 1);
            const int status = TestChild::run("syncKilledAtAStep",
                                              {L(), R(), exchange ? "1" : "0", QString::number(int(at))});
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_EQ(names(R()), QStringList{"a.bin"});
            const QByteArray now = TestUtil::readFile(a);
            EXPECT_TRUE(now == (at == Step::chunkCopied ? QByteArray("old") : big)) << now.size();
            QDir(TrashRoots::homeTrash()).removeRecursively();
        }
    }
    // A new file onto a drive that keeps neither markers nor birth times, and takes the old time as its
    // change time (FAT): its part, killed once copied, is known by its identity on record.
    KESTRIN_FAT_OR_SKIP(stick);
    ASSERT_TRUE(QDir(L()).removeRecursively());
    file("L/n.txt", "new on the stick");
    age(L("n.txt"), 1'600'000'000);
    const int status =
        TestChild::run("syncKilledAtAStep", {L(), stick.path(), "0", QString::number(int(Step::fileCopied))});
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(stick.path()).isEmpty()) << names(stick.path()).join(' ').toStdString();
}

// A replacement is on stable storage before the item it replaces leaves its name, on file systems
// with and without the exchange.
TEST_F(Sync, AReplacementIsFlushedBeforeTheOldItemLeavesItsName) {
    const auto reset = qScopeGuard([] {
        FileSteps::setStepHook({});
        FileSteps::setExchangeForTests(true);
    });
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchange" : "no exchange");
        file("L/a.txt", "new");
        file("R/a.txt", "old");
        age(R("a.txt"), 1'600'000'000);
        QList<QPair<Step, QString>> seen;
        FileSteps::setExchangeForTests(exchange);
        FileSteps::setStepHook([&](Step s, const QString &p) {
            if (s == Step::flushed || s == Step::oldItemOut) seen.append({s, p});
        });
        const SyncResult r = run(plan(SyncMode::leftToRight, false));
        FileSteps::setStepHook({});
        EXPECT_EQ(r.done, 1);
        ASSERT_EQ(seen.size(), 2);
        EXPECT_EQ(seen[0].first, Step::flushed);
        EXPECT_EQ(Posix::parentOf(seen[0].second), R());
        EXPECT_EQ(seen[1], qMakePair(Step::oldItemOut, R("a.txt")));
        EXPECT_EQ(TestUtil::readFile(R("a.txt")), "new");
        QDir(TrashRoots::homeTrash()).removeRecursively();
    }
    // Replacements and removals in several folders: one flush of the volume for all the copies before the
    // first old item leaves, and the journal flushed once for each kind of record, not for each item.
    for (const QString folder : {"m/", "n/"})
        for (int i = 0; i < 5; ++i) {
            file("L/" + folder + QString::number(i), "new");
            file("R/" + folder + QString::number(i), "old");
            age(R(folder + QString::number(i)), 1'600'000'000);
            file("R/" + folder + "surplus" + QString::number(i), "surplus");
        }
    FileSteps::setExchangeForTests(true);
    int volumeFlushes = 0, journalFlushes = 0, outBeforeFlush = 0;
    FileSteps::setStepHook([&](Step s, const QString &) {
        volumeFlushes += s == Step::flushed;
        outBeforeFlush += s == Step::oldItemOut && volumeFlushes == 0;
    });
    FileSteps::Journal::setFlushedHookForTests([&](qint64) { ++journalFlushes; });
    const SyncResult many = run(plan(SyncMode::leftToRight, true));
    FileSteps::setStepHook({});
    FileSteps::Journal::setFlushedHookForTests({});
    EXPECT_EQ(many.done, 20);
    EXPECT_EQ(volumeFlushes, 1);
    EXPECT_EQ(outBeforeFlush, 0);
    // The roots, the parts' folders, the replacements, the Trash entries.
    EXPECT_EQ(journalFlushes, 4);
    EXPECT_EQ(names(TrashRoots::homeTrash() + "/files").size(), 20);
    QDir(TrashRoots::homeTrash()).removeRecursively();
    // In groups of three, each flushed and finished while the next is copied: every old item leaves only
    // after a flush that came after its own copy.
    for (const QString folder : {"m/", "n/"})
        for (int i = 0; i < 5; ++i) {
            file("L/" + folder + QString::number(i), "newer");
            age(R(folder + QString::number(i)), 1'600'000'000);
        }
    FolderSync::setGroupStepsForTests(3);
    std::mutex lock;
    int flushes = 0;
    QMap<QString, int> copiedAfter; // each item's copy: the flushes done when it was complete
    QStringList early;
    FileSteps::setStepHook([&](Step s, const QString &p) {
        std::lock_guard guard(lock);
        flushes += s == Step::flushed;
        if (s == Step::fileCopied) copiedAfter[p.mid(L().size())] = flushes;
        if (s == Step::oldItemOut && flushes <= copiedAfter.value(p.mid(R().size()), INT_MAX)) early << p;
    });
    const SyncResult grouped = run(plan(SyncMode::leftToRight, true));
    FileSteps::setStepHook({});
    FolderSync::setGroupStepsForTests(0);
    EXPECT_EQ(grouped.done, 10);
    EXPECT_GE(flushes, 4);
    EXPECT_TRUE(early.isEmpty()) << early.join(", ").toStdString();
    EXPECT_EQ(TestUtil::readFile(R("n/4")), "newer");
    QDir(TrashRoots::homeTrash()).removeRecursively();
    for (const QString &side : {L(), R()})
        for (const QString folder : {"/m", "/n"})
            QDir(side + folder).removeRecursively();

    // The flush of the copy fails (the disk heals at once, should the run go on): the old item stays.
    file("L/a.txt", "newer");
    FileSteps::setStepHook([](Step s, const QString &) {
        if (s == Step::fileCopied) FileSteps::setDiskErrorForTests(EIO, false);
        if (s == Step::flushed) FileSteps::setDiskErrorForTests(0);
    });
    const SyncResult r = run(QList<SyncStep>{plan(SyncMode::leftToRight, false).first()});
    FileSteps::setStepHook({});
    FileSteps::setDiskErrorForTests(0);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(TestUtil::readFile(R("a.txt")), "new");
    EXPECT_EQ(names(R()), QStringList{"a.txt"});
}

// A run is done once what it wrote is on the drives: one flush of each side it wrote, said when it fails.
TEST_F(Sync, ARunEndsWithOneFlushOfEachVolumeItWrote) {
    file("L/a.txt", "a");
    file("L/b.txt", "b");
    file("R/c.txt", "c");
    const auto reset = qScopeGuard([] {
        FileSteps::setStepHook({});
        FileSteps::setFolderSyncErrorForTests({}, 0);
    });
    QStringList flushed;
    FileSteps::setStepHook([&](Step s, const QString &p) {
        if (s == Step::volumeFlush) flushed << p;
    });
    FileSteps::setFolderSyncErrorForTests(R(), EIO);
    const SyncResult r = run(plan(SyncMode::leftToRight, false));
    EXPECT_EQ(r.done, 2);
    EXPECT_EQ(flushed, QStringList{R()});
    EXPECT_EQ(r.errors,
              QStringList{QString("Was nach „%1“ übertragen wurde, ist nicht sicher auf dem Laufwerk "
                                  "gespeichert (%2). Es kann dort unvollständig sein.")
                              .arg(R(), Posix::errorText(EIO))});
}

// A session's soft limit of 1,024 open files does not cut a run into groups of a few dozen files, each
// with a flush of the volume; programs started afterwards get that limit again.
TEST_F(Sync, ALowSoftLimitOfOpenFilesDoesNotCutTheRunSmall) {
    struct rlimit was {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &was), 0);
    if (was.rlim_max < 13000) GTEST_SKIP() << "the hard limit of open files is below 13,000";
    struct rlimit session = was;
    session.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &session), 0);
    const auto reset = qScopeGuard([&] {
        FileSteps::setStepHook({});
        ::setrlimit(RLIMIT_NOFILE, &was);
    });
    for (int i = 0; i < 300; ++i)
        file("L/many/" + QString::number(i), "x");
    QDir().mkpath(R("many"));
    int flushes = 0;
    FileSteps::setStepHook([&](Step s, const QString &) { flushes += s == Step::flushed; });
    const SyncResult r = run(plan(SyncMode::leftToRight, false));
    EXPECT_EQ(r.done, 300);
    EXPECT_EQ(flushes, 1);
    struct rlimit after {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, rlim_t(1024));
}

// --- a second volume (root only)

// Written on two volumes: each is flushed once, and a failure of either is said.
TEST_F(Sync, ARunOnTwoVolumesFlushesBoth) {
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    const QString right = vol.path();
    const auto reset = qScopeGuard([] {
        FileSteps::setStepHook({});
        FileSteps::setFolderSyncErrorForTests({}, 0);
    });
    QStringList flushed;
    FileSteps::setStepHook([&](Step s, const QString &p) {
        if (s == Step::volumeFlush) flushed << p;
    });
    for (const QString &failing : {L(), right}) {
        SCOPED_TRACE(failing.toStdString());
        file("L/l" + Posix::lastComponent(failing), "l");
        ASSERT_TRUE(TestUtil::writeFile(right + "/r" + Posix::lastComponent(failing), "r"));
        flushed.clear();
        FileSteps::setFolderSyncErrorForTests(failing, EIO);
        const SyncResult r = FolderSync::run(L(), right, planOf(L(), right, SyncMode::both, false), progress);
        EXPECT_EQ(r.done, 2);
        QStringList both{L(), right};
        both.sort();
        flushed.sort();
        EXPECT_EQ(flushed, both);
        EXPECT_EQ(r.errors, QStringList{FileSteps::notSavedText(failing, EIO)});
    }
}

TEST_F(Sync, AVolumeWithoutTrashKeepsBothItems) {
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    // Its Trash folder can't be made: the name is a file.
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + QString("/.Trash-%1").arg(::getuid()), "not a folder"));
    const QString right = vol.path() + "/R";
    ASSERT_TRUE(TestUtil::writeFile(right + "/a.txt", "right"));
    age(right + "/a.txt", 1'600'000'000);
    file("L/a.txt", "left");
    QList<SyncStep> steps;
    for (const CompareRow &row : FolderCompare::scan(L(), right, [] { return false; }).rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
    ASSERT_EQ(steps.size(), 1);
    const SyncResult r = FolderSync::run(L(), right, steps, progress);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors,
              QStringList{"„a.txt“ liegt auf einem Laufwerk ohne Papierkorb und bleibt unverändert."});
    EXPECT_EQ(TestUtil::readFile(right + "/a.txt"), "right");
    EXPECT_EQ(TestUtil::readFile(L("a.txt")), "left");
    noTemp(right);
}

// A folder whose size moves on its own (ntfs-3g) is still the folder the compare saw; a file that
// changed is not.
TEST_F(Sync, AFolderWhoseSizeMovesOnItsOwnIsUnchanged) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, false, true);
    const QString right = stick.path() + "/R";
    ASSERT_TRUE(TestUtil::writeFile(right + "/oldfolder/in.txt", "extra"));
    ASSERT_TRUE(TestUtil::writeFile(right + "/extra.txt", "extra"));
    QList<SyncStep> steps;
    for (const CompareRow &row : FolderCompare::scan(L(), right, [] { return false; }).rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, true)};
    ASSERT_EQ(steps.size(), 2);
    ASSERT_TRUE(TestUtil::writeFile(right + "/extra.txt", "written since"));
    const SyncResult r = FolderSync::run(L(), right, steps, progress);
    EXPECT_EQ(r.errors, QStringList{"„extra.txt“ wurde seit dem Vergleich geändert."});
    EXPECT_EQ(r.done, 1);
    EXPECT_FALSE(exists(right + "/oldfolder"));
    EXPECT_EQ(TestUtil::readFile(right + "/extra.txt"), "written since");
}

// overlayfs answers EXDEV when a folder of its lower layer is renamed: it still goes to that drive's
// Trash, as an extra folder and as one a file replaces.
TEST_F(Sync, ALowerLayerFolderOfAnOverlayGoesToItsTrash) {
    KESTRIN_OVERLAY_OR_SKIP(ov);
    ASSERT_TRUE(TestUtil::writeFile(ov.lower() + "/oldfolder/in.txt", "extra"));
    ASSERT_TRUE(TestUtil::writeFile(ov.lower() + "/clash/in.txt", "a folder"));
    ASSERT_TRUE(ov.mount());
    file("L/clash", "a file");
    QList<SyncStep> steps;
    for (const CompareRow &row : FolderCompare::scan(L(), ov.path(), [] { return false; }).rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, true)};
    ASSERT_EQ(steps.size(), 2);
    const SyncResult r = FolderSync::run(L(), ov.path(), steps, progress);
    EXPECT_EQ(r.errors, QStringList{});
    EXPECT_EQ(r.done, 2);
    EXPECT_EQ(TestUtil::readFile(ov.path() + "/clash"), "a file");
    EXPECT_EQ(names(ov.path()), QStringList({".Trash-0", "clash"}));
    ASSERT_EQ(r.trashed.size(), 2);
    for (const FileOps::TrashedPair &p : r.trashed)
        EXPECT_TRUE(exists(p.inTrash + "/in.txt")) << p.inTrash.toStdString();
}

// A volume unmounted during a run leaves its mount point folder: nothing is written there, the run stops.
TEST_F(Sync, AVolumeUnmountedDuringTheRunIsNotWrittenBeneath) {
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    const QString right = vol.path();
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        file(QString("L/") + name, name);
    const CompareResult compared = FolderCompare::scan(L(), right, [] { return false; });
    ASSERT_TRUE(compared.leftId && compared.rightId);
    QList<SyncStep> steps;
    for (const CompareRow &row : compared.rows)
        steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
    ASSERT_EQ(steps.size(), 3);
    int copies = 0;
    FolderSync::setAfterCopyHook([&](const QString &) {
        if (++copies == 1) QProcess::execute("umount", {"-l", right});
    });
    const SyncResult r = FolderSync::run(L(), right, steps, progress, {compared.leftId, compared.rightId});
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors, QStringList{QString("„%1“ ist nicht mehr der Ordner des Vergleichs. Bitte erneut "
                                            "vergleichen.")
                                        .arg(right)});
    EXPECT_TRUE(names(right).isEmpty()) << names(right).join(' ').toStdString();
}

// A volume with look-alike files mounted over a source folder during the run: nothing of it is copied,
// nor what the folder held beneath it, and the run says so for that folder's steps; the others are taken.
TEST_F(Sync, AVolumeMountedOverASourceFolderDuringTheRunIsNotCopiedAndSaid) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a mount";
    QStringList inSub;
    for (int i = 0; i < 3; ++i) {
        inSub << QString("f%1.txt").arg(i);
        file("L/sub/" + inSub.last(), "compared");
    }
    mkdir("R/sub");
    file("L/top.txt", "top");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 4);
    std::once_flag mounted;
    bool mountFailed = false;
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", L("sub")}); });
    FolderSync::setAfterCopyHook([&](const QString &) {
        std::call_once(mounted, [&] {
            mountFailed =
                QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "kestrin", L("sub")}) != 0;
            for (const QString &n : inSub)
                TestUtil::writeFile(L("sub/" + n), "mounted!");
        });
    });
    const SyncResult r = run(steps);
    ASSERT_FALSE(mountFailed);
    EXPECT_EQ(r.done, 1);
    ASSERT_EQ(r.errors.size(), 3) << r.errors.join('\n').toStdString();
    for (const QString &e : r.errors)
        EXPECT_TRUE(e.endsWith(FileSteps::HeldFolder::refusalText(L("sub")))) << e.toStdString();
    EXPECT_EQ(TestUtil::readFile(R("top.txt")), "top");
    EXPECT_TRUE(names(R("sub")).isEmpty()) << names(R("sub")).join(' ').toStdString();
}

TEST_F(Sync, AMirrorLeavesAMountInsideATrashedFolder) {
    mkdir("R/dir/mnt2");
    file("R/dir/other.txt", "other");
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    ASSERT_EQ(QProcess::execute("mount", {"--bind", vol.path(), R("dir/mnt2")}), 0);
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", R("dir/mnt2")}); });
    ASSERT_TRUE(TestUtil::writeFile(R("dir/mnt2/data.txt"), "on the volume"));
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 1);
    const SyncResult r = run(steps);
    EXPECT_EQ(r.errors, QStringList{"„dir“ enthält den eingehängten Ordner „dir/mnt2“. Er bleibt mit seinem "
                                    "Inhalt am alten Ort, alles andere liegt im Papierkorb."});
    EXPECT_EQ(TestUtil::readFile(R("dir/mnt2/data.txt")), "on the volume");
    EXPECT_FALSE(exists(R("dir/other.txt")));
    ASSERT_EQ(r.trashed.size(), 1);
    EXPECT_EQ(TestUtil::readFile(r.trashed[0].inTrash), "other");
}

TEST_F(Sync, ABindMountOfTheSourcesOwnFolderIsNoDestination) {
    file("L/sub/a.txt", "a");
    file("L/b.txt", "b");
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a bind mount";
    ASSERT_EQ(QProcess::execute("mount", {"--bind", L("sub"), R()}), 0);
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", R()}); });
    const CompareResult compared = scan();
    EXPECT_EQ(compared.error, "Ein Ordner liegt im anderen.");
    EXPECT_TRUE(compared.rows.isEmpty());
    EXPECT_TRUE(FolderCompare::nested(L(), R()));
    EXPECT_TRUE(FolderCompare::nested(R(), L()));
}

// The old item's way to the Trash does not reach the disk (its folder's flush or the Trash's fails): the
// run says so, and the record stays, so that a power cut that loses that way leaves the old item to the
// next start, which trashes it.
TEST_F(Sync, AReplacedItemsRecordStaysUntilItsWayToTheTrashIsOnTheDisk) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    const QString trash = TrashRoots::homeTrash();
    for (const QString &failing : {R(), trash + "/files"}) {
        SCOPED_TRACE(failing.toStdString());
        QDir(trash).removeRecursively();
        file("L/r19.dat", "new");
        file("R/r19.dat", "old");
        age(R("r19.dat"), 1'600'000'000);
        const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
        ASSERT_EQ(steps.size(), 1);
        const QString said = path("said"), partAt = path("part");
        const QString journal = journalLeftBy([&] {
            FileSteps::setFolderSyncErrorForTests(failing, EIO);
            FolderSync::setAfterCopyHook(
                [&](const QString &part) { TestUtil::writeFile(partAt, part.toUtf8()); });
            TestUtil::writeFile(said, run(steps).errors.join('\n').toUtf8());
        });
        EXPECT_EQ(
            QString::fromUtf8(TestUtil::readFile(said)),
            QString("Die Änderungen in „%1“ sind nicht sicher auf dem Laufwerk gespeichert (%2). Kestrin "
                    "prüft sie beim nächsten Start.")
                    .arg(failing, Posix::errorText(EIO)) +
                // The run's last flush of the destination's volume fails too.
                (failing == R()
                     ? QString("\nWas nach „%1“ übertragen wurde, ist nicht sicher auf dem Laufwerk "
                               "gespeichert (%2). Es kann dort unvollständig sein.")
                           .arg(R(), Posix::errorText(EIO))
                     : QString()));
        ASSERT_FALSE(journal.isEmpty());
        EXPECT_EQ(TestUtil::readFile(R("r19.dat")), "new");
        // The power cut: the old item is back under the part's name, its info file gone.
        const QStringList trashed = names(trash + "/files");
        ASSERT_EQ(trashed.size(), 1);
        const QString part = QString::fromUtf8(TestUtil::readFile(partAt));
        ASSERT_TRUE(QFile::rename(trash + "/files/" + trashed[0], part));
        ASSERT_TRUE(QFile::remove(trash + "/info/" + trashed[0] + ".trashinfo"));
        EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
        EXPECT_EQ(names(R()), QStringList{"r19.dat"});
        EXPECT_EQ(TestUtil::readFile(R("r19.dat")), "new");
        const QStringList now = names(trash + "/files");
        ASSERT_EQ(now.size(), 1);
        EXPECT_EQ(TestUtil::readFile(trash + "/files/" + now[0]), "old");
        EXPECT_FALSE(exists(journal));
    }
}

// Something takes the name while the old item is in the Trash and cannot come back: the new version
// waits under its hidden name. Its record outlives a normal quit, and the next start gives it the name
// once that is free.
TEST_F(Sync, AReplacementLeftHiddenByAFailureKeepsItsRecordPastANormalQuit) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    file("L/a.dat", "new");
    file("R/a.dat", "old");
    age(R("a.dat"), 1'600'000'000);
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 1);
    const QString said = path("said");
    const QString journal = journalLeftBy([&] {
        FileSteps::setExchangeForTests(false);
        FileSteps::setStepHook([&](Step s, const QString &) {
            if (s == Step::oldItemOut) TestUtil::writeFile(R("a.dat"), "someone else's");
        });
        TestUtil::writeFile(said, run(steps).errors.join('\n').toUtf8());
    });
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_FALSE(TestUtil::readFile(said).isEmpty());
    EXPECT_EQ(names(R()).size(), 2);
    ASSERT_TRUE(QFile::remove(R("a.dat")));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(R()), QStringList{"a.dat"});
    EXPECT_EQ(TestUtil::readFile(R("a.dat")), "new");
    const QStringList trashed = names(TrashRoots::homeTrash() + "/files");
    ASSERT_EQ(trashed.size(), 1);
    EXPECT_EQ(TestUtil::readFile(TrashRoots::homeTrash() + "/files/" + trashed[0]), "old");
    EXPECT_FALSE(exists(journal));
}

// A copy given up whose removal may not be on the disk keeps its record past a normal quit too.
TEST_F(Sync, ADroppedCopyKeepsItsRecordUntilItsRemovalIsOnTheDisk) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    file("L/c.dat", "new");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 1);
    const QString journal = journalLeftBy([&] {
        FileSteps::setFolderSyncErrorForTests(R(), EIO);
        FolderSync::setAfterCopyHook([&](const QString &) { progress.cancel(); });
        if (!run(steps).cancelled) ::_exit(3);
    });
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_TRUE(names(R()).isEmpty());
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(R()).isEmpty());
    EXPECT_FALSE(exists(journal));
}

// An item trashed by the run whose way to the Trash is not flushed: the run says so.
TEST_F(Sync, ATrashedItemsWayToTheTrashIsFlushedOrSaid) {
    file("R/surplus.txt", "surplus");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 1);
    const QString files = TrashRoots::homeTrash() + "/files";
    QDir().mkpath(files);
    FileSteps::setFolderSyncErrorForTests(files, EIO);
    const SyncResult r = run(steps);
    FileSteps::setFolderSyncErrorForTests({}, 0);
    EXPECT_EQ(r.errors, QStringList{FileSteps::Journal::notFlushedText(files, EIO)});
}

// The disk fails once the old item has left its name: its info file cannot be flushed, so it never goes
// into the Trash, where a power cut could leave it with an empty info file. It takes its name back, and
// the run says why.
TEST_F(Sync, NothingGoesToTheTrashWhileItsInfoCannotReachTheDisk) {
    file("L/a.dat", "new");
    file("R/a.dat", "old");
    file("R/surplus.txt", "surplus");
    age(R("a.dat"), 1'600'000'000);
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 2);
    FileSteps::setStepHook([](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::oldItemOut) FileSteps::setDiskErrorForTests(EIO, false);
    });
    const SyncResult r = run(steps);
    FileSteps::setStepHook({});
    FileSteps::setDiskErrorForTests(0);
    // Both items, and the run's last flush of the failing volume.
    EXPECT_EQ(r.errors.size(), 3) << r.errors.join('\n').toStdString();
    EXPECT_EQ(r.errors.value(2), FileSteps::notSavedText(R(), EIO));
    EXPECT_EQ(TestUtil::readFile(R("a.dat")), "old");
    EXPECT_EQ(TestUtil::readFile(R("surplus.txt")), "surplus");
    EXPECT_TRUE(names(TrashRoots::homeTrash() + "/files").isEmpty());
    EXPECT_TRUE(names(TrashRoots::homeTrash() + "/info").isEmpty());
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(R()), (QStringList{"a.dat", "surplus.txt"}));
}

// --- a folder swapped for a link to a private folder by another account

// The swap comes after the rows were checked, right before their items go to the Trash together: the
// items the compare showed go, each from the folder the run holds.
TEST_F(Sync, AMirrorsTrashStepNeverReachesThroughASwappedFolder) {
    file("L/keep.txt", "keep");
    file("R/keep.txt", "keep");
    file("R/extra.txt", "extra");
    file("R/sub/extra.txt", "sub extra");
    mkdir("L/sub");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 2);
    const TestUtil::PrivateFolder mine({"extra.txt", "sub/extra.txt"});
    const auto before = mine.state();
    const auto reset = qScopeGuard([] { FileSteps::setStepHook({}); });
    FileSteps::setStepHook([&](Step s, const QString &) {
        if (s == Step::toTrash && !exists(R() + ".away")) {
            ASSERT_TRUE(TestUtil::swapForLink(R(), mine.path()));
        }
    });
    const SyncResult r = run(steps);
    EXPECT_EQ(mine.state(), before);
    EXPECT_EQ(r.done, 2);
    EXPECT_TRUE(r.errors.isEmpty());
    ASSERT_EQ(r.trashed.size(), 2);
    for (const FileOps::TrashedPair &t : r.trashed)
        EXPECT_EQ(TestUtil::readFile(t.inTrash), t.original == R("extra.txt") ? "extra" : "sub extra");
}

// A folder with a mount inside goes to the Trash piece by piece, each relative to the folder listed.
TEST_F(Sync, APieceByPieceTrashNeverReachesThroughASwappedFolder) {
    mkdir("R/dir/mnt2");
    file("R/dir/a.txt", "a");
    file("R/dir/b.txt", "b");
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    ASSERT_EQ(QProcess::execute("mount", {"--bind", vol.path(), R("dir/mnt2")}), 0);
    const auto unmount = qScopeGuard([&] {
        FileSteps::setStepHook({});
        QProcess::execute("umount", {"-l", R("dir.away/mnt2")});
        QProcess::execute("umount", {"-l", R("dir/mnt2")});
    });
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 1);
    const TestUtil::PrivateFolder mine({"a.txt", "b.txt"});
    const auto before = mine.state();
    FileSteps::setStepHook([&](Step s, const QString &) {
        if (s == Step::toTrash && !exists(R("dir.away"))) {
            ASSERT_TRUE(TestUtil::swapForLink(R("dir"), mine.path()));
        }
    });
    const SyncResult r = run(steps);
    EXPECT_EQ(mine.state(), before);
    EXPECT_EQ(names(R("dir.away")), QStringList{"mnt2"});
    ASSERT_EQ(r.trashed.size(), 2);
}

// The source's folder was swapped after the compare: nothing of the private folder is copied. The
// destination root is swapped while the part is put on record: no part is ever made behind the link.
TEST_F(Sync, ACopyNeverReadsFromOrWritesIntoASwappedFolder) {
    file("L/sub/a.txt", "a");
    mkdir("R/sub");
    const QList<SyncStep> steps = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(steps.size(), 1);
    const TestUtil::PrivateFolder mine({"a.txt", "b.txt"});
    const auto before = mine.state();
    ASSERT_TRUE(TestUtil::swapForLink(L("sub"), mine.path()));
    SyncResult r = run(steps);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors, QStringList{FileSteps::HeldFolder::refusalText(L("sub"))});
    EXPECT_TRUE(names(R("sub")).isEmpty());

    ASSERT_TRUE(QFile::remove(L("sub")) && QDir(L("sub.away")).removeRecursively() &&
                QDir(R("sub")).removeRecursively());
    file("L/b.txt", "b");
    const QList<SyncStep> second = plan(SyncMode::leftToRight, false);
    const auto reset = qScopeGuard([] { FileSteps::Journal::setFlushedHookForTests({}); });
    FileSteps::Journal::setFlushedHookForTests([&](qint64) {
        if (!exists(R() + ".away")) {
            ASSERT_TRUE(TestUtil::swapForLink(R(), mine.path()));
        }
    });
    ASSERT_EQ(second.size(), 1);
    r = run(second);
    EXPECT_EQ(mine.state(), before);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors, QStringList{rootGone(R())});
    noTemp(R() + ".away");
    EXPECT_FALSE(exists(R(".away/b.txt")));

    // A folder held once for all its items, swapped after their copies were made: none takes its name
    // through the link, no item it replaces or holds as surplus leaves.
    const auto subHolds = [&](const QString &folder) {
        file("L/sub/e.txt", "newer e");
        file(folder + "/e.txt", "old e");
        age(path(folder + "/e.txt"), 1'600'000'000);
        file(folder + "/x.txt", "surplus");
    };
    for (const bool openat2 : {true, false}) {
        SCOPED_TRACE(openat2 ? "openat2" : "name by name");
        FileSteps::setOpenat2ForTests(openat2);
        QFile::remove(R());
        QDir(R() + ".away").removeRecursively();
        QDir(L()).removeRecursively();
        file("L/sub/c.txt", "c");
        file("L/sub/d.txt", "d");
        subHolds("R/sub");
        const QList<SyncStep> third = plan(SyncMode::leftToRight, true);
        ASSERT_EQ(third.size(), 4);
        FileSteps::Journal::setFlushedHookForTests({});
        FolderSync::setAfterCopyHook([&](const QString &) {
            if (!exists(R("sub.away"))) {
                ASSERT_TRUE(TestUtil::swapForLink(R("sub"), mine.path()));
            }
        });
        r = run(third);
        FolderSync::setAfterCopyHook({});
        FileSteps::setOpenat2ForTests(true);
        EXPECT_EQ(mine.state(), before);
        EXPECT_EQ(r.done, 0);
        ASSERT_EQ(r.errors.size(), 4);
        for (const QString &e : r.errors)
            EXPECT_TRUE(e.endsWith(FileSteps::HeldFolder::refusalText(R("sub")))) << e.toStdString();
        noTemp(R("sub.away"));
        EXPECT_EQ(names(R("sub.away")), (QStringList{"e.txt", "x.txt"}));
        EXPECT_EQ(TestUtil::readFile(R("sub.away/e.txt")), "old e");
        QFile::remove(R("sub"));
        QDir(R("sub.away")).removeRecursively();
    }
    // Swapped once the replacements are on record, before the old items leave.
    QDir(L()).removeRecursively();
    subHolds("R/sub");
    const QList<SyncStep> fourth = plan(SyncMode::leftToRight, false);
    ASSERT_EQ(fourth.size(), 1);
    bool copied = false;
    FolderSync::setAfterCopyHook([&](const QString &) { copied = true; });
    FileSteps::Journal::setFlushedHookForTests([&](qint64) {
        if (copied && !exists(R("sub.away"))) {
            ASSERT_TRUE(TestUtil::swapForLink(R("sub"), mine.path()));
        }
    });
    r = run(fourth);
    FolderSync::setAfterCopyHook({});
    FileSteps::Journal::setFlushedHookForTests({});
    EXPECT_EQ(mine.state(), before);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(TestUtil::readFile(R("sub.away/e.txt")), "old e");
    noTemp(R("sub.away"));
    EXPECT_TRUE(names(TrashRoots::homeTrash() + "/files").isEmpty());
}
