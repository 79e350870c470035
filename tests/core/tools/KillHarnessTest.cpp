// Each operation is killed right after each of its file-system steps in turn, and run again with a disk
// that fails every write, rename and flush from that step on (some, killed again with their journal cut
// back to what was flushed, as after a power cut); once the disk is back and the next start has
// settled what it left, every item is there once and whole under its old or its new name, nothing is
// left under a hidden name and no record stays behind. An operation whose disk failed before its end
// never says it succeeded.
#include "HarnessChecks.h"

#include "common/TestChild.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/tools/FolderSync.h"
#include "core/tools/RulesEngine.h"
#include "platform/TrashRoots.h"

#include <QDirIterator>
#include <QHash>
#include <QScopeGuard>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <tuple>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using namespace Harness;

namespace {

// In the child: the steps taken so far, and the one after which it dies or its disk fails (0: none).
std::atomic<int> stepsTaken{0};
int killAfter = 0;
bool diskFails = false;
// The size of the child's journal when its records were last on stable storage, shared with the parent.
qint64 *flushedSize = [] {
    void *shared = ::mmap(nullptr, sizeof(qint64), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return static_cast<qint64 *>(shared == MAP_FAILED ? nullptr : shared);
}();

void stepDone() {
    if (++stepsTaken != killAfter) return;
    if (!diskFails) ::raise(SIGKILL);
    FileSteps::setDiskErrorForTests(EIO);
}

void renameStep(const QString &, const QString &, const std::function<void()> &rename) {
    rename();
    stepDone();
}

// What a child's run came to.
struct ChildRun {
    int steps = -2;        // the steps it took; -1: killed, -2: ended otherwise
    bool saidDone = false; // the operation reported no error
    int failedFlushes = 0; // flushes the failing disk failed
};

// Runs op (whether it reported no error) in a child that dies right after its at-th step, or whose
// disk fails from then on.
ChildRun inChild(const std::function<bool()> &op, int at, bool failing) {
    ChildRun run;
    int fds[2];
    if (::pipe(fds) != 0) return run;
    *flushedSize = 0;
    const pid_t child = TestChild::forkAlone();
    if (child < 0) return run;
    if (child == 0) {
        ::close(fds[0]);
        stepsTaken = 0;
        killAfter = at;
        diskFails = failing;
        FileSteps::setStepHook([](FileSteps::Step, const QString &) { stepDone(); });
        FileSteps::Journal::setFlushedHookForTests([](qint64 size) { *flushedSize = size; });
        ChildRun out;
        out.saidDone = op();
        out.steps = stepsTaken;
        out.failedFlushes = FileSteps::failedFlushesForTests();
        const bool told = ::write(fds[1], &out, sizeof out) == sizeof out;
        ::_exit(told ? 0 : 1);
    }
    ::close(fds[1]);
    if (::read(fds[0], &run, sizeof run) != sizeof run) run = ChildRun{};
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        run.steps = -1;
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        run.steps = -2;
    return run;
}

class KillHarness : public Dir {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    TransferProgress progress;
    QStringList journalsBefore;
    // Killed once more after each step, the child's journal cut back to what was on stable storage,
    // as after a power cut.
    bool journalCutToo = false;
    enum class Mode { killed, failingDisk, journalCut };
    // What the user does between the kill and the next start, and undoes before the check.
    std::function<void()> beforeStart, afterStart;

    void SetUp() override {
        Dir::SetUp();
        FileOps::recoverTransfers(); // what earlier tests left
        journalsBefore = names(journalFolder());
    }
    void TearDown() override { FileSteps::setStepHook({}); }

    QString freshFolder(const QString &folder) const {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    }
    // Journals no running process holds: this process's own (it settled, and may have trashed on the
    // way) is locked through its own descriptor.
    QStringList journalsNotHeld() const {
        QStringList left;
        for (const QString &n : names(journalFolder())) {
            const int fd =
                ::open(QFile::encodeName(journalFolder() + '/' + n).constData(), O_RDONLY | O_CLOEXEC);
            const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            if (fd >= 0) ::close(fd);
            if (!held) left << n;
        }
        for (const QString &n : journalsBefore)
            left.removeAll(n);
        return left;
    }
    QString journalsLeft() const {
        const QStringList left = journalsNotHeld();
        return left.isEmpty() ? QString() : "journal left: " + left.join(' ');
    }

    // Counts the steps of op, then kills a fresh run after each step (or those in `at`), and fails the
    // disk of another from that step on; settles as the start does and collects what `check` finds
    // wrong. The step count, or -1.
    int everyStep(const char *name, const std::function<void()> &prepare, const std::function<bool()> &op,
                  const std::function<QString()> &check, QList<int> at = {}) {
        prepare();
        const ChildRun whole = inChild(op, 0, false);
        EXPECT_GT(whole.steps, 0) << name;
        if (whole.steps <= 0) return -1;
        EXPECT_TRUE(whole.saidDone) << name;
        EXPECT_EQ(check(), "") << name << ", undisturbed";
        // What its records still name once its job said done (their end may not have reached the journal
        // before the child left) is the next start's, before the next run takes the folders away.
        FileOps::recoverTransfers();
        if (at.isEmpty())
            for (int k = 1; k <= whole.steps; ++k)
                at << k;
        for (const Mode mode : {Mode::killed, Mode::failingDisk, Mode::journalCut}) {
            if (mode == Mode::journalCut && !journalCutToo) continue;
            std::cout << "[  steps   ] " << name << ", " << modeName(mode) << ": " << at.size() << " of "
                      << whole.steps << std::endl;
            everyRun(name, prepare, op, check, at, mode);
        }
        return whole.steps;
    }

    static const char *modeName(Mode mode) {
        return mode == Mode::killed        ? "killed"
               : mode == Mode::failingDisk ? "failing disk"
                                           : "killed, journal cut to what was flushed";
    }

    void everyRun(const char *name, const std::function<void()> &prepare, const std::function<bool()> &op,
                  const std::function<QString()> &check, const QList<int> &at, Mode mode) {
        QStringList failed;
        for (const int k : at) {
            prepare();
            const QStringList earlier = journalsNotHeld();
            const ChildRun run = inChild(op, k, mode == Mode::failingDisk);
            if (mode == Mode::failingDisk ? run.steps < k : run.steps != -1) {
                failed << QString("step %1: %2")
                              .arg(k)
                              .arg(mode == Mode::failingDisk ? "did not run on" : "not killed");
                continue;
            }
            if (mode == Mode::journalCut)
                for (const QString &n : journalsNotHeld())
                    if (!earlier.contains(n))
                        ::truncate(QFile::encodeName(journalFolder() + '/' + n).constData(), *flushedSize);
            QStringList wrong;
            // Every step changes something that is not on the disk until a flush after it.
            if (mode == Mode::failingDisk && run.saidDone)
                wrong << QString("said done on a failed disk, %1 steps, %2 flushes failed")
                             .arg(run.steps)
                             .arg(run.failedFlushes);
            if (beforeStart) beforeStart();
            const FileOps::Leftovers left = FileOps::recoverTransfers();
            if (afterStart) afterStart();
            // Nothing outside the operation took a name: there is nothing to tell the user either.
            wrong << check() << journalsLeft();
            if (!left.isEmpty()) wrong << "told: " + FileOps::leftoversText(left);
            wrong.removeAll(QString());
            if (wrong.isEmpty()) continue;
            failed << QString("after step %1: %2").arg(k).arg(wrong.join("; ").left(600));
        }
        EXPECT_TRUE(failed.isEmpty()) << name << ", wrong after " << failed.size() << " of " << at.size()
                                      << " runs, " << modeName(mode) << ":\n"
                                      << failed.join('\n').toStdString();
    }

    // A batch rename of the items in `folder`, each given `newPath`, made afresh by prepare.
    void renameBatch(const char *name, const QString &folder, const QList<Item> &items,
                     const QList<int> &at) {
        QList<TransferPair> pairs;
        for (const Item &item : items)
            pairs << TransferPair{item.oldPath, item.newPath};
        everyStep(
            name,
            [&] {
                freshFolder(folder);
                for (const Item &item : items)
                    TestUtil::writeFile(item.oldPath, item.content);
            },
            [&] { return FileOps::renameInTwoPhases(pairs, nullptr, renameStep).errors.isEmpty(); },
            [&] { return itemsOnce(items, {folder}); }, at);
    }
};

} // namespace

TEST_F(KillHarness, BatchRenameWithACycleAndAChain) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    const QString folder = path("rename");
    QList<Item> items;
    const auto item = [&](const QString &from, const QString &to) {
        items << Item{"item " + from.toUtf8(), folder + '/' + from, folder + '/' + to};
    };
    item("a", "b");
    item("b", "c");
    item("c", "a");
    for (int i = 1; i <= 4; ++i)
        item(QString::number(i), QString::number(i + 1));
    item("Größe ä.txt", "ขนาด.txt");
    renameBatch("batch rename, cycle and chain", folder, items, {});
}

// Its record is far beyond a mebibyte: the whole of it is settled all the same.
TEST_F(KillHarness, BatchRenameOfThreeThousandLongNames) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    const QString folder = path("many");
    const auto name = [&](int i) {
        return folder + '/' + QString("%1 Urlaub ").arg(i, 5, 10, QChar('0')) + QString(90, u'ä') + ".jpg";
    };
    QList<Item> items;
    for (int i = 0; i < 3000; ++i)
        items << Item{QByteArray::number(i), name(i), name(i + 1)};
    // The first and last of each phase, and in the middle of each.
    renameBatch("batch rename, 3000 items", folder, items, {1, 1500, 2999, 3000, 3001, 4500, 5999});
}

TEST_F(KillHarness, SyncReplace) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    const QByteArray newer = pattern(3 << 20), older = "the old one";
    QList<SyncStep> steps;
    const QString l = path("L"), r = path("R"), trash = TrashRoots::homeTrash() + "/files";
    const auto prepare = [&] {
        freshFolder(l);
        freshFolder(r);
        QDir(TrashRoots::homeTrash()).removeRecursively();
        TestUtil::writeFile(l + "/a.bin", newer);
        TestUtil::writeFile(r + "/a.bin", older);
        age(r + "/a.bin");
        steps.clear();
        for (const CompareRow &row : FolderCompare::scan(l, r, [] { return false; }).rows)
            steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
    };
    // The source unchanged; one whole item under the name, and the old one there or once in the Trash.
    const auto check = [&] {
        QStringList wrong;
        if (TestUtil::readFile(l + "/a.bin") != newer) wrong << "the source changed";
        if (names(r) != QStringList{"a.bin"}) wrong << "right holds " + names(r).join(' ');
        QList<QByteArray> trashed;
        for (const QString &n : names(trash))
            trashed << TestUtil::readFile(trash + '/' + n);
        const QByteArray now = TestUtil::readFile(r + "/a.bin");
        if (now != newer && now != older) wrong << QString("a.bin holds %1 bytes").arg(now.size());
        if (trashed != (now == newer ? QList<QByteArray>{older} : QList<QByteArray>{}))
            wrong << QString("%1 items in the Trash").arg(trashed.size());
        return wrong.join("; ");
    };
    // The target renamed before the start: what the kill left hidden there is settled where it is now.
    const QString renamed = path("R renamed");
    const auto rename = [](const QString &from, const QString &to) {
        return [from, to] { QDir().rename(from, to); };
    };
    for (const auto &[exchange, moved] :
         {std::pair{true, false}, std::pair{false, false}, std::pair{true, true}, std::pair{false, true}}) {
        beforeStart = moved ? rename(r, renamed) : std::function<void()>();
        afterStart = moved ? rename(renamed, r) : std::function<void()>();
        everyStep(
            moved      ? (exchange ? "sync replace, renamed before the start"
                                   : "sync replace without exchange, renamed before the start")
            : exchange ? "sync replace"
                       : "sync replace without exchange",
            prepare,
            [&] {
                FileSteps::setExchangeForTests(exchange);
                return FolderSync::run(l, r, steps, progress).errors.isEmpty();
            },
            check);
    }
}

TEST_F(KillHarness, RuleMoveToAnotherVolume) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    const QString in = path("rules"), out = vol.path() + "/out";
    const QList<Item> items{{pattern(2 << 20, 3), in + "/p1.log", out + "/p1.log"},
                            {"a small one", in + "/p2.log", out + "/p2.log"}};
    CleanRule rule;
    rule.folder = in;
    rule.extensions = "log";
    rule.destination = out;
    const RulesEngine::WriterProbe noWriter = [](const RulesEngine::Match &) {
        return RulesEngine::Writer::none;
    };
    journalCutToo = true;
    everyStep(
        "rule move to another volume",
        [&] {
            freshFolder(in);
            freshFolder(out);
            for (const Item &item : items) {
                TestUtil::writeFile(item.oldPath, item.content);
                age(item.oldPath);
            }
        },
        [&] { return RulesEngine::run({rule}, progress, {}, noWriter).errors.isEmpty(); },
        [&] {
            return itemsOnce(items, {in, out});
        });
}

// Replacements (some of several chunks), new files, new folders whose files the copying threads make,
// surplus items on the other side; killed after every step, run on a failing disk, and killed again
// with the journal losing what was not yet on stable storage when the process died.
TEST_F(KillHarness, MirrorAndTwoWaySyncs) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    SyncTrees trees{path("L"), path("R"), {}, {}, {}};
    for (int i = 1; i <= 12; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray big = i % 5 ? QByteArray() : pattern(3 << 20, char(i));
        trees.left["rep/r" + n + ".dat"] = (i % 3 ? "new r" : "old r") + n + big;
        trees.right["rep/r" + n + ".dat"] = (i % 3 ? "old r" : "new r") + n + " on the right";
    }
    // A second folder of replacements: the copies of both go at once.
    for (int i = 1; i <= 3; ++i) {
        trees.left[QString("rep2/s%1.dat").arg(i)] = "new s" + QByteArray::number(i);
        trees.right[QString("rep2/s%1.dat").arg(i)] = "old s" + QByteArray::number(i);
    }
    for (int i = 1; i <= 4; ++i) {
        trees.left[QString("fresh/f%1.txt").arg(i)] = "fresh " + QByteArray::number(i);
        trees.right[QString("only/o%1.txt").arg(i)] = "only " + QByteArray::number(i);
    }
    trees.right["surplus.txt"] = "surplus";
    journalCutToo = true;
    const auto reset = qScopeGuard([] { FolderSync::setGroupStepsForTests(0); });
    // The mirror in groups of four, each flushed and finished while the next one is copied.
    for (const auto &[name, mode, group] : {std::tuple{"mirror sync", SyncMode::leftToRight, 4},
                                            std::tuple{"two-way sync", SyncMode::both, 0}}) {
        FolderSync::setGroupStepsForTests(group);
        everyStep(
            name, [&] { trees.prepare(mode); },
            [&] { return FolderSync::run(trees.l, trees.r, trees.steps, progress).errors.isEmpty(); },
            [&] { return trees.check(); });
    }
}

// New small files in groups of four: their parts carry no marker, so their records alone prove them ours.
// The second group holds a part in a folder already on record, then the first part in another folder.
TEST_F(KillHarness, NewSmallFilesOfOneGroupInTwoFolders) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    SyncTrees trees{path("L"), path("R"), {}, {}, {}};
    for (const char *kept : {"add/kept.txt", "add2/kept.txt"})
        trees.left[kept] = trees.right[kept] = "kept";
    for (int i = 1; i <= 5; ++i)
        trees.left[QString("add/n%1.txt").arg(i)] = "new n" + QByteArray::number(i);
    trees.left["add2/m1.txt"] = "new m1";
    journalCutToo = true;
    const auto reset = qScopeGuard([] { FolderSync::setGroupStepsForTests(0); });
    FolderSync::setGroupStepsForTests(4);
    trees.prepare(SyncMode::leftToRight);
    ASSERT_EQ(trees.steps.size(), 6);
    EXPECT_EQ(trees.steps[4].row.id, "add/n5.txt");
    EXPECT_EQ(trees.steps[5].row.id, "add2/m1.txt");
    everyStep(
        "mirror of new small files", [&] { trees.prepare(SyncMode::leftToRight); },
        [&] { return FolderSync::run(trees.l, trees.r, trees.steps, progress).errors.isEmpty(); },
        [&] { return trees.check(); });
}
