#include "Harness.h"

#include "core/fileops/DuplicateAlias.h"

using namespace FileActions;
using DuplicateTest = Harness;

TEST_F(DuplicateTest, CopiesTakeTheNextFreeName) {
    duplicate(ctx(), {});
    EXPECT_EQ(toasts.last().text, "Nichts ausgewählt.");
    TestUtil::writeFile(d + "/Bericht.pdf", "pdf");
    TestUtil::writeFile(d + "/Ordner/x.txt", "x");
    ::symlink("Bericht.pdf", QFile::encodeName(d + "/Link").constData());
    EXPECT_EQ(wait([&](auto c) { duplicate(c, {d + "/Bericht.pdf"}); }).text, "1 Objekt dupliziert.");
    const Toast t = wait([&](auto c) { duplicate(c, {d + "/Bericht.pdf", d + "/Ordner", d + "/Link"}); });
    EXPECT_EQ(t.text, "3 Objekte dupliziert.");
    EXPECT_EQ(TestUtil::readFile(d + "/Bericht Kopie 2.pdf"), "pdf");
    EXPECT_EQ(TestUtil::readFile(d + "/Ordner Kopie/x.txt"), "x");
    EXPECT_EQ(QFile::symLinkTarget(d + "/Link Kopie"), d + "/Bericht.pdf");
    const QStringList made = {d + "/Bericht Kopie 2.pdf", d + "/Ordner Kopie", d + "/Link Kopie"};
    EXPECT_EQ(selected, made);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1].title, "3 Objekte dupliziert");
    EXPECT_EQ(records[1].action, UndoAction::makeCreated(made));
    EXPECT_TRUE(jobTitles.isEmpty()); // small: no job

    // One failure: the others are still made, selected and recorded.
    const Toast failed = wait([&](auto c) { duplicate(c, {d + "/Bericht.pdf", d + "/gone.txt"}); });
    EXPECT_TRUE(failed.error);
    EXPECT_EQ(failed.text, "„gone.txt“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_EQ(selected, QStringList{d + "/Bericht Kopie 3.pdf"});
    EXPECT_EQ(records.size(), 3);
}

TEST_F(DuplicateTest, AFailedCopyIsRemoved) {
    TestUtil::TmpfsMount mount(QStringLiteral("2m"));
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(mount.path() + "/big/a.bin", QByteArray(1200 * 1024, 'a'));
    EXPECT_TRUE(wait([&](auto c) { duplicate(c, {mount.path() + "/big"}); }).error);
    EXPECT_EQ(names(mount.path()), QStringList{"big"});
    EXPECT_TRUE(records.isEmpty());
}

TEST_F(DuplicateTest, LargeDuplicatesAreJobs) {
    TestUtil::writeFile(d + "/a.bin", QByteArray(4096, 'a'));
    EXPECT_EQ(wait([&](auto c) { duplicate(c, {d + "/a.bin"}, 1000); }).text, "1 Objekt dupliziert.");
    EXPECT_EQ(jobTitles, QStringList{"Dupliziere"});
    EXPECT_EQ(jobsEnded, 1);
    cancelOnBegin = true;
    EXPECT_EQ(wait([&](auto c) { duplicate(c, {d + "/a.bin"}, 1000); }).text,
              "Abgebrochen. Unvollständiges wurde entfernt.");
    EXPECT_EQ(names(d), QStringList({"a Kopie.bin", "a.bin"}));
}

TEST_F(DuplicateTest, AliasesAreLinksBesideTheItem) {
    mkdir(d + "/Fotos");
    TestUtil::writeFile(d + "/Bericht.pdf", "pdf");
    makeAlias(ctx(), {d + "/Fotos", d + "/Bericht.pdf"});
    EXPECT_EQ(toasts.last().text, "2 Aliasse angelegt.");
    EXPECT_EQ(QFile::symLinkTarget(d + "/Fotos Alias"), d + "/Fotos");
    EXPECT_EQ(selected, QStringList({d + "/Fotos Alias", d + "/Bericht.pdf Alias"}));
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].title, "2 Aliasse angelegt");

    makeAlias(ctx(), {d + "/Fotos", d + "/gone"});
    EXPECT_EQ(toasts.last().text, "„gone“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_TRUE(QFileInfo(d + "/Fotos Alias Kopie").isSymLink());
    EXPECT_FALSE(exists(d + "/gone Alias"));
    EXPECT_EQ(records.last().title, "1 Alias angelegt");
}
