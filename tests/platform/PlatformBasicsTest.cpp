#include "common/TestUtil.h"
#include "platform/Plist.h"
#include "platform/DisplayFile.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"
#include "platform/Xattr.h"
#include "platform/Xdg.h"
#include "core/base/Defaults.h"
#include "core/filesteps/TransferJournal.h"

#include <QDateTime>
#include <QFileInfo>
#include <QDir>
#include <QTemporaryDir>
#include <string_view>
#include <gtest/gtest.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

TEST(Posix, NamesThatCannotRoundTripAreRefused) {
    EXPECT_EQ(Posix::encode("/tmp/ä b"), QByteArray("/tmp/\xc3\xa4 b"));
    EXPECT_FALSE(Posix::encode(QString(QChar(0xD800))));
    EXPECT_FALSE(Posix::encode(QString("a") + QChar(0) + "b"));
    EXPECT_EQ(Posix::decode(QByteArray("caf\xc3\xa9")), "café");
    EXPECT_FALSE(Posix::decode(QByteArray("caf\xe9")));
    EXPECT_FALSE(Posix::decode(QByteArray("\xed\xa0\x80"))); // a surrogate
    // In messages, each stray byte is written out; valid characters around it stay as they are.
    EXPECT_EQ(Posix::shown(QByteArray("Grüße")), "Grüße");
    EXPECT_EQ(Posix::shown(QByteArray("a\xff\xc3\xa9\xe2\x82")), "a\\xFFé\\xE2\\x82");
    EXPECT_EQ(Posix::shown(QByteArray("\xc0\xaf\xed\xa0\x80")), "\\xC0\\xAF\\xED\\xA0\\x80");
}

// What is read for showing is a regular file: a FIFO, a folder or a link is refused at once, a large file
// is read only as far as asked.
TEST(Posix, DisplayReadsOnlyRegularFilesAndOnlyAsFarAsAsked) {
    QTemporaryDir dir;
    const QString fifo = dir.path() + "/bild.png", file = dir.path() + "/a.txt", link = dir.path() + "/l.txt";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100000, 'x'));
    f.close();
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(link).constData()), 0);

    EXPECT_FALSE(Posix::readForDisplay(fifo, 100)); // returns, never waits for a writer
    EXPECT_FALSE(Posix::readForDisplay(dir.path(), 100));
    EXPECT_FALSE(Posix::readForDisplay(link, 100));
    EXPECT_EQ(Posix::readForDisplay(link, 100, true)->size(), 100);
    EXPECT_EQ(Posix::readForDisplay(file, 10)->size(), 10);
    EXPECT_EQ(Posix::readForDisplay(file, qint64(1) << 40)->size(), 100000);
    const Posix::DisplayFile open(file);
    ASSERT_TRUE(open.isOpen());
    EXPECT_EQ(open.size(), 100000);
    EXPECT_EQ(open.read(5, 99998).size(), 2);
    EXPECT_EQ(Posix::DisplayFile(fifo).error(), EINVAL);
}

// A folder is reached below its top only: no link is followed, even one that stays inside, and no other
// file system is entered.
TEST(Posix, FoldersBeneathATopNeverLeaveIt) {
    QTemporaryDir dir;
    const QString top = dir.path() + "/top";
    ASSERT_TRUE(QDir().mkpath(top + "/a/b") && QDir().mkpath(dir.path() + "/outside"));
    const QByteArray t = QFile::encodeName(top);
    ASSERT_EQ(::symlink(QFile::encodeName(dir.path() + "/outside").constData(), t + "/out"), 0);
    ASSERT_EQ(::symlink("a", t + "/in"), 0);
    const auto opens = [&](const QString &relative) {
        const int fd = Posix::openFolderBeneath(top, relative);
        const int e = errno;
        if (fd >= 0) ::close(fd);
        return fd >= 0 ? 0 : e;
    };
    EXPECT_EQ(opens(""), 0);
    EXPECT_EQ(opens("a/b"), 0);
    EXPECT_EQ(opens("in/b"), ELOOP);
    EXPECT_EQ(opens("a/missing"), ENOENT);
    EXPECT_EQ(opens("out/x"), ELOOP);

    TestUtil::TmpfsMount inner;
    if (!inner.valid()) GTEST_SKIP() << "another file system needs root";
    EXPECT_EQ(Posix::openFolderBeneath(QFileInfo(inner.path()).path(), QFileInfo(inner.path()).fileName()),
              -1);
    EXPECT_EQ(errno, EXDEV);
}

// A relative base folder is invalid under the XDG rules: it is ignored as an unset one, by every reader
// (settings, Trash, the transfers' journal), and never taken as a path from wherever the program runs.
TEST(Xdg, RelativeBaseFoldersAreIgnored) {
    const QString home = QDir::homePath();
    const struct {
        const char *variable;
        QString (*base)();
        QString fallback, user; // the user of the folder, as it reads with the default
        QString (*used)();
    } cases[] = {
        {"XDG_CONFIG_HOME", Xdg::configHome, home + "/.config", home + "/.config/kestrin/settings.plist",
         Defaults::filePath},
        {"XDG_DATA_HOME", Xdg::dataHome, home + "/.local/share", home + "/.local/share/Trash",
         TrashRoots::homeTrash},
        {"XDG_STATE_HOME", Xdg::stateHome, home + "/.local/state", home + "/.local/state/kestrin/transfers",
         FileSteps::Journal::recordsFolder},
        {"XDG_CACHE_HOME", Xdg::cacheHome, home + "/.cache", {}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.variable);
        const QByteArray was = qgetenv(c.variable);
        for (const char *value : {"rel", "rel/kestrin", "./abs", "~/x", ""}) {
            qputenv(c.variable, value);
            EXPECT_EQ(c.base(), c.fallback) << value;
            if (c.used) {
                EXPECT_EQ(c.used(), c.user) << value;
            }
        }
        qunsetenv(c.variable);
        EXPECT_EQ(c.base(), c.fallback);
        qputenv(c.variable, "/elsewhere/base");
        EXPECT_EQ(c.base(), "/elsewhere/base");
        qputenv(c.variable, was);
    }
}

TEST(Xattr, AbsentIsNotAnError) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/f";
    ASSERT_TRUE(TestUtil::writeFile(file, "x"));
    const auto absent = Xattr::get(file, "user.kestrin.none");
    if (absent.status == Xattr::Status::unsupported) GTEST_SKIP() << "no user attributes here";
    EXPECT_EQ(absent.status, Xattr::Status::absent);
    ASSERT_EQ(Xattr::set(file, "user.kestrin.t", QByteArray("v\0w", 3)), 0);
    const auto got = Xattr::get(file, "user.kestrin.t");
    EXPECT_EQ(got.status, Xattr::Status::ok);
    EXPECT_EQ(got.value, QByteArray("v\0w", 3));
    EXPECT_TRUE(Xattr::list(file)->contains("user.kestrin.t"));
    EXPECT_EQ(Xattr::remove(file, "user.kestrin.t"), 0);
    EXPECT_EQ(Xattr::remove(file, "user.kestrin.t"), 0);
    EXPECT_EQ(Xattr::get(dir.path() + "/missing", "user.x").status, Xattr::Status::error);
}

TEST(Plist, RoundTripsInBothForms) {
    QVariantMap m{{"s", "ä"},
                  {"n", qint64(-3)},
                  {"b", true},
                  {"d", 1.5},
                  {"data", QByteArray("\x01\x02")},
                  {"list", QVariantList{"Rot\n6", "x"}}};
    for (const QByteArray &bytes : {Plist::toBinary(m), Plist::toXml(m)}) {
        const auto back = Plist::parse(bytes);
        ASSERT_TRUE(back);
        const QVariantMap r = back->toMap();
        EXPECT_EQ(r["s"].toString(), "ä");
        EXPECT_EQ(r["n"].toLongLong(), -3);
        EXPECT_EQ(r["b"].typeId(), QMetaType::Bool);
        EXPECT_EQ(r["d"].toDouble(), 1.5);
        EXPECT_EQ(r["data"].toByteArray(), QByteArray("\x01\x02"));
        EXPECT_EQ(r["list"].toList().value(0).toString(), "Rot\n6");
    }
    EXPECT_FALSE(Plist::parse("not a plist"));
    EXPECT_FALSE(Plist::parse(QByteArray("bplist00\xff\xff", 10)));
    // A string with a NUL character can't be written faithfully.
    EXPECT_TRUE(Plist::toBinary(QVariantList{QString("a") + QChar(0)}).isEmpty());
}

// The library asserts on strings with NUL characters and recurses without bound; such input is unreadable.
TEST(Plist, HostileInputIsUnreadableNotFatal) {
    using namespace TestUtil;
    using namespace std::literals;
    EXPECT_FALSE(Plist::parse(plistWithNulString()));
    const QByteArray nulKey("\0k\0\0\0y", 6);
    EXPECT_FALSE(Plist::parse(binaryPlist({"\xD1" + be32(1) + be32(2), "\x63" + nulKey, "\x51v"})));
    EXPECT_FALSE(Plist::parse(binaryPlist({"\xA1" + be32(1), QByteArray("\x53R\0t", 5)})));
    EXPECT_FALSE(Plist::parse(binaryPlist({"\xA1" + be32(1), "\x52\xc3("}))); // not UTF-8
    for (const std::string_view xml : {"<plist><array><string>R\0t</string></array></plist>"sv,
                                       "<plist><dict><key>k&#x00;</key><string>v</string></dict></plist>"sv})
        EXPECT_FALSE(Plist::parse(QByteArray(xml.data(), qsizetype(xml.size()))));

    // Deep enough to overflow the stack in the library's binary parser or its freeing of an XML tree.
    EXPECT_FALSE(Plist::parse(deepBinaryPlist(300000)));
    EXPECT_FALSE(Plist::parse(deepXmlPlist(1100000)));
    for (const auto &make : {deepBinaryPlist, deepXmlPlist}) {
        const auto fits = Plist::parse(make(Plist::kMaxDepth));
        ASSERT_TRUE(fits);
        EXPECT_EQ(fits->toList().size(), 1);
        EXPECT_FALSE(Plist::parse(make(Plist::kMaxDepth + 1)));
    }
    // Forty arrays each holding the next one twice: 2^40 values once the library copies them out.
    QList<QByteArray> shared;
    for (quint32 i = 0; i < 40; ++i)
        shared << "\xA2" + be32(i + 1) + be32(i + 1);
    shared << "\x51x";
    EXPECT_FALSE(Plist::parse(binaryPlist(shared)));
}

TEST(Volumes, MountPointsAndDevices) {
    EXPECT_EQ(Volumes::unescapeMountField("/media/u/My\\040Disk"), "/media/u/My Disk");
    EXPECT_EQ(Volumes::mountPointOf("/"), "/");
    EXPECT_TRUE(Volumes::sameVolume("/tmp/does/not/exist", "/tmp"));
    for (const Volume &v : Volumes::mounted())
        EXPECT_NE(v.fsType, "proc");
    TestUtil::TmpfsMount second;
    if (!second.valid()) GTEST_SKIP() << "a second volume needs root";
    EXPECT_EQ(Volumes::mountPointOf(second.path() + "/x/y"), second.path());
    EXPECT_FALSE(Volumes::sameVolume(second.path(), QDir::homePath()));
}

TEST(TrashRoots, OnlyRealTrashFoldersCount) {
    const QString home = TrashRoots::homeTrash();
    EXPECT_EQ(home, TestUtil::testHome() + "/.local/share/Trash");
    EXPECT_TRUE(TrashRoots::isInTrash(home + "/files/a.txt"));
    // A user folder named .Trash is not the Trash.
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/.Trash/x");
    EXPECT_FALSE(TrashRoots::isInTrash(dir.path() + "/.Trash/x"));
    EXPECT_FALSE(TrashRoots::isInTrash(home + "-other/files"));
}

TEST(TrashRoots, VolumeTrashesOfASecondVolume) {
    TestUtil::TmpfsMount vol;
    if (!vol.valid()) GTEST_SKIP() << "a second volume needs root";
    const QString uid = QString::number(getuid());
    EXPECT_EQ(TrashRoots::rootFor(vol.path() + "/a"), vol.path() + "/.Trash-" + uid);
    // A shared .Trash without the sticky bit is not used.
    QDir().mkpath(vol.path() + "/.Trash/" + uid);
    EXPECT_TRUE(TrashRoots::volumeTrashes(vol.path()).isEmpty());
    chmod(QFile::encodeName(vol.path() + "/.Trash").constData(), 01777);
    EXPECT_EQ(TrashRoots::volumeTrashes(vol.path()), QStringList{vol.path() + "/.Trash/" + uid});
    // Mounted at a temporary folder, not under the media folders, and still one of all trash folders.
    EXPECT_TRUE(TrashRoots::all().contains(vol.path() + "/.Trash/" + uid));
    EXPECT_TRUE(TrashRoots::isInTrash(vol.path() + "/.Trash/" + uid + "/files/x"));

    // Through a folder linked from another volume, the volume's top is where that folder really is.
    QTemporaryDir links;
    ASSERT_TRUE(QFile::link(vol.path() + "/.Trash", links.path() + "/tovol"));
    EXPECT_EQ(Volumes::mountPointOf(links.path() + "/tovol/new/x"), vol.path());
}
