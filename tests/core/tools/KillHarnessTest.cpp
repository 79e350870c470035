// Each operation is killed right after each of its file-system steps in turn, and run again with a disk
// that fails every write, rename and flush from that step on; once the disk is back and the next start has
// settled what it left, every item is there once and whole under its old or its new name, nothing is
// left under a hidden name and no record stays behind. An operation whose disk failed before its end
// never says it succeeded.
#include "../fileops/Fixture.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/tools/FolderSync.h"
#include "core/tools/RulesEngine.h"
#include "platform/TrashRoots.h"

#include <QHash>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FileOpsTest;

namespace {

// In the child: the steps taken so far, and the one after which it dies or its disk fails (0: none).
std::atomic<int> stepsTaken{0};
int killAfter = 0;
bool diskFails = false;

void stepDone() {
    if (++stepsTaken != killAfter) return;
    if (!diskFails) ::raise(SIGKILL);
    FileSteps::setDiskErrorForTests(EIO);
}

void renameStep(const QString &from, const QString &to) {
    FileOps::rename(from, to);
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
    const pid_t child = ::fork();
    if (child < 0) return run;
    if (child == 0) {
        ::close(fds[0]);
        stepsTaken = 0;
        killAfter = at;
        diskFails = failing;
        FileSteps::setStepHook([](FileSteps::Step, const QString &) { stepDone(); });
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

bool isHidden(const QString &name) {
    return name.startsWith(".kestrin-") || name.startsWith(".dravendel-");
}

// One item: what it holds, and the names it may have afterwards (folder and name).
struct Item {
    QByteArray content;
    QString oldPath, newPath;
};

// What is wrong with the items in `folders`: each must be there once, whole, under one of its two names.
QString itemsOnce(const QList<Item> &items, const QStringList &folders) {
    QHash<QByteArray, QStringList> where;
    QStringList wrong;
    for (const QString &folder : folders)
        for (const QString &name : names(folder)) {
            const QString p = folder + '/' + name;
            if (isHidden(name))
                wrong << "hidden: " + p;
            else
                where[TestUtil::readFile(p)] << p;
        }
    for (const Item &item : items) {
        const QStringList at = where.value(item.content);
        if (at.size() != 1)
            wrong << QString("%1 is there %2 times").arg(item.oldPath).arg(at.size());
        else if (at[0] != item.oldPath && at[0] != item.newPath)
            wrong << QString("%1 is at %2").arg(item.oldPath, at[0]);
    }
    return wrong.join("; ");
}

class KillHarness : public Dir {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    TransferProgress progress;
    QStringList journalsBefore;

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
    QString journalsLeft() const {
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
        if (at.isEmpty())
            for (int k = 1; k <= whole.steps; ++k)
                at << k;
        for (const bool failing : {false, true}) {
            std::cout << "[  steps   ] " << name << (failing ? ", failing disk: " : ", killed: ") << at.size()
                      << " of " << whole.steps << std::endl;
            everyRun(name, prepare, op, check, at, failing);
        }
        return whole.steps;
    }

    void everyRun(const char *name, const std::function<void()> &prepare, const std::function<bool()> &op,
                  const std::function<QString()> &check, const QList<int> &at, bool failing) {
        QStringList failed;
        for (const int k : at) {
            prepare();
            const ChildRun run = inChild(op, k, failing);
            if (failing ? run.steps < k : run.steps != -1) {
                failed << QString("step %1: %2").arg(k).arg(failing ? "did not run on" : "not killed");
                continue;
            }
            QStringList wrong;
            // Every step changes something that is not on the disk until a flush after it.
            if (failing && run.saidDone)
                wrong << QString("said done on a failed disk, %1 steps, %2 flushes failed")
                             .arg(run.steps)
                             .arg(run.failedFlushes);
            const FileOps::Leftovers left = FileOps::recoverTransfers();
            // Nothing outside the operation took a name: there is nothing to tell the user either.
            wrong << check() << journalsLeft();
            if (!left.isEmpty()) wrong << "told: " + FileOps::leftoversText(left);
            wrong.removeAll(QString());
            if (wrong.isEmpty()) continue;
            failed << QString("after step %1: %2").arg(k).arg(wrong.join("; ").left(600));
        }
        EXPECT_TRUE(failed.isEmpty())
            << name << ", wrong after " << failed.size() << " of " << at.size()
            << (failing ? " failing disks:\n" : " kills:\n") << failed.join('\n').toStdString();
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

void age(const QString &path) {
    const timespec ts[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW);
}

} // namespace

TEST_F(KillHarness, BatchRenameWithACycleAndAChain) {
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
    for (const bool exchange : {true, false})
        everyStep(
            exchange ? "sync replace" : "sync replace without exchange", prepare,
            [&] {
                FileSteps::setExchangeForTests(exchange);
                return FolderSync::run(l, r, steps, progress).errors.isEmpty();
            },
            check);
}

TEST_F(KillHarness, RuleMoveToAnotherVolume) {
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
