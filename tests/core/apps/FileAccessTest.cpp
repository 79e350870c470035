// Read and write access of the permission classes: the worked values, a file, a folder and a link, a
// write that starts from the item's mode of now, a refusal for a user without the right, and an item or
// folder swapped for another account's link after the facts were read.
#include "common/SwappedFolder.h"
#include "common/TestUtil.h"
#include "core/fileops/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class FileAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dir = tmp.path();
        file = dir + "/f.txt";
        ASSERT_TRUE(TestUtil::writeFile(file, "x"));
    }
    static mode_t modeOf(const QString &path) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    }
    // What the path leads to, as the form reads it.
    static ItemId idOf(const QString &path) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return {quint64(st.st_dev), quint64(st.st_ino)};
    }
    static FileAccess::Written set(const QString &path, int value, int shift) {
        return FileAccess::setAccess(path, idOf(path), value, shift);
    }
    static void chmodTo(const QString &path, mode_t m) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), m), 0);
    }
    QTemporaryDir tmp{TestUtil::testHome() + "/access-XXXXXX"};
    QString dir, file;
};

} // namespace

TEST_F(FileAccessTest, WorkedValuesKeepEveryOtherBit) {
    EXPECT_EQ(FileAccess::withAccess(0755, 6, 3), mode_t(0775));
    EXPECT_EQ(FileAccess::withAccess(0644, 4, 6), mode_t(0444));
    EXPECT_EQ(FileAccess::withAccess(0755, 0, 0), mode_t(0751));
    EXPECT_EQ(FileAccess::withAccess(04755, 2, 6), mode_t(04355));
    EXPECT_EQ(FileAccess::withAccess(0111, 4, 6), mode_t(0511));
}

TEST_F(FileAccessTest, WritesAFileAndAFolderFromTheirModeOfNow) {
    chmodTo(file, 0644);
    const FileAccess::Facts before = FileAccess::read(file);
    EXPECT_EQ(before.mode, mode_t(0644));
    // Changed behind the form's back after it read: the write starts from what is there now.
    chmodTo(file, 04600);
    const FileAccess::Written w = set(file, 4, 3);
    EXPECT_EQ(w.err, 0);
    EXPECT_EQ(w.mode, mode_t(04640));
    EXPECT_EQ(modeOf(file), mode_t(04640));

    chmodTo(dir, 0755);
    EXPECT_TRUE(FileAccess::read(dir).isDirectory);
    EXPECT_EQ(set(dir, 0, 0).err, 0);
    EXPECT_EQ(modeOf(dir), mode_t(0751));
}

TEST_F(FileAccessTest, ALinkShowsAndChangesItsTarget) {
    chmodTo(file, 0600);
    const QString link = dir + "/link";
    ASSERT_TRUE(QFile::link(file, link));
    const FileAccess::Facts facts = FileAccess::read(link);
    EXPECT_TRUE(facts.isLink);
    EXPECT_EQ(facts.mode, mode_t(0600));
    const FileAccess::Written w = set(link, 4, 0);
    EXPECT_EQ(w.err, 0);
    EXPECT_EQ(modeOf(file), mode_t(0604));
    EXPECT_EQ(FileAccess::read(link).mode, modeOf(file));
    // A broken link has nothing to show or change.
    const QString broken = dir + "/broken";
    ASSERT_TRUE(QFile::link(dir + "/missing", broken));
    EXPECT_NE(FileAccess::read(broken).err, 0);
    EXPECT_NE(set(broken, 6, 6).err, 0);
}

TEST_F(FileAccessTest, AUserWithoutTheRightIsRefusedAndNothingChanges) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to drop privileges";
    // A folder the other user can reach: the private home is closed to everyone else.
    QTemporaryDir open(QDir::tempPath() + "/kestrin-access-XXXXXX");
    ASSERT_TRUE(open.isValid());
    chmodTo(open.path(), 0755);
    const QString file = open.path() + "/root-owned.txt";
    ASSERT_TRUE(TestUtil::writeFile(file, "x"));
    chmodTo(file, 0644);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const FileAccess::Written w = FileAccess::setAccess(file, idOf(file), 6, 0);
        const int out[2] = {w.err, int(w.mode)};
        if (::write(fds[1], out, sizeof out) != sizeof out) ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    int got[2] = {0, 0};
    const ssize_t n = ::read(fds[0], got, sizeof got);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(n, ssize_t(sizeof got));
    EXPECT_EQ(got[0], EPERM);
    EXPECT_EQ(mode_t(got[1]), mode_t(0644)); // what the form shows again
    EXPECT_EQ(modeOf(file), mode_t(0644));
}

TEST_F(FileAccessTest, AnItemOrFolderSwappedSinceItWasReadIsLeftAlone) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    for (const bool wholeFolder : {true, false}) {
        SCOPED_TRACE(wholeFolder ? "the folder swapped" : "the item swapped");
        const QString shared = dir + (wholeFolder ? "/shared1" : "/shared2");
        ASSERT_TRUE(QDir().mkpath(shared));
        const QString item = shared + "/a";
        ASSERT_TRUE(TestUtil::writeFile(item, "mine"));
        const ItemId read = idOf(item);
        const TestUtil::PrivateFolder priv({"a"});
        chmodTo(priv.path("a"), 0600);
        ASSERT_TRUE(wholeFolder ? TestUtil::swapForLink(shared, priv.path())
                                : TestUtil::swapForLink(item, priv.path("a")));
        const FileAccess::Written w = FileAccess::setAccess(item, read, 6, 0);
        EXPECT_EQ(w.err, ESTALE);
        EXPECT_EQ(modeOf(priv.path("a")), mode_t(0600));
    }
}
