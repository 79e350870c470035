#include "ModelFixture.h"

#include "core/model/FolderSize.h"

using FolderSizeTest = ModelFixture;

TEST_F(FolderSizeTest, CountsHiddenAndNestedFilesNeverLinks) {
    EXPECT_EQ(FileOps::folderSize(at(QStringLiteral("missing"))).bytes, 0);
    file(QStringLiteral(".hidden"), "123");
    file(QStringLiteral("a/b/c/deep"), "4567");
    file(QStringLiteral("big"), QByteArray(10'000, 'x'));
    EXPECT_EQ(FileOps::folderSize(at(QStringLiteral("big"))).bytes, 0); // a plain file is no folder
    link(at(QStringLiteral("big")), QStringLiteral("link-to-file"));
    link(dir(), QStringLiteral("a/loop")); // would count everything again, forever
    link(QStringLiteral("/nonexistent"), QStringLiteral("dangling"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at(QStringLiteral("pipe"))).constData(), 0644), 0);
    const auto r = FileOps::folderSize(dir());
    EXPECT_EQ(r.bytes, 3 + 4 + 10'000);
    EXPECT_FALSE(r.truncated);
}

TEST_F(FolderSizeTest, TruncatedOnlyWhenAFurtherFileExistsAndStopsWhenCancelled) {
    for (int i = 0; i < 3; ++i)
        file(QStringLiteral("f%1").arg(i), QByteArray(10, 'x'));
    auto r = FileOps::folderSize(dir(), 3);
    EXPECT_EQ(r.bytes, 30);
    EXPECT_FALSE(r.truncated);
    file(QStringLiteral("sub/f3"), QByteArray(10, 'x'));
    r = FileOps::folderSize(dir(), 3);
    EXPECT_EQ(r.bytes, 30);
    EXPECT_TRUE(r.truncated);
    r = FileOps::folderSize(dir(), 0);
    EXPECT_EQ(r.bytes, 10);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(FileOps::folderSize(dir(), -4).bytes, 10);

    CancelFlag flag;
    flag.setCancelled();
    r = FileOps::folderSize(dir(), 200000, &flag);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.bytes, 0);
}
