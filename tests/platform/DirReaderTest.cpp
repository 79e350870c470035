#include "common/TestUtil.h"
#include "platform/DirReader.h"
#include "platform/Xattr.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(DirReader, ReadsEveryEntryAcrossManyBatches) {
    QTemporaryDir tmp;
    const QByteArray base = QFile::encodeName(tmp.path());
    // Long names so the entries span several reads of the buffer.
    QSet<QByteArray> want;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray name = QByteArray(200, 'n') + QByteArray::number(i);
        const int fd = ::open((base + '/' + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
        want.insert(name);
    }
    ASSERT_EQ(::mkdir((base + "/sub").constData(), 0755), 0);
    want.insert("sub");
    DirReader::Dir dir(base);
    DirReader::Batch batch;
    ASSERT_TRUE(dir.readAll(batch));
    QSet<QByteArray> got;
    for (const auto &e : batch.entries) {
        got.insert(QByteArray(batch.name(e), e.length));
        if (QByteArray(batch.name(e)) == "sub") {
            EXPECT_TRUE(e.type == DT_DIR || e.type == DT_UNKNOWN);
        }
    }
    EXPECT_EQ(got, want);
}

TEST(DirReader, LinksAreFollowedOnlyWhenAsked) {
    QTemporaryDir tmp;
    const QByteArray base = QFile::encodeName(tmp.path());
    ASSERT_TRUE(TestUtil::writeFile(tmp.path() + "/f", "12345"));
    ASSERT_EQ(::symlink("f", (base + "/l").constData()), 0);
    ASSERT_EQ(::symlink(".", (base + "/dirlink").constData()), 0);
    DirReader::Stat st;
    ASSERT_EQ(DirReader::statPath(base + "/l", false, st), 0);
    EXPECT_TRUE(st.isLink());
    ASSERT_EQ(DirReader::statPath(base + "/l", true, st), 0);
    EXPECT_TRUE(st.isReg());
    EXPECT_EQ(st.size, 5);
    EXPECT_EQ(DirReader::statPath(base + "/missing", false, st), ENOENT);

    EXPECT_TRUE(DirReader::Dir(base + "/dirlink").isOpen());
    DirReader::Dir refused(base + "/dirlink", true);
    EXPECT_FALSE(refused.isOpen());
    EXPECT_TRUE(refused.error() == ELOOP || refused.error() == ENOTDIR) << refused.error();
    DirReader::Dir parent(base);
    EXPECT_FALSE(DirReader::Dir(parent.fd(), "dirlink").isOpen());
    EXPECT_EQ(DirReader::Dir(base + "/f").error(), ENOTDIR);
}

TEST(XattrRawList, TellsWhichAttributesAnItemHas) {
    QTemporaryDir tmp;
    const QString f = tmp.path() + "/f";
    ASSERT_TRUE(TestUtil::writeFile(f, "x"));
    const QByteArray path = QFile::encodeName(f);
    EXPECT_EQ(Xattr::listRaw(path.constData()), QByteArray());
    if (Xattr::set(f, QStringLiteral("user.xdg.tags"), "Rot") != 0) GTEST_SKIP() << "no user xattrs";
    const auto list = Xattr::listRaw(path.constData());
    ASSERT_TRUE(list);
    EXPECT_TRUE(Xattr::listHas(*list, "user.xdg.tags"));
    EXPECT_FALSE(Xattr::listHas(*list, "user.xdg"));
    EXPECT_FALSE(Xattr::listRaw((path + "-missing").constData()));
}

// A folder renamed while it is read: its entries' attributes come through the open folder, not the old path.
TEST(XattrAt, ReadsThroughTheOpenFolderNotThePath) {
    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/a", f = folder + "/f";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(TestUtil::writeFile(f, "x"));
    if (Xattr::set(f, QStringLiteral("user.xdg.tags"), "Rot") != 0) GTEST_SKIP() << "no user xattrs";
    const QByteArray oldPath = QFile::encodeName(f);
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd, 0);
    ASSERT_TRUE(QDir().rename(folder, tmp.path() + "/b"));
    const auto list = Xattr::listRawAt(dirFd, "f", oldPath.constData());
    if (!list && errno == ENOENT) {
        ::close(dirFd);
        GTEST_SKIP() << "kernel without attribute calls on an open folder";
    }
    ASSERT_TRUE(list);
    EXPECT_TRUE(Xattr::listHas(*list, "user.xdg.tags"));
    const Xattr::Result tags = Xattr::getAt(dirFd, "f", "user.xdg.tags", oldPath.constData());
    EXPECT_EQ(tags.status, Xattr::Status::ok);
    EXPECT_EQ(tags.value, QByteArray("Rot"));
    EXPECT_EQ(Xattr::getAt(dirFd, "f", "user.other", oldPath.constData()).status, Xattr::Status::absent);
    // Where the kernel lacks the calls, the path is the way (here it is gone).
    Xattr::setAtCallsMissingForTests(true);
    EXPECT_EQ(Xattr::getAt(dirFd, "f", "user.xdg.tags", oldPath.constData()).status, Xattr::Status::error);
    Xattr::setAtCallsMissingForTests(false);
    ::close(dirFd);
}
