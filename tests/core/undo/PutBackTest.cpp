#include "Harness.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/PutBack.h"
#include "core/fileops/TrashMemory.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

using namespace FileActions;
using UndoTest::exists;

namespace {

class PutBackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        d = dir.path();
    }
    QString trashOne(const QString &path) {
        const FileOps::TrashResult r = FileOps::trash({path});
        EXPECT_EQ(r.moved.size(), 1);
        return r.moved.value(0).inTrash;
    }
    Toast putBackAndWait(const QStringList &paths) {
        h.toasts.clear();
        putBack(h.ctx(), paths);
        EXPECT_TRUE(h.waitForToast());
        return h.last();
    }
    // Runs another program's trash command on the file; false when it is not installed.
    static bool externalTrash(const QString &program, const QStringList &args) {
        const QString exe = QStandardPaths::findExecutable(program);
        if (exe.isEmpty()) return false;
        QProcess p;
        p.start(exe, args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }
    // Where another program put the item from `original` in the home Trash, by its description.
    static QString inHomeTrash(const QString &original) {
        const QString trash = TrashRoots::homeTrash();
        for (const QString &info : QDir(trash + "/info").entryList({"*.trashinfo"}, QDir::Files)) {
            const QByteArray text = TestUtil::readFile(trash + "/info/" + info);
            if (text.contains("Path=" + QUrl::toPercentEncoding(original, "/") + "\n"))
                return trash + "/files/" + info.chopped(10);
        }
        return {};
    }
    QTemporaryDir dir{TestUtil::testHome() + "/pb-XXXXXX"};
    QString d;
    Harness h;
    TestUtil::LanguageScope de{AppLanguage::de};
};

} // namespace

TEST_F(PutBackTest, OnlyTrashItems) {
    TestUtil::writeFile(d + "/a.txt", "a");
    putBack(h.ctx(), {d + "/a.txt"});
    EXPECT_EQ(h.last().text, "Zum Zurücklegen Objekte im Papierkorb markieren.");
    putBack(h.ctx(), {TrashRoots::homeTrash(), TrashRoots::homeTrash() + "/info"});
    EXPECT_EQ(h.toasts.size(), 2);
    EXPECT_TRUE(h.jobTitles.isEmpty());
}

TEST_F(PutBackTest, BackToTheOldPlaceUnderAFreeName) {
    TestUtil::writeFile(d + "/Notiz.txt", "old");
    TestUtil::writeFile(d + "/Brief.txt", "brief");
    const QString notiz = trashOne(d + "/Notiz.txt");
    const QString brief = trashOne(d + "/Brief.txt");
    TestUtil::writeFile(d + "/Notiz.txt", "new");

    const Toast t = putBackAndWait({notiz, brief});
    EXPECT_EQ(t.text, "2 Objekte zurückgelegt.");
    EXPECT_FALSE(t.error);
    EXPECT_EQ(TestUtil::readFile(d + "/Notiz.txt"), "new");
    EXPECT_EQ(TestUtil::readFile(d + "/Notiz Kopie.txt"), "old");
    EXPECT_EQ(TestUtil::readFile(d + "/Brief.txt"), "brief");
    ASSERT_EQ(h.records.size(), 1);
    EXPECT_EQ(h.records[0].title, "2 Objekte zurückgelegt");
    EXPECT_EQ(h.records[0].action,
              UndoAction::makeMoved({{notiz, d + "/Notiz Kopie.txt"}, {brief, d + "/Brief.txt"}}));
    EXPECT_EQ(h.jobTitles, QStringList{"Lege zurück"});
    EXPECT_EQ(h.jobsEnded, 1);
    EXPECT_EQ(h.refreshes, 1);
    // Nothing of them is left in the Trash.
    EXPECT_FALSE(exists(Trash::infoFileFor(notiz)));
    EXPECT_FALSE(TrashMemory::origin(notiz).has_value());
    EXPECT_TRUE(h.questions.isEmpty());
}

TEST_F(PutBackTest, AskForAFolderWhenTheOldOneIsGone) {
    TestUtil::writeFile(d + "/weg/a.txt", "a");
    const QString a = trashOne(d + "/weg/a.txt");
    QDir(d + "/weg").removeRecursively();

    // Cancelled: the item stays in the Trash.
    h.folderAnswer.reset();
    Toast t = putBackAndWait({a});
    ASSERT_EQ(h.questions.size(), 1);
    EXPECT_EQ(h.questions[0].message,
              "Der alte Ort ist nicht bekannt oder fehlt. In welchen Ordner sollen die Objekte zurück?");
    EXPECT_EQ(h.questions[0].prompt, "Hierher zurücklegen");
    EXPECT_EQ(t.text, "Nichts zurückgelegt.");
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(h.records.isEmpty());

    const QString chosen = UndoTest::mkdir(d + "/chosen");
    h.folderAnswer = chosen;
    t = putBackAndWait({a});
    EXPECT_EQ(t.text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(chosen + "/a.txt"), "a");
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(h.jobsEnded, 2);
}

TEST_F(PutBackTest, ItemsWithoutAnyOriginGoToTheChosenFolder) {
    // Something lying in the Trash without a description and without our record.
    const QString stray = TrashRoots::homeTrash() + "/files/stray.txt";
    TestUtil::writeFile(stray, "s");
    TestUtil::writeFile(d + "/b.txt", "b");
    const QString b = trashOne(d + "/b.txt");
    h.folderAnswer = UndoTest::mkdir(d + "/here");
    const Toast t = putBackAndWait({stray, b, TrashRoots::homeTrash() + "/files/missing.txt"});
    EXPECT_EQ(t.text, "2 Objekte zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/here/stray.txt"), "s");
    EXPECT_EQ(TestUtil::readFile(d + "/b.txt"), "b");
}

TEST_F(PutBackTest, TheTrashInfoWinsOverAStaleRecord) {
    // Our record says the item at files/c.txt came from "old"; meanwhile another program put a
    // different item there, with its own description.
    TestUtil::writeFile(d + "/new/c.txt", "new c");
    UndoTest::mkdir(d + "/old");
    const QString c = trashOne(d + "/new/c.txt");
    TrashMemory::remember(d + "/old/c.txt", c);
    const Toast t = putBackAndWait({c});
    EXPECT_EQ(t.text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/new/c.txt"), "new c");
    EXPECT_FALSE(exists(d + "/old/c.txt"));
    EXPECT_FALSE(TrashMemory::origin(c).has_value());

    // Without a description, our record is used.
    TestUtil::writeFile(d + "/old/e.txt", "e");
    const QString e = trashOne(d + "/old/e.txt");
    QFile::remove(Trash::infoFileFor(e));
    EXPECT_EQ(putBackAndWait({e}).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/old/e.txt"), "e");
}

TEST_F(PutBackTest, ItemsTrashedByOtherPrograms) {
    TestUtil::writeFile(d + "/von gio/Grüße.txt", "gio");
    TestUtil::writeFile(d + "/von trash-cli/b.txt", "cli");
    const bool gio = externalTrash("gio", {"trash", d + "/von gio/Grüße.txt"});
    const bool cli = externalTrash("trash-put", {d + "/von trash-cli/b.txt"});
    if (!gio && !cli) GTEST_SKIP() << "neither gio nor trash-put is installed";
    QStringList inTrash;
    if (gio) inTrash << inHomeTrash(d + "/von gio/Grüße.txt");
    if (cli) inTrash << inHomeTrash(d + "/von trash-cli/b.txt");
    for (const QString &p : inTrash)
        ASSERT_TRUE(exists(p)) << p.toStdString();
    const Toast t = putBackAndWait(inTrash);
    EXPECT_FALSE(t.error) << t.text.toStdString();
    if (gio) {
        EXPECT_EQ(TestUtil::readFile(d + "/von gio/Grüße.txt"), "gio");
    }
    if (cli) {
        EXPECT_EQ(TestUtil::readFile(d + "/von trash-cli/b.txt"), "cli");
    }
    for (const QString &p : inTrash)
        EXPECT_FALSE(exists(Trash::infoFileFor(p)));
    EXPECT_TRUE(h.questions.isEmpty());
}

TEST_F(PutBackTest, FromTheTrashOfAnotherVolume) {
    TestUtil::TmpfsMount mount;
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::writeFile(mount.path() + "/docs/a.txt", "a");
    const QString a = trashOne(mount.path() + "/docs/a.txt");
    ASSERT_TRUE(a.startsWith(mount.path() + "/.Trash-")) << a.toStdString();
    // That Trash keeps the path relative to the volume.
    EXPECT_TRUE(TestUtil::readFile(Trash::infoFileFor(a)).contains("Path=docs/a.txt"));
    TrashMemory::forget(a);
    EXPECT_EQ(trashOrigin(a), mount.path() + "/docs/a.txt");
    EXPECT_EQ(putBackAndWait({a}).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(mount.path() + "/docs/a.txt"), "a");

    // Into a chosen folder on the home volume: a verified copy, then the Trash item goes.
    TestUtil::writeFile(mount.path() + "/gone/b.txt", "b");
    const QString b = trashOne(mount.path() + "/gone/b.txt");
    QDir(mount.path() + "/gone").removeRecursively();
    h.folderAnswer = UndoTest::mkdir(d + "/home side");
    EXPECT_EQ(putBackAndWait({b}).text, "1 Objekt zurückgelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/home side/b.txt"), "b");
    EXPECT_FALSE(exists(b));
}
