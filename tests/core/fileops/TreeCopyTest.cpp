#include "Fixture.h"

#include "core/fileops/FileOps.h"
#include "platform/FileCopy.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using TestUtil::lstatOf;

namespace {

void makeSocket(const QString &path) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = path.toUtf8();
    ASSERT_LT(size_t(p.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ::close(s);
}

} // namespace

class TreeCopy : public Dir {};

TEST_F(TreeCopy, CopiesContentLinksAndMetadata) {
    const QString src = mkdir("src");
    file("src/big", pattern(3 * (1 << 20) + 17)); // several chunks and a tail
    file("src/empty", "");
    file("src/sub/.hidden", pattern(10, 3));
    ASSERT_EQ(::symlink("sub/.hidden", path("src/rel").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("sub", path("src/dirlink").toUtf8().constData()), 0);
    ASSERT_EQ(::chmod(path("src/big").toUtf8().constData(), 0640), 0);
    ASSERT_EQ(::chmod(path("src/sub").toUtf8().constData(), 0750), 0);
    const struct timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("src/big").toUtf8().constData(), times, 0), 0);
    const bool xattrs = ::setxattr(path("src/big").toUtf8().constData(), "user.k", "v1", 2, 0) == 0;

    TransferProgress progress;
    FileOps::copyTree(src, path("dst"), progress, false);
    EXPECT_EQ(snapshot(src), snapshot(path("dst")));
    EXPECT_EQ(progress.snapshot().done, 3 * (1 << 20) + 17 + 10);

    const struct stat big = lstatOf(path("dst/big"));
    EXPECT_EQ(big.st_mode & 07777, 0640u);
    EXPECT_EQ(big.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(big.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(lstatOf(path("dst/sub")).st_mode & 07777, 0750u);
    EXPECT_TRUE(S_ISLNK(lstatOf(path("dst/dirlink")).st_mode)); // recreated, not followed
    if (xattrs) {
        char v[8] = {};
        EXPECT_EQ(::getxattr(path("dst/big").toUtf8().constData(), "user.k", v, sizeof v), 2);
        EXPECT_STREQ(v, "v1");
    }
}

TEST_F(TreeCopy, NeverOverwritesAndPassesOverSockets) {
    const QString a = file("a", "new");
    const QString b = file("b", "old");
    TransferProgress progress;
    try {
        FileOps::copyFileChunked(a, b, progress, true);
        FAIL();
    } catch (const FileError &e) {
        EXPECT_EQ(e.code, EEXIST);
    }
    EXPECT_EQ(TestUtil::readFile(b), "old");

    mkdir("withsock");
    file("withsock/f", "data");
    makeSocket(path("withsock/s"));
    FileOps::copyTree(path("withsock"), path("out"), progress, false);
    EXPECT_TRUE(exists(path("out/f")));
    EXPECT_FALSE(exists(path("out/s")));
}

TEST_F(TreeCopy, OddNamesSurviveByteForByte) {
    mkdir("odd");
    file("odd/line\nbreak", "1");
    file("odd/-rf", "2");
    file("odd/" + QString(255, 'n'), "3");
    // A name that is not UTF-8 cannot be shown, but is copied under its own bytes.
    const QByteArray latin1 = path("odd").toUtf8() + "/caf\xe9";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "4", 1), 1);
    ::close(fd);

    TransferProgress progress;
    FileOps::copyTree(path("odd"), path("odd2"), progress, false);
    EXPECT_EQ(TestUtil::readFile(path("odd2/line\nbreak")), "1");
    EXPECT_EQ(TestUtil::readFile(path("odd2/-rf")), "2");
    EXPECT_EQ(TestUtil::readFile(path("odd2/" + QString(255, 'n'))), "3");
    EXPECT_EQ(::access((path("odd2").toUtf8() + "/caf\xe9").constData(), F_OK), 0);
    // QTemporaryDir cannot remove what it cannot name.
    ::unlink(latin1.constData());
    ::unlink((path("odd2").toUtf8() + "/caf\xe9").constData());
}

TEST_F(TreeCopy, CancelStopsWithinAChunk) {
    const QString big = file("big", pattern(4 << 20));
    TransferProgress progress;
    progress.cancel();
    EXPECT_THROW(FileOps::copyTree(big, path("copy"), progress, false), CancelledError);
    EXPECT_EQ(progress.snapshot().done, 0);
}

TEST_F(TreeCopy, SparseFilesStaySparseAndHardLinksStayLinked) {
    const QString sparse = path("t/sparse");
    file("t/sparse", "");
    ASSERT_EQ(::truncate(sparse.toUtf8().constData(), 64 << 20), 0);
    const int fd = ::open(sparse.toUtf8().constData(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, pattern(4096).constData(), 4096, 32 << 20), 4096);
    ::close(fd);
    if (qint64(lstatOf(sparse).st_blocks) * 512 >= (1 << 20)) GTEST_SKIP() << "no holes on this file system";
    file("t/a", pattern(5000));
    ASSERT_EQ(::link(path("t/a").toUtf8().constData(), path("t/b").toUtf8().constData()), 0);
    mkdir("t/sub");
    ASSERT_EQ(::link(path("t/a").toUtf8().constData(), path("t/sub/c").toUtf8().constData()), 0);

    EXPECT_EQ(FileOps::totalBytes({path("t")}), (64 << 20) + 5000); // each file once
    TransferProgress progress;
    FileOps::copyTree(path("t"), path("u"), progress, false);
    EXPECT_EQ(progress.snapshot().done, (64 << 20) + 5000);
    EXPECT_EQ(snapshot(path("t")), snapshot(path("u")));
    EXPECT_LT(qint64(lstatOf(path("u/sparse")).st_blocks) * 512, 1 << 20);
    EXPECT_EQ(lstatOf(path("u/sparse")).st_size, 64 << 20);
    EXPECT_EQ(lstatOf(path("u/a")).st_nlink, 3u);
    EXPECT_EQ(lstatOf(path("u/a")).st_ino, lstatOf(path("u/sub/c")).st_ino);
    EXPECT_EQ(lstatOf(path("u/a")).st_ino, lstatOf(path("u/b")).st_ino);
}

TEST_F(TreeCopy, ModeWithinAnAclNeverWidens) {
    auto acl = [](std::initializer_list<std::pair<int, int>> entries) {
        QByteArray b("\x02\0\0\0", 4);
        for (const auto &[tag, perm] : entries) {
            const char e[8] = {char(tag), 0, char(perm), 0, 0, 0, 0, 0};
            b.append(e, 8);
        }
        return b;
    };
    // Owner rw, group r under a mask of rw, a named user rw, others nothing: the mode said 0660.
    const QByteArray a = acl({{0x01, 6}, {0x02, 6}, {0x04, 4}, {0x10, 6}, {0x20, 0}});
    EXPECT_EQ(FileCopy::modeWithinAcl(a, 02660), std::optional<mode_t>(02640));
    // The mask also limits the owning group.
    EXPECT_EQ(FileCopy::modeWithinAcl(acl({{0x01, 7}, {0x04, 7}, {0x10, 5}, {0x20, 1}}), 0751),
              std::optional<mode_t>(0751));
    EXPECT_EQ(FileCopy::modeWithinAcl(acl({{0x01, 7}, {0x04, 7}, {0x10, 4}, {0x20, 1}}), 0741),
              std::optional<mode_t>(0741));
    // Malformed values are not trusted.
    EXPECT_FALSE(FileCopy::modeWithinAcl(a.left(9), 0660));
    EXPECT_FALSE(FileCopy::modeWithinAcl(QByteArray("\x01\0\0\0", 4) + a.mid(4), 0660));
    EXPECT_FALSE(FileCopy::modeWithinAcl(acl({{0x01, 6}, {0x20, 0}}), 0660));
}

TEST_F(TreeCopy, MeasureAndTreeStats) {
    file("m/a", pattern(100));
    file("m/sub/b", pattern(50));
    file("m/sub/e1", "");
    file("m/sub/e2", "");
    ASSERT_EQ(::symlink(path("m").toUtf8().constData(), path("linkToM").toUtf8().constData()), 0);
    ASSERT_EQ(::symlink("a", path("m/sub/l").toUtf8().constData()), 0);

    EXPECT_EQ(FileOps::totalBytes({}), 0);
    EXPECT_EQ(FileOps::totalBytes({path("m")}), 150);
    // A link to a folder counts as itself, not as the folder.
    EXPECT_EQ(FileOps::totalBytes({path("linkToM")}), qint64(path("m").toUtf8().size()));
    TransferProgress cancelled;
    cancelled.cancel();
    EXPECT_FALSE(FileOps::totalBytes({path("m")}, cancelled));

    const FileOps::TreeStats t = FileOps::treeStats(path("m"));
    EXPECT_EQ(t.files, 5); // a, b, e1, e2 and the link: every non-folder entry
    EXPECT_EQ(t.bytes, 150);
    EXPECT_EQ(t.special, 0);
    EXPECT_EQ(FileOps::treeStats(path("missing")), FileOps::TreeStats{});
    EXPECT_TRUE(FileOps::freeBytes(tmp.path()).has_value());
}
