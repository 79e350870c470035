#include "common/TestChild.h"
#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "platform/Plist.h"
#include "platform/PlistFormat.h"
#include "platform/Posix.h"
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
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/file.h>
#include <sys/wait.h>

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
    Defaults::flush(SettingsStore::kLockWaitMs);
    EXPECT_TRUE(S_ISREG(TestUtil::lstatOf(path).st_mode));
    QFile::remove(aside);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("fresh"), 1);
}

// Whatever an earlier build or a run under sudo left at the old lock file's name (a folder, a link of the
// user's or a dangling one, a FIFO, another account's file, root's private file) holds no write up: the
// lock is the held folder's own, and the odd thing is left as it is.
TEST(Defaults, OddLockFilesHoldNothingUp) {
    const QString lock = Defaults::filePath() + ".lock", folder = QFileInfo(lock).path();
    const QByteArray at = QFile::encodeName(lock);
    const std::vector<std::pair<const char *, std::function<bool()>>> odd{
        {"empty file", [&] { return TestUtil::writeFile(lock, ""); }},
        {"folder", [&] { return QDir().mkpath(lock); }},
        {"own link", [&] { return ::symlink("settings.plist", at.constData()) == 0; }},
        {"dangling link", [&] { return ::symlink("nowhere", at.constData()) == 0; }},
        {"fifo", [&] { return ::mkfifo(at.constData(), 0600) == 0; }},
        {"another account's file",
         [&] { return TestUtil::writeFile(lock, "x") && ::chown(at.constData(), 65534, 65534) == 0; }},
        {"root's private file",
         [&] {
             return TestUtil::writeFile(lock, "") && ::chown(at.constData(), 0, 0) == 0 &&
                    ::chmod(at.constData(), 0600) == 0;
         }},
    };
    const auto clear = [&] {
        QDir(lock).removeRecursively();
        QFile::remove(lock);
    };
    int n = 0;
    for (const auto &[name, make] : odd) {
        SCOPED_TRACE(name);
        Defaults::resetForTests();
        QDir().mkpath(folder);
        if (!make()) { // another account's needs root: what was made of it goes
            clear();
            continue;
        }
        const struct stat before = TestUtil::lstatOf(lock);
        QElapsedTimer clock;
        clock.start();
        Defaults::setValue("afterOdd", ++n);
        EXPECT_EQ(Defaults::flush(SettingsStore::kLockWaitMs), QStringList());
        EXPECT_LT(clock.elapsed(), 1000);
        Defaults::resetForTests();
        EXPECT_EQ(Defaults::intValue("afterOdd"), n);
        EXPECT_EQ(TestUtil::lstatOf(lock).st_ino, before.st_ino);
        clear();
    }
    Defaults::remove("afterOdd");
    TestUtil::freshSettings();
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

TEST_CHILD(settingsWriter) {
    SettingsStore store(args[0]);
    for (int i = 0; i < 200; ++i) {
        store.setValue(args[1] + QString::number(i), i);
        for (int tries = 0; !store.sync(); ++tries)
            if (tries > 10) return 1;
    }
    return 0;
}

// Three running copies write at once, each under the lock on the folder: none loses a key of another's.
TEST(Defaults, ThreeProcessesWritingAtOnceLoseNoKey) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    QDir().mkpath(QFileInfo(path).path());
    std::vector<pid_t> children;
    for (const char *prefix : {"a", "b", "c"})
        children.push_back(TestChild::start("settingsWriter", {path, prefix}));
    for (const pid_t child : children) {
        ASSERT_GT(child, 0);
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const SettingsStore after(path);
    for (const char *prefix : {"a", "b", "c"})
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(after.value(prefix + QString::number(i)), i) << prefix << i;
    EXPECT_EQ(TestUtil::names(QFileInfo(path).path()), QStringList{"settings.plist"});
    TestUtil::freshSettings();
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
    Defaults::flush(SettingsStore::kLockWaitMs);
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

// Another running copy holds the lock for long: no change waits for it, each is seen at once. At quit
// what waits is written once the lock comes free within the wait, else kept beside the file and written
// by the next start; the caller hears which keys are not in the file.
TEST(Defaults, AHeldLockNeverHoldsUpAChangeAndQuitKeepsWhatWaits) {
    TestUtil::freshSettings();
    Defaults::setValue("before", 1);
    Defaults::flush(SettingsStore::kLockWaitMs);
    const QByteArray folder = QFile::encodeName(QFileInfo(Defaults::filePath()).path());
    const int held = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= 5; ++i)
        Defaults::setValue("whileHeld" + QString::number(i), i);
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_EQ(Defaults::intValue("whileHeld5"), 5);
    clock.restart();
    bool kept = false;
    QStringList left = Defaults::finish(1000, &kept);
    const qint64 quit = clock.elapsed();
    std::printf("quit after five changes with the lock held: %lld ms\n", qint64(quit));
    EXPECT_LT(quit, 1500);
    EXPECT_EQ(left, (QStringList{"whileHeld1", "whileHeld2", "whileHeld3", "whileHeld4", "whileHeld5"}));
    EXPECT_TRUE(kept);
    EXPECT_FALSE(SettingsStore(Defaults::filePath()).contains("whileHeld1"));
    EXPECT_EQ(TestUtil::names(QString::fromLocal8Bit(folder)).filter(".pending").size(), 1);
    ::close(held);
    SettingsStore{Defaults::filePath()}; // the next start, in another process
    EXPECT_EQ(SettingsStore(Defaults::filePath()).value("whileHeld3"), 3);
    Defaults::resetForTests();
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(Defaults::intValue("whileHeld" + QString::number(i)), i);
    EXPECT_EQ(TestUtil::names(QString::fromLocal8Bit(folder)), QStringList{"settings.plist"});

    // Freed within the wait, it is written at quit.
    Defaults::setValue("late", 1);
    const int again = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(again, LOCK_EX), 0);
    std::thread freeing([again] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(again);
    });
    left = Defaults::finish(2000);
    freeing.join();
    EXPECT_EQ(left, QStringList());
    EXPECT_EQ(SettingsStore(Defaults::filePath()).value("late"), 1);
    TestUtil::freshSettings();
}

// A write's part left by a kill (a regular file of this account under the part name) goes at the next
// start that gets the lock; what only looks like one (another name, a link, a folder, another account's
// file) stays, and while another copy holds the lock nothing goes.
TEST(Defaults, PartsOfKilledWritesGoAtTheNextStart) {
    TestUtil::freshSettings();
    Defaults::setValue("x", 1);
    Defaults::flush(SettingsStore::kLockWaitMs);
    const QString folder = QFileInfo(Defaults::filePath()).path();
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(TestUtil::writeFile(
            folder + QString("/.settings.plist.%1-%2.part").arg(90000 + i).arg(i, 0, 16), "<?xml"));
    QStringList kept{".settings.plist.part",     ".settings.plist.1-zz.part", ".settings.plist.2-a.part",
                     ".settings.plist.3-b.part", ".other.4-c.part",           "settings.plist"};
    ASSERT_TRUE(TestUtil::writeFile(folder + "/" + kept[0], ""));
    ASSERT_TRUE(TestUtil::writeFile(folder + "/" + kept[1], ""));
    ASSERT_TRUE(QDir().mkpath(folder + "/" + kept[2]));
    ASSERT_EQ(::symlink("settings.plist", QFile::encodeName(folder + "/" + kept[3]).constData()), 0);
    ASSERT_TRUE(TestUtil::writeFile(folder + "/" + kept[4], ""));
    if (TestUtil::isRoot()) {
        kept << ".settings.plist.5-d.part";
        ASSERT_TRUE(TestUtil::writeFile(folder + "/" + kept.last(), ""));
        ASSERT_EQ(::chown(QFile::encodeName(folder + "/" + kept.last()).constData(), 65534, 65534), 0);
    }
    kept.sort();
    const int held = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("x"), 1);
    EXPECT_EQ(TestUtil::names(folder).size(), kept.size() + 40);
    ::close(held);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::intValue("x"), 1);
    EXPECT_EQ(TestUtil::names(folder), kept);
    QDir(folder + "/" + kept[2]).removeRecursively();
    for (const QString &name : kept)
        QFile::remove(folder + "/" + name);
    TestUtil::freshSettings();
}

// What can't be read is set aside by renaming the name in the settings folder: a link there is renamed
// itself, and what it leads to (the user's dotfiles, a device node) keeps its name and is never opened.
TEST(Defaults, SettingAsideRenamesTheLinkNeverItsTarget) {
    QTemporaryDir elsewhere;
    const QString path = Defaults::filePath(), folder = QFileInfo(path).path();
    QStringList targets{elsewhere.filePath("dotfiles.plist")};
    ASSERT_TRUE(TestUtil::writeFile(targets[0], "garbage"));
    if (TestUtil::isRoot()) {
        targets << elsewhere.filePath("null");
        ASSERT_EQ(::mknod(QFile::encodeName(targets[1]).constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    for (const QString &target : targets) {
        SCOPED_TRACE(target.toStdString());
        TestUtil::freshSettings();
        QDir().mkpath(folder);
        const struct stat before = TestUtil::lstatOf(target);
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
        Defaults::resetForTests();
        const QString aside = Defaults::setAsidePath();
        EXPECT_TRUE(aside.startsWith(folder + "/settings.plist.unreadable-")) << aside.toStdString();
        EXPECT_TRUE(QFileInfo(aside).isSymLink());
        EXPECT_EQ(TestUtil::lstatOf(target).st_ino, before.st_ino);
        EXPECT_EQ(TestUtil::lstatOf(target).st_mode, before.st_mode);
        Defaults::setValue("fresh", 1);
        Defaults::flush(SettingsStore::kLockWaitMs);
        EXPECT_TRUE(S_ISREG(TestUtil::lstatOf(path).st_mode));
        QFile::remove(aside);
    }
    EXPECT_EQ(TestUtil::readFile(targets[0]), "garbage");
    TestUtil::freshSettings();
}

// The slips a store over a shared file can make, each with the case that shows it.
TEST(Defaults, AWriteClearsOnlyTheChangesItWrote) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    SettingsStore first(path), second(path);
    first.setValue("k", 1);
    ASSERT_TRUE(first.sync());
    second.setValue("k", 2);
    ASSERT_TRUE(second.sync());
    first.setValue("j", 1); // must not lay its older k over the other's newer one
    ASSERT_TRUE(first.sync());
    EXPECT_EQ(SettingsStore(path).value("k"), 2);
    EXPECT_EQ(first.value("k"), 2);
    TestUtil::freshSettings();
}

TEST(Defaults, TwoSetAsidesInOneSecondKeepBoth) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    QStringList asides;
    for (const QByteArray bad : {"<plist>one", "<plist>two"}) {
        ASSERT_TRUE(TestUtil::writeFile(path, bad));
        asides << SettingsStore(path).setAsidePath();
        EXPECT_EQ(TestUtil::readFile(asides.last()), bad);
    }
    EXPECT_NE(asides[0], asides[1]);
    for (const QString &aside : asides)
        QFile::remove(aside);
    TestUtil::freshSettings();
}

// A failed flush of the new file leaves the old one in place (renamed over it, a power cut could leave
// it empty); a failed flush of the folder after the rename is told too; the change is kept either way.
TEST(Defaults, AFailedFlushIsAFailedWrite) {
    for (const int which : {1, 2}) {
        SCOPED_TRACE(which == 1 ? "the file's flush" : "the folder's flush");
        TestUtil::freshSettings();
        const QString path = Defaults::filePath();
        SettingsStore store(path);
        store.setValue("k", 1);
        ASSERT_TRUE(store.sync());
        const QByteArray old = TestUtil::readFile(path);
        store.setValue("k", 2);
        Posix::setFlushErrorForTests(EIO, which);
        EXPECT_FALSE(store.sync());
        Posix::setFlushErrorForTests(0);
        EXPECT_EQ(store.error(), EIO);
        EXPECT_EQ(store.unsaved(), QStringList{"k"});
        if (which == 1) {
            EXPECT_EQ(TestUtil::readFile(path), old);
        }
        EXPECT_EQ(TestUtil::names(QFileInfo(path).path()), QStringList{"settings.plist"});
        EXPECT_TRUE(store.sync());
        EXPECT_EQ(SettingsStore(path).value("k"), 2);
    }
    TestUtil::freshSettings();
}

// A file rewritten in place keeps its inode and size and may get its old modification time back: only
// its change time tells. The next write must read it again, not lay its changes over what it saw before.
TEST(Defaults, AFileRewrittenInPlaceIsReadAgain) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    SettingsStore store(path);
    store.setValue("other", 1);
    ASSERT_TRUE(store.sync());
    const QByteArray bytes = TestUtil::readFile(path);
    const struct stat before = TestUtil::lstatOf(path);
    QByteArray changed = bytes;
    changed.replace("<integer>1</integer>", "<integer>7</integer>");
    ASSERT_NE(changed, bytes);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write(changed);
    }
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    ASSERT_EQ(TestUtil::lstatOf(path).st_ino, before.st_ino);
    store.setValue("mine", 2);
    ASSERT_TRUE(store.sync());
    EXPECT_EQ(SettingsStore(path).value("other"), 7);
    TestUtil::freshSettings();
}

// The writer never writes what its reader would refuse (the whole file set aside at the next start), and
// the reader never reads more than it takes, however large the file says it is.
TEST(Defaults, NothingLargerThanTheReaderTakesIsWrittenOrRead) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    SettingsStore store(path);
    store.setValue("keep", 1);
    ASSERT_TRUE(store.sync());
    const QByteArray old = TestUtil::readFile(path);
    store.setValue("theme", QString(4'000'000, u'&'));
    EXPECT_FALSE(store.sync());
    EXPECT_EQ(store.error(), EFBIG);
    EXPECT_EQ(TestUtil::readFile(path), old);

    QFile::remove(path);
    ASSERT_TRUE(TestUtil::writeFile(path, old));
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), off_t(8) << 30), 0); // sparse
    QElapsedTimer clock;
    clock.start();
    const SettingsStore big(path);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(big.setAsidePath().isEmpty());
    QFile::remove(big.setAsidePath());
    TestUtil::freshSettings();
}

// The file is read only once the lock is held: what another copy wrote while this one waited for the
// lock is in the file this one writes.
TEST(Defaults, AWriteReadsTheFileOnlyUnderTheLock) {
    TestUtil::freshSettings();
    const QString path = Defaults::filePath();
    SettingsStore store(path), other(path);
    store.setValue("a", 1);
    ASSERT_TRUE(store.sync());
    const int held =
        ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    store.setValue("b", 2);
    bool written = false;
    std::thread waiting([&] { written = store.sync(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // What the lock's holder writes meanwhile (it holds the lock, so it writes without taking it).
    ASSERT_TRUE(TestUtil::writeFile(path + ".new", Plist::toXml(QVariantMap{{"a", 1}, {"byOther", 3}})));
    ASSERT_EQ(::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);
    ::close(held);
    waiting.join();
    EXPECT_TRUE(written);
    const SettingsStore after(path);
    EXPECT_EQ(after.value("byOther"), 3);
    EXPECT_EQ(after.value("b"), 2);
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
        Defaults::flush(SettingsStore::kLockWaitMs);
        const Private theirs;
        const QString swapped = wholeFolder ? folder : path, away = swapped + ".away";
        ASSERT_EQ(::rename(QFile::encodeName(swapped).constData(), QFile::encodeName(away).constData()), 0);
        ASSERT_TRUE(plantLink(wholeFolder ? theirs.folder : theirs.file, swapped, 65534));
        Defaults::setValue("whileRunning", 2); // swapped after the start
        Defaults::flush(SettingsStore::kLockWaitMs);
        EXPECT_TRUE(theirs.untouched());
        Defaults::resetForTests();
        EXPECT_FALSE(Defaults::contains("secret"));
        EXPECT_TRUE(Defaults::unreadable());
        Defaults::setValue("fresh", 3);
        Defaults::flush(SettingsStore::kLockWaitMs);
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
    Defaults::flush(SettingsStore::kLockWaitMs);
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(SettingsStore(own).value("fresh"), 4);
    QFile::remove(path);
    TestUtil::freshSettings();
}
