// Trees whose files are copied by several threads at once: every promise of the one-thread copy holds.
#include "Fixture.h"

#include "common/TestChild.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QHash>
#include <QProcess>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using FileSteps::Step;
using TestUtil::LanguageScope;
using TestUtil::lstatOf;

namespace {

class HookScope {
public:
    explicit HookScope(FileSteps::StepHook hook) { FileSteps::setStepHook(std::move(hook)); }
    ~HookScope() { FileSteps::setStepHook({}); }
};

QByteArray encoded(const QString &p) {
    return QFile::encodeName(p);
}

} // namespace

// Copies args[0] into args[1] and dies once a hundred files are copied.
TEST_CHILD(copyKilledAtItsHundredthFile) {
    std::atomic<int> copied{0};
    FileSteps::setStepHook([&](Step s, const QString &) {
        if (s == Step::fileCopied && ++copied == 100) ::raise(SIGKILL);
    });
    TransferProgress progress;
    FileOps::runWithProgress({args.value(0)}, args.value(1), false, progress);
    return 0;
}

class ParallelCopy : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        QDir(TrashRoots::homeTrash()).removeRecursively();
    }
    // folders × files of `size` bytes below rel, each file with bytes of its own.
    QString tree(const QString &rel, int folders, int files, qint64 size = 4096) {
        for (int d = 0; d < folders; ++d)
            for (int f = 0; f < files; ++f)
                file(QString("%1/d%2/f%3").arg(rel).arg(d).arg(f), pattern(size, char(d * 31 + f)));
        return path(rel);
    }
    TransferOutcome run(const QStringList &paths, const QString &to, bool move,
                        const QHash<QString, ConflictChoice> &res = {}) {
        TransferProgress p;
        return FileOps::runWithProgress(paths, to, move, p, res);
    }
};

// Cancelled halfway, nothing stays; killed halfway, only a part the journal names stays, and the next
// transfer into the folder clears it.
TEST_F(ParallelCopy, CancelOrKillLeavesNoFileUnderAFinalNameAndNothingUnrecorded) {
    const QString src = tree("src/tree", 8, 60, 64 << 10);
    const QString dst = mkdir("dst");
    TransferProgress p;
    std::atomic<bool> stop{false};
    std::thread canceller([&] {
        while (!stop && p.snapshot().done < (8 << 20))
            std::this_thread::yield();
        p.cancel();
    });
    const TransferOutcome o = FileOps::runWithProgress({src}, dst, false, p);
    stop = true;
    canceller.join();
    EXPECT_TRUE(o.cancelled);
    EXPECT_EQ(o.done, 0);
    EXPECT_EQ(names(dst), QStringList{});

    const int status = TestChild::run("copyKilledAtItsHundredthFile", {src, dst});
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    const QStringList left = names(dst);
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left.first().startsWith(".kestrin-part-")) << left.first().toStdString();
    EXPECT_EQ(run({file("small", "s")}, dst, false).done, 1);
    EXPECT_EQ(names(dst), QStringList{"small"});
}

// Each item gets its own answer, and a replaced item leaves its name only for a complete copy.
TEST_F(ParallelCopy, ConflictAnswersApplyPerItem) {
    LanguageScope de(AppLanguage::de);
    const QString a = tree("src/a", 4, 80, 32 << 10), b = tree("src/b", 2, 10), c = tree("src/c", 2, 10);
    const QString dst = mkdir("dst");
    for (const QString n : {"a", "b", "c"})
        file("dst/" + n + "/old", "old");
    const auto source = snapshot(a);
    bool whole = false;
    HookScope check([&](Step s, const QString &) {
        if (s == Step::oldItemOut) whole = snapshot(dst + "/a") == source;
    });
    const TransferOutcome o =
        run({a, b, c}, dst, false,
            {{a, ConflictChoice::replace}, {b, ConflictChoice::skip}, {c, ConflictChoice::keepBoth}});
    EXPECT_TRUE(o.errors.isEmpty()) << o.errors.join('\n').toStdString();
    EXPECT_TRUE(whole);
    EXPECT_EQ(o.done, 2);
    EXPECT_EQ(o.skipped, 1);
    EXPECT_EQ(o.created, (QStringList{dst + "/a", dst + "/c Kopie"}));
    EXPECT_EQ(snapshot(dst + "/a"), source);
    EXPECT_EQ(names(dst + "/b"), QStringList{"old"});
    EXPECT_EQ(names(dst + "/c"), QStringList{"old"});
    EXPECT_EQ(snapshot(dst + "/c Kopie"), snapshot(c));
    EXPECT_EQ(names(TrashRoots::homeTrash() + "/files"), QStringList{"a"});
}

// One file fails: its item is reported by that file's name and removed, the next item is copied whole.
TEST_F(ParallelCopy, AFailingFileFailsItsItemAndTheOthersFinish) {
    LanguageScope de(AppLanguage::de);
    const QString a = tree("src/a", 6, 100), b = tree("src/b", 6, 100);
    const QString bad = a + "/d3/f50";
    const QString dst = mkdir("dst");
    HookScope fault([&](Step s, const QString &p) {
        if (s == Step::chunkCopied && p == bad) throw FileError::fromErrno(ENOENT);
    });
    const TransferOutcome o = run({a, b}, dst, false);
    EXPECT_EQ(o.errors,
              QStringList{"„f50“: Die Datei gibt es nicht mehr oder sie wurde verschoben. (in „a“)"});
    EXPECT_EQ(o.failed, QStringList{"a"});
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(names(dst), QStringList{"b"});
    EXPECT_EQ(snapshot(dst + "/b"), snapshot(b));
}

// A folder's mode and times are the source's after the copy, though its files went in after the walk left it.
TEST_F(ParallelCopy, FoldersGetTheirModesAndTimesAfterTheirContent) {
    const QString src = tree("src/tree", 3, 150);
    const QStringList folders{src, src + "/d0", src + "/d1", src + "/d2"};
    const mode_t modes[] = {0750, 0705, 0555, 0711};
    for (int i = 0; i < folders.size(); ++i) {
        const struct timespec times[2] = {{1000000000 + i, 0}, {1100000000 + i, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, encoded(folders[i]).constData(), times, 0), 0);
        ASSERT_EQ(::chmod(encoded(folders[i]).constData(), modes[i]), 0);
    }
    const QString dst = mkdir("dst");
    const TransferOutcome o = run({src}, dst, false);
    ASSERT_EQ(o.done, 1);
    for (int i = 0; i < folders.size(); ++i) {
        const struct stat from = lstatOf(folders[i]);
        const struct stat to = lstatOf(dst + "/tree" + folders[i].mid(src.size()));
        SCOPED_TRACE(folders[i].toStdString());
        EXPECT_EQ(to.st_mode & 07777, modes[i]);
        EXPECT_EQ(to.st_mtim.tv_sec, from.st_mtim.tv_sec);
        EXPECT_EQ(to.st_mtim.tv_nsec, from.st_mtim.tv_nsec);
    }
    EXPECT_EQ(snapshot(dst + "/tree"), snapshot(src));
    for (const QString &f : folders)
        ::chmod(encoded(f).constData(), 0755);
}

// A folder's files are made by one thread (threads making entries in one folder wait for each other), and
// every file ends with exactly its rights, those the umask hides too, and its attributes.
TEST_F(ParallelCopy, OneThreadPerFolderAndFilesKeepTheirExactRights) {
    const QString src = tree("src/tree", 6, 150);
    const mode_t rights[] = {0666, 0640, 0444, 0604, 0755, 0600};
    for (int d = 0; d < 6; ++d) {
        const QByteArray f = encoded(src + QString("/d%1/f7").arg(d));
        ASSERT_EQ(::chmod(f.constData(), rights[d]), 0);
    }
    const QByteArray readOnly = encoded(src + "/d2/f7");
    const bool attributes = ::setxattr(readOnly.constData(), "user.note", "kept", 4, 0) == 0 ||
                            (::chmod(readOnly.constData(), 0644) == 0 &&
                             ::setxattr(readOnly.constData(), "user.note", "kept", 4, 0) == 0 &&
                             ::chmod(readOnly.constData(), 0444) == 0);
    std::mutex lock;
    QHash<QString, std::set<std::thread::id>> makers;
    HookScope hook([&](Step step, const QString &p) {
        if (step != Step::fileCopied) return;
        std::lock_guard guard(lock);
        makers[p.section(u'/', 0, -2)].insert(std::this_thread::get_id());
    });
    const mode_t old = ::umask(022);
    const QString dst = mkdir("dst");
    const TransferOutcome o = run({src}, dst, false);
    ::umask(old);
    ASSERT_EQ(o.done, 1);
    ASSERT_EQ(makers.size(), 6);
    for (auto it = makers.cbegin(); it != makers.cend(); ++it)
        EXPECT_EQ(it.value().size(), 1u) << it.key().toStdString();
    for (int d = 0; d < 6; ++d) {
        SCOPED_TRACE(d);
        EXPECT_EQ(lstatOf(dst + QString("/tree/d%1/f7").arg(d)).st_mode & 07777, rights[d]);
        EXPECT_EQ(lstatOf(dst + QString("/tree/d%1/f8").arg(d)).st_mode & 07777,
                  lstatOf(src + QString("/d%1/f8").arg(d)).st_mode & 07777);
    }
    if (attributes) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(encoded(dst + "/tree/d2/f7").constData(), "user.note", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    EXPECT_EQ(snapshot(dst + "/tree"), snapshot(src));
}

// Moving to another volume: an item whose copy failed keeps every file of its source.
TEST_F(ParallelCopy, AMoveNeverRemovesASourceWhoseCopyFailed) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount vol("64m");
    ASSERT_TRUE(vol.valid());
    const QString a = tree("src/a", 6, 100), b = tree("src/b", 4, 50);
    const auto before = snapshot(a), other = snapshot(b);
    const QString bad = a + "/d5/f90";
    HookScope fault([&](Step s, const QString &p) {
        if (s == Step::chunkCopied && p == bad) throw FileError::fromErrno(EIO);
    });
    const TransferOutcome o = run({a, b}, vol.path(), true);
    EXPECT_EQ(o.errors.size(), 1);
    EXPECT_EQ(o.done, 1);
    EXPECT_EQ(snapshot(a), before);
    EXPECT_FALSE(exists(b));
    EXPECT_EQ(names(vol.path()), QStringList{"b"});
    EXPECT_EQ(snapshot(vol.path() + "/b"), other);
}

// Measuring reads subfolders on several threads: every file counts once, a file with several names too.
TEST_F(ParallelCopy, MeasuringCountsEachFileOnce) {
    qint64 expected = 0;
    for (int d = 0; d < 40; ++d)
        for (int depth = 0; depth < 3; ++depth) {
            const qint64 size = 100 * d + depth + 1;
            file(QString("m/d%1/%2/f").arg(d).arg(QString("s/").repeated(depth)), pattern(size));
            expected += size;
        }
    const QString shared = file("m/shared", pattern(7000));
    expected += 7000;
    for (int d = 0; d < 40; d += 8)
        ASSERT_EQ(
            ::link(encoded(shared).constData(), encoded(path(QString("m/d%1/again").arg(d))).constData()), 0);
    TransferProgress p;
    EXPECT_EQ(FileOps::totalBytes({path("m")}, p), expected);
    EXPECT_EQ(FileOps::totalBytes({path("m"), path("m/d3")}), expected + 301 + 302 + 303);
}

// A destination folder that hands down an ACL gives none of it to the copy of a tree the source lacks.
TEST_F(ParallelCopy, NoHandedDownAclOnAnyLevelOfATree) {
    const QString src = tree("src/t", 2, 3);
    file("src/t/d1/deeper/g", "g");
    const QString giving = mkdir("giving");
    if (QProcess::execute("setfacl", {"-d", "-m", "u:4242:rwx", giving}) != 0)
        GTEST_SKIP() << "setfacl is missing or the file system takes no ACLs";
    ASSERT_EQ(run({src}, giving, false).done, 1);
    for (const QString rel : {"t", "t/d0", "t/d0/f1", "t/d1/deeper", "t/d1/deeper/g"}) {
        SCOPED_TRACE(rel.toStdString());
        const QByteArray p = encoded(giving + "/" + rel);
        EXPECT_LT(::getxattr(p.constData(), "system.posix_acl_access", nullptr, 0), 0);
        EXPECT_LT(::getxattr(p.constData(), "system.posix_acl_default", nullptr, 0), 0);
    }
}
