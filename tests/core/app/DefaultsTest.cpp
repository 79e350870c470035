#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "platform/Plist.h"
#include "platform/PlistFormat.h"
#include "platform/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

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

// Two processes that share the settings each change their own key, at once: under the lock each reads the
// other's change and writes its own on top, so neither is lost. And what one wrote the other sees at its
// next sync, as it would after a change of its own.
TEST(Defaults, TwoStoresKeepEachOthersChanges) {
    Defaults::resetForTests();
    const QString path = Defaults::filePath();
    QFile::remove(path);
    SettingsStore first(path), second(path);
    first.setValue("first", 1);
    second.setValue("second", 2);
    EXPECT_TRUE(first.sync());
    EXPECT_TRUE(second.sync());
    first.remove("first");
    EXPECT_TRUE(first.sync());
    EXPECT_EQ(first.value("second"), 2);
    EXPECT_EQ(SettingsStore(path).value("second"), 2);
    EXPECT_FALSE(SettingsStore(path).contains("first"));

    constexpr int keys = 40;
    QFile::remove(path);
    auto writer = [&](const QString &prefix) {
        SettingsStore store(path);
        for (int i = 0; i < keys; ++i) {
            store.setValue(prefix + QString::number(i), i);
            store.sync();
        }
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    const SettingsStore after(path);
    for (int i = 0; i < keys; ++i) {
        EXPECT_EQ(after.value("a" + QString::number(i)), i);
        EXPECT_EQ(after.value("b" + QString::number(i)), i);
    }
    EXPECT_EQ(TestUtil::names(QFileInfo(path).path()).filter(QRegularExpression("\\.(lock|part)$")),
              QStringList());
    QFile::remove(path);
}

// The file as written reads in the format of earlier builds, and a file they wrote reads here, types kept.
TEST(Defaults, TheFileReadsInTheFormatOfEarlierBuilds) {
    Defaults::resetForTests();
    const QString path = Defaults::filePath();
    QFile::remove(path);
    const QVariantMap values{{"bool", true},
                             {"int", 42},
                             {"real", 0.25},
                             {"text", "true"},
                             {"list", QStringList{"a", "b"}},
                             {"map", QVariantMap{{"k", "v"}}}};
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        Defaults::setValue(it.key(), it.value());
    {
        QSettings earlier(path, PlistFormat::format());
        ASSERT_EQ(earlier.status(), QSettings::NoError);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            if (it.key() != "list") {
                EXPECT_EQ(earlier.value(it.key()), it.value()) << it.key().toStdString();
            }
        EXPECT_EQ(earlier.value("list").toStringList(), (QStringList{"a", "b"}));
        EXPECT_EQ(earlier.value("bool").typeId(), QMetaType::Bool);
        EXPECT_EQ(earlier.value("text").typeId(), QMetaType::QString);
        earlier.setValue("byEarlier", 7);
    }
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("byEarlier"), 7);
    EXPECT_EQ(Defaults::boolValue("bool"), true);
    EXPECT_EQ(Defaults::stringValue("text"), "true");
    QFile::remove(path);
    Defaults::resetForTests();
}

// A lock that a live process holds is waited on briefly; the change then waits in memory and is written
// with the next one, once the lock is free.
TEST(Defaults, AHeldLockDelaysTheWriteButLosesNothing) {
    Defaults::resetForTests();
    const QString lockPath = Defaults::filePath() + ".lock";
    Defaults::setValue("before", 1);
    const int held = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    QElapsedTimer clock;
    clock.start();
    Defaults::setValue("whileHeld", 2);
    EXPECT_LT(clock.elapsed(), SettingsStore::kLockWaitMs + 2000);
    EXPECT_EQ(Defaults::intValue("whileHeld"), 2);
    EXPECT_FALSE(SettingsStore(Defaults::filePath()).contains("whileHeld"));
    ::close(held);
    Defaults::setValue("afterwards", 3);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("whileHeld"), 2);
    EXPECT_EQ(Defaults::intValue("afterwards"), 3);
    EXPECT_FALSE(TestUtil::exists(lockPath));
    TestUtil::freshSettings();
}

namespace {

// A private folder of another account with one file, and what it held.
struct Private {
    QTemporaryDir dir;
    QString folder = dir.filePath("private"), file = folder + "/settings.plist";
    QByteArray bytes = Plist::toXml(QVariantMap{{"secret", 1}});
    Private() {
        QDir().mkpath(folder);
        TestUtil::writeFile(file, bytes);
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    bool untouched() const {
        return TestUtil::readFile(file) == bytes && TestUtil::names(folder) == QStringList{"settings.plist"};
    }
};

bool plantLink(const QString &target, const QString &at, uid_t owner) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0 &&
           ::lchown(QFile::encodeName(at).constData(), owner, owner) == 0;
}

} // namespace

// Another account's link in place of the settings file, or of their folder, is never followed: nothing
// of its target is read, nothing written there, and the user hears that the settings could not be read.
// The user's own link (a file kept elsewhere) still leads to the file, which stays a link.
TEST(Defaults, AnotherAccountsLinkIsNeitherReadNorWrittenThrough) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "another account's link needs root";
    Defaults::resetForTests();
    const QString path = Defaults::filePath(), folder = QFileInfo(path).path();
    for (const bool wholeFolder : {false, true}) {
        SCOPED_TRACE(wholeFolder ? "the folder" : "the file");
        Defaults::resetForTests();
        Defaults::setValue("mine", 1);
        const Private theirs;
        const QString swapped = wholeFolder ? folder : path, away = swapped + ".away";
        ASSERT_EQ(::rename(QFile::encodeName(swapped).constData(), QFile::encodeName(away).constData()), 0);
        ASSERT_TRUE(plantLink(wholeFolder ? theirs.folder : theirs.file, swapped, 65534));
        Defaults::setValue("whileRunning", 2); // swapped after the start
        EXPECT_TRUE(theirs.untouched());
        Defaults::resetForTests();
        EXPECT_FALSE(Defaults::contains("secret"));
        EXPECT_TRUE(Defaults::unreadable());
        Defaults::setValue("fresh", 3);
        EXPECT_TRUE(theirs.untouched());
        EXPECT_TRUE(QFileInfo(swapped).isSymLink());
        QFile::remove(swapped);
        ASSERT_EQ(::rename(QFile::encodeName(away).constData(), QFile::encodeName(swapped).constData()), 0);
    }
    QFile::remove(path);
    QTemporaryDir elsewhere;
    const QString own = elsewhere.filePath("kept.plist");
    ASSERT_TRUE(TestUtil::writeFile(own, Plist::toXml(QVariantMap{{"kept", 3}})));
    ASSERT_TRUE(plantLink(own, path, ::geteuid()));
    Defaults::resetForTests();
    EXPECT_FALSE(Defaults::unreadable());
    EXPECT_EQ(Defaults::intValue("kept"), 3);
    Defaults::setValue("fresh", 4);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(SettingsStore(own).value("fresh"), 4);
    QFile::remove(path);
    TestUtil::freshSettings();
}
