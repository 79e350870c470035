#include "Fixture.h"

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/PosixSteps.h"
#include "core/localisation/AppLanguage.h"

#include <fcntl.h>

using namespace FileOpsTest;
using FileSteps::HeldFolder;

namespace {

// Each case runs with openat2 and with the name-by-name way of older kernels.
class HeldFolderTest : public Dir, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        Dir::SetUp();
        FileSteps::setOpenat2ForTests(GetParam());
    }
    void TearDown() override { FileSteps::setOpenat2ForTests(true); }
};

} // namespace

TEST_P(HeldFolderTest, OpensBeneathButNeverThroughALinkOrUp) {
    mkdir(QStringLiteral("top/sub"));
    file(QStringLiteral("top/sub/f"), "inside");
    mkdir(QStringLiteral("private"));
    file(QStringLiteral("private/secret"), "outside");
    ASSERT_EQ(::symlink(path(QStringLiteral("private")).toUtf8().constData(),
                        path(QStringLiteral("top/link")).toUtf8().constData()),
              0);
    ASSERT_EQ(::symlink("sub/f", path(QStringLiteral("top/flink")).toUtf8().constData()), 0);
    const HeldFolder top(path(QStringLiteral("top")));

    FileSteps::Fd fd(top.openBeneath("sub/f", O_RDONLY));
    ASSERT_GE(fd.get(), 0);
    char buf[16] = {};
    EXPECT_EQ(::read(fd.get(), buf, sizeof buf), 6);
    EXPECT_EQ(top.openBeneath("link/secret", O_RDONLY), -1);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(top.openBeneath("flink", O_RDONLY), -1);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(top.openBeneath("sub/../../private/secret", O_RDONLY), -1);
    EXPECT_EQ(top.openBeneath("/etc/passwd", O_RDONLY), -1);

    // Made beneath it, a new file lands in the held folder, not in what its path shows now.
    const HeldFolder sub = top.beneath("sub");
    ASSERT_TRUE(QDir().rename(path(QStringLiteral("top")), path(QStringLiteral("moved"))));
    FileSteps::Fd made(sub.openBeneath("new", O_WRONLY | O_CREAT | O_EXCL, 0600));
    EXPECT_GE(made.get(), 0);
    EXPECT_TRUE(exists(path(QStringLiteral("moved/sub/new"))));
}

TEST_P(HeldFolderTest, RefusesAFolderSwappedForALinkNamingIt) {
    TestUtil::LanguageScope en(AppLanguage::en);
    const QString shown = mkdir(QStringLiteral("shared/d"));
    mkdir(QStringLiteral("private"));
    struct stat st;
    ASSERT_EQ(::stat(shown.toUtf8().constData(), &st), 0);
    const HeldFolder held(shown, st);
    EXPECT_TRUE(held.stillAtPath());
    EXPECT_NO_THROW(held.check());

    ASSERT_TRUE(QDir().rename(shown, path(QStringLiteral("shared/d.old"))));
    ASSERT_EQ(::symlink(path(QStringLiteral("private")).toUtf8().constData(), shown.toUtf8().constData()), 0);
    EXPECT_FALSE(held.stillAtPath());
    try {
        held.check();
        ADD_FAILURE() << "a swapped folder passed";
    } catch (const FileError &e) {
        EXPECT_EQ(e.description,
                  QStringLiteral("“") + shown +
                      QStringLiteral("” is no longer the folder that was shown: it was replaced or moved. "
                                     "What lies there now is left untouched."));
    }
    // Held again by its path, it is another folder than the one shown.
    EXPECT_THROW(HeldFolder(shown, st), FileError);
}

TEST_P(HeldFolderTest, StaysOnItsMountWhereAsked) {
    const QString inner = mkdir(QStringLiteral("top/mnt"));
    const MountAt mount(inner);
    if (!mount.mounted) GTEST_SKIP() << "needs root to mount";
    const HeldFolder top(path(QStringLiteral("top")));
    EXPECT_EQ(top.openBeneath("mnt", O_PATH | O_DIRECTORY, 0, true), -1);
    EXPECT_EQ(errno, EXDEV);
    FileSteps::Fd fd(top.openBeneath("mnt", O_PATH | O_DIRECTORY));
    EXPECT_GE(fd.get(), 0);
}

// Another volume mounted over the held one: its root has the same inode number on another device.
TEST_P(HeldFolderTest, AFolderWithTheSameInodeOnAnotherDeviceIsAnotherFolder) {
    const QString at = mkdir(QStringLiteral("vol"));
    const MountAt first(at);
    if (!first.mounted) GTEST_SKIP() << "needs root to mount";
    const HeldFolder held(at);
    const MountAt second(at);
    ASSERT_TRUE(second.mounted);
    struct stat now;
    ASSERT_EQ(::stat(at.toUtf8().constData(), &now), 0);
    ASSERT_EQ(now.st_ino, held.identity().st_ino);
    ASSERT_NE(now.st_dev, held.identity().st_dev);
    EXPECT_FALSE(held.stillAtPath());
    EXPECT_THROW(held.check(), FileError);
}

INSTANTIATE_TEST_SUITE_P(Ways, HeldFolderTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "openat2" : "nameByName"; });
