// What the start makes of moves, parts and Trash entries cut short, and moves whose flush fails.
#include "Fixture.h"

#include "common/TestChild.h"

#include "core/base/Defaults.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "core/fileops/TwoPhaseRename.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <functional>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using FileSteps::Step;
using TestUtil::LanguageScope;
namespace Journal = FileSteps::Journal;

namespace {

// Runs `work` in a child that leaves without ending anything; whether it was killed (else: whether it
// ran to its end).
bool inChild(const std::function<void()> &work, bool killed) {
    const pid_t child = TestChild::forkAlone();
    if (child < 0) return false;
    if (child == 0) {
        work();
        ::_exit(killed ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return killed ? WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                  : WIFEXITED(status) && !WEXITSTATUS(status);
}

bool killedAt(Step step, const std::function<void()> &work) {
    return inChild(
        [&] {
            FileSteps::setStepHook([step](Step s, const QString &) {
                if (s == step) ::raise(SIGKILL);
            });
            work();
        },
        true);
}

QStringList ofOurs(const QString &folder) {
    return names(folder).filter(QRegularExpression("^\\.kestrin-"));
}

bool marked(const QString &path) {
    char value[64];
    return ::lgetxattr(path.toUtf8().constData(), "user.kestrin.part", value, sizeof value) >= 0;
}

// The power cut after a part in `folder` was removed: it is back as it was, with our marker, under the
// name the journal gives it.
bool partBack(const QString &journal, const QString &folder) {
    QString part;
    for (const QByteArray &line : TestUtil::readFile(journal).split('\n'))
        if (line.startsWith("part ")) part = QString::fromUtf8(QByteArray::fromHex(line.split(' ')[1]));
    if (!part.startsWith(folder + "/.kestrin-part-") || !TestUtil::writeFile(part, "torn")) return false;
    const QByteArray token = QFileInfo(journal).fileName().left(32).toLatin1();
    return ::lsetxattr(QFile::encodeName(part).constData(), "user.kestrin.part", token.constData(),
                       size_t(token.size()), 0) == 0;
}

// Past a tick of the clock new items are stamped with.
void tick() {
    QThread::msleep(30);
}

} // namespace

class Settle : public Started {};

class SettleAcross : public Settle {
protected:
    void SetUp() override {
        Settle::SetUp();
        if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
        ASSERT_TRUE(vol.valid());
    }
    TestUtil::TmpfsMount vol{"64m"};
};

TEST_F(SettleAcross, AMoveKilledOnceItsCopyHasTheNameEndsAsOneItem) {
    const QString moved = vol.path() + "/p2.log";
    auto kill = [&](const std::function<void()> &move) {
        ASSERT_TRUE(killedAt(Step::placed, move));
        ASSERT_TRUE(exists(path("p2.log")) && exists(moved)); // both, for now
    };
    // By a transfer, and by a rename into another volume: the original goes, the copy stays, unmarked.
    // Also when both volumes came back under other device numbers.
    for (const bool byRename : {false, true})
        for (const bool renumbered : {false, true}) {
            SCOPED_TRACE(QString("by rename %1, renumbered %2").arg(byRename).arg(renumbered).toStdString());
            const QString src = file("p2.log", pattern(70000));
            kill([&] { byRename ? FileOps::rename(src, moved) : (void)run({src}, vol.path(), true); });
            if (renumbered) renumberJournals();
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_FALSE(exists(src));
            EXPECT_EQ(TestUtil::readFile(moved), pattern(70000));
            EXPECT_FALSE(marked(moved));
            ASSERT_TRUE(QFile::remove(moved));
        }

    // The original rewritten after its copy, even with its size and modification time as before: it
    // stays, and the copy goes.
    const QString src = file("p2.log", pattern(70000));
    kill([&] { run({src}, vol.path(), true); });
    const struct stat was = TestUtil::lstatOf(src);
    ASSERT_TRUE(TestUtil::writeFile(src, pattern(70000, 9)));
    const timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, src.toUtf8().constData(), times, 0), 0);
    FileOps::recoverTransfers();
    EXPECT_EQ(TestUtil::readFile(src), pattern(70000, 9));
    EXPECT_FALSE(exists(moved));

    // Under the name now: an item that is not the copy. Nothing goes.
    kill([&] { run({src}, vol.path(), true); });
    ASSERT_TRUE(QFile::remove(moved));
    ASSERT_TRUE(TestUtil::writeFile(moved, "the user's"));
    FileOps::recoverTransfers();
    EXPECT_EQ(TestUtil::readFile(src), pattern(70000, 9));
    EXPECT_EQ(TestUtil::readFile(moved), "the user's");
    ASSERT_TRUE(QFile::remove(moved));

    // Replacing an item of the same name, killed once the two have swapped names: the old one goes to the
    // Trash, the original goes.
    ASSERT_TRUE(TestUtil::writeFile(moved, "old"));
    ASSERT_TRUE(QFile::remove(src));
    file("p2.log", "new");
    ASSERT_TRUE(killedAt(Step::oldItemOut, [&] {
        run({src}, vol.path(), true, {{src, ConflictChoice::replace}});
    }));
    FileOps::recoverTransfers();
    EXPECT_FALSE(exists(src));
    EXPECT_EQ(TestUtil::readFile(moved), "new");
    EXPECT_EQ(names(vol.path()), (QStringList{QString(".Trash-%1").arg(::getuid()), "p2.log"}));
    ASSERT_TRUE(QFile::remove(moved));

    // A folder, killed once placed and once set aside; and one whose original gained a file.
    const QString tree = path("tree"), movedTree = vol.path() + "/tree";
    auto make = [&] {
        for (int i = 0; i < 3; ++i)
            file(QString("tree/d%1/f").arg(i), pattern(300000, char(i)));
        return snapshot(tree);
    };
    for (const Step step : {Step::placed, Step::sourceAside, Step::fileRemoved}) {
        SCOPED_TRACE(int(step));
        const auto before = make();
        ASSERT_TRUE(killedAt(step, [&] { run({tree}, vol.path(), true); }));
        FileOps::recoverTransfers();
        EXPECT_FALSE(exists(tree));
        EXPECT_EQ(snapshot(movedTree), before);
        EXPECT_TRUE(ofOurs(tmp.path()).isEmpty());
        QDir(movedTree).removeRecursively();
    }
    make();
    ASSERT_TRUE(killedAt(Step::placed, [&] { run({tree}, vol.path(), true); }));
    file("tree/d1/new", "added since");
    const auto grown = snapshot(tree);
    FileOps::recoverTransfers();
    EXPECT_EQ(snapshot(tree), grown);
    EXPECT_FALSE(exists(movedTree));
    EXPECT_TRUE(ofOurs(vol.path()).isEmpty());
}

// One device number given the ids of two file systems (the number went to another volume in between)
// proves neither: after a renumbering, the move's items are not taken for those of its record, and
// neither goes, whichever id came first.
TEST_F(SettleAcross, ADeviceNumberWithTwoFileSystemIdsProvesNothing) {
    const QString moved = vol.path() + "/p2.log";
    for (const bool otherFirst : {false, true}) {
        SCOPED_TRACE(otherFirst ? "the other id first" : "the other id last");
        const QString src = file("p2.log", pattern(70000));
        ASSERT_TRUE(killedAt(Step::placed, [&] { run({src}, vol.path(), true); }));
        renumberJournals();
        for (const QString &n : names(journalFolder())) {
            const QString journal = journalFolder() + '/' + n;
            const QByteArray lines = TestUtil::readFile(journal);
            QByteArray other;
            for (const QByteArray &line : lines.split('\n')) {
                QList<QByteArray> f = line.split(' ');
                if (f.size() != 3 || f[0] != "volume") continue;
                f[2] = f[2] == "0123456789abcdef" ? "fedcba9876543210" : "0123456789abcdef";
                other += f.join(' ') + '\n';
            }
            ASSERT_TRUE(TestUtil::writeFile(journal, otherFirst ? other + lines : lines + other));
        }
        FileOps::recoverTransfers();
        EXPECT_EQ(TestUtil::readFile(src), pattern(70000));
        EXPECT_EQ(TestUtil::readFile(moved), pattern(70000));
        ASSERT_TRUE(QFile::remove(src) && QFile::remove(moved));
    }
}

TEST_F(SettleAcross, AFailedFlushOfTheNewNameKeepsTheOriginalAndSaysWhy) {
    LanguageScope de(AppLanguage::de);
    const QStringList files = {file("a", "1"), file("b", "22")};
    FileSteps::setFolderSyncErrorForTests(vol.path(), EIO);
    const TransferOutcome o = run(files, vol.path(), true);
    FileSteps::setFolderSyncErrorForTests({}, 0);
    EXPECT_EQ(o.done, 0);
    ASSERT_EQ(o.errors.size(), 2);
    EXPECT_TRUE(o.errors[0].startsWith("„a“ wurde nicht verschoben: Das Ziel hat die Kopie nicht sicher "
                                       "gespeichert. Das Original bleibt erhalten. „a“: "))
        << o.errors[0].toStdString();
    EXPECT_EQ(TestUtil::readFile(files[0]), "1");
    EXPECT_EQ(TestUtil::readFile(files[1]), "22");
    EXPECT_TRUE(names(vol.path()).isEmpty());

    // The same for a rename into another volume.
    FileSteps::setFolderSyncErrorForTests(vol.path(), EIO);
    QString thrown;
    try {
        FileOps::rename(files[0], vol.path() + "/a");
    } catch (const FileError &e) {
        thrown = e.description;
    }
    FileSteps::setFolderSyncErrorForTests({}, 0);
    EXPECT_TRUE(thrown.contains("Das Original bleibt erhalten.")) << thrown.toStdString();
    EXPECT_EQ(TestUtil::readFile(files[0]), "1");
    EXPECT_TRUE(names(vol.path()).isEmpty());
    // Nothing for the start to undo.
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(TestUtil::readFile(files[0]), "1");
}

TEST_F(SettleAcross, TheStartTakesOurMarkerOffWhatTookItsName) {
    const QString src = file("x", "x");
    ASSERT_TRUE(killedAt(Step::placed, [&] { run({src}, vol.path(), true); }));
    ASSERT_TRUE(marked(vol.path() + "/x"));
    FileOps::recoverTransfers();
    EXPECT_FALSE(marked(vol.path() + "/x"));
    EXPECT_FALSE(exists(src));

    // Nor does a copy or a move that ran to its end keep it.
    EXPECT_EQ(run({file("y", "y")}, vol.path(), false).done, 1);
    EXPECT_EQ(run({file("z", "z")}, vol.path(), true).done, 1);
    EXPECT_EQ(run({mkdir("w")}, vol.path(), true).done, 1);
    for (const char *name : {"y", "z", "w"})
        EXPECT_FALSE(marked(vol.path() + "/" + name)) << name;
}

// Killed once a complete part was on record to take a name, before it took it (or before its new name
// reached the disk): the part goes, whatever holds the name; the old item stays as it was.
TEST_F(Settle, APartOnRecordForANameItNeverTookGoes) {
    const QString dst = mkdir("dst"), old = file("dst/a.txt", "old");
    const QString folder = file("dst/folder/inside", "user's");
    ASSERT_TRUE(inChild(
        [&] {
            // A replacement, a new item, and one whose name another item took meanwhile.
            for (const QString &to : {old, dst + "/b.txt", dst + "/folder"}) {
                const FileSteps::PathBytes part = Journal::partName(QFile::encodeName(dst));
                const QByteArray mark = Journal::beginPart(part);
                TestUtil::writeFile(part.text(), "new");
                ::lsetxattr(part.c_str(), "user.kestrin.part", mark.constData(), size_t(mark.size()), 0);
                Journal::beginPlace(part, to, TestUtil::lstatOf(part.text()));
            }
        },
        false));
    ASSERT_EQ(ofOurs(dst).size(), 3);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(dst), (QStringList{"a.txt", "folder"}));
    EXPECT_EQ(TestUtil::readFile(old), "old");
    EXPECT_EQ(TestUtil::readFile(folder), "user's");
    EXPECT_FALSE(marked(old));
}

// After a power cut, zero bytes may stand where the last records were to be: nothing was written there,
// so the journal is no damaged one. Anything else after the last whole line is.
TEST_F(Settle, ZeroBytesAtTheEndOfAJournalAreNoDamage) {
    const QString dst = mkdir("dst");
    for (const QByteArray &tail : {QByteArray(274, '\0'), QByteArray("placed 2f74")}) {
        const QString journal =
            journalLeftBy([&] { Journal::beginPart(Journal::partName(QFile::encodeName(dst))); });
        ASSERT_FALSE(journal.isEmpty());
        QFile f(journal);
        ASSERT_TRUE(f.open(QIODevice::Append) && f.write(tail) == tail.size());
        f.close();
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(left.damaged.isEmpty(), tail.startsWith('\0'));
        EXPECT_EQ(exists(journal), !tail.startsWith('\0'));
        QFile::remove(journal);
    }
}

TEST_F(Settle, APartCutOffBeforeItsMarkerGoesButNotOneMadeBeforeItsRecord) {
    // Recorded, then made, then killed before the marker: an empty file and an empty folder go. A file
    // that holds something without the marker (a power cut took it, or another program put it there) is
    // named and stays.
    const QString dst = mkdir("dst");
    const QString partFile = dst + "/.kestrin-part-77-1", partDir = dst + "/.kestrin-part-77-2";
    const QString written = dst + "/.kestrin-part-77-4";
    // Copies of a small file that were to take a free name carry no marker: the first bytes of their file
    // prove them ours, a whole block lost to a power cut (zeros) too. Other bytes, zeros in part of a
    // block, an exchange on record, or more than is read at a start do not.
    const QByteArray blocks = pattern(3 * 4096);
    const QString source = file("src/small", "the copied bytes and more"),
                  big = file("src/big", pattern((1 << 20) + 1)), three = file("src/blocks", blocks);
    const QString prefix = dst + "/.kestrin-part-77-5", other = dst + "/.kestrin-part-77-6",
                  exchanged = dst + "/.kestrin-part-77-7", whole = dst + "/.kestrin-part-77-8",
                  lost = dst + "/.kestrin-part-77-9", torn = dst + "/.kestrin-part-77-10";
    ASSERT_TRUE(inChild(
        [&] {
            Journal::beginPart(partFile);
            Journal::beginPart(partDir);
            Journal::beginPart(written);
            const FileSteps::PathBytes small(source), large(big);
            for (const QString &p : {prefix, other, exchanged})
                Journal::beginPartOfGroup(p, &small);
            Journal::beginPartOfGroup(whole, &large);
            const FileSteps::PathBytes inBlocks(three);
            for (const QString &p : {lost, torn})
                Journal::beginPartOfGroup(p, &inBlocks);
            Journal::flush();
            Journal::beginReplace(exchanged, dst + "/named", TestUtil::lstatOf(source));
            TestUtil::writeFile(partFile, {});
            QDir().mkdir(partDir);
            TestUtil::writeFile(written, "what was copied");
            TestUtil::writeFile(prefix, "the copied bytes");
            TestUtil::writeFile(other, "the other bytes");
            TestUtil::writeFile(exchanged, "the copied bytes");
            TestUtil::writeFile(whole, pattern((1 << 20) + 1));
            TestUtil::writeFile(lost, QByteArray(blocks).replace(4096, 4096, QByteArray(4096, 0)));
            TestUtil::writeFile(torn, QByteArray(blocks).replace(4096, 100, QByteArray(100, 0)));
        },
        false));
    // Made before its record: the user's, even with our name form and with content.
    const QString early = dst + "/.kestrin-part-77-3";
    ASSERT_TRUE(TestUtil::writeFile(early, "the user's"));
    tick();
    ASSERT_TRUE(inChild([&] { Journal::beginPart(early); }, false));

    QStringList parts = FileOps::recoverTransfers().parts;
    parts.sort();
    EXPECT_EQ(names(dst), (QStringList{".kestrin-part-77-10", ".kestrin-part-77-3", ".kestrin-part-77-4",
                                       ".kestrin-part-77-6", ".kestrin-part-77-7", ".kestrin-part-77-8"}));
    EXPECT_EQ(parts, (QStringList{torn, early, written, other, exchanged, whole}));
}

// Only the first part in a folder waits for a flush: with every part's own record lost, the start
// finds this process's parts by their names in the folders on record, and removes those proven ours.
TEST_F(Settle, PartsWhoseRecordsAreLostAreFoundInTheirFolder) {
    const QString dst = mkdir("dst"), again = mkdir("again"), grouped = mkdir("grouped"),
                  list = path("parts");
    const QString journal = journalLeftBy([&] {
        const auto make = [](const QByteArray &part, const QByteArray &content, const QByteArray &mark) {
            TestUtil::writeFile(QFile::decodeName(part), content);
            if (!mark.isEmpty())
                ::lsetxattr(part.constData(), "user.kestrin.part", mark.constData(), size_t(mark.size()), 0);
        };
        // Past a restart of the journal, the folder's record is written again.
        for (int i = 0; i < 10000; ++i) {
            const QByteArray part = Journal::partName(QFile::encodeName(again)).bytes();
            Journal::beginPart(part);
            Journal::end(part);
        }
        const QByteArray after = Journal::partName(QFile::encodeName(again)).bytes();
        make(after, "ours", Journal::beginPart(after));
        // A group's first part in a folder: the folder's record goes with the group's flush.
        const QByteArray inGroup = Journal::partName(QFile::encodeName(grouped)).bytes();
        const QByteArray groupMark = Journal::beginPartOfGroup(inGroup);
        Journal::flush();
        make(inGroup, "ours", groupMark);
        // Our name form, but made before any record: no proof it is ours.
        const QByteArray early = Journal::partName(QFile::encodeName(dst)).bytes();
        make(early, {}, {});
        tick();
        QList<QByteArray> parts{early, after};
        for (const QByteArray content : {"ours", "", "no marker", "someone else's"}) {
            parts << Journal::partName(QFile::encodeName(dst)).bytes();
            const QByteArray mark = Journal::beginPart(parts.last());
            make(parts.last(), content,
                 content == "ours" ? mark : QByteArray(content == "someone else's" ? "x" : ""));
        }
        TestUtil::writeFile(list, parts.join('\n'));
    });
    ASSERT_FALSE(journal.isEmpty());
    QList<QByteArray> kept;
    for (const QByteArray &line : TestUtil::readFile(journal).split('\n'))
        if (line.startsWith("parts ")) kept << line + '\n';
    ASSERT_EQ(kept.size(), 3);
    TestUtil::writeFile(journal, kept.join());
    const QStringList parts = QString::fromUtf8(TestUtil::readFile(list)).split('\n');

    FileOps::Leftovers left = FileOps::recoverTransfers();
    left.parts.sort();
    // The empty one without a marker, born after the folder's record, goes; one that holds something
    // without it is named.
    EXPECT_EQ(left.parts, (QStringList{parts[0], parts[4]}));
    EXPECT_EQ(names(dst), (QStringList{Posix::lastComponent(parts[0]), Posix::lastComponent(parts[4]),
                                       Posix::lastComponent(parts[5])}));
    EXPECT_EQ(names(again), QStringList{});
    EXPECT_EQ(names(grouped), QStringList{});
    EXPECT_FALSE(exists(journal));
}

TEST_F(Settle, TrashInfoWhoseItemNeverCameGoesButNotTheUsers) {
    const QString trash = TrashRoots::homeTrash();
    QDir().mkpath(trash + "/files");
    QDir().mkpath(trash + "/info");
    // An info file of the user's with no item, older than the record that names it.
    const QByteArray usersInfo = "[Trash Info]\nPath=/elsewhere/a\nDeletionDate=2020-01-01T00:00:00\n";
    ASSERT_TRUE(TestUtil::writeFile(trash + "/info/a.trashinfo", usersInfo));
    tick();
    const QString a = file("a", "a"), b = file("b", "b");
    // Cut off between the info file and the rename into files/: the item is back where it was.
    QStringList inTrash;
    ASSERT_TRUE(inChild(
        [&] {
            for (const QString &p : {a, b})
                if (Journal::trashRecorded(p).status != Trash::Status::moved) ::_exit(2);
        },
        false));
    inTrash = names(trash + "/files");
    ASSERT_EQ(inTrash.size(), 2);
    for (const QString &n : inTrash)
        ASSERT_TRUE(QFile::rename(trash + "/files/" + n, path(n.left(1))));

    FileOps::recoverTransfers();
    EXPECT_EQ(names(trash + "/info"), QStringList{"a.trashinfo"});
    EXPECT_EQ(TestUtil::readFile(trash + "/info/a.trashinfo"), usersInfo);
    EXPECT_EQ(TestUtil::readFile(a), "a");

    // The same with every line of the journal lost: the info files are found in the Trash. Each is left
    // as a kill at another point leaves it: "c" in the Trash before its info's mark came off, "d" back
    // before its rename, its info marked, "e" back with its info made before the mark.
    const QStringList before = names(journalFolder());
    const QStringList items{file("c", "c"), file("d", "d"), file("e", "e")};
    ASSERT_TRUE(inChild(
        [&] {
            for (const QString &p : items)
                if (Journal::trashRecorded(p).status != Trash::Status::moved) ::_exit(2);
        },
        false));
    ASSERT_EQ(names(trash + "/files"), (QStringList{"c", "d", "e"}));
    for (const char *n : {"c", "d", "e"})
        EXPECT_FALSE(marked(trash + "/info/" + n + ".trashinfo")) << n;
    QStringList journals = names(journalFolder());
    journals.removeIf([&](const QString &n) { return before.contains(n); });
    ASSERT_EQ(journals.size(), 1);
    ASSERT_TRUE(TestUtil::writeFile(journalFolder() + '/' + journals[0], {}));
    const QByteArray token = journals[0].left(32).toLatin1();
    for (const char *n : {"c", "d"})
        ASSERT_EQ(::lsetxattr(QFile::encodeName(trash + "/info/" + n + ".trashinfo").constData(),
                              "user.kestrin.part", token.constData(), size_t(token.size()), 0),
                  0);
    for (const char *n : {"d", "e"})
        ASSERT_TRUE(QFile::rename(trash + "/files/" + n, path(n)));

    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(names(trash + "/info"), (QStringList{"a.trashinfo", "c.trashinfo", "e.trashinfo"}));
    EXPECT_EQ(left.unrecorded, QStringList{trash + "/info/e.trashinfo"});
    EXPECT_FALSE(marked(trash + "/info/c.trashinfo"));
    EXPECT_EQ(TestUtil::readFile(trash + "/info/a.trashinfo"), usersInfo);
    EXPECT_FALSE(names(journalFolder()).contains(journals[0]));
}

TEST_F(Settle, TheStartTakesOurMarkerOffARenamedItem) {
    // Killed right after an item of a batch rename took its new name, and before it went aside.
    const QString a = file("a", "a"), c = file("c", "c");
    const QString b = path("b"), d = path("d");
    ASSERT_TRUE(inChild(
        [&] {
            FileOps::renameInTwoPhases({{a, b}}, nullptr,
                                       [&](const QString &, const QString &to, const auto &rename) {
                                           rename();
                                           if (to == b) ::raise(SIGKILL);
                                       });
        },
        true));
    ASSERT_TRUE(inChild(
        [&] {
            FileOps::renameInTwoPhases(
                {{c, d}}, nullptr, [&](const QString &, const QString &, const auto &) { ::raise(SIGKILL); });
        },
        true));
    ASSERT_TRUE(marked(b));
    ASSERT_TRUE(marked(c));
    FileOps::recoverTransfers();
    EXPECT_EQ(names(tmp.path()), (QStringList{"b", "c"}));
    EXPECT_FALSE(marked(b));
    EXPECT_FALSE(marked(c));
}

// A batch rename that ran to its end is over for the next start, though the process died later without
// ending its journal: its records, which find items by inode number, never take an item the user gave its
// old name back (or a new file with a reused number) for half of a rename.
TEST_F(Settle, AFinishedBatchRenameIsOverForTheNextStart) {
    const QString a = file("a", "a"), c = file("c", "c");
    const QStringList journals = names(journalFolder());
    ASSERT_TRUE(inChild([&] { FileOps::renameInTwoPhases({{a, path("b")}, {c, path("d")}}); }, false));
    ASSERT_EQ(::rename(QFile::encodeName(path("b")).constData(), QFile::encodeName(a).constData()), 0);
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_TRUE(left.isEmpty()) << FileOps::leftoversText(left).toStdString();
    EXPECT_EQ(names(tmp.path()), (QStringList{"a", "d"}));
    EXPECT_EQ(names(journalFolder()), journals);
}

// A folder's original changed while it was moved, so it stays; meanwhile another item took its name:
// it gets a free name beside it, said, and is never left hidden.
TEST_F(SettleAcross, AMovedOriginalWhoseNameIsTakenGetsAFreeOne) {
    LanguageScope de(AppLanguage::de);
    file("dir/a", "a");
    file("dir/b", "b");
    FileSteps::setStepHook([&](Step s, const QString &aside) {
        if (s != Step::sourceAside) return;
        TestUtil::writeFile(aside + "/a", "a, changed meanwhile");
        TestUtil::writeFile(path("dir"), "another item");
    });
    const TransferOutcome o = run({path("dir")}, vol.path(), true);
    FileSteps::setStepHook({});
    EXPECT_EQ(TestUtil::readFile(path("dir")), "another item");
    EXPECT_TRUE(ofOurs(path(".")).isEmpty()) << ofOurs(path(".")).join(' ').toStdString();
    const QStringList kept = names(path(".")).filter(QRegularExpression("^dir."));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(TestUtil::readFile(path(kept[0] + "/a")), "a, changed meanwhile");
    EXPECT_FALSE(o.errors.isEmpty());
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
}

TEST_F(SettleAcross, AMoveThatCannotBeRecordedTouchesNothing) {
    LanguageScope de(AppLanguage::de);
    const QString src = file("a", "1");
    // A state folder that cannot be made: the child's journal is its own.
    ASSERT_TRUE(inChild(
        [&] {
            qputenv("XDG_STATE_HOME", "/dev/null/state");
            const TransferOutcome o = run({src}, vol.path(), true);
            const bool refused = o.done == 0 && o.errors.size() == 1 &&
                                 o.errors[0].startsWith("„a“: Das Protokoll im Statusordner "
                                                        "„/dev/null/state/kestrin/transfers“");
            ::_exit(refused ? 0 : 3);
        },
        false));
    EXPECT_EQ(TestUtil::readFile(src), "1");
    EXPECT_TRUE(names(vol.path()).isEmpty());
}

// The state folder is held as the settings' folder is: another account's folder, root's where others may
// write, or the user's own link to one, takes no journal, and the copy is refused with the state folder's
// sentence.
TEST_F(Settle, NoJournalGoesWhereAnotherAccountCouldReachIt) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "another account's folder needs root";
    LanguageScope de(AppLanguage::de);
    const QString src = file("a", "1"), dst = mkdir("dst"), theirs = mkdir("theirs");
    const QByteArray theirsBytes = QFile::encodeName(theirs);
    ASSERT_EQ(::chown(theirsBytes.constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(theirsBytes.constData(), 0777), 0);
    const auto own = [](const QString &folder, uid_t uid, mode_t mode) {
        const QByteArray bytes = QFile::encodeName(folder);
        return ::chown(bytes.constData(), uid, uid) == 0 && ::chmod(bytes.constData(), mode) == 0;
    };
    // Run as the other account, root's folder that its group may write is no system folder either.
    ASSERT_EQ(::chmod(QFile::encodeName(tmp.path()).constData(), 0755), 0);
    ASSERT_TRUE(own(dst, 65534, 0755));
    enum Case { theirApp, linked, theirBase, rootsOpenToGroup };
    for (const Case c : {theirApp, linked, theirBase, rootsOpenToGroup}) {
        SCOPED_TRACE(c == theirApp           ? "kestrin: their folder"
                     : c == linked           ? "transfers: the user's link to their folder"
                     : c == rootsOpenToGroup ? "kestrin: root's, the user's group may write"
                                             : "the state folder above: theirs");
        const QString state = mkdir(QStringLiteral("state%1").arg(c));
        const QString app = mkdir(QStringLiteral("state%1/kestrin").arg(c));
        QString reached = app;
        if (c == linked) {
            ASSERT_EQ(::symlink(theirsBytes.constData(), QFile::encodeName(app + "/transfers").constData()),
                      0);
            reached = theirs;
        } else if (c == theirApp) {
            ASSERT_TRUE(own(app, 65534, 0777));
        } else if (c == rootsOpenToGroup) {
            ASSERT_TRUE(own(state, 65534, 0700) && own(app, 0, 0775));
            ASSERT_EQ(::chown(QFile::encodeName(app).constData(), 0, 65534), 0);
        } else {
            ASSERT_TRUE(own(state, 65534, 0777));
            reached = mkdir(QStringLiteral("state%1/kestrin/transfers").arg(c));
            ASSERT_TRUE(own(app, 0, 0700) && own(reached, 0, 0700));
        }
        const QStringList before = names(reached);
        ASSERT_TRUE(inChild(
            [&] {
                if (c == rootsOpenToGroup &&
                    (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                    ::_exit(2);
                qputenv("XDG_STATE_HOME", QFile::encodeName(state));
                const TransferOutcome o = run({src}, dst, false);
                const bool refused = o.done == 0 && o.errors.size() == 1 &&
                                     o.errors[0].startsWith("„a“: Das Protokoll im Statusordner „" + state +
                                                            "/kestrin/transfers“ lässt sich nicht schreiben");
                ::_exit(refused ? 0 : 3);
            },
            false));
        EXPECT_EQ(names(reached), before);
        EXPECT_TRUE(names(dst).isEmpty());
    }
}

// A copy given up (here: cancelled) goes again, but its record stays while that removal may not be
// on the disk: a power cut that brings the part back leaves it to the next start, never hidden.
TEST_F(Settle, APartDroppedWithoutAFlushStaysOnRecord) {
    const QString src = file("big", pattern(4 << 20)), dst = mkdir("dst");
    const QString journal = journalLeftBy([&] {
        FileSteps::setFolderSyncErrorForTests(dst, EIO);
        TransferProgress p;
        FileSteps::setStepHook([&](Step s, const QString &) {
            if (s == Step::chunkCopied) p.cancel();
        });
        if (!FileOps::runWithProgress({src}, dst, false, p, {}).cancelled) ::_exit(3);
    });
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_TRUE(names(dst).isEmpty());
    ASSERT_TRUE(partBack(journal, dst));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(dst).isEmpty());
    EXPECT_FALSE(exists(journal));
}

// The same for a move to another volume whose disk fails while it copies.
TEST_F(SettleAcross, APartOfAMoveDroppedOnAFailingDiskStaysOnRecord) {
    LanguageScope de(AppLanguage::de);
    const QByteArray data = pattern(4 << 20);
    const QString src = file("big", data);
    const QString journal = journalLeftBy([&] {
        FileSteps::setStepHook([](Step s, const QString &) {
            if (s == Step::chunkCopied) FileSteps::setDiskErrorForTests(EIO);
        });
        try {
            FileOps::rename(src, vol.path() + "/big");
            ::_exit(3);
        } catch (const FileError &) {
        }
        FileSteps::setDiskErrorForTests(0);
    });
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_TRUE(names(vol.path()).isEmpty());
    ASSERT_TRUE(partBack(journal, vol.path()));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(vol.path()).isEmpty());
    EXPECT_EQ(TestUtil::readFile(src), data);
    EXPECT_FALSE(exists(journal));
}

// A move that ran to its end is over for the next start too, even when the journal outlives the
// process (here: an item a failed batch rename left hidden keeps it past a normal quit). The original's
// other link, put back under its name, is then no reason to drop the moved copy.
TEST_F(SettleAcross, AFinishedMoveIsOverForTheNextStart) {
    const QString src = file("h", pattern(5000)), link = path("h2"), moved = vol.path() + "/h";
    ASSERT_EQ(::link(QFile::encodeName(src).constData(), QFile::encodeName(link).constData()), 0);
    const QString a = file("f/a", "a");
    const QString journal = journalLeftBy([&] {
        FileOps::rename(src, moved);
        FileOps::renameInTwoPhases({{a, path("f/b")}}, nullptr,
                                   [](const QString &from, const QString &, const auto &rename) {
                                       if (Posix::lastComponent(from).startsWith(".dravendel-"))
                                           throw FileError{EIO, QStringLiteral("kaputt"), false};
                                       rename();
                                   });
    });
    ASSERT_FALSE(journal.isEmpty());
    ASSERT_FALSE(exists(src));
    ASSERT_EQ(::link(QFile::encodeName(link).constData(), QFile::encodeName(src).constData()), 0);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(TestUtil::readFile(moved), pattern(5000));
    EXPECT_EQ(TestUtil::readFile(src), pattern(5000));
    EXPECT_EQ(names(path("f")), QStringList{"a"});
    EXPECT_FALSE(exists(journal));
}

// Beyond a few folders on one volume they are flushed all at once: a failure of that flush is said too.
TEST_F(Settle, AFailedFlushOfManyFoldersIsSaid) {
    for (const int count : {2, 6}) {
        SCOPED_TRACE(count);
        QStringList folders;
        for (int i = 0; i < count; ++i)
            folders << mkdir(QString("many%1/d%2").arg(count).arg(i));
        EXPECT_EQ(FileSteps::syncFolders(folders), 0);
        Posix::setFlushErrorForTests(EIO);
        QString failed;
        const int e = FileSteps::syncFolders(folders, &failed);
        Posix::setFlushErrorForTests(0);
        EXPECT_EQ(e, EIO);
        EXPECT_TRUE(folders.contains(failed)) << failed.toStdString();
    }
}

// A copy killed in a folder the user then moves: what it hides there stays on record and is told while
// the folder is not found beside its old place (never in a look-alike that holds another item under the
// part's name), and is settled where the folder is found again.
TEST_F(Settle, APartInAFolderMovedBeforeTheStartIsToldUntilTheFolderIsFound) {
    LanguageScope de(AppLanguage::de);
    const QString src = file("big", pattern(4 << 20)), dst = mkdir("box/dst");
    const QStringList before = names(journalFolder());
    const auto journalsNew = [&] {
        QStringList now = names(journalFolder());
        for (const QString &n : before)
            now.removeAll(n);
        return now;
    };
    ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({src}, dst, false); }));
    const QStringList parts = ofOurs(dst);
    ASSERT_EQ(parts.size(), 1);
    const QString away = mkdir("away") + "/dst";
    ASSERT_TRUE(QDir().rename(dst, away));
    // Beside the old place: a folder with an item of another's under the part's name.
    file("box/other/" + parts.first(), "not ours");

    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.away, QStringList{dst + '/' + parts.first()});
    EXPECT_TRUE(FileOps::leftoversText(left).contains("doch dieser Ordner ist nicht mehr dort"))
        << FileOps::leftoversText(left).toStdString();
    EXPECT_EQ(ofOurs(away), parts);
    EXPECT_EQ(TestUtil::readFile(path("box/other/" + parts.first())), "not ours");
    EXPECT_EQ(journalsNew().size(), 1);
    // Told once: the next start keeps it on record without a word, nor names the user's Trash entries
    // made since the journal.
    const QString trash = TrashRoots::homeTrash();
    ASSERT_TRUE(QDir().mkpath(trash + "/files"));
    ASSERT_TRUE(TestUtil::writeFile(trash + "/info/mine.trashinfo", "[Trash Info]\nPath=/x/mine\n"));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(journalsNew().size(), 1);

    ASSERT_TRUE(QDir().rename(away, path("box/dst renamed")));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(ofOurs(path("box/dst renamed")).isEmpty());
    EXPECT_EQ(TestUtil::readFile(path("box/other/" + parts.first())), "not ours");
    EXPECT_TRUE(journalsNew().isEmpty());
}
