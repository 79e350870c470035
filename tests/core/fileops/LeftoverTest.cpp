// What interrupted transfers leave, what the next start makes of it, and what a transfer never takes.
#include "Fixture.h"

#include "common/FatFuse.h"
#include "common/TestChild.h"

#include "core/base/Defaults.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <functional>

#include <csignal>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;
using FileSteps::Step;
using TestUtil::LanguageScope;

namespace {

QStringList trashed() {
    return names(TrashRoots::homeTrash() + "/files");
}

// Runs `work` in a child that is killed when it reaches `step`; whether the kill came.
bool killedAt(Step step, const std::function<void()> &work) {
    const pid_t child = TestChild::forkAlone();
    if (child < 0) return false;
    if (child == 0) {
        FileSteps::setStepHook([step](Step s, const QString &) {
            if (s == step) ::raise(SIGKILL);
        });
        work();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

QStringList hidden(const QString &folder, const QString &kind) {
    return names(folder).filter(QRegularExpression("^\\.kestrin-" + kind + "-"));
}

} // namespace

class Leftover : public Started {};

TEST_F(Leftover, ItemsOfTheUserNamedLikePartsSurviveCopiesMovesAndStartUp) {
    const QString dst = mkdir("dst");
    file("dst/.kestrin-part-notes.txt", "notes");
    file("dst/.kestrin-part-photos/a.jpg", "jpg");
    file("dst/.kestrin-part-4242-7", "our very name form, but not made by us");
    // Moved in by a rename: its source is gone at once.
    file("src/.kestrin-part-moved/b", "b");
    EXPECT_EQ(run({path("src/.kestrin-part-moved")}, dst, true).done, 1);
    const auto before = snapshot(dst);

    EXPECT_EQ(run({file("one", "1")}, dst, false).done, 1);
    EXPECT_EQ(run({file("two", "2")}, dst, true).done, 1);
    // A file open in another program counts for nothing either.
    QFile open(dst + "/.kestrin-part-notes.txt");
    ASSERT_TRUE(open.open(QIODevice::ReadOnly));
    EXPECT_EQ(run({mkdir("three")}, dst, false).done, 1);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());

    auto after = snapshot(dst);
    for (const char *added : {"one", "two", "three"})
        EXPECT_TRUE(after.remove(added)) << added;
    EXPECT_EQ(after, before);
}

TEST_F(Leftover, StartUpRemovesAKilledCopyButNotWhatLooksLikeIt) {
    const QString big = file("src/big", pattern(16 << 20));
    const QString dst = mkdir("dst");
    ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({big}, dst, false); }));
    const QStringList parts = hidden(dst, "part");
    ASSERT_EQ(parts.size(), 1);
    // The same part copied elsewhere with its attributes is the user's now.
    const QString elsewhere = mkdir("elsewhere");
    ASSERT_EQ(QProcess::execute("cp", {"-a", dst + "/" + parts[0], elsewhere + "/"}), 0);

    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(dst).isEmpty());
    EXPECT_EQ(names(elsewhere), parts);
    EXPECT_EQ(QFileInfo(big).size(), 16 << 20);

    // Under a recorded name, but with a marker of another run (restored from a backup, say).
    ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({big}, dst, false); }));
    const QString part = dst + "/" + hidden(dst, "part").value(0);
    ASSERT_EQ(FileSteps::removeTree(part), 0);
    ASSERT_TRUE(TestUtil::writeFile(part, "the user's"));
    ASSERT_EQ(
        ::setxattr(part.toUtf8().constData(), "user.kestrin.part", "0123456789abcdef0123456789abcdef", 32, 0),
        0);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(TestUtil::readFile(part), "the user's");
}

// A child forked once its parent has a journal keeps one of its own: its part goes at the next start,
// though the parent still runs and holds its journal.
TEST_F(Leftover, APartOfAKilledForkedChildGoesWhileItsParentRuns) {
    const QString dst = mkdir("dst");
    ASSERT_EQ(run({file("first", "1")}, dst, false).done, 1);
    const QString big = file("src/big", pattern(16 << 20));
    ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({big}, dst, false); }));
    ASSERT_EQ(hidden(dst, "part").size(), 1);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(dst), QStringList{"first"});
}

// A moved original whose replace failed and whose name was taken meanwhile stays under its hidden name,
// and the next start says where it is.
TEST_F(Leftover, AMovedOriginalThatCannotTakeItsNameBackIsNamedAtTheStart) {
    const QString src = file("src/x", "new"), dst = mkdir("dst");
    file("dst/x", "old");
    // No Trash for the old item: the replace fails after the exchange.
    ASSERT_TRUE(TestUtil::writeFile(TrashRoots::homeTrash() + "/files", "not a folder"));
    const QString journal = journalLeftBy([&] {
        FileSteps::setStepHook([&](Step s, const QString &) {
            if (s == Step::oldItemOut) TestUtil::writeFile(src, "taken");
        });
        const TransferOutcome o = run({src}, dst, true, {{src, ConflictChoice::replace}});
        if (o.done != 0 || o.errors.size() != 1) std::exit(1);
    });
    QFile::remove(TrashRoots::homeTrash() + "/files");
    EXPECT_FALSE(journal.isEmpty());
    EXPECT_EQ(TestUtil::readFile(dst + "/x"), "old");
    EXPECT_EQ(TestUtil::readFile(src), "taken");
    const QStringList parts = hidden(dst, "part");
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(FileOps::recoverTransfers().setAside, QStringList{dst + "/" + parts[0]});
    EXPECT_EQ(TestUtil::readFile(dst + "/" + parts[0]), "new");
}

// The marker lost with a power cut, what was written kept: nothing proves the part ours any more, since
// another program may have put its own file under the name since. It is named and stays.
TEST_F(Leftover, AKilledCopyThatLostItsMarkerIsNamedAndStays) {
    const QString big = file("src/big", pattern(16 << 20));
    const QString dst = mkdir("dst");
    ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({big}, dst, false); }));
    const QStringList parts = hidden(dst, "part");
    ASSERT_EQ(parts.size(), 1);
    const QString part = dst + "/" + parts[0];
    ASSERT_GT(QFileInfo(part).size(), 0);
    ASSERT_EQ(::removexattr(part.toUtf8().constData(), "user.kestrin.part"), 0);
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.parts, QStringList{part});
    EXPECT_EQ(names(dst), parts);
}

// After a kill, another program put a file of its own under a part's name of a mirror: no record holds
// its identity and it bears no marker, so it is named and stays, whether the copy had taken its name or
// was still being made.
TEST_F(Leftover, AnotherFileUnderAPartsNameIsNamedNeverMovedOrRemoved) {
    const QString dst = mkdir("dst"), token(32, u'f');
    const QString part = dst + "/.kestrin-part-" + token.left(8) + "-3";
    const QString journal = journalFolder() + "/" + token + ".log";
    ASSERT_TRUE(QDir().mkpath(journalFolder()));
    const QByteArray hexDst = dst.toUtf8().toHex(), hexPart = part.toUtf8().toHex();
    const QByteArray at = QByteArray::number(qint64(::time(nullptr)) - 60) + " 0";
    for (const bool placed : {true, false}) {
        SCOPED_TRACE(placed ? "its copy took its name" : "killed while copying");
        const QString named = file("dst/x", "the copy");
        ASSERT_EQ(
            ::setxattr(named.toUtf8().constData(), "user.kestrin.part", token.toLatin1().constData(), 32, 0),
            0);
        const struct stat copy = TestUtil::lstatOf(named);
        QByteArray lines =
            "roots " + hexDst + "\nparts " + hexDst + ' ' + at + "\npart " + hexPart + ' ' + at + '\n';
        if (placed)
            lines += "placed " + hexPart + ' ' + named.toUtf8().toHex() + ' ' +
                     QByteArray::number(copy.st_dev) + ' ' + QByteArray::number(copy.st_ino) + '\n';
        ASSERT_TRUE(TestUtil::writeFile(journal, lines));
        ASSERT_TRUE(TestUtil::writeFile(part, "another program's"));

        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(TestUtil::readFile(part), "another program's");
        EXPECT_EQ(left.parts + left.unrecorded, QStringList{part});
        EXPECT_TRUE(trashed().isEmpty());
        EXPECT_EQ(TestUtil::readFile(named), "the copy");
        EXPECT_FALSE(exists(journal));
        QFile::remove(journal);
        QFile::remove(part);
        QFile::remove(named);
    }
}

TEST_F(Leftover, JournalsOfAnyShapeTakeNothingThatIsNotAPart) {
    const QString journals = qEnvironmentVariable("XDG_STATE_HOME") + "/kestrin/transfers";
    const QString token(32, u'b');
    // Marked with the journal's own token, but not named like a part.
    const QString notes = file("notes.txt", "notes");
    ASSERT_EQ(
        ::setxattr(notes.toUtf8().constData(), "user.kestrin.part", token.toLatin1().constData(), 32, 0), 0);
    const QByteArray hexNotes = notes.toUtf8().toHex();
    ASSERT_TRUE(QDir().mkpath(journals));
    ASSERT_TRUE(TestUtil::writeFile(journals + "/" + token + ".log",
                                    "part " + hexNotes + "\nreplace " + hexNotes + " " + hexNotes +
                                        " 1 2\naside zz 2f 1 1\npart 2f61\0\npart 612f\npart 2f6\nend\n" +
                                        QByteArray(3000, 'x') + "\nreplace " + hexNotes +
                                        " 2f 99999999999999999999999 1\n"));
    ASSERT_TRUE(
        TestUtil::writeFile(journals + "/" + QString(32, u'c') + ".log", QByteArray((1 << 20) + 1, '\n')));
    ASSERT_EQ(::symlink(notes.toUtf8().constData(),
                        (journals + "/" + QString(32, u'd') + ".log").toUtf8().constData()),
              0);

    // A journal that is no file of ours is named, not followed.
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.journals, QStringList{journals + "/" + QString(32, u'd') + ".log"});
    EXPECT_TRUE(left.setAside.isEmpty() && left.parts.isEmpty() && left.renamed.isEmpty() &&
                left.renamedAside.isEmpty());
    EXPECT_EQ(TestUtil::readFile(notes), "notes");
    EXPECT_EQ(names(tmp.path()), QStringList{"notes.txt"});
    for (const char *c : {"b", "c", "d"})
        QFile::remove(journals + "/" + QString(32, QChar::fromLatin1(*c)) + ".log");
}

// A replace killed once the old item is under the part's name, its journal cut short after the part's
// record or its folder's: the old item, made in the same tick of the clock as that record or in the same
// second as a torn record's cut time, is not taken for the part. It stays, and is named.
TEST_F(Leftover, TheOldItemOfAReplaceWhoseRecordIsLostStaysUnderThePartsName) {
    const QString dst = mkdir("dst"), token(32, u'e');
    const QString part = dst + "/.kestrin-part-" + token.left(8) + "-5";
    const QString journal = journalFolder() + "/" + token + ".log";
    const QByteArray hexDst = dst.toUtf8().toHex(), hexPart = part.toUtf8().toHex();
    ASSERT_TRUE(QDir().mkpath(journalFolder()));
    struct Case {
        const char *what;
        bool ownRecord; // else only its folder's
        bool torn;      // the record itself cut in its time, else a later line torn
    };
    for (const Case &c : {Case{"the folder's record, then a torn line", false, false},
                          Case{"the part's record, then a torn line", true, false},
                          Case{"the folder's record, torn in its time", false, true}}) {
        SCOPED_TRACE(c.what);
        // Killed after the exchange: the copy under the name, still marked, the old item under the part's.
        ASSERT_TRUE(TestUtil::writeFile(part, "the user's old version"));
        const QString named = file("dst/x", "the new version");
        ASSERT_EQ(
            ::setxattr(named.toUtf8().constData(), "user.kestrin.part", token.toLatin1().constData(), 32, 0),
            0);
        struct statx sx {};
        ASSERT_EQ(::statx(AT_FDCWD, part.toUtf8().constData(), 0, STATX_BTIME, &sx), 0);
        if (!(sx.stx_mask & STATX_BTIME)) GTEST_SKIP() << "no birth times here";
        ASSERT_GE(sx.stx_btime.tv_nsec, 10u);
        // Recorded in the very tick the old item was made in: its birth time is the record's.
        const QByteArray at = QByteArray::number(qint64(sx.stx_btime.tv_sec)) + ' ' +
                              (c.torn ? QByteArray("999999999") : QByteArray::number(sx.stx_btime.tv_nsec));
        QByteArray lines = "roots " + hexDst + "\nparts " + hexDst + ' ' + at + '\n';
        if (c.ownRecord) lines += "part " + hexPart + ' ' + at + '\n';
        // Torn to the first digit of its nanoseconds, or the replace's line torn.
        lines = c.torn ? lines.left(lines.size() - 9)
                       : lines + "replace " + hexPart + ' ' + named.toUtf8().toHex();
        ASSERT_TRUE(TestUtil::writeFile(journal, lines));

        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(TestUtil::readFile(part), "the user's old version");
        EXPECT_EQ(left.parts + left.unrecorded, QStringList{part});
        EXPECT_EQ(left.damaged, QStringList{journal});
        EXPECT_EQ(TestUtil::readFile(named), "the new version");
        QFile::remove(journal);
        QFile::remove(part);
    }
}

TEST_F(Leftover, KilledAtEveryStepOfAFolderReplaceOneWholeItemIsUnderTheName) {
    const QString dst = mkdir("dst"), src = path("src/x"), named = dst + "/x";
    auto make = [&] {
        QDir(src).removeRecursively();
        QDir(named).removeRecursively();
        for (int i = 0; i < 3; ++i) {
            file(QString("src/x/new%1").arg(i), pattern(2 << 20, char(i)));
            file(QString("dst/x/old%1").arg(i), pattern(1000, char(i + 10)));
        }
    };
    make();
    const auto newOne = snapshot(src), oldOne = snapshot(named);
    struct ExchangeBack {
        ~ExchangeBack() { FileSteps::setExchangeForTests(true); }
    } back;
    // Each also with the volume back under another device number, as after a power cut.
    QList<std::pair<Step, bool>> kills;
    for (const Step step : {Step::chunkCopied, Step::fileCopied, Step::oldItemOut, Step::toTrash})
        kills << std::pair{step, false} << std::pair{step, true};
    for (const bool exchange : {true, false}) {
        FileSteps::setExchangeForTests(exchange);
        for (const auto &[step, renumbered] : kills) {
            SCOPED_TRACE(QString("exchange %1, step %2, renumbered %3")
                             .arg(exchange)
                             .arg(int(step))
                             .arg(renumbered)
                             .toStdString());
            ASSERT_TRUE(killedAt(step, [&] { run({src}, dst, false, {{src, ConflictChoice::replace}}); }));
            if (renumbered) renumberJournals();
            // Killed on its way to the Trash, the old item goes on there once it left its name.
            const bool done = step == Step::oldItemOut || (exchange && step == Step::toTrash);
            // Without the exchange the start-up finishes what was begun.
            if (exchange) {
                EXPECT_EQ(snapshot(named), done ? newOne : oldOne);
            }
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_EQ(names(dst), QStringList{"x"});
            EXPECT_EQ(snapshot(named), done ? newOne : oldOne);
            ASSERT_EQ(trashed().size(), done ? 1 : 0);
            for (const QString &n : trashed())
                EXPECT_FALSE(
                    TestUtil::readFile(TrashRoots::homeTrash() + "/info/" + n + ".trashinfo").isEmpty());
            if (done) {
                const QString inTrash = TrashRoots::homeTrash() + "/files/" + trashed()[0];
                EXPECT_EQ(snapshot(inTrash), oldOne);
                EXPECT_EQ(trashed()[0], "x");
                EXPECT_TRUE(TestUtil::readFile(Trash::infoFileFor(inTrash))
                                .contains("\nPath=" + QUrl::toPercentEncoding(named, "/") + "\n"));
                QDir(TrashRoots::homeTrash()).removeRecursively();
            }
            make();
        }
    }

    // Back under another number, with the id of another file system on record: the old item under the
    // part's name is not proven to be the one exchanged, so it stays there and is named.
    FileSteps::setExchangeForTests(true);
    ASSERT_TRUE(killedAt(Step::oldItemOut, [&] {
        run({src}, dst, false, {{src, ConflictChoice::replace}});
    }));
    renumberJournals(true);
    const QStringList parts = hidden(dst, "part");
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(FileOps::recoverTransfers().parts, QStringList{dst + "/" + parts[0]});
    EXPECT_EQ(snapshot(dst + "/" + parts[0]), oldOne);
    EXPECT_EQ(snapshot(named), newOne);
    EXPECT_TRUE(trashed().isEmpty());
    QDir(dst + "/" + parts[0]).removeRecursively();
    make();

    // Not killed: the same with and without the exchange.
    for (const bool exchange : {true, false}) {
        FileSteps::setExchangeForTests(exchange);
        EXPECT_EQ(run({src}, dst, false, {{src, ConflictChoice::replace}}).done, 1);
        EXPECT_EQ(snapshot(named), newOne);
        EXPECT_EQ(names(dst), QStringList{"x"});
        ASSERT_EQ(trashed(), QStringList{"x"});
        EXPECT_TRUE(TestUtil::readFile(TrashRoots::homeTrash() + "/info/x.trashinfo")
                        .contains("\nPath=" + QUrl::toPercentEncoding(named, "/") + "\n"));
        QDir(TrashRoots::homeTrash()).removeRecursively();
        make();
    }
}

// --- a second volume (root only)

class LeftoverAcross : public Leftover {
protected:
    void SetUp() override {
        Leftover::SetUp();
        if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    }
};

TEST_F(LeftoverAcross, StartUpGivesSetAsideOriginalsTheirNamesOrSaysWhereTheyAre) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("64m");
    ASSERT_TRUE(vol.valid());
    const QString tree = path("src/tree"), moved = vol.path() + "/tree";
    auto make = [&] {
        QDir(tree).removeRecursively();
        QDir(moved).removeRecursively();
        for (int i = 0; i < 3; ++i)
            file(QString("src/tree/d%1/f").arg(i), pattern(1 << 20, char(i)));
    };
    make();
    const auto before = snapshot(tree);

    // Killed right after the original went aside: it comes back, and the move ends as it would have.
    ASSERT_TRUE(killedAt(Step::sourceAside, [&] { run({tree}, vol.path(), true); }));
    ASSERT_EQ(hidden(path("src"), "gone").size(), 1);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_TRUE(names(path("src")).isEmpty());
    EXPECT_EQ(snapshot(moved), before);

    // Killed after a first deletion, with the name taken again meanwhile: one sentence says where it is.
    make();
    ASSERT_TRUE(killedAt(Step::fileRemoved, [&] { run({tree}, vol.path(), true); }));
    const QStringList gone = hidden(path("src"), "gone");
    ASSERT_EQ(gone.size(), 1);
    file("src/tree", "a new item of the same name");
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.setAside, QStringList{path("src/") + gone[0]});
    EXPECT_EQ(FileOps::leftoversText(left),
              QString("Das Original eines abgebrochenen Verschiebens liegt als „%1“ in „%2“, weil sein Name "
                      "wieder vergeben ist.")
                  .arg(gone[0], path("src")));
    EXPECT_EQ(names(path("src")), (QStringList{gone[0], "tree"}));
    EXPECT_EQ(snapshot(moved), before);
    // Told once.
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
}

// A volume that keeps no marker (ramfs, a FAT stick): the part's record proves it ours by what was made
// under its name; anything else under that name is named and left.
TEST_F(LeftoverAcross, APartOnAVolumeWithoutMarkersIsProvenOursByItsRecord) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount bare("16m", "ramfs");
    ASSERT_TRUE(bare.valid());
    TestUtil::FatFuse stick;
    TestUtil::ExfatImage exfat;
    QStringList volumes{bare.path()};
    if (stick.valid()) volumes << stick.path();
    if (exfat.valid()) volumes << exfat.path();
    const QString big = file("big", pattern(8 << 20));
    file("tree/a", pattern(4 << 20));
    file("tree/b", "b");
    for (const QString &vol : volumes) {
        SCOPED_TRACE(vol.toStdString());
        for (const QString &item : {big, path("tree")}) {
            ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({item}, vol, false); }));
            ASSERT_EQ(hidden(vol, "part").size(), 1);
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_EQ(names(vol), QStringList{});
        }

        // Another item under the part's name now.
        ASSERT_TRUE(killedAt(Step::chunkCopied, [&] { run({big}, vol, false); }));
        const QStringList parts = hidden(vol, "part");
        ASSERT_EQ(parts.size(), 1);
        const QString part = vol + "/" + parts[0];
        ASSERT_TRUE(QFile::rename(part, vol + "/kept"));
        ASSERT_TRUE(TestUtil::writeFile(part, "the user's"));
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(left.parts, QStringList{part});
        EXPECT_EQ(FileOps::leftoversText(left),
                  QString("Eine abgebrochene Kopie liegt noch als „%1“ in „%2“. Das Laufwerk kann nicht "
                          "kennzeichnen, dass sie von Kestrin stammt; sie wird daher nicht gelöscht.")
                      .arg(parts[0], vol));
        EXPECT_EQ(TestUtil::readFile(part), "the user's");
        QFile::remove(part);
        QFile::remove(vol + "/kept");
    }
}

// exFAT keeps modification times in 10 ms steps: a folder move onto it killed once its copy had the
// name still ends with the copy alone, its files' times as the stick cut them.
TEST_F(LeftoverAcross, AFolderMoveOntoExfatKilledOnceItsCopyHasTheNameEndsAsOneItem) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, false, false, -1, false, true);
    const QString tree = path("src/tree"), moved = stick.path() + "/tree";
    const timespec times[2] = {{1'700'000'000, 123'456'789}, {1'700'000'000, 123'456'789}};
    for (const char *rel : {"a.txt", "sub/b.txt"})
        ASSERT_EQ(::utimensat(AT_FDCWD, file("src/tree/" + QString(rel), rel).toUtf8().constData(), times, 0),
                  0);
    ASSERT_TRUE(killedAt(Step::placed, [&] { run({tree}, stick.path(), true); }));
    ASSERT_TRUE(exists(tree) && exists(moved)); // both, for now
    ASSERT_EQ(TestUtil::lstatOf(moved + "/a.txt").st_mtim.tv_nsec, 120'000'000);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(TestUtil::readFile(moved + "/a.txt"), "a.txt");
    EXPECT_EQ(TestUtil::readFile(moved + "/sub/b.txt"), "sub/b.txt");
}

TEST_F(LeftoverAcross, AMoveLeavesMountsInsideTheFolderWhereTheyWere) {
    LanguageScope de(AppLanguage::de);
    TestUtil::TmpfsMount vol("64m"), inner("4m");
    ASSERT_TRUE(vol.valid() && inner.valid());
    const QString tree = path("src/tree");
    file("src/tree/a", pattern(5000));
    file("src/tree/sub/b", "b");
    file("outside/keep", "k");
    file("outside/deep/keep2", "k2");
    ASSERT_TRUE(TestUtil::writeFile(inner.path() + "/m", "m"));
    QDir().mkpath(tree + "/bound");
    QDir().mkpath(tree + "/sub/mem");
    // Unmounted on every way out, so that no clean-up deletes through them.
    struct Binds {
        QStringList at;
        bool bind(const QString &from, const QString &to) {
            if (QProcess::execute("mount", {"--bind", from, to}) != 0) return false;
            at << to;
            return true;
        }
        ~Binds() {
            for (const QString &p : at)
                QProcess::execute("umount", {"-l", p});
        }
    } binds;
    ASSERT_TRUE(binds.bind(path("outside"), tree + "/bound"));
    ASSERT_TRUE(binds.bind(inner.path(), tree + "/sub/mem"));
    const auto outside = snapshot(path("outside")), mem = snapshot(inner.path());

    // A copy takes a mounted folder's contents along.
    const QString copies = mkdir("copies");
    EXPECT_EQ(run({tree}, copies, false).done, 1);
    EXPECT_EQ(snapshot(copies + "/tree/bound"), outside);

    const TransferOutcome o = run({tree}, vol.path(), true);
    const auto boundAfter = snapshot(tree + "/bound"), memAfter = snapshot(tree + "/sub/mem");
    EXPECT_EQ(snapshot(path("outside")), outside);
    EXPECT_EQ(snapshot(inner.path()), mem);
    EXPECT_EQ(boundAfter, outside);
    EXPECT_EQ(memAfter, mem);
    const QString said =
        "„tree“ enthält 2 eingehängte Ordner, darunter „%1“. Sie bleiben mit ihrem Inhalt am "
        "alten Ort, alles andere wurde verschoben.";
    ASSERT_EQ(o.errors.size(), 1);
    EXPECT_TRUE(o.errors[0] == said.arg("tree/bound") || o.errors[0] == said.arg("tree/sub/mem"))
        << o.errors[0].toStdString();
    EXPECT_EQ(o.created, QStringList{vol.path() + "/tree"});
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/tree/a"), pattern(5000));
    EXPECT_EQ(TestUtil::readFile(vol.path() + "/tree/sub/b"), "b");
    EXPECT_EQ(names(vol.path() + "/tree"), (QStringList{"a", "sub"}));
    EXPECT_EQ(names(vol.path() + "/tree/sub"), QStringList{"b"});
    EXPECT_EQ(names(tree), (QStringList{"bound", "sub"}));
    EXPECT_EQ(names(tree + "/sub"), QStringList{"mem"});
}
