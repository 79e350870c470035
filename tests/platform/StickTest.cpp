// The tests' stick behaves as FAT does where the program's steps rely on it.
#include "common/FatFuse.h"
#include "common/NtfsImage.h"
#include "common/TestUtil.h"
#include "platform/Posix.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

namespace {
QByteArray at(const TestUtil::FatFuse &stick, const char *name) {
    return QFile::encodeName(stick.path()) + '/' + name;
}
} // namespace

TEST(Stick, RefusesWhatFatCannotHoldAndFailsWhenPulled) {
    KESTRIN_FAT_OR_SKIP(stick);
    ASSERT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/Readme.txt"), "hi"));
    EXPECT_EQ(TestUtil::lstatOf(stick.path() + QStringLiteral("/README.TXT")).st_ino,
              TestUtil::lstatOf(stick.path() + QStringLiteral("/Readme.txt")).st_ino);
    EXPECT_EQ(::renameat2(AT_FDCWD, at(stick, "Readme.txt"), AT_FDCWD, at(stick, "x"), RENAME_NOREPLACE), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(::symlink("Readme.txt", at(stick, "link")), -1);
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(::setxattr(at(stick, "Readme.txt"), "user.xdg.tags", "a", 1, 0), -1);
    EXPECT_EQ(errno, ENOTSUP);
    EXPECT_EQ(::open(at(stick, "a:b"), O_CREAT | O_WRONLY, 0644), -1);
    EXPECT_EQ(errno, EINVAL);

    ASSERT_TRUE(stick.pull());
    EXPECT_FALSE(TestUtil::writeFile(stick.path() + QStringLiteral("/new.txt"), "x"));
    EXPECT_EQ(TestUtil::readFile(stick.path() + QStringLiteral("/readme.txt")), "hi");
    ASSERT_TRUE(stick.plugBack());
    EXPECT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/new.txt"), "x"));
}

// Where the volume refuses RENAME_NOREPLACE: a link and an unlink where it has links that keep the
// inode number, else a look first; the item keeps its number either way.
TEST(Stick, TheNoReplaceRenameFallsBackAndNeverReplaces) {
    for (const int links : {0, 1, 2}) {
        KESTRIN_FAT_OR_SKIP(stick, false, links == 1, links == 2);
        auto rename = [&](const char *from, const char *to, const struct stat *expected = nullptr) {
            return Posix::renameNoReplace(AT_FDCWD, at(stick, from), AT_FDCWD, at(stick, to), expected);
        };
        ASSERT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/a"), "a"));
        ASSERT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/b"), "b"));
        EXPECT_EQ(rename("a", "b"), EEXIST) << links;
        EXPECT_EQ(rename("a", "B"), EEXIST) << links;
        EXPECT_EQ(TestUtil::readFile(stick.path() + QStringLiteral("/b")), "b");
        const ino_t item = TestUtil::lstatOf(stick.path() + QStringLiteral("/a")).st_ino;
        EXPECT_EQ(rename("a", "c"), 0) << links;
        EXPECT_EQ(TestUtil::lstatOf(stick.path() + QStringLiteral("/c")).st_ino, item) << links;
        EXPECT_EQ(TestUtil::names(stick.path()), QStringList({QStringLiteral("b"), QStringLiteral("c")}));
        EXPECT_EQ(TestUtil::readFile(stick.path() + QStringLiteral("/c")), "a");
        // Another item under the source's name than the one meant stays.
        const struct stat other = TestUtil::lstatOf(stick.path() + QStringLiteral("/b"));
        EXPECT_EQ(rename("c", "d", &other), ENOENT);
        ASSERT_EQ(::mkdir(at(stick, "folder"), 0755), 0);
        EXPECT_EQ(rename("folder", "moved"), 0);
        EXPECT_EQ(TestUtil::names(stick.path()),
                  QStringList({QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("moved")}));
    }
}

// A folder takes no link: only the look right before the rename keeps it off a name that was taken after
// the kernel found it free.
TEST(Stick, AFolderIsNotRenamedOverANameTakenMeanwhile) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, false, false, -1, true);
    ASSERT_EQ(::mkdir(at(stick, "folder"), 0755), 0);
    ASSERT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/folder/f"), "f"));
    EXPECT_EQ(Posix::renameNoReplace(AT_FDCWD, at(stick, "folder"), AT_FDCWD, at(stick, "taken")), EEXIST);
    EXPECT_EQ(TestUtil::names(stick.path()),
              QStringList({QStringLiteral("folder"), QStringLiteral("taken")}));
    EXPECT_EQ(TestUtil::readFile(stick.path() + QStringLiteral("/folder/f")), "f");
}

// As sshfs: a link shows a new inode number, a rename keeps it.
TEST(Stick, ALinkOnTheRenumberingStickGetsANewInodeNumber) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, true);
    ASSERT_TRUE(TestUtil::writeFile(stick.path() + QStringLiteral("/a"), "a"));
    const ino_t item = TestUtil::lstatOf(stick.path() + QStringLiteral("/a")).st_ino;
    ASSERT_EQ(::link(at(stick, "a"), at(stick, "b")), 0);
    EXPECT_NE(TestUtil::lstatOf(stick.path() + QStringLiteral("/b")).st_ino, item);
    ASSERT_EQ(::rename(at(stick, "a"), at(stick, "c")), 0);
    EXPECT_EQ(TestUtil::lstatOf(stick.path() + QStringLiteral("/c")).st_ino, item);
}

// ntfs-3g takes links that keep the inode number, but no rename flags.
TEST(Stick, RealNtfsImageMounts) {
    KESTRIN_NTFS_OR_SKIP(ntfs);
    const QByteArray a = QFile::encodeName(ntfs.path() + QStringLiteral("/a")),
                     b = QFile::encodeName(ntfs.path() + QStringLiteral("/b"));
    ASSERT_TRUE(TestUtil::writeFile(QString::fromUtf8(a), "hi"));
    EXPECT_EQ(::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_NOREPLACE), -1);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(::link(a, b), 0);
    EXPECT_EQ(TestUtil::lstatOf(QString::fromUtf8(a)).st_ino, TestUtil::lstatOf(QString::fromUtf8(b)).st_ino);
}

TEST(Stick, RealExfatImageMounts) {
    KESTRIN_EXFAT_OR_SKIP(exfat);
    EXPECT_TRUE(TestUtil::writeFile(exfat.path() + QStringLiteral("/Readme.txt"), "hi"));
    EXPECT_EQ(TestUtil::readFile(exfat.path() + QStringLiteral("/README.TXT")), "hi");
}
