#include "Fixture.h"

#include "common/FatFuse.h"
#include "common/TestChild.h"

#include "core/base/Defaults.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "core/filesteps/TrashMemory.h"
#include "core/model/FileLoader.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QProcess>
#include <QStandardPaths>

#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using TestUtil::LanguageScope;

namespace {

QString homeFiles() {
    return TrashRoots::homeTrash() + "/files";
}
QString homeInfo() {
    return TrashRoots::homeTrash() + "/info";
}
// Items in the home Trash that have no info file, which nothing could put back.
QStringList withoutInfo() {
    QStringList out;
    for (const QString &n : names(homeFiles()))
        if (TestUtil::readFile(homeInfo() + "/" + n + ".trashinfo").isEmpty()) out << n;
    return out;
}

// The items to the Trash in one group, as a sync's or a replace's steps take them.
QList<Trash::Result> trashGroup(const QStringList &paths) {
    QList<Trash::Item> items;
    for (const QString &p : paths)
        items << Trash::Item{::open(QFile::encodeName(Posix::parentOf(p)).constData(), O_PATH | O_DIRECTORY),
                             QFile::encodeName(Posix::lastComponent(p)), p};
    const QList<Trash::Result> r = FileSteps::Journal::trashAllRecorded(items);
    for (const Trash::Item &i : items)
        ::close(i.dirFd);
    return r;
}

} // namespace

class TrashOps : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        QDir(TrashRoots::homeTrash()).removeRecursively();
        Defaults::remove("trashOrigins");
    }
};

TEST_F(TrashOps, TrashWritesInfoFirstAndRemembersTheOrigin) {
    LanguageScope de(AppLanguage::de);
    EXPECT_EQ(FileOps::trash({}).done, 0);
    const QString odd = file("a b%\nc.txt", "1");
    const QString folder = mkdir("folder");
    file("folder/inner", "2");
    const auto r = FileOps::trash(FileOps::unlisted({odd, path("missing"), folder + "/"}));
    EXPECT_EQ(r.done, 2);
    EXPECT_EQ(r.errors, QStringList{"„missing“: Die Datei gibt es nicht mehr oder sie wurde verschoben."});
    ASSERT_EQ(r.moved.size(), 2);
    EXPECT_EQ(r.moved[0], (FileOps::TrashedPair{odd, homeFiles() + "/a b%\nc.txt"}));
    EXPECT_EQ(r.moved[1], (FileOps::TrashedPair{folder, homeFiles() + "/folder"})); // given as "folder/"
    EXPECT_FALSE(exists(odd));
    EXPECT_EQ(TrashMemory::origin(r.moved[1].inTrash), folder);

    const QByteArray info = TestUtil::readFile(homeInfo() + "/a b%\nc.txt.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.constData();
    EXPECT_TRUE(info.contains("/a%20b%25%0Ac.txt\n"));
    EXPECT_TRUE(info.contains("\nDeletionDate=20"));

    // A second item of the same name gets its own entry.
    const QString again = file("a b%\nc.txt", "3");
    const auto r2 = FileOps::trash(FileOps::unlisted({again}));
    ASSERT_EQ(r2.moved.size(), 1);
    EXPECT_NE(r2.moved[0].inTrash, r.moved[0].inTrash);
    EXPECT_EQ(TestUtil::readFile(r2.moved[0].inTrash), "3");
}

// An item goes into the Trash only once its info file is on the disk: where that flush fails, the item
// stays where it was, with no info file of it left, and the failure is said.
TEST_F(TrashOps, AnItemWhoseInfoCannotBeFlushedStaysWhereItWas) {
    LanguageScope de(AppLanguage::de);
    const QString a = file("a", "a");
    FileSteps::setDiskErrorForTests(EIO, false);
    const auto r = FileOps::trash(FileOps::unlisted({a}));
    FileSteps::setDiskErrorForTests(0);
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(TestUtil::readFile(a), "a");
    EXPECT_TRUE(names(homeFiles()).isEmpty());
    EXPECT_TRUE(names(homeInfo()).isEmpty());

    // Each flush on the way fails alone in turn, until one run fails none. The settings (where the trash
    // remembers origins) are written on this thread alone meanwhile, so that the counted flushes are the
    // operation's.
    Defaults::setTimingForTests(3'600'000, 1000);
    Defaults::flush(2000);
    const auto writerBack = qScopeGuard([] {
        Defaults::setTimingForTests(20, 1000);
        Defaults::resetForTests();
    });
    for (int nth = 1;; ++nth) {
        ASSERT_LT(nth, 20);
        SCOPED_TRACE(nth);
        const int failed = Posix::failedFlushesForTests();
        Posix::setFlushErrorForTests(EIO, nth);
        const auto one = FileOps::trash(FileOps::unlisted({a}));
        Posix::setFlushErrorForTests(0);
        EXPECT_TRUE(withoutInfo().isEmpty());
        if (Posix::failedFlushesForTests() == failed) {
            EXPECT_EQ(one.done, 1);
            EXPECT_EQ(names(homeFiles()), QStringList{"a"});
            break;
        }
        EXPECT_EQ(one.done, 0);
        EXPECT_EQ(one.errors.size(), 1);
        EXPECT_EQ(TestUtil::readFile(a), "a");
        EXPECT_TRUE(names(homeFiles()).isEmpty());
        EXPECT_TRUE(names(homeInfo()).isEmpty());
    }
}

// The item gone between its info file and its move: the info file goes again.
TEST_F(TrashOps, AnItemThatCannotBeMovedLeavesNoInfoFile) {
    const QString a = file("a", "a");
    FileSteps::setStepHook([&](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::toTrash) QFile::rename(a, path("b"));
    });
    const auto r = FileOps::trash(FileOps::unlisted({a}));
    FileSteps::setStepHook({});
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_TRUE(names(homeInfo()).isEmpty());
    EXPECT_EQ(TestUtil::readFile(path("b")), "a");
}

// The Trash's own folders and what lies in them stay where they are, by either road, and say why.
TEST_F(TrashOps, TheTrashsOwnFoldersAndItemsAreNeverTrashed) {
    LanguageScope de(AppLanguage::de);
    const QString entry = FileOps::trash(FileOps::unlisted({file("a", "a")})).moved.value(0).inTrash;
    mkdir("d");
    const QString inside = FileOps::trash(FileOps::unlisted({path("d")})).moved.value(0).inTrash + "/x";
    TestUtil::writeFile(inside, "x");
    const QStringList own{entry,       homeInfo() + "/a.trashinfo", homeInfo(),
                          homeFiles(), TrashRoots::homeTrash(),     inside};
    const auto r = FileOps::trash(FileOps::unlisted(own + QStringList{file("b", "b")}));
    EXPECT_EQ(r.done, 1);
    ASSERT_EQ(r.errors.size(), 6);
    EXPECT_EQ(r.errors[1],
              "„a.trashinfo“ gehört zum Papierkorb und lässt sich nicht in den Papierkorb legen.");
    for (const Trash::Result &g : trashGroup(own))
        EXPECT_TRUE(g.partOfTrash);
    EXPECT_EQ(names(homeFiles()), QStringList({"a", "b", "d"}));
    EXPECT_EQ(names(homeInfo()).size(), 3);

    // The home reached through a link: its Trash's items are refused by what they are, also under the
    // real path, which the path of the home trash does not begin with; an item beside them still goes.
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    ASSERT_TRUE(QFile::link(QString::fromUtf8(data), path("linked-data")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("linked-data")));
    const auto back = qScopeGuard([&] { qputenv("XDG_DATA_HOME", data); });
    const QStringList real{entry, inside, homeInfo().replace(path("linked-data"), QString::fromUtf8(data))};
    EXPECT_EQ(FileOps::trash(FileOps::unlisted(real + QStringList{file("c", "c")})).done, 1);
    for (const Trash::Result &g : trashGroup(real))
        EXPECT_TRUE(g.partOfTrash);
    EXPECT_EQ(names(homeFiles()), QStringList({"a", "b", "c", "d"}));
}

// The grouped steps, a fault put in at each: an item goes only once its record and its info file are on
// the disk, under a name still free, and what failed is never told as done.
TEST_F(TrashOps, TheGroupedStepsMoveAnItemOnlyWithItsRecordAndInfoOnTheDisk) {
    const auto heal = [] {
        FileSteps::setStepHook({});
        FileSteps::Journal::setFlushedHookForTests({});
        FileSteps::setDiskErrorForTests(0);
    };
    const auto healed = qScopeGuard(heal);
    const std::tuple<const char *, bool, std::function<void()>> rows[] = {
        {"none", true, [] {}},
        {"the chosen name taken before the item comes", true,
         [] {
             FileSteps::setStepHook([once = true](FileSteps::Step s, const QString &p) mutable {
                 if (s == FileSteps::Step::toTrash && std::exchange(once, false))
                     TestUtil::writeFile(p, "taken");
             });
         }},
        {"the journal's flush fails", false,
         [] {
             FileSteps::setStepHook([](FileSteps::Step s, const QString &) {
                 if (s == FileSteps::Step::toTrash) FileSteps::setDiskErrorForTests(EIO);
                 Posix::setFlushErrorForTests(0); // the journal's writes alone
             });
         }},
        {"the info files' flush fails", false,
         [] {
             FileSteps::Journal::setFlushedHookForTests([](qint64) { Posix::setFlushErrorForTests(EIO); });
         }},
    };
    for (const auto &[fault, moves, put] : rows) {
        SCOPED_TRACE(fault);
        QDir(TrashRoots::homeTrash()).removeRecursively();
        const QString a = file("a", "a");
        QDir().mkpath(homeInfo());
        put();
        const Trash::Result r = trashGroup({a}).value(0);
        heal();
        EXPECT_EQ(r.status == Trash::Status::moved, moves);
        EXPECT_EQ(TestUtil::readFile(moves ? r.inTrash : a), "a");
        EXPECT_EQ(names(homeInfo()),
                  moves ? QStringList{Posix::lastComponent(r.inTrash) + ".trashinfo"} : QStringList{});
        // The mark that proved an info file ours while its item was on its way is off.
        EXPECT_LT(::getxattr(QFile::encodeName(Trash::infoFileFor(r.inTrash)).constData(),
                             "user.kestrin.part", nullptr, 0),
                  0);
    }
}

TEST_F(TrashOps, LongNamesFitTheInfoFile) {
    const QString name = QString(253, 'l') + QChar(0xe9);
    ASSERT_EQ(name.toUtf8().size(), 255);
    const QString p = file(name, "x");
    const auto r = FileOps::trash(FileOps::unlisted({p}));
    ASSERT_EQ(r.done, 1) << r.errors.join(' ').toStdString();
    const QString trashName = r.moved[0].inTrash.section('/', -1);
    EXPECT_LE(trashName.toUtf8().size() + 10, 255);
    // The info file fits and keeps the full original path.
    EXPECT_TRUE(
        TestUtil::readFile(homeInfo() + "/" + trashName + ".trashinfo").contains(QString(253, 'l').toUtf8()));
}

TEST_F(TrashOps, TheTrashShowsItemsByTheNamesTheyHad) {
    // No home trash yet: the items of the other Trash folders are listed all the same.
    const QString other = QDir::homePath() + "/Library/Mobile Documents/.Trash";
    TestUtil::writeFile(other + "/elsewhere", "x");
    const FileLoader::Listing early = FileLoader::list(FileLoader::mainTrash());
    QDir(QDir::homePath() + "/Library").removeRecursively();
    EXPECT_FALSE(early.error);
    EXPECT_EQ(early.items.value(0).path(), other + "/elsewhere");
    // A second item of one name, a long name cut to fit, and records that say nothing usable.
    const QString longName = QString(250, 'l') + ".txt";
    for (const QString &name : {QString("big video.mkv"), QString("big video.mkv"), longName})
        ASSERT_EQ(FileOps::trash(FileOps::unlisted({file(name, "x")})).done, 1);
    TestUtil::writeFile(homeInfo() + "/huge.trashinfo", "[Trash Info]\nPath=/a/b\n" + QByteArray(70000, '#'));
    TestUtil::writeFile(homeInfo() + "/up.trashinfo", "[Trash Info]\nPath=/a/..\n");
    for (const char *name : {"huge", "up", "bare"})
        TestUtil::writeFile(homeFiles() + "/" + name, "x");
    QStringList shown;
    for (const FileItem &item : FileLoader::list(homeFiles()).items)
        shown << item.name;
    shown.sort();
    EXPECT_EQ(shown, QStringList({"bare", "big video.mkv", "big video.mkv", "huge", longName, "up"}));
    // Whatever name a Trash gave the entry, it is shown by its record's (where a rename in the Trash
    // writes the new one); a record that names nothing leaves the entry's own.
    const std::pair<const char *, const char *> rows[] = {
        {"a.12.txt", "a.txt"}, {"a (3).txt", "a.txt"}, {"dupkeys", "a.txt"}, {"ab_2.txt", "a.txt"}};
    for (const auto &[entry, shownAs] : rows)
        EXPECT_EQ(Trash::shownName(entry, "a.txt"), shownAs) << entry;
}

TEST_F(TrashOps, PermanentDeleteRemovesTheInfoToo) {
    const QString a = file("a", "1");
    mkdir("d/e/f");
    const auto r = FileOps::trash(FileOps::unlisted({a, path("d")}));
    ASSERT_EQ(r.done, 2);
    const auto del = FileOps::deletePermanently({r.moved[0].inTrash, r.moved[1].inTrash, path("gone")});
    EXPECT_EQ(del.done, 2);
    EXPECT_EQ(del.errors.size(), 1);
    EXPECT_TRUE(names(homeFiles()).isEmpty());
    EXPECT_TRUE(names(homeInfo()).isEmpty());
    // Outside a Trash only the item goes.
    const QString plain = file("plain", "x");
    EXPECT_EQ(FileOps::deletePermanently({plain}).done, 1);
    EXPECT_FALSE(exists(plain));
}

TEST_F(TrashOps, ListedByTheFreedesktopTools) {
    const QString tool = QStandardPaths::findExecutable("trash-list");
    if (tool.isEmpty()) GTEST_SKIP() << "trash-cli is not installed";
    const QString a = file("interop one.txt", "1");
    const QString b = file("zwei/ü", "2");
    const auto r = FileOps::trash(FileOps::unlisted({a, b}));
    ASSERT_EQ(r.done, 2);
    QProcess p;
    p.start(tool, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains(" " + a + "\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(" " + b + "\n")) << out.toStdString();

    FileOps::deletePermanently({r.moved[0].inTrash});
    p.start(tool, {});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString after = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_FALSE(after.contains(a));
    EXPECT_TRUE(after.contains(b));
}

TEST_F(TrashOps, VolumesWithAndWithoutATrash) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount vol("4m");
    ASSERT_TRUE(vol.valid());
    const QString own = vol.path() + QString("/.Trash-%1").arg(::getuid());
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + "/sub/v.txt", "v"));
    auto r = FileOps::trash(FileOps::unlisted({vol.path() + "/sub/v.txt"}));
    ASSERT_EQ(r.done, 1);
    EXPECT_EQ(r.moved[0].inTrash, own + "/files/v.txt");
    EXPECT_TRUE(TestUtil::readFile(own + "/info/v.txt.trashinfo").contains("\nPath=sub/v.txt\n"));
    // An account's first item in a Trash went to the stick: the Trash lists it, with no home trash yet.
    const FileLoader::Listing shown = FileLoader::list(FileLoader::mainTrash());
    EXPECT_FALSE(shown.error || exists(TrashRoots::homeTrash()));
    EXPECT_EQ(shown.items.value(0).path(), r.moved[0].inTrash);
    EXPECT_EQ(FileOps::deletePermanently({r.moved[0].inTrash}).done, 1);
    EXPECT_FALSE(exists(own + "/info/v.txt.trashinfo"));

    // Through a folder linked from elsewhere, one by one and grouped: into the volume's Trash, with the
    // item's real place as its record.
    ASSERT_TRUE(QDir().mkpath(path("w")) && QFile::link(vol.path() + "/sub", path("w/tovol")));
    file("w/tovol/f.txt", "f");
    file("w/tovol/g.txt", "g");
    EXPECT_EQ(FileOps::trash(FileOps::unlisted({path("w/tovol/f.txt")})).moved.value(0).inTrash,
              own + "/files/f.txt");
    const int linked = ::open(QFile::encodeName(path("w/tovol")).constData(), O_PATH | O_DIRECTORY);
    EXPECT_EQ(Trash::moveAllToTrash({{linked, "g.txt", path("w/tovol/g.txt")}}, {}, {}).value(0).inTrash,
              own + "/files/g.txt");
    ::close(linked);
    for (const QByteArray n : {"f.txt", "g.txt"})
        EXPECT_TRUE(TestUtil::readFile(own + "/info/" + n + ".trashinfo").contains("\nPath=sub/" + n));
    // The volume's top itself reached through a link: the Trash is named by its real path, the record
    // relative to the real top.
    ASSERT_TRUE(QFile::link(vol.path(), path("tovolume")));
    file("tovolume/sub/h.txt", "h");
    file("tovolume/sub/i.txt", "i");
    EXPECT_EQ(FileOps::trash(FileOps::unlisted({path("tovolume/sub/h.txt")})).moved.value(0).inTrash,
              own + "/files/h.txt");
    EXPECT_EQ(trashGroup({path("tovolume/sub/i.txt")}).value(0).inTrash, own + "/files/i.txt");
    for (const QByteArray n : {"h.txt", "i.txt"})
        EXPECT_TRUE(TestUtil::readFile(own + "/info/" + n + ".trashinfo").contains("\nPath=sub/" + n + '\n'));
    // A folder named like a Trash below the top is an ordinary folder: it and what it holds go to the
    // volume's Trash, by either road.
    const QString lookalike = vol.path() + QString("/sub/.Trash-%1").arg(::getuid());
    ASSERT_TRUE(TestUtil::writeFile(lookalike + "/files/s.txt", "s"));
    ASSERT_TRUE(TestUtil::writeFile(lookalike + "/files/t.txt", "t"));
    EXPECT_EQ(FileOps::trash(FileOps::unlisted({lookalike + "/files/s.txt"})).moved.value(0).inTrash,
              own + "/files/s.txt");
    EXPECT_EQ(trashGroup({lookalike + "/files/t.txt"}).value(0).inTrash, own + "/files/t.txt");
    EXPECT_EQ(trashGroup({lookalike}).value(0).inTrash, own + QString("/files/.Trash-%1").arg(::getuid()));

    // A mount point, here a folder of this volume shown again, stays, and no Trash is made for it.
    QDir(own).removeRecursively();
    ASSERT_EQ(QProcess::execute("mount", {"--bind", vol.path() + "/sub", vol.path() + "/sub"}), 0);
    EXPECT_EQ(FileOps::trash(FileOps::unlisted({vol.path() + "/sub"})).noTrash,
              QStringList{vol.path() + "/sub"});
    EXPECT_EQ(trashGroup({vol.path() + "/sub"}).value(0).status, Trash::Status::noTrash);
    QProcess::execute("umount", {"-l", vol.path() + "/sub"});
    EXPECT_FALSE(exists(own));

    // No Trash may be made there: the item stays and is reported as such.
    QDir(own).removeRecursively();
    ASSERT_TRUE(TestUtil::writeFile(own, "not a folder"));
    ASSERT_TRUE(TestUtil::writeFile(vol.path() + "/w.txt", "w"));
    r = FileOps::trash(FileOps::unlisted({vol.path() + "/w.txt"}));
    EXPECT_EQ(r.done, 0);
    EXPECT_EQ(r.noTrash, QStringList{vol.path() + "/w.txt"});
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_TRUE(exists(vol.path() + "/w.txt"));
}

// A drive mounted with another account's uid= shows every item as that account's, the Trash folder just
// made too: it holds no Trash of ours, and leaves no such folder behind.
TEST_F(TrashOps, ADriveShowingEveryItemAsAnotherAccountsKeepsNoTrashFolderOfOurs) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, false, false, int(::getuid()) + 1000);
    // Behind the stick: shown as another's, the stick's root takes nothing from an ordinary account.
    ASSERT_TRUE(TestUtil::writeFile(stick.backing() + "/w.txt", "w"));
    const auto r = FileOps::trash(FileOps::unlisted({stick.path() + "/w.txt"}));
    EXPECT_EQ(r.noTrash, QStringList{stick.path() + "/w.txt"});
    EXPECT_EQ(names(stick.path()), QStringList{"w.txt"});
}

TEST_F(TrashOps, RefusedDeleteIsDenied) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to drop to another user";
    const QString locked = mkdir("locked");
    const QString victim = file("locked/item", "x");
    ASSERT_EQ(::chmod(locked.toUtf8().constData(), 0755), 0);
    ASSERT_EQ(::chmod(tmp.path().toUtf8().constData(), 0755), 0);
    const auto out = TestChild::outputOf([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        LanguageScope de(AppLanguage::de);
        const auto r = FileOps::deletePermanently({victim});
        return (r.denied.join('|') + "\n" + r.errors.join('|')).toUtf8();
    });
    ASSERT_TRUE(out);
    const QStringList parts = QString::fromUtf8(*out).split('\n');
    EXPECT_EQ(parts.value(0), victim);
    EXPECT_TRUE(parts.value(1).startsWith("„item“ gehört dem System")) << out->constData();
    EXPECT_TRUE(exists(victim));
}

// Delete Now as an ordinary account of folders holding one it may not empty: everything else goes, and
// the words name the folder that kept its entries and why (the system's, another user's, the user's own
// read-only one), with what did go.
TEST_F(TrashOps, ARefusedDeleteNamesTheFolderThatKeptItsEntry) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to drop to another user";
    constexpr uid_t user = 65534, other = 4242;
    const auto owned = [](const QString &p, uid_t uid, mode_t mode) {
        ASSERT_EQ(::chown(p.toUtf8().constData(), uid, uid), 0);
        ASSERT_EQ(::chmod(p.toUtf8().constData(), mode), 0);
    };
    owned(tmp.path(), user, 0755);
    const std::tuple<const char *, const char *, uid_t, mode_t> rows[] = {{"a", "sys", 0, 0755},
                                                                          {"b", "theirs", other, 0755},
                                                                          {"c", "ro", user, 0555},
                                                                          {"d", "shut", user, 0055}};
    QStringList trees;
    for (const auto &[tree, kept, owner, mode] : rows) {
        trees << mkdir(tree);
        owned(trees.back(), user, 0755);
        owned(file(QString(tree) + "/goes", "x"), user, 0644);
        owned(file(QString(tree) + "/" + kept + "/stays", "x"), owner, 0644);
        owned(path(QString(tree) + "/" + kept), owner, mode);
    }
    const auto out = TestChild::outputOf([&] {
        if (::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(2);
        LanguageScope en(AppLanguage::en);
        const auto r = FileOps::deleteListed(FileOps::unlisted(trees));
        return (QString::number(r.done) + '\n' + r.errors.join('\n') +
                "\nfor an administrator: " + r.denied.join(' '))
            .toUtf8();
    });
    ASSERT_TRUE(out);
    EXPECT_EQ(
        QString::fromUtf8(*out),
        "0\n"
        "“a”: The folder “a/sys” belongs to the system (only “root” has rights). What lies in it stays; "
        "only administrator rights can delete it. 1 item deleted permanently.\n"
        "“b”: The folder “b/theirs” belongs to another user. What lies in it stays; only administrator "
        "rights can delete it. 1 item deleted permanently.\n"
        "“c”: The folder “c/ro” is read-only. What lies in it stays. 1 item deleted permanently.\n"
        "“d”: The folder “d/shut” cannot be opened because you lack the right to read it. What lies in it "
        "stays. 1 item deleted permanently.\n"
        "for an administrator: " +
            trees[0] + ' ' + trees[1]);
    for (const auto &[tree, kept, owner, mode] : rows) {
        EXPECT_FALSE(exists(path(QString(tree) + "/goes")));
        EXPECT_TRUE(exists(path(QString(tree) + "/" + kept + "/stays")));
    }
    for (const char *shut : {"c/ro", "d/shut"})
        owned(path(shut), user, 0755); // so that the test's folder goes
}
