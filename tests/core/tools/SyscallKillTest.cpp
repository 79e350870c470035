// Each operation runs in a process of its own under ptrace and is killed right after each of its calls
// that change a file system or the journal, in turn (a spread of them under AddressSanitizer); once the
// start has settled what it left, every item is there once and whole under its old or its new name,
// nothing is hidden or marked, nothing is told and no journal stays behind.
#include "HarnessChecks.h"

#include "common/NtfsImage.h"
#include "common/TestChild.h"
#include "common/SyscallTracer.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
#include "core/tools/FolderSync.h"
#include "platform/Plist.h"
#include "platform/Posix.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <utility>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace FileOpsTest;
using namespace Harness;

namespace {

// Points per operation, killed (0: every call) and on the failing disk, where each one makes, checks and
// mounts a file system.
#if defined(__SANITIZE_ADDRESS__)
constexpr int spread = 13, diskSpread = 4;
#else
constexpr int spread = 0, diskSpread = 0;
#endif

// An ext4 file system on a loop device whose file a FUSE program of the tests serves: from fail() on,
// every write and flush that reaches it fails. cut() is the power cut and the start after it: what did not
// reach the file is lost, e2fsck repairs the rest, and the file system is mounted again under another
// device number, as a stick plugged in again may be.
class FailingDisk {
public:
    explicit FailingDisk(const QString &dir) : dir_(dir) {
        if (!QFile::exists("/dev/fuse") || !QDir().mkpath(dir + "/fuse") || !QDir().mkpath(root())) return;
        QFile image(dir + "/pristine.img");
        if (!image.open(QIODevice::WriteOnly) || !image.resize(32 << 20)) return;
        image.close();
        if (!sh({"mkfs.ext4", "-q", "-F", image.fileName()}) || !QFile::copy(image.fileName(), backing()))
            return;
        if (!QProcess::startDetached(KESTRIN_FAILING_DISK, {backing(), dir + "/fuse"}, {}, &daemon_)) return;
        for (int i = 0; i < 100 && !QFile::exists(dir + "/fuse/disk"); ++i)
            QThread::msleep(20);
        valid_ = QFile::exists(dir + "/fuse/disk") && attach();
        if (valid_) detach();
    }
    ~FailingDisk() {
        detach();
        if (daemon_ > 0) {
            sh({"fusermount3", "-u", dir_ + "/fuse"});
            ::kill(pid_t(daemon_), SIGTERM);
        }
    }
    bool valid() const { return valid_; }
    QString root() const { return dir_ + "/fs"; }

    // A fresh file system, mounted at root().
    bool attach() {
        QFile pristine(dir_ + "/pristine.img"), disk(backing());
        if (!pristine.open(QIODevice::ReadOnly) || !disk.open(QIODevice::WriteOnly) ||
            disk.write(pristine.readAll()) != pristine.size())
            return false;
        disk.close();
        return mount();
    }
    // What the fixture wrote reaches the disk.
    void flush() const {
        const int fd = ::open(QFile::encodeName(root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) ::syncfs(fd);
        if (fd >= 0) ::close(fd);
    }
    void fail() const { signal(SIGUSR1); }
    // Writes and flushes reach the disk again.
    void heal() const { signal(SIGUSR2); }
    // e2fsck's exit status (0 or 1 when it left no error), -1 where the disk could not be unmounted or
    // mounted again.
    int cut() {
        const QString was = loop_;
        if (!detach()) return -1;
        heal();
        if (!attachLoop(was)) return -1;
        QProcess fsck;
        fsck.start("e2fsck", {"-fy", loop_});
        const int checked = fsck.waitForFinished(60000) ? fsck.exitCode() : -1;
        return sh({"mount", "-t", "ext4", loop_, root()}) ? checked : -1;
    }
    // Whether the file system and the loop device came off: a process that still holds a file there
    // keeps it mounted, and the next attach would mount another one over it.
    bool detach() {
        if (loop_.isEmpty()) return true;
        const bool off = sh({"umount", root()});
        sh({"losetup", "-d", loop_});
        loop_.clear();
        return off;
    }

private:
    QString backing() const { return dir_ + "/disk.img"; }
    // Sends the signal and waits until the disk's program has taken it: on a busy machine it may run only
    // much later, and a write meant to fail would still reach the disk.
    void signal(int sig) const {
        ::kill(pid_t(daemon_), sig);
        const QString status = QString("/proc/%1/status").arg(daemon_);
        for (int i = 0; i < 4000; ++i) {
            bool pending = false;
            for (const QByteArray &line : TestUtil::readFile(status).split('\n'))
                if (line.startsWith("ShdPnd:"))
                    pending = line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ULL << (sig - 1));
            if (!pending) return;
            QThread::usleep(500);
        }
    }
    static bool sh(QStringList args) {
        QProcess p;
        p.start(args.takeFirst(), args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // On a loop device other than `avoid`: given that one again, it is held while another is taken.
    bool attachLoop(const QString &avoid = {}) {
        QString held;
        for (int i = 0; i < 2 && loop_.isEmpty(); ++i) {
            QProcess p;
            p.start("losetup", {"-f", "--show", dir_ + "/fuse/disk"});
            if (!p.waitForFinished(30000) || p.exitCode() != 0) break;
            loop_ = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
            if (!avoid.isEmpty() && loop_ == avoid) held = std::exchange(loop_, QString());
        }
        if (!held.isEmpty()) sh({"losetup", "-d", held});
        return !loop_.isEmpty();
    }
    bool mount() { return attachLoop() && sh({"mount", "-t", "ext4", loop_, root()}); }

    QString dir_, loop_;
    qint64 daemon_ = 0;
    bool valid_ = false;
};

// The kill points after calls 1 to `points`, where points alike are sampled: a point is known by the call
// before it and the two after it, and of the points of one kind only the first, the last and two between
// are kept. A copy's thousand chunk writes, or the same steps for each of twenty items, repeat one
// another; every kind of step, and each first and last of a run, is still killed. KESTRIN_KILL_EVERY=1
// kills after every call.
QList<long> alikeSampled(const std::vector<long> &nrs, long points) {
    QList<long> at;
    const long n = long(nrs.size());
    if (qEnvironmentVariableIntValue("KESTRIN_KILL_EVERY") || n < points + 1) {
        for (long k = 1; k <= points; ++k)
            at << k;
        return at;
    }
    constexpr int keep = 4;
    std::map<std::tuple<long, long, long>, QList<long>> kinds;
    QList<std::tuple<long, long, long>> order;
    for (long k = 1; k <= points; ++k) {
        const auto kind =
            std::tuple{nrs[size_t(k - 1)], nrs[size_t(k)], k + 1 < n ? nrs[size_t(k + 1)] : -1L};
        if (!kinds.count(kind)) order << kind;
        kinds[kind] << k;
    }
    for (const auto &kind : std::as_const(order)) {
        const QList<long> &all = kinds[kind];
        if (all.size() <= keep) {
            at += all;
            continue;
        }
        for (int i = 0; i < keep; ++i)
            at << all[qsizetype(i * (all.size() - 1) / (keep - 1))];
    }
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    return at;
}

// Everything on a tmpfs, the journal too: flushes there cost nothing, so that every call can be tried.
class SyscallKills : public Dir {
protected:
    TestUtil::TmpfsMount vol{"128m"};
    // The folders of the journal and of the settings (which remember where trashed items came from).
    const QByteArray stateWas = qgetenv("XDG_STATE_HOME"), configWas = qgetenv("XDG_CONFIG_HOME");
    QStringList journalsBefore;

    std::unique_ptr<FailingDisk> disk; // set: the runs fail the disk instead of killing the operation
    QString base;                      // where the items and the journal are

    void SetUp() override {
        Dir::SetUp();
        if (!vol.valid()) GTEST_SKIP() << "needs root for a tmpfs";
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(vol.path() + "/config"));
        useDisk(false);
    }
    // Whether the runs from now on go to a failing disk (false where none can be made).
    bool useDisk(bool failing) {
        if (failing && !disk) disk = std::make_unique<FailingDisk>(onVolume("failing"));
        if (failing && !disk->valid()) {
            std::cout << "[  skipped ] no failing disk here (needs /dev/fuse, loop devices, e2fsprogs)\n";
            return false;
        }
        base = failing ? disk->root() : vol.path();
        qputenv("XDG_STATE_HOME", QFile::encodeName(base + "/state"));
        journalsBefore = names(journalFolder());
        return true;
    }
    bool failing() const { return base != vol.path(); }
    QString at(const QString &rel) const { return base + '/' + rel; }

    // Afresh for each run: a settings lock that the killed run left empty holds the next run up for half
    // a minute, until Qt takes it for stale. On a failing disk, a fresh file system.
    bool prepareRun(const std::function<void()> &prepare) {
        QDir(onVolume("config")).removeRecursively();
        if (failing() && !disk->attach()) return false;
        prepare();
        if (failing()) disk->flush();
        return true;
    }
    bool endRun() { return !failing() || disk->detach(); }
    void TearDown() override {
        qputenv("XDG_STATE_HOME", stateWas);
        qputenv("XDG_CONFIG_HOME", configWas);
    }
    QString onVolume(const QString &rel) const { return vol.path() + '/' + rel; }

    // The start after a run, and what it tells. After a power cut it is another process: one that lived
    // on would still hold its journal on the disk that was cut, and so keep that disk mounted.
    QString start() const {
        if (!failing()) {
            const FileOps::Leftovers left = FileOps::recoverTransfers();
            return left.isEmpty() ? QString() : FileOps::leftoversText(left);
        }
        QProcess p;
        p.start(KESTRIN_TRACED_OP, {"start"});
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return "the start failed";
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    QStringList journalsLeft() const {
        QStringList left;
        for (const QString &n : names(journalFolder())) {
            const int fd =
                ::open(QFile::encodeName(journalFolder() + '/' + n).constData(), O_RDONLY | O_CLOEXEC);
            const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0; // this process's own
            if (fd >= 0) ::close(fd);
            if (!held && !journalsBefore.contains(n)) left << n;
        }
        return left;
    }

    // Runs the operation once whole, then kills a fresh run after each of its calls in turn (or fails its
    // disk then, and cuts the power once it ended); the calls counted, or -1 where ptrace is refused.
    long everyCall(const char *name, const std::function<void()> &prepare, const QList<QByteArray> &args,
                   const std::function<QString()> &check) {
        QElapsedTimer timer;
        timer.start();
        // Counted the second time, when the state folder and the Trash are there as in the runs after.
        SyscallTracer::Run whole;
        for (int i = 0; i < 2; ++i) {
            if (!prepareRun(prepare)) {
                ADD_FAILURE() << name << ": the disk cannot be made afresh";
                return 0;
            }
            whole = SyscallTracer::run(KESTRIN_TRACED_OP, args, -1);
            if (whole.refused) return -1;
            EXPECT_EQ(whole.exitCode, 0) << name;
            EXPECT_EQ(check(), "") << name << ", undisturbed";
            if (!endRun()) {
                ADD_FAILURE() << name << ": the disk stays mounted";
                return 0;
            }
        }
        EXPECT_GT(whole.calls, 0) << name;
        const long points = whole.calls - 1, most = failing() ? diskSpread : spread;
        QList<long> at;
        if (most && points > most) {
            for (long k = 1; k <= points; ++k)
                if ((k - 1) % ((points + most - 1) / most) == 0) at << k;
        } else {
            at = alikeSampled(whole.nrs, points);
        }
        QStringList failed;
        int reached = 0;
        for (const long k : at) {
            if (!prepareRun(prepare)) {
                failed << QString("call %1: the disk cannot be made afresh").arg(k);
                continue;
            }
            bool failedDisk = false;
            const SyscallTracer::Run run = SyscallTracer::run(KESTRIN_TRACED_OP, args, k,
                                                              failing() ? std::function<void()>([&] {
                                                                  disk->fail();
                                                                  failedDisk = true;
                                                              })
                                                                        : std::function<void()>());
            // Threads may take another way: a run with fewer calls ends on its own, and is checked too.
            reached += run.killed || failedDisk;
            QStringList wrong;
            if (!run.killed && run.exitCode != 0 && !failedDisk)
                wrong << QString("ended with %1").arg(run.exitCode);
            if (failing()) {
                if (const int fsck = disk->cut(); fsck < 0 || fsck > 1)
                    wrong << QString("e2fsck: %1").arg(fsck);
            }
            const QString told = start();
            wrong << check();
            if (const QStringList j = journalsLeft(); !j.isEmpty()) wrong << "journal left: " + j.join(' ');
            if (!told.isEmpty()) wrong << "told: " + told;
            if (!endRun()) wrong << "the disk stays mounted";
            wrong.removeAll(QString());
            if (!wrong.isEmpty())
                failed << QString("after call %1: %2").arg(k).arg(wrong.join("; ").left(600));
        }
        std::cout << "[  calls   ] " << name << ": " << whole.calls << " calls, "
                  << (failing() ? "disk failed after " : "killed after ") << reached << " of " << at.size()
                  << " points, " << timer.elapsed() << " ms" << std::endl;
        EXPECT_GT(reached, at.size() / 2) << name;
        EXPECT_TRUE(failed.isEmpty()) << name << ", wrong after " << failed.size() << " of " << at.size()
                                      << (failing() ? " disk failures" : " kills") << ":\n"
                                      << failed.join('\n').toStdString();
        return whole.calls;
    }
};

// Volumes that take hard links but no rename flags, beside the tmpfs that keeps the journal: a real NTFS
// through ntfs-3g, and the tests' FUSE volume whose links show a new inode number, as sshfs does.
struct LinkVolumes {
    TestUtil::NtfsImage ntfs;
    TestUtil::FatFuse renumbering{false, false, true};

    // Name and folder of each that could be mounted.
    QList<std::pair<const char *, QString>> mounted() const {
        QList<std::pair<const char *, QString>> out;
        for (const auto &[name, valid, path, why] :
             {std::tuple{"ntfs-3g", ntfs.valid(), ntfs.path(), ntfs.skipReason()},
              std::tuple{"links with new inodes", renumbering.valid(), renumbering.path(),
                         renumbering.skipReason()}}) {
            if (valid)
                out.append({name, path});
            else
                std::cout << "[  skipped ] " << name << ": " << why.toStdString() << std::endl;
        }
        return out;
    }
};

} // namespace

namespace {

// Replacements, new files in a new folder, surplus items on the other side.
SyncTrees syncTrees(const QString &base) {
    SyncTrees trees{base + "/L", base + "/R", {}, {}, {}, base + "/.Trash-0"};
    for (int i = 1; i <= 12; ++i) {
        const QByteArray n = QByteArray::number(i);
        trees.left["rep/r" + n + ".dat"] = (i % 3 ? "new r" : "old r") + n;
        trees.right["rep/r" + n + ".dat"] = (i % 3 ? "old r" : "new r") + n + " on the right";
    }
    for (int i = 1; i <= 6; ++i) {
        trees.left[QString("fresh/f%1.txt").arg(i)] = "fresh " + QByteArray::number(i);
        trees.right[QString("only/o%1.txt").arg(i)] = "only " + QByteArray::number(i);
    }
    trees.left["big.bin"] = pattern(600 << 10, 5);
    trees.right["surplus.txt"] = "surplus";
    return trees;
}

} // namespace

TEST_F(SyscallKills, MirrorAndTwoWaySyncs) {
    // Its operations open this process's journal in a state folder that goes with the test.
    if (TestChild::ranInOwnProcess()) return;
    for (const bool failingDisk : {false, true}) {
        if (!useDisk(failingDisk)) continue;
        SyncTrees trees = syncTrees(base);
        for (const auto &[name, mode, op] : {std::tuple{"mirror sync", SyncMode::leftToRight, "mirror"},
                                             std::tuple{"two-way sync", SyncMode::both, "twoway"}})
            if (everyCall(
                    name, [&] { trees.prepare(mode); }, {op, trees.l.toUtf8(), trees.r.toUtf8()},
                    [&] { return trees.check(); }) < 0)
                GTEST_SKIP() << "ptrace is not permitted here";
    }
}

// A mirror killed after a call, its journal then cut at a byte offset: what the lost lines spoke of is
// settled from the sync's roots, or named with where it is; nothing stays hidden untold.
TEST_F(SyscallKills, AMirrorWhoseJournalIsCutShortLeavesNothingHiddenUntold) {
    if (TestChild::ranInOwnProcess()) return;
    SyncTrees trees = syncTrees(base);
    const QList<QByteArray> args{"mirror", trees.l.toUtf8(), trees.r.toUtf8()};
    ASSERT_TRUE(prepareRun([&] { trees.prepare(SyncMode::leftToRight); }));
    const SyscallTracer::Run whole = SyscallTracer::run(KESTRIN_TRACED_OP, args, -1);
    if (whole.refused) GTEST_SKIP() << "ptrace is not permitted here";
    QStringList failed;
    int runs = 0;
    for (long k = 3; k < whole.calls; k += spread ? 23 : 5) {
        for (const double cut : {0.01, 0.31, 0.62, 0.66}) {
            ASSERT_TRUE(prepareRun([&] { trees.prepare(SyncMode::leftToRight); }));
            if (!SyscallTracer::run(KESTRIN_TRACED_OP, args, k).killed) continue;
            const QStringList journals = journalsLeft();
            // Past the sync's first record, which names its roots.
            for (const QString &n : journals) {
                const QByteArray file = QFile::encodeName(journalFolder() + '/' + n);
                const QByteArray lines = TestUtil::readFile(journalFolder() + '/' + n);
                ::truncate(file.constData(),
                           std::max(off_t(double(lines.size()) * cut), off_t(lines.indexOf('\n') + 1)));
            }
            ++runs;
            const QString told = start();
            QStringList wrong = trees.check().split("; ", Qt::SkipEmptyParts), hidden;
            // An info file whose record was cut off with its item's way to the Trash counts as hidden, if
            // the kill came before it had our mark: else the mark proves it ours, and it goes.
            for (const QString &w : std::as_const(wrong))
                if (w.startsWith("hidden: ") || (w.startsWith("info without its item: ") &&
                                                 QFileInfo(trees.trash + "/info/" + w.mid(23)).size() == 0))
                    hidden << w.mid(w.indexOf(": ") + 2);
            // A part left is named, or counted among others.
            const bool named = hidden.size() == 1 ? told.contains(Posix::lastComponent(hidden[0]))
                                                  : told.contains(QString::number(hidden.size()) + ' ');
            if (hidden.isEmpty() || named)
                for (const QString &h : std::as_const(hidden)) {
                    wrong.removeAll("hidden: " + h);
                    if (wrong.removeAll("info without its item: " + h)) continue;
                    const QString rel = h.mid(trees.r.size() + 1);
                    wrong.removeIf([&](const QString &w) { return w.startsWith("wrong content: " + rel); });
                }
            for (const QString &n : journals)
                QFile::remove(journalFolder() + '/' + n);
            if (!wrong.isEmpty())
                failed << QString("call %1, cut at %2: %3; told: %4")
                              .arg(k)
                              .arg(cut)
                              .arg(wrong.join("; "), told)
                              .left(800);
        }
    }
    EXPECT_GT(runs, 20);
    EXPECT_TRUE(failed.isEmpty()) << failed.size() << " of " << runs << " runs:\n"
                                  << failed.join('\n').toStdString();
}

// The disk fails after a job's last data write and before the flush after it, for as long as its new
// files are written back, and another process's flush sees that error first: from then on only a
// descriptor open since before the error hears of it. Every run must say the failure: a hundred of the
// mirror, fewer of the others (KESTRIN_FLUSH_RUNS sets them all).
TEST_F(SyscallKills, ADiskFailingBeforeTheLastFlushIsSaidEveryTime) {
    if (TestChild::ranInOwnProcess()) return;
    if (!useDisk(true)) GTEST_SKIP() << "no failing disk here";
    const int chosen = qEnvironmentVariableIntValue("KESTRIN_FLUSH_RUNS");
    // New files only, on the mirror's two sides and from the tmpfs: their bytes wait for the flush.
    SyncTrees trees{at("L"), at("R"), {}, {}, {}, at(".Trash-0")};
    QMap<QString, QByteArray> files;
    for (int i = 1; i <= 6; ++i)
        files[QString("fresh/f%1.txt").arg(i)] = pattern(24 << 10, i);
    files["big.bin"] = pattern(600 << 10, 5);
    trees.left = files;
    // The same with a replacement last, whose copy is flushed before the old item goes.
    SyncTrees replacing = trees;
    replacing.left["rep/r1.dat"] = "new r1";
    replacing.right["rep/r1.dat"] = "old r1 on the right";
    // From another volume: only the descriptor of the written side's root hears of its disk's failure.
    SyncTrees across = trees;
    across.l = onVolume("L");
    const QString in = onVolume("in"), out = at("out"), dup = at("dup");
    const auto makeIn = [&] {
        QDir(in).removeRecursively();
        for (auto f = files.cbegin(); f != files.cend(); ++f)
            TestUtil::writeFile(in + '/' + f.key(), f.value());
        QDir().mkpath(out);
    };
    const QList<QByteArray> transfer{out.toUtf8(), (in + "/fresh").toUtf8(), (in + "/big.bin").toUtf8()};
    const auto makeDup = [&] {
        for (auto f = files.cbegin(); f != files.cend(); ++f)
            TestUtil::writeFile(dup + '/' + f.key(), f.value());
    };
    struct Job {
        const char *name;
        std::function<void()> prepare;
        QList<QByteArray> args;
        QString written;
        int runs;
        QString kept; // the item that must stay as it was, since its copy failed
        QByteArray keptBytes;
    };
    const QList<Job> jobs{
        {"mirror",
         [&] { trees.prepare(SyncMode::leftToRight); },
         {"mirror", trees.l.toUtf8(), trees.r.toUtf8()},
         trees.r,
         chosen ? chosen : 100,
         {},
         {}},
        {"mirror with a replacement",
         [&] { replacing.prepare(SyncMode::leftToRight); },
         {"mirror", trees.l.toUtf8(), trees.r.toUtf8()},
         trees.r,
         chosen ? chosen : 12,
         trees.r + "/rep/r1.dat",
         "old r1 on the right"},
        {"mirror from another volume",
         [&] { across.prepare(SyncMode::leftToRight); },
         {"mirror", across.l.toUtf8(), across.r.toUtf8()},
         across.r,
         chosen ? chosen : 12,
         {},
         {}},
        {"copy", makeIn, QList<QByteArray>{"copy"} + transfer, out, chosen ? chosen : 12, {}, {}},
        {"move", makeIn, QList<QByteArray>{"move"} + transfer, out, chosen ? chosen : 12, in + "/big.bin",
         files["big.bin"]},
        {"duplicate",
         makeDup,
         {"duplicate", (dup + "/fresh").toUtf8(), (dup + "/big.bin").toUtf8()},
         dup,
         chosen ? chosen : 12,
         {},
         {}}};
    // Every file beneath `folder` written back while the disk fails, then the volume flushed by this
    // process once the disk works again; whether that flush heard of the failure.
    const auto failWriteBack = [&](const QString &folder) {
        const int own = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        disk->fail();
        QThread::msleep(20); // the signal reaches the disk's program
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const int file =
                ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            // Data alone: a flush of the file system would also fail its journal, and every later
            // flush with it.
            if (file >= 0)
                ::sync_file_range(file, 0, 0,
                                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                      SYNC_FILE_RANGE_WAIT_AFTER);
            if (file >= 0) ::close(file);
        }
        disk->heal();
        QThread::msleep(20);
        const bool heard = own >= 0 && ::syncfs(own) != 0 && errno == EIO;
        if (own >= 0) ::close(own);
        return heard;
    };
    qputenv("KESTRIN_TRACED_SAID", QFile::encodeName(onVolume("said")));
    for (const Job &job : jobs) {
        ASSERT_TRUE(prepareRun(job.prepare));
        const SyscallTracer::Run whole = SyscallTracer::run(KESTRIN_TRACED_OP, job.args, -1);
        ASSERT_TRUE(endRun());
        if (whole.refused) GTEST_SKIP() << "ptrace is not permitted here";
        ASSERT_EQ(whole.exitCode, 0) << job.name;
        // The flush after the last file's copy (each begins with copy_file_range), and the last write
        // before it.
        const auto isWrite = [](long nr) {
            return nr == SYS_write || nr == SYS_pwrite64 || nr == SYS_copy_file_range || nr == SYS_sendfile ||
                   nr == SYS_splice;
        };
        const auto copied = std::find(whole.nrs.crbegin(), whole.nrs.crend(), long(SYS_copy_file_range));
        ASSERT_NE(copied, whole.nrs.crend()) << job.name;
        const long flush =
            long(std::find(copied.base(), whole.nrs.cend(), long(SYS_syncfs)) - whole.nrs.cbegin());
        ASSERT_LT(flush, long(whole.nrs.size())) << job.name;
        const long written = long(
            std::find_if(whole.nrs.crbegin() + (long(whole.nrs.size()) - flush), copied + 1, isWrite).base() -
            whole.nrs.cbegin());
        // The flush begins with the folders' fsync where it makes them; a descriptor it opened for itself
        // is open by then, so the points end before.
        long begins = flush;
        while (begins > written && whole.nrs[size_t(begins - 1)] == SYS_fsync)
            --begins;
        ASSERT_LT(written, begins) << job.name;
        int runs = 0;
        QStringList silent, unrecorded, lost;
        int again = 0;
        for (int i = 0; i < job.runs; ++i) {
            const long k = written + i % (begins - written);
            ASSERT_TRUE(prepareRun(job.prepare));
            bool reached = false, recorded = false;
            const SyscallTracer::Run run = SyscallTracer::run(KESTRIN_TRACED_OP, job.args, k, [&] {
                reached = true;
                recorded = failWriteBack(job.written);
            });
            const int fsck = disk->cut();
            EXPECT_TRUE(fsck == 0 || fsck == 1) << fsck;
            start();
            const bool kept = job.kept.isEmpty() || TestUtil::readFile(job.kept) == job.keptBytes;
            EXPECT_TRUE(endRun());
            const QByteArray said = TestUtil::readFile(onVolume("said"));
            QFile::remove(onVolume("said"));
            if (!reached) continue;
            // On a busy machine the kernel may write the data back before the disk fails: such a run
            // tested nothing, and is made again.
            if (!recorded && again < 5) {
                ++again;
                --i;
                continue;
            }
            ++runs;
            if (!recorded)
                unrecorded << QString::number(k);
            else if (run.exitCode == 0 ||
                     (!said.contains(Posix::errorText(EIO).toUtf8()) && !said.contains("drive")))
                silent << QString::number(k);
            if (recorded && !kept) lost << QString::number(k);
        }
        std::cout << "[  flushes ] " << job.name << ": disk failed after calls " << written << " to "
                  << begins - 1 << " of " << whole.calls << ": " << runs << " runs (" << again << " again), "
                  << silent.size() << " said nothing" << std::endl;
        EXPECT_EQ(runs, job.runs) << job.name;
        EXPECT_TRUE(unrecorded.isEmpty())
            << job.name << ": no write-back failed after calls " << unrecorded.join(' ').toStdString();
        EXPECT_TRUE(silent.isEmpty())
            << job.name << " said done after calls " << silent.join(' ').toStdString();
        EXPECT_TRUE(lost.isEmpty()) << job.name << " lost what it replaced or moved after calls "
                                    << lost.join(' ').toStdString();
    }
    qunsetenv("KESTRIN_TRACED_SAID");
}

// A sync's groups flush their volume through two descriptors in turn: a write-back error that one
// group's flush heard, which may have been of the next group's copies, is heard by the next group's too.
TEST_F(SyscallKills, AWriteBackErrorOneGroupsFlushHeardIsHeardByTheNextOne) {
    // The sync opens this process's journal in a state folder that goes with the test.
    if (TestChild::ranInOwnProcess()) return;
    if (!useDisk(true)) GTEST_SKIP() << "no failing disk here";
    ASSERT_TRUE(prepareRun([&] { TestUtil::writeFile(at("a.bin"), pattern(64 << 10, 1)); }));
    {
        const FileSteps::HeldFolder root{FileSteps::PathBytes(base)};
        FileSteps::JobVolumes volumes;
        volumes.open(root);
        volumes.open(root);
        ASSERT_TRUE(TestUtil::writeFile(at("b.bin"), pattern(64 << 10, 2)));
        disk->fail();
        QThread::msleep(20); // the signal reaches the disk's program
        // Data alone: a failed journal would fail every later flush.
        const int file = ::open(QFile::encodeName(at("b.bin")).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(file, 0);
        ::sync_file_range(file, 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::close(file);
        disk->heal();
        QThread::msleep(20);
        EXPECT_EQ(volumes.flushVolume(root, nullptr, 0), EIO);
        EXPECT_EQ(volumes.flushVolume(root, nullptr, 1), EIO);
        EXPECT_EQ(volumes.flushVolume(root, nullptr, 2), 0);
    }
    EXPECT_TRUE(endRun());

    // A sync in groups of one takes the turns: an error the first group's flush heard fails the second
    // group's copy too (it may have been its own), and the third is done. Its journal stays off the disk,
    // which it would keep mounted.
    qputenv("XDG_STATE_HOME", QFile::encodeName(onVolume("state")));
    const QString left = onVolume("L");
    for (const char *n : {"a", "b", "c"})
        ASSERT_TRUE(TestUtil::writeFile(left + "/" + n, pattern(64 << 10, 3)));
    ASSERT_TRUE(prepareRun([&] { QDir().mkpath(at("R")); }));
    {
        const auto reset = qScopeGuard([] {
            FolderSync::setGroupStepsForTests(0);
            FolderSync::setAfterCopyHook({});
        });
        FolderSync::setGroupStepsForTests(1);
        FolderSync::setAfterCopyHook([&](const QString &) {
            if (exists(at("other.bin"))) return;
            ASSERT_TRUE(TestUtil::writeFile(at("other.bin"), pattern(64 << 10, 4)));
            disk->fail();
            QThread::msleep(20);
            const int file = ::open(QFile::encodeName(at("other.bin")).constData(), O_RDONLY | O_CLOEXEC);
            ::sync_file_range(
                file, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
            ::close(file);
            disk->heal();
            QThread::msleep(20);
        });
        QList<SyncStep> steps;
        for (const CompareRow &row : FolderCompare::scan(left, at("R"), [] { return false; }).rows)
            steps << SyncStep{row, SyncAction::toRight};
        TransferProgress progress;
        const SyncResult r = FolderSync::run(left, at("R"), steps, progress);
        EXPECT_EQ(r.done, 1);
        EXPECT_EQ(r.errors, QStringList(2, FileSteps::notSavedText(at("R"), EIO)));
    }
    EXPECT_TRUE(endRun());
}

TEST_F(SyscallKills, BatchRenameWithCyclesAndChains) {
    // Its operations open this process's journal in a state folder that goes with the test.
    if (TestChild::ranInOwnProcess()) return;
    const auto batch = [&](const std::string &name, const QString &folder) {
        QList<Item> items;
        const auto item = [&](const QString &from, const QString &to) {
            items << Item{"item " + from.toUtf8(), folder + '/' + from, folder + '/' + to};
        };
        for (const QString &cycle : {QString("c"), QString("d")}) {
            item(cycle + "1", cycle + "2");
            item(cycle + "2", cycle + "3");
            item(cycle + "3", cycle + "1");
        }
        for (int i = 1; i <= 16; ++i)
            item(QString::number(i), QString::number(i + 1));
        item("Größe ä.txt", "ขนาด.txt");
        QByteArray list;
        for (const Item &i : items)
            list += i.oldPath.toUtf8() + '\n' + i.newPath.toUtf8() + '\n';
        EXPECT_TRUE(TestUtil::writeFile(path("list"), list));
        return everyCall(
            name.c_str(),
            [&] {
                QDir(folder).removeRecursively();
                QDir().mkpath(folder);
                for (const Item &i : items)
                    TestUtil::writeFile(i.oldPath, i.content);
            },
            {"rename", path("list").toUtf8()}, [&] { return itemsOnce(items, {folder}); });
    };
    for (const bool failingDisk : {false, true}) {
        if (!useDisk(failingDisk)) continue;
        if (batch("batch rename", at("rename")) < 0) GTEST_SKIP() << "ptrace is not permitted here";
    }
    // Where the rename flag is refused, each rename is a link and an unlink, or a look and a rename.
    useDisk(false);
    const LinkVolumes volumes;
    for (const auto &[name, root] : volumes.mounted())
        batch(std::string("batch rename on ") + name, root + "/rename");
}

// Files and a tree from the tmpfs to another tmpfs, to the failing disk, and to volumes that take
// links but no rename flags.
TEST_F(SyscallKills, MoveToAnotherVolume) {
    // Its operations open this process's journal in a state folder that goes with the test.
    if (TestChild::ranInOwnProcess()) return;
    TestUtil::TmpfsMount other;
    ASSERT_TRUE(other.valid());
    const auto move = [&](const std::string &name, const QString &out, int files, int treeFiles) {
        const QString in = onVolume("in");
        QList<Item> items;
        QStringList moved;
        for (int i = 1; i <= files; ++i) {
            const QString name = QString("f%1.txt").arg(i);
            items << Item{"file " + name.toUtf8(), in + '/' + name, out + '/' + name};
            moved << in + '/' + name;
        }
        for (int i = 1; i <= treeFiles; ++i) {
            const QString rel = QString("tree/%1/t%2.txt").arg(i % 3 ? "a" : "b/c").arg(i);
            items << Item{"tree " + rel.toUtf8() + (i == 5 ? pattern(300 << 10) : QByteArray()),
                          in + '/' + rel, out + '/' + rel};
        }
        moved << in + "/tree";
        QList<QByteArray> args{"move", out.toUtf8()};
        for (const QString &m : moved)
            args << m.toUtf8();
        return everyCall(
            name.c_str(),
            [&] {
                for (const QString &folder : {in, out}) {
                    QDir().mkpath(folder);
                    QDir d(folder);
                    for (const QString &n :
                         d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                        QFileInfo(d.filePath(n)).isDir() ? (void)QDir(d.filePath(n)).removeRecursively()
                                                         : (void)d.remove(n);
                }
                for (const Item &i : items) {
                    QDir().mkpath(QFileInfo(i.oldPath).path());
                    TestUtil::writeFile(i.oldPath, i.content);
                }
            },
            args,
            [&] {
                return treeItemsOnce(items, {in, out});
            });
    };
    for (const bool failingDisk : {false, true}) {
        if (!useDisk(failingDisk)) continue;
        if (move("move to another volume", failingDisk ? at("out") : other.path(), 8, 12) < 0)
            GTEST_SKIP() << "ptrace is not permitted here";
    }
    useDisk(false);
    const LinkVolumes volumes;
    for (const auto &[name, root] : volumes.mounted())
        move(std::string("move to ") + name, root + "/out", 4, 6);
}

// The disk model itself: what was flushed before the failure is there after the cut, what was written
// after it is not, and the failure is said to the writer.
TEST_F(SyscallKills, TheFailingDiskKeepsWhatWasFlushedAndNothingAfter) {
    if (!useDisk(true)) GTEST_SKIP() << "no failing disk here";
    ASSERT_TRUE(prepareRun([] {}));
    const QByteArray file = QFile::encodeName(at("lines"));
    int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const int folder = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_EQ(::fsync(folder), 0);
    ::close(folder);
    for (const char *line : {"1\n", "2\n"}) {
        EXPECT_EQ(::write(fd, line, 2), 2);
        EXPECT_EQ(::fdatasync(fd), 0);
    }
    disk->fail();
    QThread::msleep(50);                 // the signal reaches the disk's program
    EXPECT_EQ(::write(fd, "3\n", 2), 2); // into the cache
    EXPECT_NE(::fdatasync(fd), 0);
    ::close(fd);
    const int fsck = disk->cut();
    EXPECT_TRUE(fsck == 0 || fsck == 1) << fsck;
    EXPECT_EQ(TestUtil::readFile(at("lines")), "1\n2\n");
    EXPECT_TRUE(endRun());
}

// A settings write and a restore killed after each of their calls: the file holds all the old values or
// all the new ones, never a mix, a torn or an empty file; and the start after the kills removes what they
// left beside it.
TEST_F(SyscallKills, ASettingsWriteOrRestoreKilledAnywhereIsAllOldOrAllNew) {
    if (TestChild::ranInOwnProcess()) return;
    const QString folder = vol.path() + "/config/kestrin", path = folder + "/settings.plist";
    QVariantMap old, fresh;
    QList<QByteArray> pairs{"settings"};
    for (const char *key : {"fontSize", "splitFraction", "inspectorWidth"}) {
        old.insert(key, 14.0);
        fresh.insert(key, 15.0);
        pairs << QByteArray(key) + "=15";
    }
    const QVariantMap backup{{"fontSize", 16.0},      {"dualPane", false},      {"showSidebar", false},
                             {"theme", "dusk"},       {"folderIcons", "plain"}, {"appearance", "dark"},
                             {"startFolder", "home"}, {"view.left", "list"},    {"view.right", "icons"},
                             {"sort.left", "size"},   {"sort.right", "kind"},   {"toolbarCompact", false},
                             {"splitFraction", 0.4}};
    // A setting the backup does not name (inspectorWidth) goes back to its default: out of the file.
    const QVariantMap restored = backup;
    const QString backupFile = vol.path() + "/backup.plist";
    ASSERT_TRUE(TestUtil::writeFile(
        backupFile, Plist::toXml(QVariantMap{{"app", "Kestrin"}, {"format", 1}, {"settings", backup}})));
    const auto prepare = [&] {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return TestUtil::writeFile(path, Plist::toXml(old));
    };
    const auto held = [&]() -> QVariantMap {
        const auto v = Plist::parse(TestUtil::readFile(path));
        return v ? v->toMap() : QVariantMap{{"torn", true}};
    };
    int kills = 0;
    for (const auto &[args, after] :
         {std::pair{pairs, fresh}, std::pair{QList<QByteArray>{"restore", backupFile.toUtf8()}, restored}}) {
        SCOPED_TRACE(args[0].toStdString());
        ASSERT_TRUE(prepare());
        const SyscallTracer::Run whole = SyscallTracer::run(KESTRIN_TRACED_OP, args, -1);
        if (whole.refused) GTEST_SKIP() << "ptrace is not permitted here";
        ASSERT_EQ(whole.exitCode, 0);
        ASSERT_EQ(held(), after);
        for (long k = 0; k < whole.calls; ++k) {
            ASSERT_TRUE(prepare());
            if (!SyscallTracer::run(KESTRIN_TRACED_OP, args, k).killed) continue;
            ++kills;
            const QVariantMap now = held();
            EXPECT_TRUE(now == old || now == after) << "killed after call " << k;
        }
    }
    EXPECT_GT(kills, 2);
    // Forty writes killed right before their rename, then a start.
    ASSERT_TRUE(prepare());
    const long beforeRename = SyscallTracer::run(KESTRIN_TRACED_OP, pairs, -1).calls - 2;
    for (int i = 0; i < 40; ++i)
        SyscallTracer::run(KESTRIN_TRACED_OP, pairs, beforeRename);
    const QStringList left = names(folder);
    ASSERT_TRUE(SyscallTracer::run(KESTRIN_TRACED_OP, {"settings"}, -1).exitCode == 0);
    const QStringList afterStart = names(folder);
    std::cout << "after 40 killed writes: " << left.join(' ').toStdString()
              << "\nafter one start: " << afterStart.join(' ').toStdString() << "\n";
    EXPECT_EQ(afterStart, QStringList{"settings.plist"});
}
