#include "Harness.h"
#include "common/SwappedFolder.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/PutBack.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TrashMemory.h"
#include "core/base/Defaults.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"
#include "common/TestChild.h"
#include "core/model/FileLoader.h"

#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <csignal>
#include <sys/wait.h>

using namespace FileActions;
using PutBackTest = Harness;

namespace {

QString trashOne(const QString &path) {
    const FileOps::TrashResult r = FileOps::trash(FileOps::unlisted({path}));
    EXPECT_EQ(r.moved.size(), 1);
    return r.moved.value(0).inTrash;
}

// Where the item from `original` lies in the home Trash, by its description.
QString inHomeTrash(const QString &original) {
    const QString files = TrashRoots::homeTrash() + "/files/";
    for (const QString &name : names(files))
        if (const auto info = Restore::readTrashInfo(files + name); info && info->original == original)
            return files + name;
    return {};
}

// Another program's trash command; empty when it is not installed.
QString trashedBy(const QString &program, const QString &path) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty()) return {};
    QProcess p;
    p.start(exe, program == "gio" ? QStringList{"trash", path} : QStringList{path});
    p.waitForFinished(30000);
    return inHomeTrash(path);
}

// A hand-written description, as any program (or a hostile one) could leave it.
QString planted(const QString &root, const QString &name, const QByteArray &path) {
    TestUtil::writeFile(root + "/files/" + name, "x");
    TestUtil::writeFile(root + "/info/" + name + ".trashinfo",
                        "[Trash Info]\nPath=" + path + "\nDeletionDate=2024-01-01T10:00:00\n");
    return root + "/files/" + name;
}

} // namespace

TEST_F(PutBackTest, BackToTheOldPlaceUnderAFreeNameAndUndoneIntoTheTrash) {
    putBack(ctx(), {d, TrashRoots::homeTrash(), TrashRoots::homeTrash() + "/info"});
    EXPECT_EQ(toasts.last().text, "Zum Zurücklegen Objekte im Papierkorb markieren.");
    EXPECT_TRUE(jobTitles.isEmpty());

    TestUtil::writeFile(d + "/Notiz.txt", "old");
    TestUtil::writeFile(d + "/Brief.txt", "brief");
    const QString notiz = trashOne(d + "/Notiz.txt"), brief = trashOne(d + "/Brief.txt");
    TestUtil::writeFile(d + "/Notiz.txt", "new");
    const Toast back = wait([&](auto c) { putBack(c, {notiz, brief}); });
    EXPECT_EQ(back.text, "2 Objekte zurückgelegt. Unter neuem Namen, weil der alte dort schon vergeben war: "
                         "„Notiz Kopie.txt“");
    EXPECT_EQ(TestUtil::readFile(d + "/Notiz.txt"), "new");
    EXPECT_EQ(TestUtil::readFile(d + "/Notiz Kopie.txt"), "old");
    EXPECT_EQ(TestUtil::readFile(d + "/Brief.txt"), "brief");
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].title, "2 Objekte zurückgelegt");
    EXPECT_EQ(records[0].action,
              UndoAction::makeMoved({{notiz, d + "/Notiz Kopie.txt"}, {brief, d + "/Brief.txt"}}));
    EXPECT_EQ(jobsEnded, 1);
    EXPECT_FALSE(exists(Trash::infoFileFor(notiz)));
    EXPECT_FALSE(TrashMemory::origin(notiz).has_value());

    // Its undo sends them to the Trash again, each with its description.
    UndoJournal journal;
    journal.record(records[0].titleNow, records[0].action);
    // Named in the language shown now, not in the one it was made in.
    {
        TestUtil::LanguageScope en(AppLanguage::en);
        EXPECT_EQ(journal.undoTitle(), "Put back 2 items");
    }
    EXPECT_EQ(wait([&](auto c) { undoLast(c, journal); }).text,
              "Rückgängig gemacht: 2 Objekte zurückgelegt.");
    EXPECT_EQ(names(d), QStringList{"Notiz.txt"});
    EXPECT_FALSE(inHomeTrash(d + "/Notiz Kopie.txt").isEmpty());
}

TEST_F(PutBackTest, ARenameInTheTrashTakesItsRecordAlongEvenWhenKilledBetweenItsSteps) {
    QDir(TrashRoots::homeTrash()).removeRecursively();
    const QString files = TrashRoots::homeTrash() + "/files/", info = TrashRoots::homeTrash() + "/info/";
    TestUtil::writeFile(d + "/big video.mkv", "1");
    const QString first = trashOne(d + "/big video.mkv");
    TestUtil::writeFile(d + "/big video.mkv", "2");
    const QString second = trashOne(d + "/big video.mkv");
    FileOps::rename(FileOps::unlisted({second})[0], "Film.mkv");

    // Killed once the item has its new name: it has a record under that name.
    const pid_t child = TestChild::forkAlone();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileSteps::setStepHook([](FileSteps::Step step, const QString &) {
            if (step == FileSteps::Step::trashEntryRenamed) ::raise(SIGKILL);
        });
        FileOps::rename(FileOps::unlisted({first})[0], "Alt.mkv");
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(exists(info + "Alt.mkv.trashinfo"));
    // Renamed back, the leftover second name of its record is no obstacle.
    FileOps::rename(FileOps::unlisted({files + "Alt.mkv"})[0], "big video.mkv");
    FileOps::rename(FileOps::unlisted({files + "big video.mkv"})[0], "Alt.mkv");

    // Both go back to their old folder under the names given in the Trash; a name taken there is said.
    TestUtil::writeFile(d + "/Film.mkv", "other");
    EXPECT_EQ(wait([&](auto c) { putBack(c, {files + "Alt.mkv"}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(wait([&](auto c) { putBack(c, {files + "Film.mkv"}); }).text,
              "„Film.mkv“ zurückgelegt als „Film Kopie.mkv“, weil der Name dort schon vergeben war.");
    EXPECT_EQ(TestUtil::readFile(d + "/Alt.mkv") + TestUtil::readFile(d + "/Film Kopie.mkv"), "12");

    // Each record on the disk before the next step: the new one before the item takes its name (its
    // flush failing, nothing moves), the old one goes only once that name is (its flush failing, it stays).
    TestUtil::writeFile(d + "/Flush.txt", "f");
    const QString flush = trashOne(d + "/Flush.txt");
    const auto healed = qScopeGuard([] { FileSteps::setFolderSyncErrorForTests({}, 0); });
    FileSteps::setFolderSyncErrorForTests(TrashRoots::homeTrash() + "/info", EIO);
    EXPECT_THROW(FileOps::rename(FileOps::unlisted({flush})[0], "Eins.txt"), FileError);
    EXPECT_EQ(names(info).filter("Flush"), QStringList{"Flush.txt.trashinfo"});
    EXPECT_FALSE(exists(info + "Eins.txt.trashinfo"));
    FileSteps::setFolderSyncErrorForTests(TrashRoots::homeTrash() + "/files", EIO);
    FileOps::rename(FileOps::unlisted({flush})[0], "Eins.txt");
    EXPECT_TRUE(exists(files + "Eins.txt"));
    EXPECT_TRUE(exists(info + "Flush.txt.trashinfo"));
    EXPECT_EQ(Restore::readTrashInfo(files + "Eins.txt")->original, d + "/Eins.txt");
    // The new record's own bytes first: the second flush failing refuses it too (the settings wait).
    FileSteps::setFolderSyncErrorForTests({}, 0);
    Defaults::setTimingForTests(3'600'000, 1000);
    Defaults::flush(2000);
    const auto writerBack = qScopeGuard([] {
        Defaults::setTimingForTests(20, 1000);
        Defaults::resetForTests();
    });
    Posix::setFlushErrorForTests(EIO, 2);
    EXPECT_THROW(FileOps::rename(FileOps::unlisted({files + "Eins.txt"})[0], "Zwei.txt"), FileError);
    Posix::setFlushErrorForTests(0);
    EXPECT_FALSE(exists(info + "Zwei.txt.trashinfo"));
}

// A rename in the Trash is written into the record's Path, in the same folder; the entry is shown and goes
// back where the record says, whatever the entry's name in the Trash, and Put Back says both names.
TEST_F(PutBackTest, TheRecordSaysWhereAnItemGoesBackAndARenameInTheTrashIsWrittenThere) {
    QDir(TrashRoots::homeTrash()).removeRecursively();
    const QString files = TrashRoots::homeTrash() + "/files/";
    const QString longName = QString(200, u'l') + ".txt", shorter = QString(150, u'l') + ".txt";
    struct Row {
        QString name, renamed, toast;
    };
    const Row rows[] = {
        {"same.txt", "same-kept.txt",
         "„same.txt“ zurückgelegt als „same-kept.txt“, wie es im Papierkorb umbenannt wurde."},
        {longName, shorter,
         "„" + longName + "“ zurückgelegt als „" + shorter + "“, wie es im Papierkorb umbenannt wurde."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.renamed.left(20).toStdString());
        TestUtil::writeFile(d + "/sub/" + row.name, "x");
        const QString entry = trashOne(d + "/sub/" + row.name);
        const QString renamed = FileOps::rename(FileOps::unlisted({entry})[0], row.renamed).path;
        EXPECT_EQ(Restore::readTrashInfo(renamed)->original, d + "/sub/" + row.renamed);
        EXPECT_TRUE(TestUtil::readFile(Trash::infoFileFor(renamed)).contains("DeletionDate="));
        QStringList shown;
        for (const FileItem &item : FileLoader::list(files).items)
            shown << item.name;
        EXPECT_TRUE(shown.contains(row.renamed) && !shown.contains(row.name))
            << shown.join(", ").toStdString();
        EXPECT_EQ(wait([&](auto c) { putBack(c, {renamed}); }).text, row.toast);
        EXPECT_EQ(names(d + "/sub"), QStringList{row.renamed});
        QDir(d + "/sub").removeRecursively();
    }
    // Another program's name for its entry: back under the record's.
    const QString other = planted(TrashRoots::homeTrash(), "dupkeys", QFile::encodeName(d) + "/sub/first");
    mkdir(d + "/sub");
    EXPECT_EQ(wait([&](auto c) { putBack(c, {other}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(names(d + "/sub"), QStringList{"first"});
}

TEST_F(PutBackTest, AskForAFolderWhenTheOldOneIsGone) {
    TestUtil::writeFile(d + "/weg/a.txt", "a");
    const QString a = trashOne(d + "/weg/a.txt");
    QDir(d + "/weg").removeRecursively();
    EXPECT_EQ(wait([&](auto c) { putBack(c, {a}); }).text, "Nichts zurückgelegt."); // no folder chosen
    ASSERT_EQ(folderQuestions.size(), 1);
    EXPECT_EQ(folderQuestions[0].prompt, "Hierher zurücklegen");
    EXPECT_TRUE(exists(a));

    // An item without any description or record, and one that is gone, go along.
    const QString stray = TrashRoots::homeTrash() + "/files/stray.txt";
    TestUtil::writeFile(stray, "s");
    folderAnswers = {mkdir(d + "/chosen")};
    const Toast t = wait([&](auto c) { putBack(c, {a, stray, TrashRoots::homeTrash() + "/files/gone"}); });
    EXPECT_EQ(t.text, "2 Objekte zurückgelegt.");
    EXPECT_EQ(names(d + "/chosen"), QStringList({"a.txt", "stray.txt"}));

    // A chosen item that is not in the Trash is said, not hidden behind the others' count.
    TestUtil::writeFile(d + "/b.txt", "b");
    const QStringList mixed = {d + "/chosen/a.txt", trashOne(d + "/b.txt")};
    EXPECT_EQ(wait([&](auto c) { putBack(c, mixed); }).text,
              "„a.txt“ liegt nicht im Papierkorb und wurde nicht zurückgelegt.");
}

TEST_F(PutBackTest, TheTrashInfoWinsOverAStaleRecord) {
    // Our record says files/c.txt came from "old"; it is another item now, with its own description.
    TestUtil::writeFile(d + "/new/c.txt", "new c");
    mkdir(d + "/old");
    const QString c = trashOne(d + "/new/c.txt");
    TrashMemory::remember(d + "/old/c.txt", c);
    EXPECT_EQ(wait([&](auto ctx) { putBack(ctx, {c}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/new/c.txt"), "new c");
    EXPECT_FALSE(exists(d + "/old/c.txt"));

    // Without a description, our record is used.
    TestUtil::writeFile(d + "/old/e.txt", "e");
    const QString e = trashOne(d + "/old/e.txt");
    QFile::remove(Trash::infoFileFor(e));
    EXPECT_EQ(wait([&](auto ctx) { putBack(ctx, {e}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_TRUE(exists(d + "/old/e.txt"));
}

TEST_F(PutBackTest, ItemsTrashedByOtherPrograms) {
    TestUtil::writeFile(d + "/von gio/Grüße.txt", "gio");
    TestUtil::writeFile(d + "/von trash-cli/b.txt", "cli");
    QStringList inTrash = {trashedBy("gio", d + "/von gio/Grüße.txt"),
                           trashedBy("trash-put", d + "/von trash-cli/b.txt")};
    inTrash.removeAll(QString());
    if (inTrash.isEmpty()) GTEST_SKIP() << "neither gio nor trash-put is installed";
    EXPECT_FALSE(wait([&](auto c) { putBack(c, inTrash); }).error);
    EXPECT_EQ(TestUtil::readFile(d + "/von gio/Grüße.txt"), "gio");
    EXPECT_EQ(TestUtil::readFile(d + "/von trash-cli/b.txt"), "cli");
    EXPECT_TRUE(folderQuestions.isEmpty());
    for (const QString &p : inTrash)
        EXPECT_FALSE(exists(Trash::infoFileFor(p)));
}

TEST_F(PutBackTest, FromTheTrashOfAnotherVolume) {
    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(mount.path() + "/docs/a.txt", "a");
    const QString a = trashOne(mount.path() + "/docs/a.txt");
    EXPECT_TRUE(TestUtil::readFile(Trash::infoFileFor(a)).contains("Path=docs/a.txt")); // relative there
    TrashMemory::forget(a);
    EXPECT_EQ(wait([&](auto c) { putBack(c, {a}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(mount.path() + "/docs/a.txt"), "a");

    // Into a chosen folder on another volume: a verified copy, then the Trash item goes.
    TestUtil::writeFile(mount.path() + "/gone/b.txt", "b");
    const QString b = trashOne(mount.path() + "/gone/b.txt");
    QDir(mount.path() + "/gone").removeRecursively();
    folderAnswers = {mkdir(d + "/home side")};
    EXPECT_EQ(wait([&](auto c) { putBack(c, {b}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/home side/b.txt"), "b");
    EXPECT_FALSE(exists(b));

    // A link that leads off its volume is found in its volume's Trash by its folder, not through itself.
    const QString link = mount.path() + "/symlinkFromOther";
    ASSERT_TRUE(QFile::link(d, link));
    const QString entry = trashOne(link);
    TrashMemory::forget(entry);
    EXPECT_EQ(trashOrigin(entry), link);
    EXPECT_EQ(wait([&](auto c) { putBack(c, {entry}); }).text, "1 Objekt zurückgelegt.");
}

TEST_F(PutBackTest, DescriptionsLeadingElsewhereAreRefusedAndTheItemStays) {
    const QString home = TrashRoots::homeTrash();
    mkdir(d + "/ok");
    const QString climbs = planted(home, "climbs", QFile::encodeName(d) + "/ok/%2E%2E/../climbs");
    const QString dotted = planted(home, "dotted", QFile::encodeName(d) + "/ok/./dotted");
    // Relative in the home trash: below the folder that holds the trash, never above it.
    const QString relative = planted(home, "relative", "../escaped");
    TrashMemory::remember(d + "/ok/climbs", climbs); // our record does not overrule the description
    const Toast t = wait([&](auto c) { putBack(c, {climbs, dotted, relative}); });
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "„climbs“ bleibt im Papierkorb: Sein gespeicherter alter Ort ist ungültig.");
    EXPECT_TRUE(exists(climbs));
    EXPECT_TRUE(exists(relative));
    EXPECT_TRUE(exists(dotted)); // "." is in no description any program writes
    EXPECT_TRUE(exists(Trash::infoFileFor(climbs)));
    EXPECT_TRUE(names(d + "/ok").isEmpty());
    EXPECT_TRUE(folderQuestions.isEmpty());
    EXPECT_FALSE(exists(d + "/climbs"));
    EXPECT_FALSE(exists(QFileInfo(home).path() + "/../escaped"));

    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "a volume trash needs root for a tmpfs";
    const QString trash = mount.path() + "/.Trash-" + QString::number(::getuid());
    mkdir(mount.path() + "/docs");
    const QString out = planted(trash, "out", "docs/../out");
    const QString elsewhere = planted(trash, "elsewhere", QFile::encodeName(d) + "/elsewhere");
    const QString inside = planted(trash, "inside", "docs/inside");
    const Toast v = wait([&](auto c) { putBack(c, {out, elsewhere, inside}); });
    EXPECT_EQ(v.text, "„out“ bleibt im Papierkorb: Sein gespeicherter alter Ort ist ungültig.");
    EXPECT_TRUE(exists(out) && exists(elsewhere));
    EXPECT_FALSE(exists(d + "/elsewhere") || exists(mount.path() + "/out"));
    EXPECT_EQ(names(mount.path() + "/docs"), QStringList{"inside"});
}

// From a volume's trash an item goes back onto that volume only: never through a link to another volume,
// nor beside the mount point ("." and an empty name would name the volume's top folder itself).
TEST_F(PutBackTest, BackFromAVolumesTrashStaysOnTheVolume) {
    TestUtil::TmpfsMount mount, other;
    if (!mount.valid() || !other.valid()) GTEST_SKIP() << "needs root for two tmpfs";
    const QString v = mount.path();
    const QByteArray vBytes = QFile::encodeName(v);
    const QString trash = v + "/.Trash-" + QString::number(::getuid());
    mkdir(v + "/docs");
    ASSERT_EQ(::symlink(QFile::encodeName(other.path()).constData(), vBytes + "/link"), 0);
    ASSERT_EQ(::symlink("docs", vBytes + "/inner"), 0); // a link that stays on the volume
    const QStringList refused = {planted(trash, "relative", "link/relative"),
                                 planted(trash, "absolute", vBytes + "/link/absolute"),
                                 planted(trash, "dot", "."),
                                 planted(trash, "dotslash", "%2E/"),
                                 planted(trash, "empty", "docs//empty"),
                                 planted(trash, "dotted", "docs/./dotted"),
                                 planted(trash, "top", vBytes),
                                 planted(trash, "trailing", "docs/trailing/"),
                                 planted(trash, "deeper", "link/docs/deeper")};
    mkdir(other.path() + "/docs");
    const Toast t = wait([&](auto c) { putBack(c, refused); });
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "„relative“ bleibt im Papierkorb: Sein gespeicherter alter Ort ist ungültig.");
    for (const QString &item : refused) {
        EXPECT_TRUE(exists(item)) << item.toStdString();
        EXPECT_TRUE(exists(Trash::infoFileFor(item))) << item.toStdString();
    }
    EXPECT_EQ(names(other.path()), QStringList{"docs"});
    EXPECT_TRUE(names(other.path() + "/docs").isEmpty());
    EXPECT_TRUE(names(v + "/docs").isEmpty());
    for (const char *copy : {" Kopie", " Kopie 2", " Kopie 3"}) // beside the mount point
        EXPECT_FALSE(exists(v + copy)) << copy;
    EXPECT_TRUE(folderQuestions.isEmpty());

    // A link that stays on the volume is not followed either; the folder itself is.
    const QString inner = planted(trash, "inner", "inner/fine");
    EXPECT_TRUE(wait([&](auto c) { putBack(c, {inner}); }).error);
    EXPECT_TRUE(exists(inner));
    const QString fine = planted(trash, "fine", "docs/fine");
    EXPECT_EQ(wait([&](auto c) { putBack(c, {fine}); }).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(v + "/docs/fine"), "x");
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].action, UndoAction::makeMoved({{fine, v + "/docs/fine"}}));
}

// Another account swapped the item's old folder for a link to its private folder while the item lay in the
// Trash: it stays there and the refusal names the folder. From a volume's Trash too, where the link leads
// to a folder on the same volume: no link is followed there.
TEST_F(PutBackTest, AnOldFolderSwappedForALinkIsNeverFollowed) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "a link of another account needs root";
    TestUtil::writeFile(d + "/shared/a.txt", "a");
    const QString a = trashOne(d + "/shared/a.txt");
    const TestUtil::PrivateFolder mine({"b.txt"});
    const auto before = mine.state();
    ASSERT_TRUE(TestUtil::swapForLink(d + "/shared", mine.path()));
    Toast t = wait([&](auto c) { putBack(c, {a}); });
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, FileSteps::HeldFolder::refusalText(d + "/shared"));
    EXPECT_TRUE(exists(a));
    EXPECT_EQ(mine.state(), before);
    EXPECT_TRUE(folderQuestions.isEmpty());

    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "a volume trash needs root for a tmpfs";
    const QString v = mount.path();
    TestUtil::writeFile(v + "/docs/c.txt", "c");
    TestUtil::writeFile(v + "/private/p.txt", "p");
    ::chmod(QFile::encodeName(v + "/private").constData(), 0700);
    const QString c = trashOne(v + "/docs/c.txt");
    ASSERT_TRUE(TestUtil::swapForLink(v + "/docs", "private"));
    t = wait([&](auto ctx) { putBack(ctx, {c}); });
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "„c.txt“ bleibt im Papierkorb: Sein gespeicherter alter Ort ist ungültig.");
    EXPECT_TRUE(exists(c));
    EXPECT_EQ(names(v + "/private"), QStringList{"p.txt"});
}

// Out of the Trash, an item's .trashinfo goes from the Trash as it is: one swapped for a link meanwhile
// keeps what the link leads to.
TEST_F(PutBackTest, TheTrashInfoGoesOnlyFromTheTrashItself) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "a link of another account needs root";
    TestUtil::writeFile(d + "/x.txt", "x");
    const QString inTrash = trashOne(d + "/x.txt");
    const QString name = inTrash.section(u'/', -1), trash = TrashRoots::homeTrash();
    ASSERT_TRUE(QDir().rename(inTrash, d + "/x.txt"));
    const TestUtil::PrivateFolder mine({"info/" + name + ".trashinfo"});
    QDir().mkpath(mine.path("files"));
    const auto before = mine.state();
    ASSERT_TRUE(TestUtil::swapForLink(trash, mine.path()));
    Restore::forgetTrashed(inTrash);
    EXPECT_EQ(mine.state(), before);
    ASSERT_TRUE(QFile::remove(trash));
    ASSERT_TRUE(QDir().rename(trash + ".away", trash));
    // The Trash itself: the record goes.
    EXPECT_TRUE(exists(trash + "/info/" + name + ".trashinfo"));
    Restore::forgetTrashed(inTrash);
    EXPECT_FALSE(exists(trash + "/info/" + name + ".trashinfo"));
}
