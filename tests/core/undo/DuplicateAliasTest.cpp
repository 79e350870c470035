#include "Harness.h"

#include "core/fileops/DuplicateAlias.h"

#include <QTemporaryDir>

using namespace FileActions;
using UndoTest::exists;
using UndoTest::tree;

namespace {

class DuplicateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        d = dir.path();
    }
    Toast duplicateAndWait(const QStringList &paths, qint64 jobFrom = largeDuplicateBytes) {
        h.toasts.clear();
        duplicate(h.ctx(), paths, jobFrom);
        EXPECT_TRUE(h.waitForToast());
        return h.last();
    }
    QTemporaryDir dir{TestUtil::testHome() + "/dup-XXXXXX"};
    QString d;
    Harness h;
    TestUtil::LanguageScope de{AppLanguage::de};
};

} // namespace

TEST_F(DuplicateTest, CopiesTakeTheNextFreeName) {
    duplicate(h.ctx(), {}, largeDuplicateBytes);
    EXPECT_EQ(h.last().text, "Nichts ausgewählt.");

    TestUtil::writeFile(d + "/Bericht.pdf", "pdf");
    TestUtil::writeFile(d + "/Ordner/x.txt", "x");
    ::symlink("Bericht.pdf", QFile::encodeName(d + "/Link").constData());
    EXPECT_EQ(duplicateAndWait({d + "/Bericht.pdf"}).text, "1 Objekt dupliziert.");
    const Toast t = duplicateAndWait({d + "/Bericht.pdf", d + "/Ordner", d + "/Link"});
    EXPECT_EQ(t.text, "3 Objekte dupliziert.");
    EXPECT_EQ(TestUtil::readFile(d + "/Bericht Kopie.pdf"), "pdf");
    EXPECT_EQ(TestUtil::readFile(d + "/Bericht Kopie 2.pdf"), "pdf");
    EXPECT_EQ(TestUtil::readFile(d + "/Ordner Kopie/x.txt"), "x");
    EXPECT_EQ(QFileInfo(d + "/Link Kopie").symLinkTarget(), d + "/Bericht.pdf");
    const QStringList made = {d + "/Bericht Kopie 2.pdf", d + "/Ordner Kopie", d + "/Link Kopie"};
    EXPECT_EQ(h.selected, made);
    ASSERT_EQ(h.records.size(), 2);
    EXPECT_EQ(h.records[1].title, "3 Objekte dupliziert");
    EXPECT_EQ(h.records[1].action, UndoAction::makeCreated(made));
    EXPECT_TRUE(h.jobTitles.isEmpty()); // small: no job
}

TEST_F(DuplicateTest, FailuresLeaveOnlyTheGoodCopies) {
    TestUtil::writeFile(d + "/a.txt", "a");
    TestUtil::writeFile(d + "/c.txt", "c");
    const Toast t = duplicateAndWait({d + "/a.txt", d + "/gone.txt", d + "/c.txt"});
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "„gone.txt“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_EQ(h.selected, QStringList({d + "/a Kopie.txt", d + "/c Kopie.txt"}));
    ASSERT_EQ(h.records.size(), 1);
    EXPECT_EQ(h.records[0].title, "2 Objekte dupliziert");

    h.records.clear();
    h.selected.clear();
    EXPECT_TRUE(duplicateAndWait({d + "/gone.txt"}).error);
    EXPECT_TRUE(h.records.isEmpty());
    EXPECT_TRUE(h.selected.isEmpty());
}

TEST_F(DuplicateTest, AFailedCopyIsRemoved) {
    TestUtil::TmpfsMount mount(QStringLiteral("2m"));
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(mount.path() + "/big/a.bin", QByteArray(1200 * 1024, 'a'));
    TestUtil::writeFile(mount.path() + "/big/b.bin", QByteArray(1, 'b'));
    const Toast t = duplicateAndWait({mount.path() + "/big"});
    EXPECT_TRUE(t.error);
    EXPECT_EQ(tree(mount.path()), QStringList({"big", "big/a.bin", "big/b.bin"}));
}

TEST_F(DuplicateTest, LargeDuplicatesAreJobs) {
    TestUtil::writeFile(d + "/a.bin", QByteArray(4096, 'a'));
    EXPECT_EQ(duplicateAndWait({d + "/a.bin"}, 1000).text, "1 Objekt dupliziert.");
    EXPECT_EQ(h.jobTitles, QStringList{"Dupliziere"});
    EXPECT_EQ(h.jobsEnded, 1);

    h.cancelOnBegin = true;
    const Toast t = duplicateAndWait({d + "/a.bin"}, 1000);
    EXPECT_EQ(t.text, "Abgebrochen. Unvollständiges wurde entfernt.");
    EXPECT_EQ(tree(d), QStringList({"a Kopie.bin", "a.bin"}));

    // While another job runs, a large duplicate does not start.
    h.cancelOnBegin = false;
    h.refuseJob = true;
    h.toasts.clear();
    duplicate(h.ctx(), {d + "/a.bin"}, 1000);
    QDeadlineTimer until(500);
    while (!until.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(h.jobTitles.size(), 3);
    EXPECT_TRUE(h.toasts.isEmpty());
    EXPECT_EQ(tree(d), QStringList({"a Kopie.bin", "a.bin"}));
}

TEST_F(DuplicateTest, AliasesAreLinksBesideTheItem) {
    makeAlias(h.ctx(), {});
    EXPECT_EQ(h.last().text, "Nichts ausgewählt.");

    UndoTest::mkdir(d + "/Fotos");
    TestUtil::writeFile(d + "/Bericht.pdf", "pdf");
    makeAlias(h.ctx(), {d + "/Fotos", d + "/Bericht.pdf"});
    EXPECT_EQ(h.last().text, "2 Objekte Alias angelegt.");
    EXPECT_EQ(QFileInfo(d + "/Fotos Alias").symLinkTarget(), d + "/Fotos");
    EXPECT_EQ(QFileInfo(d + "/Bericht.pdf Alias").symLinkTarget(), d + "/Bericht.pdf");
    EXPECT_EQ(h.selected, QStringList({d + "/Fotos Alias", d + "/Bericht.pdf Alias"}));
    ASSERT_EQ(h.records.size(), 1);
    EXPECT_EQ(h.records[0].title, "2 Objekte Alias angelegt");
    EXPECT_EQ(h.refreshes, 1);

    makeAlias(h.ctx(), {d + "/Fotos", d + "/gone"});
    EXPECT_TRUE(h.last().error);
    EXPECT_EQ(h.last().text, "„gone“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_TRUE(QFileInfo(d + "/Fotos Alias Kopie").isSymLink());
    EXPECT_FALSE(exists(d + "/gone Alias"));
    EXPECT_EQ(h.records.last().title, "1 Objekt Alias angelegt");
}
