#include "../fileops/Fixture.h"
#include "common/SwappedFolder.h"

#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/HeldFolder.h"
#include "core/fileops/UndoJournal.h"
#include "core/tools/BatchRename.h"
#include "platform/Posix.h"

#include <QFile>

using namespace FileOpsTest;
using BatchRename::Settings;

namespace {

class Rename : public Dir {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QStringList newNames(const Settings &s, const QStringList &paths) {
        QStringList out;
        for (const BatchRename::Row &row : BatchRename::rows(s, paths))
            out << row.newName;
        return out;
    }
    QStringList problems(const Settings &s, const QStringList &paths) {
        QStringList out;
        for (const BatchRename::Row &row : BatchRename::rows(s, paths))
            out << row.problem.value_or(QString());
        return out;
    }
};

const QDateTime noon(QDate(2024, 3, 9), QTime(14, 5, 7));

} // namespace

TEST_F(Rename, PatternCounterAndOrder) {
    const QStringList paths{file("c.jpg", ""), file("a.jpg", ""), file("b.png", "")};
    Settings s;
    EXPECT_EQ(newNames(s, paths), (QStringList{"a.jpg", "b.png", "c.jpg"}));
    for (const BatchRename::Row &row : BatchRename::rows(s, paths))
        EXPECT_FALSE(row.changed() || row.problem);
    s.pattern = "Urlaub [Z]";
    EXPECT_EQ(newNames(s, paths), (QStringList{"Urlaub 01.jpg", "Urlaub 02.png", "Urlaub 03.jpg"}));
    EXPECT_EQ(BatchRename::ordered({"/x/img10.jpg", "/x/img9.jpg"}),
              (QStringList{"/x/img9.jpg", "/x/img10.jpg"}));
    // Equal names keep their given order.
    EXPECT_EQ(BatchRename::ordered({"/b/n", "/a/n"}), (QStringList{"/b/n", "/a/n"}));
}

TEST(RenameNames, CountersExtensionsCaseAndTokens) {
    Settings s;
    s.pattern = "[Z]";
    s.start = 99;
    EXPECT_EQ(BatchRename::newName(s, "/x/a", 0, noon), "99");
    EXPECT_EQ(BatchRename::newName(s, "/x/a", 1, noon), "100");
    s.start = 0;
    s.digits = 3;
    EXPECT_EQ(BatchRename::newName(s, "/x/a.txt", 0, noon), "000.txt");
    s = {};
    s.keepExtension = false;
    s.pattern = "[N]-x";
    EXPECT_EQ(BatchRename::newName(s, "/x/a.txt", 0, noon), "a.txt-x");
    s = {};
    s.pattern = "";
    EXPECT_EQ(BatchRename::newName(s, "/x/a.txt", 0, noon), ".txt");
    s.find = "img";
    s.replace = "Foto";
    s.pattern = "[N]";
    EXPECT_EQ(BatchRename::newName(s, "/x/IMG_001.JPG", 0, noon), "Foto_001.JPG");
    s.replace = "[Z]";
    EXPECT_EQ(BatchRename::newName(s, "/x/img.txt", 0, noon), "01.txt");
    s = {};
    EXPECT_EQ(BatchRename::newName(s, "/x/[D] [U].txt", 0, noon), "2024-03-09 14.05.07.txt");
    s.pattern = "a/b";
    EXPECT_EQ(BatchRename::newName(s, "/x/n", 0, noon), "a:b");
    s = {};
    s.caseMode = 2;
    EXPECT_EQ(BatchRename::newName(s, "/x/photo.jpg", 0, noon), "PHOTO.jpg");
    s.keepExtension = false;
    EXPECT_EQ(BatchRename::newName(s, "/x/photo.jpg", 0, noon), "PHOTO.JPG");
    EXPECT_EQ(BatchRename::newName(s,
                                   QString::fromUtf8("/x/stra\xc3\x9f"
                                                     "e"),
                                   0, noon),
              "STRASSE");
    s.caseMode = 3;
    s.keepExtension = true;
    EXPECT_EQ(BatchRename::newName(s, QString::fromUtf8("/x/\xc3\xa4rger.txt"), 0, noon),
              QString::fromUtf8("\xc3\x84rger.txt"));
    EXPECT_EQ(BatchRename::newName(s, "/x/1abc.txt", 0, noon), "1abc.txt");
    EXPECT_EQ(BatchRename::extension(".bashrc"), "");
    EXPECT_EQ(BatchRename::extension("a."), "");
}

TEST_F(Rename, ChecksEmptyDuplicateTakenAndInvalid) {
    const QStringList two{file("f/1.txt", "1"), file("f/2.txt", "2")};
    Settings s;
    s.pattern = "[Z]";
    s.start = 2;
    s.digits = 1;
    EXPECT_EQ(newNames(s, two), (QStringList{"2.txt", "3.txt"}));
    EXPECT_EQ(problems(s, two), (QStringList{"", ""}));

    file("f/3.txt", "outside");
    EXPECT_EQ(problems(s, two), (QStringList{"", "Gibt es schon"}));
    QFile::remove(path("f/3.txt"));
    // A dangling link holds its name too.
    ASSERT_EQ(::symlink("/nowhere", QFile::encodeName(path("f/3.txt")).constData()), 0);
    EXPECT_EQ(problems(s, two), (QStringList{"", "Gibt es schon"}));

    // Counted without regard to case, across folders, unchanged names included.
    const QStringList cased{file("g/A.txt", ""), file("h/b.txt", "")};
    s = {};
    EXPECT_EQ(problems(s, cased), (QStringList{"", ""}));
    s.find = "b";
    s.replace = "a";
    EXPECT_EQ(problems(s, cased), (QStringList{"Name kommt mehrfach vor", "Name kommt mehrfach vor"}));

    s = {};
    s.keepExtension = false;
    s.pattern = "   ";
    EXPECT_EQ(problems(s, cased), (QStringList{"Name ist leer", "Name ist leer"}));
    s.pattern = "..";
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{"Name ist ungültig"}));
    s.pattern = "a\nb";
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{"Name ist ungültig"}));
    s.pattern = QString(256, u'x');
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{"Name ist zu lang"}));
    // Counted in bytes as the file system counts: 128 characters of two bytes each.
    s.pattern = QString(128, QChar(0xE4));
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{"Name ist zu lang"}));
    s.pattern = QString(127, QChar(0xE4));
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{""}));
    s.pattern = QString(1, QChar(0xD800)); // a lone surrogate has no bytes
    EXPECT_EQ(problems(s, {cased[0]}), (QStringList{"Name ist ungültig"}));
}

TEST_F(Rename, TwoPhasesPassNamesAlongAndUndoWhole) {
    const QString a = file("1.txt", "one"), b = file("2.txt", "two");
    const QString c = path("3.txt");
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{b, c}, {a, b}});
    EXPECT_TRUE(r.errors.isEmpty());
    EXPECT_EQ(TestUtil::readFile(b), "one");
    EXPECT_EQ(TestUtil::readFile(c), "two");
    EXPECT_EQ(names(tmp.path()), (QStringList{"2.txt", "3.txt"}));

    // A swap, then its undo: both go through hidden names, nothing is replaced.
    const FileOps::TwoPhaseReport swap = FileOps::renameInTwoPhases({{b, c}, {c, b}});
    EXPECT_EQ(swap.done.size(), 2);
    EXPECT_EQ(TestUtil::readFile(b), "two");
    TransferProgress progress;
    const FileActions::UndoReport undo = FileActions::reverse(UndoAction::makeRenamed(swap.done), progress);
    EXPECT_TRUE(undo.errors.isEmpty()) << undo.errors.join("\n").toStdString();
    EXPECT_EQ(undo.done, 2);
    EXPECT_EQ(TestUtil::readFile(b), "one");
    EXPECT_EQ(names(tmp.path()), (QStringList{"2.txt", "3.txt"}));
}

TEST_F(Rename, InjectedFailuresAreReportedAndNothingStaysHidden) {
    const QString a = file("a", "A"), b = file("b", "B"), c = file("c", "C");
    // Phase 1 fails for a; phase 2 fails for b, which goes back; c goes ahead.
    const auto failing = [&](const QString &from, const QString &to, const auto &rename) {
        if (from == a || to == path("B2")) throw FileError{EIO, QStringLiteral("kaputt"), false};
        rename();
    };
    const FileOps::TwoPhaseReport r =
        FileOps::renameInTwoPhases({{a, path("A2")}, {b, path("B2")}, {c, path("C2")}}, nullptr, failing);
    EXPECT_EQ(r.done, (QList<TransferPair>{{c, path("C2")}}));
    EXPECT_EQ(r.errors.size(), 2);
    EXPECT_EQ(names(tmp.path()), (QStringList{"C2", "a", "b"}));

    // The way back is taken too: the item gets a free visible name and the report says so.
    const QString d = file("d", "D");
    const auto blocked = [&](const QString &, const QString &to, const auto &rename) {
        if (to == path("D2")) {
            file("d", "someone else");
            throw FileError{EIO, QStringLiteral("kaputt"), false};
        }
        rename();
    };
    const FileOps::TwoPhaseReport back = FileOps::renameInTwoPhases({{d, path("D2")}}, nullptr, blocked);
    EXPECT_TRUE(back.done.isEmpty());
    EXPECT_EQ(TestUtil::readFile(path("d 2")), "D");
    EXPECT_EQ(TestUtil::readFile(d), "someone else");
    for (const QString &n : names(tmp.path()))
        EXPECT_FALSE(n.startsWith('.')) << n.toStdString();
}

TEST_F(Rename, WhereEveryItemUnderAThirdNameWentIsSaidInFull) {
    const QString d = file("d.txt", "D"), e = file("e.txt", "E"), f = file("f.txt", "F");
    // Both second steps fail, and meanwhile others took the old names.
    const auto blocked = [&](const QString &, const QString &to, const auto &rename) {
        if (to == path("D2.txt") || to == path("E2.txt")) {
            file(Posix::lastComponent(to) == "D2.txt" ? "d.txt" : "e.txt", "someone else");
            throw FileError{EIO, QStringLiteral("kaputt"), false};
        }
        if (to == path("F2.txt")) throw FileError{EACCES, QStringLiteral("nein"), false};
        rename();
    };
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases(
        {{d, path("D2.txt")}, {e, path("E2.txt")}, {f, path("F2.txt")}}, nullptr, blocked);
    EXPECT_EQ(TestUtil::readFile(path("d 2.txt")), "D");
    EXPECT_EQ(TestUtil::readFile(path("e 2.txt")), "E");
    // One sentence per item.
    EXPECT_EQ(r.errors.size(), 3);
    const QString text = FileOps::errorSummary(r.errors, r.whereabouts);
    EXPECT_TRUE(text.contains("„d.txt“ liegt jetzt unter „d 2.txt“.")) << text.toStdString();
    EXPECT_TRUE(text.contains("„e.txt“ liegt jetzt unter „e 2.txt“.")) << text.toStdString();
    // Only the item that is back under its old name is counted.
    EXPECT_TRUE(text.endsWith(" (+1 weitere)")) << text.toStdString();
    EXPECT_EQ(text.count("Lese- oder Schreibfehler"), 2);
    // Counted in the language's form for the number.
    TestUtil::LanguageScope polish(AppLanguage::pl);
    for (const auto &[more, end] :
         {std::pair{1, " (+1 kolejny)"}, std::pair{3, " (+3 kolejne)"}, std::pair{5, " (+5 kolejnych)"}})
        EXPECT_TRUE(FileOps::errorSummary(QStringList(more + 1, "x"), {}).endsWith(QString::fromUtf8(end)))
            << more;
}

TEST_F(Rename, CancelStopsBeforeMovingMoreOut) {
    const QString a = file("a", "A"), b = file("b", "B");
    TransferProgress progress;
    progress.cancel();
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{a, path("x")}, {b, path("y")}}, &progress);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(names(tmp.path()), (QStringList{"a", "b"}));
}

// Another account swaps the folder for a link to its private folder while a batch runs, in either phase:
// nothing behind the link is renamed, what went aside gets its old name back in the folder itself, and the
// refusal names the folder.
TEST_F(Rename, AFolderSwappedForALinkMidwayIsRefused) {
    for (const QString at : {"b.txt", "A2.txt"}) {
        SCOPED_TRACE(at.toStdString());
        const QString shared = mkdir("shared-" + at);
        const QString a = file("shared-" + at + "/a.txt", "A"), b = file("shared-" + at + "/b.txt", "B");
        const TestUtil::PrivateFolder mine({"a.txt", "b.txt"});
        const auto before = mine.state();
        const auto swap = [&](const QString &from, const QString &to, const auto &rename) {
            if (Posix::lastComponent(from) == at || Posix::lastComponent(to) == at) {
                EXPECT_TRUE(TestUtil::swapForLink(shared, mine.path()));
            }
            rename();
        };
        const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases(
            {{a, Posix::childPath(shared, "A2.txt")}, {b, Posix::childPath(shared, "B2.txt")}}, nullptr,
            swap);
        EXPECT_EQ(mine.state(), before);
        EXPECT_TRUE(r.done.isEmpty());
        EXPECT_EQ(r.errors, QStringList(2, FileSteps::HeldFolder::refusalText(shared)));
        EXPECT_EQ(names(shared + ".away"), (QStringList{"a.txt", "b.txt"}));
    }
    // An item replaced between the plan and its step: the one there now stays as it is.
    const QString c = file("c.txt", "C");
    const auto replace = [&](const QString &from, const QString &, const auto &rename) {
        if (from == c)
            ::rename(QFile::encodeName(file("other", "other")).constData(), QFile::encodeName(c).constData());
        rename();
    };
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{c, path("C2.txt")}}, nullptr, replace);
    EXPECT_EQ(
        r.errors,
        QStringList{
            "An die Stelle von „c.txt“ ist inzwischen ein anderes Objekt getreten. Es bleibt unberührt."});
    EXPECT_EQ(TestUtil::readFile(c), "other");
    EXPECT_FALSE(exists(path("C2.txt")));
}
