// The state folder on a full volume: the steps that need a journal record refuse before they start.
#include "../fileops/Fixture.h"

#include "common/TestChild.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"
#include "platform/TrashRoots.h"

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

using namespace FileOpsTest;

namespace {

// A volume with no byte left, as the state folder.
struct FullStateFolder {
    TestUtil::TmpfsMount volume{QStringLiteral("64k")};
    QByteArray oldState = qgetenv("XDG_STATE_HOME");
    bool fill() {
        if (!volume.valid() || !QDir().mkpath(volume.path() + "/kestrin/transfers")) return false;
        QFile filler(volume.path() + "/filler");
        if (!filler.open(QIODevice::WriteOnly)) return false;
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        qputenv("XDG_STATE_HOME", volume.path().toUtf8());
        return true;
    }
    QString journals() const { return volume.path() + "/kestrin/transfers"; }
    ~FullStateFolder() { qputenv("XDG_STATE_HOME", oldState); }
};

QList<SyncStep> mirrorSteps(const QString &left, const QString &right) {
    QList<SyncStep> steps;
    for (const CompareRow &row : FolderCompare::scan(left, right, [] { return false; }).rows)
        if (const SyncAction a = FolderCompare::action(row, SyncMode::leftToRight, true);
            a != SyncAction::none)
            steps << SyncStep{row, a};
    return steps;
}

// Each tool once in the folder args[0]; what each said goes to the file args[1], a line each.
TEST_CHILD(everyToolOnce) {
    Lang::setCurrent(AppLanguage::de);
    const auto at = [&](const QString &rel) { return args.value(0) + u'/' + rel; };
    QStringList out;
    out << FileOps::renameInTwoPhases({{at("r/a"), at("r/b")}, {at("r/b"), at("r/c")}}).errors.join('|');
    const auto transfer = [](const QString &from, const QString &to, bool move, bool replace) {
        TransferProgress p;
        QHash<QString, ConflictChoice> answers;
        if (replace) answers.insert(from, ConflictChoice::replace);
        return FileOps::runWithProgress({from}, to, move, p, answers).errors.join('|');
    };
    out << transfer(at("src/x"), at("dst"), false, true);    // a part, then a replace
    out << transfer(at("src/y"), at("moved"), true, true);   // the source aside
    out << transfer(at("src/z"), at("plain"), false, false); // a part
    TransferProgress p;
    out << FolderSync::run(at("L"), at("R"), mirrorSteps(at("L"), at("R")), p).errors.join('|');
    return TestUtil::writeFile(args.value(1), out.join('\n').toUtf8()) ? 0 : 1;
}

} // namespace

TEST(JournalFull, RenameSyncCopyAndMoveRefuseAndTouchNothing) {
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir tmp;
    const auto at = [&](const QString &rel) { return tmp.path() + u'/' + rel; };
    for (const char *rel : {"r/a", "r/b", "src/x", "dst/x", "src/y", "moved/y", "src/z", "L/s", "R/s",
                            "R/a surplus", "R/b surplus"})
        ASSERT_TRUE(TestUtil::writeFile(at(rel), QByteArray("old ") + rel));
    ASSERT_TRUE(TestUtil::writeFile(at("L/s"), "newer and longer"));
    QDir().mkpath(at("plain"));
    ASSERT_EQ(mirrorSteps(at("L"), at("R")).size(), 3);

    FullStateFolder state;
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    ASSERT_TRUE(state.fill());
    const auto before = snapshot(tmp.path());
    const auto trashBefore = snapshot(TrashRoots::homeTrash());

    // A child of its own: this process's journal is open already, in the usual state folder.
    const QString report = QDir::tempPath() + "/kestrin-journal-full-" + QString::number(::getpid());
    const int status = TestChild::run("everyToolOnce", {tmp.path(), report});
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const QStringList said = QString::fromUtf8(TestUtil::readFile(report)).split('\n');
    QFile::remove(report);
    ASSERT_EQ(said.size(), 5);
    for (const QString &text : said) {
        EXPECT_TRUE(text.contains("Statusordner „" + state.volume.path() + "/kestrin/transfers“"))
            << text.toStdString();
        EXPECT_TRUE(text.contains("Ohne dieses Protokoll ändert Kestrin nichts.")) << text.toStdString();
    }
    // The sync refuses as a whole, before its first step: no item of it is blamed.
    EXPECT_FALSE(said[4].contains('|')) << said[4].toStdString();
    EXPECT_EQ(snapshot(tmp.path()), before);
    EXPECT_EQ(snapshot(TrashRoots::homeTrash()), trashBefore);
}

// The journal's flush fails: the step is refused before it touches anything, and its record is cut off
// again, so that the next one starts a line of its own.
TEST(JournalFull, AFailingFlushOfTheJournalRefusesTheStepAndLeavesNoRecord) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir tmp;
    const QString a = tmp.path() + "/a", b = tmp.path() + "/b", c = tmp.path() + "/c";
    ASSERT_TRUE(TestUtil::writeFile(a, "a"));
    const QString said = tmp.path() + "/said";
    const QString journal = journalLeftBy([&] {
        QStringList out;
        out << FileOps::renameInTwoPhases({{a, b}}).errors.join('|');
        FileSteps::setDiskErrorForTests(EIO, false);
        out << FileOps::renameInTwoPhases({{b, c}}).errors.join('|');
        FileSteps::setDiskErrorForTests(0);
        out << FileOps::renameInTwoPhases({{b, a}}).errors.join('|');
        TestUtil::writeFile(said, out.join('\n').toUtf8());
        ::_exit(0); // before the journal's end: its records stay to be read
    });
    const QStringList texts = QString::fromUtf8(TestUtil::readFile(said)).split('\n');
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "");
    EXPECT_TRUE(texts[1].contains("Ohne dieses Protokoll ändert Kestrin nichts.")) << texts[1].toStdString();
    EXPECT_EQ(texts[2], "");
    EXPECT_EQ(TestUtil::readFile(a), "a");
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_FALSE(QFile::exists(c));
    // The first and the third batch, each a whole line, beside the lines that name their volume and end
    // them.
    QList<QByteArray> lines = TestUtil::readFile(journal).split('\n');
    lines.removeIf(
        [](const QByteArray &line) { return line.startsWith("volume ") || line.startsWith("end "); });
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("rename ") && lines[0].endsWith(" 1")) << lines[0].constData();
    EXPECT_TRUE(lines[1].startsWith("rename ") && lines[1].endsWith(" 3")) << lines[1].constData();
    EXPECT_EQ(lines[2], "");
    FileOps::recoverTransfers();
    EXPECT_FALSE(QFile::exists(journal));
}

// A record torn by a full volume is cut back: the next one starts a line of its own.
TEST(JournalFull, ARecordTornByAFullVolumeIsCutBack) {
    if (TestChild::ranInOwnProcess()) return; // it forks: no thread of an earlier test there
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir tmp;
    const auto at = [&](const QString &name) { return tmp.path() + u'/' + name; };
    QList<TransferPair> torn;
    for (int i = 0; i < 10; ++i) {
        const QString name = QString(120, u'ä') + QString::number(i);
        ASSERT_TRUE(TestUtil::writeFile(at(name), "x"));
        torn << TransferPair{at(name), at(name + "-new")};
    }
    ASSERT_TRUE(TestUtil::writeFile(at("a"), "a"));
    FullStateFolder state;
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    const QString said = at("said");
    const pid_t child = TestChild::forkAlone();
    ASSERT_GE(child, 0);
    if (child == 0) {
        qputenv("XDG_STATE_HOME", state.volume.path().toUtf8());
        QStringList out;
        out << FileOps::renameInTwoPhases({{at("a"), at("b")}}).errors.join('|');
        // The journal's page has room for part of the next record only.
        if (!state.fill()) ::_exit(2);
        out << FileOps::renameInTwoPhases(torn).errors.join('|');
        QFile::remove(state.volume.path() + "/filler");
        out << FileOps::renameInTwoPhases({{at("b"), at("a")}}).errors.join('|');
        TestUtil::writeFile(said, out.join('\n').toUtf8());
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const QStringList texts = QString::fromUtf8(TestUtil::readFile(said)).split('\n');
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "");
    EXPECT_TRUE(texts[1].contains("Ohne dieses Protokoll ändert Kestrin nichts.")) << texts[1].toStdString();
    EXPECT_EQ(texts[2], "");
    EXPECT_EQ(TestUtil::readFile(at("a")), "a");
    const QStringList journals = TestUtil::names(state.journals());
    ASSERT_EQ(journals.size(), 1);
    QList<QByteArray> lines = TestUtil::readFile(state.journals() + u'/' + journals[0]).split('\n');
    lines.removeIf(
        [](const QByteArray &line) { return line.startsWith("volume ") || line.startsWith("end "); });
    ASSERT_EQ(lines.size(), 3);
    for (const QByteArray &line : lines.mid(0, 2))
        EXPECT_EQ(line.split(' ').size(), 7) << line.left(200).constData();
    EXPECT_EQ(lines[2], "");
}
