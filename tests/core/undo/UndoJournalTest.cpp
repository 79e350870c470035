#include "Harness.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/PutBack.h"
#include "core/fileops/TrashMemory.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QSignalSpy>
#include <QTemporaryDir>

using namespace FileActions;
using UndoTest::exists;

namespace {

class UndoLast : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        d = dir.path();
        x = UndoTest::mkdir(d + "/X");
        y = UndoTest::mkdir(d + "/Y");
    }
    // Runs the newest entry's undo and waits for its toast.
    Toast undo() {
        h.toasts.clear();
        undoLast(h.ctx(), journal);
        EXPECT_TRUE(h.waitForToast());
        return h.last();
    }
    QTemporaryDir dir{TestUtil::testHome() + "/undo-XXXXXX"};
    QString d, x, y;
    Harness h;
    UndoJournal journal;
    TestUtil::LanguageScope de{AppLanguage::de};
};

} // namespace

TEST(UndoJournal, KeepsTheNewest30InOrder) {
    UndoJournal journal;
    QSignalSpy changed(&journal, &UndoJournal::changed);
    EXPECT_FALSE(journal.undoTitle().has_value());
    for (int i = 1; i <= 31; ++i)
        journal.record(QString::number(i), UndoAction::makeCreated({"/p" + QString::number(i)}));
    EXPECT_EQ(changed.count(), 31);
    ASSERT_EQ(journal.entries().size(), 30);
    EXPECT_EQ(journal.entries().first().title, "2");
    EXPECT_EQ(journal.undoTitle(), "31");
    EXPECT_EQ(journal.takeLast()->title, "31");
    EXPECT_EQ(journal.undoTitle(), "30");
}

TEST_F(UndoLast, NothingToUndo) {
    undoLast(h.ctx(), journal);
    EXPECT_EQ(h.last().text, "Es gibt nichts rückgängig zu machen.");
    EXPECT_FALSE(h.last().error);
    EXPECT_TRUE(h.jobTitles.isEmpty());
    EXPECT_EQ(h.refreshes, 0);
}

TEST_F(UndoLast, ARefusedJobKeepsTheEntry) {
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({d + "/gone"}));
    h.refuseJob = true;
    undoLast(h.ctx(), journal);
    EXPECT_EQ(journal.entries().size(), 1);
    EXPECT_TRUE(h.toasts.isEmpty()); // the core has said why
}

TEST_F(UndoLast, MovesGoBackLastFirstAndNeverOverwrite) {
    TestUtil::writeFile(y + "/a.txt", "a");
    TestUtil::writeFile(y + "/b.txt", "b");
    TestUtil::writeFile(y + "/c.txt", "c");
    TestUtil::writeFile(x + "/a.txt", "new a"); // made meanwhile at the old place
    journal.record("3 Objekte bewegt",
                   UndoAction::makeMoved({{x + "/a.txt", y + "/a.txt"},
                                          {x + "/b.txt", y + "/b.txt"},
                                          // two pairs back to one place: the last one wins
                                          {x + "/c.txt", y + "/c.txt"},
                                          {x + "/c.txt", y + "/gone.txt"}}));
    const Toast t = undo();
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "Rückgängig: „gone.txt“ ist nicht mehr da. (+1 weitere)");
    EXPECT_EQ(TestUtil::readFile(x + "/a.txt"), "new a");
    EXPECT_EQ(TestUtil::readFile(y + "/a.txt"), "a");
    EXPECT_EQ(TestUtil::readFile(x + "/b.txt"), "b");
    EXPECT_EQ(TestUtil::readFile(x + "/c.txt"), "c");
    EXPECT_EQ(h.jobTitles, QStringList{"Mache rückgängig"});
    EXPECT_EQ(h.jobsEnded, 1);
    EXPECT_EQ(h.refreshes, 1);
    EXPECT_TRUE(journal.entries().isEmpty());

    journal.record("1 Objekt umbenannt", UndoAction::makeRenamed({{x + "/a.txt", y + "/a.txt"}}));
    EXPECT_EQ(undo().text, "Rückgängig: „a.txt“ gibt es am alten Ort schon.");
    EXPECT_TRUE(journal.entries().isEmpty()); // consumed although nothing was reversed

    journal.record("1 Objekt umbenannt", UndoAction::makeRenamed({{x + "/neu.txt", y + "/a.txt"}}));
    const Toast ok = undo();
    EXPECT_FALSE(ok.error);
    EXPECT_EQ(ok.text, "Rückgängig gemacht: 1 Objekt umbenannt (1 Objekt).");
    EXPECT_EQ(TestUtil::readFile(x + "/neu.txt"), "a");
}

TEST_F(UndoLast, CopiesGoToTheTrash) {
    TestUtil::writeFile(y + "/a.txt", "a");
    journal.record("2 Objekte kopiert", UndoAction::makeCreated({y + "/a.txt", y + "/deleted.txt"}));
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({y + "/deleted too.txt"}));
    // Copies deleted meanwhile: success with a count of 0.
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt kopiert (0 Objekte).");
    // The entry before is next.
    const Toast t = undo();
    EXPECT_EQ(t.text, "Rückgängig gemacht: 2 Objekte kopiert (1 Objekt).");
    EXPECT_FALSE(exists(y + "/a.txt"));
    QStringList fromY;
    for (const QString &name : QDir(TrashRoots::homeTrash() + "/files").entryList(QDir::Files))
        if (trashOrigin(TrashRoots::homeTrash() + "/files/" + name) == y + "/a.txt") fromY << name;
    ASSERT_EQ(fromY.size(), 1);
    EXPECT_EQ(TestUtil::readFile(TrashRoots::homeTrash() + "/files/" + fromY[0]), "a");
}

TEST_F(UndoLast, CopiesOnAVolumeWithoutTrashStay) {
    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    // A file where the volume's Trash folder would be: no Trash here.
    TestUtil::writeFile(mount.path() + "/.Trash-" + QString::number(::getuid()), "");
    TestUtil::writeFile(mount.path() + "/a.txt", "a");
    TestUtil::writeFile(mount.path() + "/b.txt", "b");
    journal.record("2 Objekte kopiert",
                   UndoAction::makeCreated({mount.path() + "/a.txt", mount.path() + "/b.txt"}));
    const Toast t = undo();
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "Rückgängig: 2 Objekt(e) liegen auf einem Laufwerk ohne Papierkorb und bleiben.");
    EXPECT_TRUE(exists(mount.path() + "/a.txt"));
    EXPECT_TRUE(exists(mount.path() + "/b.txt"));
}

TEST_F(UndoLast, TrashedItemsComeBackUnderAFreeName) {
    TestUtil::writeFile(x + "/Notiz.txt", "old");
    TestUtil::writeFile(x + "/Brief.txt", "brief");
    const FileOps::TrashResult r = FileOps::trash({x + "/Notiz.txt", x + "/Brief.txt"});
    ASSERT_EQ(r.moved.size(), 2);
    journal.record("2 Objekte in den Papierkorb gelegt", UndoAction::makeTrashed(r.moved));
    TestUtil::writeFile(x + "/Notiz.txt", "new");
    const QString notizInTrash = r.moved[0].inTrash;
    ASSERT_FALSE(Trash::infoFileFor(notizInTrash).isEmpty());
    ASSERT_TRUE(exists(Trash::infoFileFor(notizInTrash)));

    const Toast t = undo();
    EXPECT_EQ(t.text, "Rückgängig gemacht: 2 Objekte in den Papierkorb gelegt (2 Objekte).");
    EXPECT_EQ(TestUtil::readFile(x + "/Notiz.txt"), "new");
    EXPECT_EQ(TestUtil::readFile(x + "/Notiz Kopie.txt"), "old");
    EXPECT_EQ(TestUtil::readFile(x + "/Brief.txt"), "brief");
    // The Trash keeps no description of what has left it, and we no record.
    EXPECT_FALSE(exists(Trash::infoFileFor(notizInTrash)));
    EXPECT_FALSE(TrashMemory::origin(notizInTrash).has_value());
}

TEST_F(UndoLast, TrashedItemsGoneOrWithoutFolder) {
    TestUtil::writeFile(x + "/sub/a.txt", "a");
    TestUtil::writeFile(x + "/b.txt", "b");
    TestUtil::writeFile(x + "/c.txt", "c");
    const FileOps::TrashResult r = FileOps::trash({x + "/sub/a.txt", x + "/b.txt", x + "/c.txt"});
    ASSERT_EQ(r.moved.size(), 3);
    QDir(x + "/sub").removeRecursively();
    FileOps::deletePermanently({r.moved[1].inTrash, r.moved[2].inTrash});
    journal.record("3 Objekte in den Papierkorb gelegt", UndoAction::makeTrashed(r.moved));
    const Toast t = undo();
    EXPECT_TRUE(t.error);
    EXPECT_TRUE(t.text.startsWith("Rückgängig: „a.txt“")) << t.text.toStdString();
    EXPECT_TRUE(t.text.endsWith(" (+2 weitere)")) << t.text.toStdString();
    EXPECT_TRUE(exists(r.moved[0].inTrash)); // stays in the Trash
}

TEST_F(UndoLast, ReplacedItemsComeBackAfterTheNewOnesGo) {
    // A copy replaced y/a.txt: the old one went to the Trash first.
    TestUtil::writeFile(y + "/a.txt", "old a");
    FileOps::TrashResult old = FileOps::trash({y + "/a.txt"});
    ASSERT_EQ(old.moved.size(), 1);
    TestUtil::writeFile(y + "/a.txt", "copied a");
    journal.record("1 Objekt kopiert", UndoAction::makeCreated({y + "/a.txt"}, old.moved));
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt kopiert (1 Objekt).");
    EXPECT_EQ(TestUtil::readFile(y + "/a.txt"), "old a");
    EXPECT_FALSE(exists(old.moved[0].inTrash));
    EXPECT_FALSE(exists(Trash::infoFileFor(old.moved[0].inTrash)));

    // A move replaced y/b.txt.
    TestUtil::writeFile(y + "/b.txt", "old b");
    old = FileOps::trash({y + "/b.txt"});
    TestUtil::writeFile(y + "/b.txt", "moved b");
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{x + "/b.txt", y + "/b.txt"}}, old.moved));
    EXPECT_FALSE(undo().error);
    EXPECT_EQ(TestUtil::readFile(x + "/b.txt"), "moved b");
    EXPECT_EQ(TestUtil::readFile(y + "/b.txt"), "old b");

    // When the new item cannot go back, the replaced one stays in the Trash.
    TestUtil::writeFile(y + "/c.txt", "old c");
    old = FileOps::trash({y + "/c.txt"});
    TestUtil::writeFile(y + "/c.txt", "moved c");
    TestUtil::writeFile(x + "/c.txt", "taken");
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{x + "/c.txt", y + "/c.txt"}}, old.moved));
    EXPECT_TRUE(undo().error);
    EXPECT_EQ(TestUtil::readFile(y + "/c.txt"), "moved c");
    EXPECT_TRUE(exists(old.moved[0].inTrash));
}

TEST_F(UndoLast, MovesAcrossVolumesAreVerifiedMoves) {
    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(y + "/tree/a.txt", QByteArray(3 << 20, 'a'));
    TestUtil::writeFile(y + "/tree/sub/b.txt", "b");
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{mount.path() + "/tree", y + "/tree"}}));
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 1 Objekt bewegt (1 Objekt).");
    EXPECT_EQ(TestUtil::readFile(mount.path() + "/tree/a.txt"), QByteArray(3 << 20, 'a'));
    EXPECT_EQ(TestUtil::readFile(mount.path() + "/tree/sub/b.txt"), "b");
    EXPECT_FALSE(exists(y + "/tree"));

    // Not enough room on the other volume: the item stays, nothing half-copied remains there.
    TestUtil::TmpfsMount tiny(QStringLiteral("1m"));
    TestUtil::writeFile(y + "/big.bin", QByteArray(3 << 20, 'x'));
    journal.record("1 Objekt bewegt", UndoAction::makeMoved({{tiny.path() + "/big.bin", y + "/big.bin"}}));
    EXPECT_TRUE(undo().error);
    EXPECT_TRUE(exists(y + "/big.bin"));
    EXPECT_FALSE(exists(tiny.path() + "/big.bin"));
}

TEST_F(UndoLast, ATransferThatReplacedItemsIsUndoneWhole) {
    TestUtil::writeFile(x + "/a.txt", "new a");
    TestUtil::writeFile(x + "/b.txt", "new b");
    TestUtil::writeFile(x + "/c.txt", "new c");
    TestUtil::writeFile(y + "/a.txt", "old a");
    TestUtil::writeFile(y + "/b.txt", "old b");
    TestUtil::writeFile(y + "/c.txt", "old c");
    // An older Trash item that once lay at y/b.txt is not this batch's.
    const FileOps::TrashResult earlier = FileOps::trash({y + "/b.txt"});
    TestUtil::writeFile(y + "/b.txt", "old b");

    const TrashSnapshot before = trashSnapshot(y);
    TransferProgress progress;
    const QHash<QString, ConflictChoice> answers = {{x + "/a.txt", ConflictChoice::replace},
                                                    {x + "/b.txt", ConflictChoice::replace},
                                                    {x + "/c.txt", ConflictChoice::keepBoth}};
    const TransferOutcome copied =
        FileOps::runWithProgress({x + "/a.txt", x + "/b.txt", x + "/c.txt"}, y, false, progress, answers);
    ASSERT_EQ(copied.done, 3);
    const QList<FileOps::TrashedPair> replaced = replacedItems(copied, answers, before);
    ASSERT_EQ(replaced.size(), 2);
    EXPECT_NE(replaced[1].inTrash, earlier.moved[0].inTrash);
    QStringList targets;
    for (const TransferPair &p : copied.pairs)
        targets << p.to;
    journal.record("3 Objekte kopiert", UndoAction::makeCreated(targets, replaced));
    EXPECT_EQ(undo().text, "Rückgängig gemacht: 3 Objekte kopiert (3 Objekte).");
    EXPECT_EQ(TestUtil::readFile(y + "/a.txt"), "old a");
    EXPECT_EQ(TestUtil::readFile(y + "/b.txt"), "old b");
    EXPECT_EQ(TestUtil::readFile(y + "/c.txt"), "old c");
    EXPECT_FALSE(exists(y + "/c Kopie.txt"));
    EXPECT_TRUE(exists(earlier.moved[0].inTrash));

    // The same for a move.
    const TrashSnapshot beforeMove = trashSnapshot(y);
    const QHash<QString, ConflictChoice> replaceA = {{x + "/a.txt", ConflictChoice::replace}};
    const TransferOutcome moved = FileOps::runWithProgress({x + "/a.txt"}, y, true, progress, replaceA);
    ASSERT_EQ(moved.done, 1);
    journal.record("1 Objekt bewegt",
                   UndoAction::makeMoved(moved.pairs, replacedItems(moved, replaceA, beforeMove)));
    EXPECT_FALSE(undo().error);
    EXPECT_EQ(TestUtil::readFile(x + "/a.txt"), "new a");
    EXPECT_EQ(TestUtil::readFile(y + "/a.txt"), "old a");
}
