#include "Harness.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/PutBack.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "platform/Trash.h"

#include <QSignalSpy>

using namespace FileActions;

namespace {

class UndoLast : public Harness {
protected:
    void SetUp() override { x = mkdir(d + "/X"), y = mkdir(d + "/Y"); }
    Toast undo() {
        return wait([&](auto c) { undoLast(c, journal); });
    }
    QList<FileOps::TrashedPair> trash(const QStringList &paths) {
        return FileOps::trash(FileOps::unlisted(paths)).moved;
    }
    QString x, y;
    UndoJournal journal;
};

} // namespace

TEST(UndoJournal, KeepsTheNewest30InOrder) {
    UndoJournal journal;
    QSignalSpy changed(&journal, &UndoJournal::changed);
    for (int i = 1; i <= 31; ++i)
        journal.record(QString::number(i), UndoAction::makeCreated({}));
    EXPECT_EQ(changed.count(), 31);
    ASSERT_EQ(journal.entries().size(), 30);
    EXPECT_EQ(journal.entries().first().title, "2");
    EXPECT_EQ(journal.undoTitle(), "31");
}

// An entry taken for an undo that changed nothing goes back below the entries recorded meanwhile.
TEST(UndoJournal, AnEntryPutBackKeepsItsPlaceBelowNewerOnes) {
    UndoJournal journal;
    for (const char *t : {"1", "2"})
        journal.record(t, UndoAction::makeCreated({}));
    const quint64 mark = journal.recorded();
    const UndoEntry taken = *journal.takeLast();
    journal.record("3", UndoAction::makeCreated({}));
    journal.putBack(taken, mark);
    QStringList titles;
    for (const UndoEntry &e : journal.entries())
        titles << e.title;
    EXPECT_EQ(titles, (QStringList{"1", "2", "3"}));
}

TEST_F(UndoLast, EmptyJournalOrRefusedJob) {
    undoLast(ctx(), journal);
    EXPECT_EQ(toasts.last().text, "Es gibt nichts rückgängig zu machen.");
    EXPECT_TRUE(jobTitles.isEmpty());
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({}));
    refuseJob = true;
    undoLast(ctx(), journal);
    EXPECT_EQ(journal.entries().size(), 1); // nothing was reversed: the entry stays
}

TEST_F(UndoLast, MovesGoBackLastFirstAndNeverOverwrite) {
    for (const char *n : {"a", "b", "c"})
        TestUtil::writeFile(y + "/" + n + ".txt", n);
    TestUtil::writeFile(x + "/a.txt", "new a"); // made meanwhile at the old place
    journal.record("3 Objekte bewegt", UndoAction::makeMoved({{x + "/a.txt", y + "/a.txt"},
                                                              {x + "/b.txt", y + "/b.txt"},
                                                              {x + "/c.txt", y + "/c.txt"},
                                                              {x + "/c.txt", y + "/gone.txt"}}));
    const Toast t = undo();
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "Rückgängig: „gone.txt“ ist nicht mehr da. (+1 weitere)");
    EXPECT_EQ(TestUtil::readFile(x + "/a.txt") + TestUtil::readFile(y + "/a.txt"), "new aa");
    EXPECT_EQ(TestUtil::readFile(x + "/b.txt") + TestUtil::readFile(x + "/c.txt"), "bc");
    EXPECT_EQ(jobTitles, QStringList{"Mache rückgängig"});
    EXPECT_EQ(jobsEnded + refreshes, 2);

    journal.record("1 Objekt umbenannt", UndoAction::makeRenamed({{x + "/neu.txt", y + "/a.txt"}}));
    journal.record("1 Objekt umbenannt", UndoAction::makeRenamed({{y + "/alt.txt", y + "/z.txt"}}));
    TestUtil::writeFile(y + "/z.txt", "z");
    TestUtil::writeFile(y + "/alt.txt", "taken");
    EXPECT_EQ(undo().text, "Rückgängig: „alt.txt“ gibt es am alten Ort schon.");
    // Refused whole: the entry stays for another try, told in the language shown.
    EXPECT_EQ(journal.entries().size(), 2);
    {
        TestUtil::LanguageScope en(AppLanguage::en);
        EXPECT_EQ(undo().text, "Undo: “alt.txt” already exists in its old place.");
    }
    QFile::remove(y + "/alt.txt");
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt umbenannt.");
    EXPECT_EQ(TestUtil::readFile(y + "/alt.txt"), "z");
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt umbenannt.");
    EXPECT_EQ(TestUtil::readFile(x + "/neu.txt"), "a");
    EXPECT_TRUE(journal.entries().isEmpty());
}

TEST_F(UndoLast, CopiesGoToTheTrashUnlessItHasNone) {
    TestUtil::writeFile(y + "/a.txt", "a");
    journal.record("2 Objekte kopiert", UndoAction::makeCreated({y + "/a.txt", y + "/deleted.txt"}));
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({y + "/deleted.txt"}));
    EXPECT_EQ(undo().text, "Rückgängig: „deleted.txt“ ist nicht mehr da.");
    EXPECT_EQ(undo().text, "Rückgängig: „deleted.txt“ ist nicht mehr da.");
    EXPECT_FALSE(exists(y + "/a.txt"));

    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(mount.path() + "/.Trash-" + QString::number(::getuid()), ""); // no Trash there
    TestUtil::writeFile(mount.path() + "/a.txt", "a");
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({mount.path() + "/a.txt"}));
    EXPECT_EQ(undo().text, "Rückgängig: 1 Objekt(e) liegen auf einem Laufwerk ohne Papierkorb und bleiben.");
    EXPECT_TRUE(exists(mount.path() + "/a.txt"));
}

TEST_F(UndoLast, TrashedItemsComeBackUnderAFreeName) {
    TestUtil::writeFile(x + "/Notiz.txt", "old");
    TestUtil::writeFile(x + "/sub/a.txt", "a");
    TestUtil::writeFile(x + "/b.txt", "b");
    const auto moved = trash({x + "/Notiz.txt", x + "/sub/a.txt", x + "/b.txt"});
    ASSERT_EQ(moved.size(), 3);
    journal.record("1 Objekt in den Papierkorb gelegt", UndoAction::makeTrashed({moved[0]}));
    journal.record("2 Objekte in den Papierkorb gelegt", UndoAction::makeTrashed({moved[1], moved[2]}));
    QDir(x + "/sub").removeRecursively();
    FileOps::deletePermanently({moved[2].inTrash});
    const Toast failed = undo();
    EXPECT_TRUE(failed.text.startsWith("Rückgängig: „a.txt“")) << failed.text.toStdString();
    EXPECT_TRUE(failed.text.endsWith(" (+1 weitere)"));
    EXPECT_TRUE(exists(moved[1].inTrash));

    TestUtil::writeFile(x + "/Notiz.txt", "new");
    EXPECT_FALSE(undo().error);
    EXPECT_EQ(TestUtil::readFile(x + "/Notiz Kopie.txt"), "old");
    // Out of the Trash: no description is left there, and no record of ours.
    EXPECT_FALSE(exists(Trash::infoFileFor(moved[0].inTrash)));
    EXPECT_FALSE(TrashMemory::origin(moved[0].inTrash).has_value());
}

TEST_F(UndoLast, ATransferThatReplacedItemsIsUndoneWhole) {
    for (const char *n : {"a", "b", "c", "d"}) {
        TestUtil::writeFile(x + "/" + n + ".txt", QByteArray("new ") + n);
        TestUtil::writeFile(y + "/" + n + ".txt", QByteArray("old ") + n);
    }
    const auto earlier = trash({y + "/b.txt"}); // an older Trash item from the same place
    TestUtil::writeFile(y + "/b.txt", "old b");

    // While the batch runs, something else sends d.txt to the Trash before the batch reaches it:
    // the batch did not replace it, so its undo leaves it there.
    QList<FileOps::TrashedPair> meanwhile;
    FileSteps::setStepHook([&](FileSteps::Step step, const QString &path) {
        if (step == FileSteps::Step::fileCopied && path == x + "/a.txt") meanwhile = trash({y + "/d.txt"});
    });
    TransferProgress progress;
    const QHash<QString, ConflictChoice> answers = {{x + "/a.txt", ConflictChoice::replace},
                                                    {x + "/b.txt", ConflictChoice::replace},
                                                    {x + "/c.txt", ConflictChoice::keepBoth},
                                                    {x + "/d.txt", ConflictChoice::replace}};
    const TransferOutcome copied = FileOps::runWithProgress(
        {x + "/a.txt", x + "/b.txt", x + "/c.txt", x + "/d.txt"}, y, false, progress, answers);
    FileSteps::setStepHook({});
    ASSERT_EQ(copied.done, 4);
    ASSERT_EQ(meanwhile.size(), 1);
    ASSERT_EQ(copied.replaced.size(), 2);
    journal.record("4 Objekte kopiert", UndoAction::makeCreated(copied.created, copied.replaced));
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 4 Objekte kopiert.");
    EXPECT_EQ(names(y), QStringList({"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(TestUtil::readFile(y + "/a.txt") + TestUtil::readFile(y + "/b.txt"), "old aold b");
    EXPECT_TRUE(exists(earlier[0].inTrash));
    EXPECT_TRUE(exists(meanwhile[0].inTrash));

    const TransferOutcome moved = FileOps::runWithProgress({x + "/a.txt"}, y, true, progress,
                                                           {{x + "/a.txt", ConflictChoice::replace}});
    journal.record("1 Objekt bewegt", UndoAction::makeMoved(moved.pairs, moved.replaced));
    EXPECT_FALSE(undo().error);
    EXPECT_EQ(TestUtil::readFile(x + "/a.txt") + TestUtil::readFile(y + "/a.txt"), "new aold a");

    // When the new item cannot go back, the replaced one stays in the Trash.
    const auto old = trash({y + "/c.txt"});
    TestUtil::writeFile(y + "/c.txt", "moved c");
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{x + "/c.txt", y + "/c.txt"}}, old));
    EXPECT_TRUE(undo().error);
    EXPECT_TRUE(exists(old[0].inTrash));
}

TEST_F(UndoLast, MovesAcrossVolumesAreVerifiedMoves) {
    TestUtil::TmpfsMount mount, tiny(QStringLiteral("1m"));
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(y + "/tree/a.txt", QByteArray(3 << 20, 'a'));
    TestUtil::writeFile(y + "/big.bin", QByteArray(3 << 20, 'x'));
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{mount.path() + "/tree", y + "/tree"}}));
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt bewegt.");
    EXPECT_EQ(TestUtil::readFile(mount.path() + "/tree/a.txt"), QByteArray(3 << 20, 'a'));
    EXPECT_FALSE(exists(y + "/tree"));
    // No room there: the item stays, nothing half-copied is left.
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{tiny.path() + "/big.bin", y + "/big.bin"}}));
    EXPECT_TRUE(undo().error);
    EXPECT_TRUE(exists(y + "/big.bin"));
    EXPECT_EQ(names(tiny.path()), QStringList());
}
