// The tests' stick behaves as FAT does where the program's steps rely on it.
#include "common/FatFuse.h"
#include "common/TestUtil.h"

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

TEST(Stick, RealExfatImageMounts) {
    KESTRIN_EXFAT_OR_SKIP(exfat);
    EXPECT_TRUE(TestUtil::writeFile(exfat.path() + QStringLiteral("/Readme.txt"), "hi"));
    EXPECT_EQ(TestUtil::readFile(exfat.path() + QStringLiteral("/README.TXT")), "hi");
}
