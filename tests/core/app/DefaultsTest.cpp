#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "platform/Plist.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

TEST(Defaults, ValuesKeepTheirTypesAcrossReopening) {
    Defaults::setValue("t.bool", true);
    Defaults::setValue("t.int", 42);
    Defaults::setValue("t.neg", -7);
    Defaults::setValue("t.real", 0.25);
    Defaults::setValue("t.text", "true");
    Defaults::setValue("t.list", QStringList{"a", "b"});
    Defaults::resetForTests();

    EXPECT_EQ(Defaults::boolValue("t.bool"), true);
    EXPECT_EQ(Defaults::intValue("t.int"), 42);
    EXPECT_EQ(Defaults::intValue("t.neg"), -7);
    EXPECT_EQ(Defaults::doubleValue("t.real"), 0.25);
    EXPECT_EQ(Defaults::stringValue("t.text"), "true");
    EXPECT_EQ(Defaults::value("t.list").toStringList(), (QStringList{"a", "b"}));
    // A value of another type reads as absent.
    EXPECT_FALSE(Defaults::boolValue("t.text"));
    EXPECT_FALSE(Defaults::stringValue("t.int"));
    EXPECT_FALSE(Defaults::intValue("t.missing"));
    Defaults::remove("t.bool");
    EXPECT_FALSE(Defaults::contains("t.bool"));
}

// Unreadable settings, crashing ones included, are put aside whole and the program runs on defaults.
TEST(Defaults, UnreadableFileIsKeptAside) {
    const QByteArray head = "<?xml version=\"1.0\"?><plist><dict><key>dualPane</key><false/>";
    const QList<QByteArray> files{head + "<key>x</key>",
                                  head + QByteArray("<key>x</key><string>a\0b</string></dict></plist>", 47),
                                  TestUtil::plistWithNulString(), TestUtil::deepBinaryPlist(300000),
                                  TestUtil::deepXmlPlist(Plist::kMaxDepth + 1)};
    for (const QByteArray &bad : files) {
        Defaults::resetForTests();
        const QString path = Defaults::filePath();
        ASSERT_TRUE(TestUtil::writeFile(path, bad));
        Defaults::resetForTests();
        EXPECT_FALSE(Defaults::boolValue("dualPane"));
        const QString aside = Defaults::setAsidePath();
        ASSERT_FALSE(aside.isEmpty());
        EXPECT_EQ(TestUtil::readFile(aside), bad);
        Defaults::setValue("fresh", 1);
        EXPECT_EQ(TestUtil::readFile(aside), bad);
        QFile::remove(aside);
    }
    Defaults::resetForTests();
}

// Only a regular file is read: a socket (or a FIFO, or a link to a device) where the settings belong goes
// aside, and a fresh file takes its place.
TEST(Defaults, WhatIsNoFileIsPutAside) {
    Defaults::resetForTests();
    const QString path = Defaults::filePath();
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path()); // run first, no test has saved settings yet
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    ASSERT_LT(size_t(bytes.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(sock);
    Defaults::resetForTests();
    EXPECT_FALSE(Defaults::boolValue("dualPane"));
    const QString aside = Defaults::setAsidePath();
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_TRUE(S_ISSOCK(TestUtil::lstatOf(aside).st_mode));
    Defaults::setValue("fresh", 1);
    EXPECT_TRUE(S_ISREG(TestUtil::lstatOf(path).st_mode));
    QFile::remove(aside);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("fresh"), 1);
}

// A run killed while it wrote the settings leaves their lock file empty: the next run neither waits for it
// nor loses what it saves.
TEST(Defaults, AnEmptyLockLeftByAKilledRunHoldsNothingUp) {
    Defaults::resetForTests();
    const QString lock = Defaults::filePath() + ".lock";
    QDir().mkpath(QFileInfo(lock).path());
    ASSERT_TRUE(TestUtil::writeFile(lock, ""));
    QElapsedTimer clock;
    clock.start();
    Defaults::setValue("afterKill", 7);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("afterKill"), 7);
    EXPECT_LT(clock.elapsed(), 5000);
    Defaults::remove("afterKill");
}
