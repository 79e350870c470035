// The storage scanner against the file system's own numbers, and the model's guards against stale results.
#include "common/TestUtil.h"
#include "core/tools/StorageModel.h"
#include "core/tools/StorageScanner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using TestUtil::writeFile;

namespace {

StorageSnapshot scanOf(const QString &root, StorageScanner::Options o = {}) {
    return StorageScanner::scan(
        root, [] { return false; }, {}, o);
}

// The allocated bytes of the files below root, each inode once, as find sees them (folders add nothing).
qint64 findAllocated(const QString &root, const QStringList &extra = {}) {
    QProcess p;
    p.start(QStringLiteral("find"),
            QStringList{root, "-xdev"} + extra + QStringList{"-type", "f", "-printf", "%D %i %b\n"});
    p.waitForFinished(-1);
    QSet<QByteArray> seen;
    qint64 total = 0;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 3 || seen.contains(f[0] + ' ' + f[1])) continue;
        seen.insert(f[0] + ' ' + f[1]);
        total += f[2].toLongLong() * 512;
    }
    return total;
}

void fill(const QString &path, qint64 bytes) {
    ASSERT_TRUE(writeFile(path, QByteArray(bytes, 'k')));
}

std::optional<StorageEntry> entry(const StorageSnapshot &s, const QString &name) {
    for (const StorageEntry &e : s.entries)
        if (e.name == name) return e;
    return std::nullopt;
}

} // namespace

TEST(StorageScanner, TotalsCountAllocatedBytesOnceAndNeverFollowLinks) {
    QTemporaryDir tmp;
    const QString r = tmp.path();
    fill(r + "/big", 1 << 20);
    QDir().mkpath(r + "/empty");
    QDir().mkpath(r + "/tree/a/b");
    fill(r + "/tree/a/b/deep", 300000);
    fill(r + "/tree/one", 70000);
    ASSERT_EQ(::link((r + "/tree/one").toUtf8().constData(), (r + "/tree/a/one-again").toUtf8().constData()),
              0);
    ASSERT_EQ(::link((r + "/big").toUtf8().constData(), (r + "/tree/big-again").toUtf8().constData()), 0);
    // A sparse file takes what it really holds.
    const int fd = ::open((r + "/tree/sparse").toUtf8().constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 200 << 20), 0);
    ::close(fd);
    fill(r + "/zero", 0);
    ASSERT_EQ(::symlink("tree", (r + "/link to tree").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("/usr", (r + "/tree/usr").toUtf8().constData()), 0);

    const StorageSnapshot s = scanOf(r, {2, 400, 1024});
    EXPECT_EQ(s.total, findAllocated(r));
    EXPECT_LT(s.total, 10 << 20) << "the sparse file counts what it holds";
    EXPECT_EQ(s.files, 7) << "every name of a file, the empty one included";
    EXPECT_EQ(s.folders, 4);
    EXPECT_EQ(s.skipped, 0);
    EXPECT_EQ(s.entries.size(), 4) << "no entry for the link";
    EXPECT_FALSE(entry(s, "link to tree"));
    ASSERT_TRUE(entry(s, "empty"));
    EXPECT_EQ(entry(s, "empty")->size, 0);
    for (qsizetype i = 1; i < s.entries.size(); ++i)
        EXPECT_GE(s.entries[i - 1].size, s.entries[i].size);
    for (const StorageEntry &e : s.topFiles)
        EXPECT_NE(e.name, "zero");
    // The big file shows once, under one of its names.
    int bigs = 0;
    for (const StorageEntry &e : s.topFiles)
        bigs += e.name.startsWith("big");
    EXPECT_EQ(bigs, 1);
}

// Entries keep only their names; the paths made from them are the real ones, after the sort too, under a
// root given with or without its last slash, and a path finds its row only in the analysed folder.
TEST(StorageScanner, EntriesGiveTheRealPathsOfTheirItems) {
    QTemporaryDir tmp;
    const QString r = tmp.path();
    fill(r + QString::fromUtf8("/Grüße ✓.txt"), 9000);
    fill(r + "/b", 100);
    fill(r + "/ccc", 40000);
    QDir().mkpath(r + "/sub");
    fill(r + "/sub/b", 5000);
    const int fd = ::open((r.toUtf8() + "/bad\xff\xfe").constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    for (const QString &root : {r, r + "/"}) {
        const StorageSnapshot s = scanOf(root, {2, 400, 1024});
        EXPECT_EQ(s.skipped, 1) << "the name that is not UTF-8 is measured under no other name";
        ASSERT_EQ(s.entries.size(), 4);
        EXPECT_EQ(s.entries.first().name, "ccc");
        for (qsizetype i = 0; i < s.entries.size(); ++i) {
            const StorageEntry e = s.entries[i];
            EXPECT_EQ(e.path, r + '/' + e.name);
            struct stat st {};
            ASSERT_EQ(::lstat(e.path.toUtf8().constData(), &st), 0) << e.path.toStdString();
            EXPECT_EQ(e.isDirectory, S_ISDIR(st.st_mode));
            if (!e.isDirectory) {
                EXPECT_EQ(e.size, qint64(st.st_blocks) * 512) << e.path.toStdString();
            }
            EXPECT_EQ(s.entries.indexOf(e.path), i);
        }
        EXPECT_EQ(s.entries.indexOf(r + "/sub/b"), -1);
        EXPECT_EQ(s.entries.indexOf(r + "/nothing"), -1);
        EXPECT_EQ(s.entries.indexOf(r), -1);
    }
}

TEST(StorageScanner, TheFirstFiftyOfEqualFilesStayOnTop) {
    QTemporaryDir tmp;
    for (int i = 0; i < 60; ++i)
        fill(tmp.path() + QStringLiteral("/f%1").arg(i), 5000);
    const StorageSnapshot s = scanOf(tmp.path());
    ASSERT_EQ(s.topFiles.size(), 50);
    // In listing order, as the system lists them.
    QStringList listed;
    const QStringList all = QDir(tmp.path()).entryList(QDir::Files, QDir::Unsorted);
    for (int i = 0; i < 50; ++i)
        listed << all[i];
    QStringList got;
    for (const StorageEntry &e : s.topFiles)
        got << e.name;
    EXPECT_EQ(got, listed);
}

// The entries are put in order where they are: largest first, equal sizes as the system lists them,
// every entry once.
TEST(StorageScanner, EntriesComeLargestFirstAndEqualOnesInListingOrder) {
    QTemporaryDir tmp;
    for (int i = 0; i < 240; ++i) {
        const QString path = tmp.path() + QStringLiteral("/e%1").arg(i);
        if (i % 7 == 3) {
            QDir().mkpath(path);
            fill(path + "/inside", (i % 3) * 4096);
        } else {
            fill(path, (i * 5 % 4) * 4096);
        }
    }
    const StorageSnapshot s = scanOf(tmp.path());
    ASSERT_EQ(s.entries.size(), 240);
    QHash<QString, qint64> sizes;
    for (const StorageEntry &e : s.entries)
        sizes.insert(e.name, e.size);
    ASSERT_EQ(sizes.size(), 240) << "every entry once";
    QStringList expected =
        QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::stable_sort(expected.begin(), expected.end(),
                     [&](const QString &a, const QString &b) { return sizes[a] > sizes[b]; });
    QStringList got;
    for (const StorageEntry &e : s.entries)
        got << e.name;
    EXPECT_EQ(got, expected);
    EXPECT_GT(s.entries.first().size, s.entries.last().size);
}

TEST(StorageScanner, OtherVolumesAndBindMountsAreNotEntered) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to mount";
    QTemporaryDir tmp;
    const QString r = tmp.path();
    QDir().mkpath(r + "/disk");
    QDir().mkpath(r + "/sub/deepdisk");
    QDir().mkpath(r + "/sub/bind");
    fill(r + "/sub/file", 10000);
    ASSERT_EQ(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=8m", "kt", r + "/disk"}), 0);
    ASSERT_EQ(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=8m", "kt", r + "/sub/deepdisk"}), 0);
    // A bind mount of the scanned folder inside itself: a cycle if it were followed.
    ASSERT_EQ(QProcess::execute("mount", {"--bind", r, r + "/sub/bind"}), 0);
    fill(r + "/disk/f", 100000);
    fill(r + "/sub/deepdisk/f", 100000);
    const StorageSnapshot s = scanOf(r);
    QProcess::execute("umount", {"-l", r + "/sub/bind"});
    QProcess::execute("umount", {"-l", r + "/sub/deepdisk"});
    QProcess::execute("umount", {"-l", r + "/disk"});
    ASSERT_TRUE(entry(s, "disk"));
    EXPECT_TRUE(entry(s, "disk")->otherVolume);
    EXPECT_EQ(entry(s, "disk")->size, 0);
    EXPECT_EQ(s.folders, 2) << "disk and sub; the mount points below are not counted";
    EXPECT_EQ(s.files, 1);
    EXPECT_EQ(s.total, findAllocated(r + "/sub"));
}

TEST(StorageScanner, UnreadableFoldersAreSkippedAndTheRestMeasured) {
    QTemporaryDir tmp;
    const QString r = tmp.path();
    QDir().mkpath(r + "/open/closed");
    fill(r + "/open/seen", 40000);
    fill(r + "/open/closed/hidden", 40000);
    ASSERT_EQ(::chmod((r + "/open/closed").toUtf8().constData(), 0), 0);
    StorageSnapshot s;
    {
        TestUtil::NoFileRights rights;
        if (!rights.active()) GTEST_SKIP() << "cannot drop file rights";
        // The walkers are started from this thread and inherit its rights.
        s = scanOf(r, {3, 400, 1024});
    }
    ::chmod((r + "/open/closed").toUtf8().constData(), 0755);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(s.files, 1);
    EXPECT_EQ(s.folders, 2);
    EXPECT_EQ(s.total, findAllocated(r + "/open", {"-path", r + "/open/closed", "-prune", "-o"}));
}

TEST(StorageScanner, AMissingRootOrAFileGivesOneSkipped) {
    QTemporaryDir tmp;
    fill(tmp.path() + "/file", 10);
    for (const QString &root : {tmp.path() + "/file", tmp.path() + "/gone"}) {
        const StorageSnapshot s = scanOf(root);
        EXPECT_EQ(s.skipped, 1);
        EXPECT_TRUE(s.entries.isEmpty());
        EXPECT_EQ(s.total, 0);
    }
}

TEST(StorageScanner, CancelEndsWithinATenthOfASecond) {
    QTemporaryDir tmp;
    for (int d = 0; d < 40; ++d) {
        const QString dir = tmp.path() + QStringLiteral("/d%1").arg(d);
        QDir().mkpath(dir);
        for (int f = 0; f < 250; ++f)
            ::close(::open(QStringLiteral("%1/f%2").arg(dir).arg(f).toUtf8().constData(), O_CREAT | O_WRONLY,
                           0644));
    }
    // The flag is set from another thread in the middle of the walk, as the model's cancel does.
    std::atomic<bool> cancel{false};
    std::atomic<qint64> setAt{0};
    QElapsedTimer clock;
    clock.start();
    std::thread setter;
    int reports = 0;
    const StorageSnapshot s = StorageScanner::scan(
        tmp.path(), [&] { return cancel.load(); },
        [&](const StorageSnapshot &partial) {
            if (++reports == 1) {
                EXPECT_FALSE(partial.entries.isEmpty());
                setter = std::thread([&] {
                    setAt = clock.nsecsElapsed();
                    cancel = true;
                });
            }
        },
        {1, 0, 1024});
    const qint64 returned = clock.nsecsElapsed();
    if (setter.joinable()) setter.join();
    if (reports == 0) GTEST_SKIP() << "the scan ended before its first report";
    EXPECT_LT((returned - setAt) / 1000000, 100);
    for (qsizetype i = 1; i < s.entries.size(); ++i)
        EXPECT_GE(s.entries[i - 1].size, s.entries[i].size);
}

TEST(StorageModel, AReplacedScanNeverShowsAndHistoryGoesBack) {
    QTemporaryDir tmp;
    const QString a = tmp.path() + "/A", b = tmp.path() + "/B";
    // Large enough that A is still being walked when B starts, and B still when A's answer comes.
    for (const QString &top : {a + "/inA", b + "/inB"})
        for (int d = 0; d < 40; ++d) {
            const QString dir = top + QStringLiteral("/d%1").arg(d);
            QDir().mkpath(dir);
            for (int f = 0; f < 250; ++f)
                ::close(::open(QStringLiteral("%1/f%2").arg(dir).arg(f).toUtf8().constData(),
                               O_CREAT | O_WRONLY, 0644));
        }
    StorageModel model;
    model.options = {1, 0, 1024};
    bool recording = false;
    std::vector<QString> seen;
    QObject::connect(&model, &StorageModel::changed, [&] {
        if (recording)
            for (const StorageEntry &e : model.snapshot().entries)
                seen.push_back(e.name);
    });
    model.start(a, true);
    EXPECT_TRUE(model.history().isEmpty()) << "an empty path is never pushed";
    QTRY_VERIFY(!model.snapshot().entries.isEmpty()); // A is being walked
    recording = true;
    model.start(b, true);
    EXPECT_TRUE(model.snapshot().entries.isEmpty());
    EXPECT_EQ(model.history(), QStringList{a});
    QTRY_VERIFY_WITH_TIMEOUT(!model.scanning(), 20000);
    QTest::qWait(50);
    for (const QString &name : seen)
        EXPECT_NE(name, "inA") << "a result of the replaced scan arrived";
    ASSERT_EQ(model.snapshot().entries.size(), 1);
    EXPECT_EQ(model.snapshot().entries.first().name, "inB");
    EXPECT_EQ(model.snapshot().files, 10000);

    model.start(b, true);
    EXPECT_EQ(model.history(), QStringList{a}) << "the same folder is not pushed";
    model.cancel();
    EXPECT_FALSE(model.scanning());
    model.back();
    EXPECT_EQ(model.path(), a);
    EXPECT_TRUE(model.history().isEmpty());
    model.back();
    EXPECT_EQ(model.path(), a);
    QTRY_VERIFY_WITH_TIMEOUT(!model.scanning(), 20000);
}

TEST(StorageScanner, QuittingStopsEveryScanAtOnce) {
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + "/a/b");
    fill(tmp.path() + "/a/b/f", 5000);
    StorageScanner::stopAll(100);
    const StorageSnapshot s = scanOf(tmp.path());
    StorageScanner::resetForTests();
    EXPECT_TRUE(s.entries.isEmpty()) << "a scan after the quit measures nothing";
    EXPECT_EQ(scanOf(tmp.path()).entries.size(), 1);
}
