// A batch rename killed part way: the next start gives every item a name again, and never removes one.
#include "Fixture.h"

#include "common/FatFuse.h"
#include "common/NtfsImage.h"
#include "common/TestChild.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferJournal.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <QDir>
#include <QUuid>
#include <QRegularExpression>
#include <QSet>

#include <climits>
#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace FileOpsTest;

namespace {

// Runs the batch in a child that is killed at its `killAt`th rename (counted from 1); renames from
// `failing` fail.
bool killedAtRename(const QList<TransferPair> &pairs, int killAt, const QString &failing = {}) {
    const pid_t child = TestChild::forkAlone();
    if (child < 0) return false;
    if (child == 0) {
        int n = 0;
        FileOps::renameInTwoPhases(pairs, nullptr,
                                   [&](const QString &a, const QString &, const auto &rename) {
                                       if (++n == killAt) ::raise(SIGKILL);
                                       if (a == failing)
                                           throw FileError{EIO, QStringLiteral("kaputt"), false};
                                       rename();
                                   });
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

QStringList hiddenNames(const QString &folder) {
    return names(folder).filter(QRegularExpression("^\\.dravendel-"));
}

// The hidden name of item `i` of the batch that gave `hidden`.
QString hiddenOf(const QString &hidden, int i) {
    return hidden.left(hidden.lastIndexOf(u'-') + 1) + QString::number(i);
}

// A case-only batch of `items` files in `folder` ("photoN.JPG" to "photoN.jpg").
QList<TransferPair> photos(const QString &folder, int items, QStringList &olds, QStringList &news) {
    QList<TransferPair> pairs;
    olds.clear();
    news.clear();
    QDir().mkpath(folder);
    for (int i = 0; i < items; ++i) {
        olds << QString("photo%1.JPG").arg(i);
        news << QString("photo%1.jpg").arg(i);
        TestUtil::writeFile(folder + u'/' + olds[i], "photo " + QByteArray::number(i));
        pairs << TransferPair{folder + u'/' + olds[i], folder + u'/' + news[i]};
    }
    return pairs;
}

bool link(const QString &from, const QString &to) {
    return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

class RenameJournal : public Dir {
protected:
    void SetUp() override {
        Dir::SetUp();
        FileOps::recoverTransfers(); // what earlier tests left
    }
};

} // namespace

TEST_F(RenameJournal, KilledInEitherPhaseEveryItemGetsANameBack) {
    // Killed in the first phase: all items get their old names.
    QList<TransferPair> pairs;
    for (int i = 0; i < 20; ++i)
        pairs << TransferPair{file(QString("a/%1.txt").arg(i), QByteArray::number(i)),
                              path(QString("a/new-%1.txt").arg(i))};
    const auto before = snapshot(path("a"));
    ASSERT_TRUE(killedAtRename(pairs, 11));
    EXPECT_EQ(hiddenNames(path("a")).size(), 10);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(snapshot(path("a")), before);

    // A swap killed after its first new name: the other item takes its new name, as the old is taken.
    const QString x = file("b/x", "x"), y = file("b/y", "y");
    ASSERT_TRUE(killedAtRename({{x, y}, {y, x}}, 4));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(path("b")), (QStringList{"x", "y"}));
    EXPECT_EQ(TestUtil::readFile(y), "x");
    EXPECT_EQ(TestUtil::readFile(x), "y");
}

// Entries of the Trash keep their records through a batch rename that the next start settles.
TEST_F(RenameJournal, AKilledRenameInTheTrashLeavesEveryEntryWithItsRecord) {
    QDir(TrashRoots::homeTrash()).removeRecursively();
    ASSERT_EQ(FileOps::trash(FileOps::unlisted({file("t/a.txt", "a"), file("t/b.txt", "b")})).done, 2);
    const QString files = TrashRoots::homeTrash() + "/files/";
    ASSERT_TRUE(killedAtRename({{files + "a.txt", files + "x.txt"}, {files + "b.txt", files + "y.txt"}}, 3));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(files).size(), 2);
    for (const QString &name : names(files))
        EXPECT_TRUE(Restore::readTrashInfo(files + name)) << name.toStdString();
    QDir(TrashRoots::homeTrash()).removeRecursively();
}

// An item that a failure leaves under its hidden name keeps its record past a normal quit: the next
// start gives it its name.
TEST_F(RenameJournal, AnItemLeftHiddenByAFailureKeepsItsRecordPastANormalQuit) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString folder = mkdir("f"), a = file("f/a", "a"), said = path("said");
    const QString journal = journalLeftBy([&] {
        const auto report = FileOps::renameInTwoPhases(
            {{a, folder + "/b"}}, nullptr, [](const QString &from, const QString &, const auto &rename) {
                if (Posix::lastComponent(from).startsWith(".dravendel-"))
                    throw FileError{EIO, QStringLiteral("kaputt"), false};
                rename();
            });
        TestUtil::writeFile(said, report.whereabouts.join('\n').toUtf8());
    });
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_EQ(hiddenNames(folder).size(), 1);
    EXPECT_TRUE(TestUtil::readFile(said).contains("versteckten Namen"));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(folder), QStringList{"a"});
    EXPECT_EQ(TestUtil::readFile(a), "a");
    EXPECT_FALSE(exists(journal));
}

TEST_F(RenameJournal, BothNamesTakenTheItemStaysAndIsNamed) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString a = file("c/a", "mine");
    ASSERT_TRUE(killedAtRename({{a, path("c/b")}}, 2));
    const QStringList hidden = hiddenNames(path("c"));
    ASSERT_EQ(hidden.size(), 1);
    file("c/a", "new a");
    file("c/b", "new b");
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.renamed, QStringList{path("c/") + hidden[0]});
    EXPECT_EQ(
        FileOps::leftoversText(left),
        QString("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%1“ in „%2“, weil sein alter "
                "und sein neuer Name wieder vergeben sind.")
            .arg(hidden[0], path("c")));
    EXPECT_EQ(TestUtil::readFile(path("c/") + hidden[0]), "mine");
    // Told once; nothing removed.
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(path("c")).size(), 3);
}

// What stands under a recorded hidden name at the start is another item (a copy that kept our marker):
// it is not given the batch's names.
TEST_F(RenameJournal, AnotherItemUnderTheHiddenNameIsLeftAlone) {
    const QString a = file("e/a", "mine");
    ASSERT_TRUE(killedAtRename({{a, path("e/b")}}, 2));
    const QStringList hidden = hiddenNames(path("e"));
    ASSERT_EQ(hidden.size(), 1);
    const QString at = path("e/") + hidden[0];
    const QByteArray atBytes = QFile::encodeName(at);
    char mark[64];
    const ssize_t n = ::lgetxattr(atBytes.constData(), FileCopy::partMark, mark, sizeof mark);
    ASSERT_TRUE(QFile::rename(at, path("e/kept")));
    file("e/" + hidden[0], "someone else's");
    if (n > 0) ::lsetxattr(atBytes.constData(), FileCopy::partMark, mark, size_t(n), 0);
    // Named at every start while it is there.
    TestUtil::LanguageScope de(AppLanguage::de);
    for (int start = 0; start < 2; ++start) {
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(left.unmatched, QStringList{at});
        EXPECT_EQ(
            FileOps::leftoversText(left),
            QString("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%1“ in „%2“. Das "
                    "Laufwerk zeigt es nicht mehr als dasselbe Objekt wie vor dem Abbruch, daher bleibt "
                    "es, wie es ist.")
                .arg(hidden[0], path("e")));
    }
    EXPECT_EQ(TestUtil::readFile(at), "someone else's");
    EXPECT_FALSE(exists(path("e/a")));
    EXPECT_FALSE(exists(path("e/b")));
    EXPECT_EQ(TestUtil::readFile(path("e/kept")), "mine");
}

TEST_F(RenameJournal, AnExistingNameOutsideTheBatchIsNeverReplaced) {
    const QString a = file("d/a", "a"), b = file("d/b", "the other file");
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{a, b}});
    EXPECT_TRUE(r.done.isEmpty());
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(TestUtil::readFile(a), "a");
    EXPECT_EQ(TestUtil::readFile(b), "the other file");
    EXPECT_EQ(names(path("d")), (QStringList{"a", "b"}));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
}

TEST_F(RenameJournal, KilledCyclesAndChainsSettleAllOldOrAllNewAtEveryStep) {
    // A cycle a→b→c→a and a chain 1→2, 2→3, 3→4, 4→5: seven items, fourteen renames.
    const QStringList olds{"a", "b", "c", "1", "2", "3", "4"};
    const QStringList news{"b", "c", "a", "2", "3", "4", "5"};
    for (int killAt = 1; killAt <= 14; ++killAt) {
        const QString folder = mkdir(QString("k%1").arg(killAt));
        QList<TransferPair> pairs;
        QMap<QString, QByteArray> allOld, allNew;
        for (qsizetype i = 0; i < olds.size(); ++i) {
            pairs << TransferPair{file(QString("k%1/%2").arg(killAt).arg(olds[i]), olds[i].toUtf8()),
                                  folder + u'/' + news[i]};
            allOld.insert(olds[i], olds[i].toUtf8());
            allNew.insert(news[i], olds[i].toUtf8());
        }
        ASSERT_TRUE(killedAtRename(pairs, killAt));
        EXPECT_TRUE(FileOps::recoverTransfers().isEmpty()) << killAt;
        QMap<QString, QByteArray> now;
        for (const QString &n : names(folder))
            now.insert(n, TestUtil::readFile(folder + u'/' + n));
        // Killed before any item had its new name, all have their old ones; after, all their new ones.
        EXPECT_EQ(now, killAt <= 8 ? allOld : allNew) << killAt;
    }
}

// On a stick that ignores case, "photo1.jpg" finds "photo1.JPG" before its rename: the batch's phase is
// told by the names as the folder keeps them, so a kill in either phase still ends all old or all new.
TEST_F(RenameJournal, ACaseOnlyBatchOnAStickThatIgnoresCaseSettlesAllOldOrAllNew) {
    KESTRIN_FAT_OR_SKIP(stick);
    TestUtil::ExfatImage exfat;
    QStringList volumes{stick.path()};
    if (exfat.valid()) volumes << exfat.path();
    constexpr int items = 5;
    for (const QString &volume : volumes)
        for (const int killAt : {2, 4, 5, 7, 9}) {
            SCOPED_TRACE(QString("%1 killed at %2").arg(volume).arg(killAt).toStdString());
            const QString folder = volume + QString("/k%1").arg(killAt);
            ASSERT_TRUE(QDir().mkpath(folder));
            QList<TransferPair> pairs;
            QStringList olds, news;
            for (int i = 0; i < items; ++i) {
                olds << QString("photo%1.JPG").arg(i);
                news << QString("photo%1.jpg").arg(i);
                ASSERT_TRUE(TestUtil::writeFile(folder + u'/' + olds[i], QByteArray::number(i)));
                pairs << TransferPair{folder + u'/' + olds[i], folder + u'/' + news[i]};
            }
            ASSERT_TRUE(killedAtRename(pairs, killAt));
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_EQ(names(folder), killAt <= items ? olds : news);
            for (int i = 0; i < items; ++i)
                EXPECT_EQ(TestUtil::readFile(folder + u'/' + olds[i]), QByteArray::number(i));
        }
}

// Killed when the item whose new name the volume refuses was to take it: the start gives it its old
// name back while the others keep their new ones; with the old name taken meanwhile, it is named.
TEST_F(RenameJournal, AnItemWhoseNewNameTheVolumeRefusesGetsItsOldNameBack) {
    TestUtil::LanguageScope de(AppLanguage::de);
    TestUtil::FatFuse stick, enoent(true);
    TestUtil::ExfatImage exfat;
    // A name longer than any volume takes; a stick's refused characters, answered as FAT and exFAT do.
    QList<QPair<QString, QString>> cases{{mkdir("long"), QString(300, u'n') + ".txt"}};
    for (const QString &volume :
         {stick.valid() ? stick.path() : QString(), enoent.valid() ? enoent.path() : QString(),
          exfat.valid() ? exfat.path() : QString()})
        if (!volume.isEmpty()) cases.append({volume, "report: final.txt"});
    for (const auto &[folder, refused] : cases) {
        SCOPED_TRACE(folder.toStdString());
        for (const bool taken : {false, true}) {
            const QString in = folder + (taken ? "/taken" : "/free");
            ASSERT_TRUE(QDir().mkpath(in));
            QList<TransferPair> pairs;
            for (int i = 0; i < 3; ++i)
                pairs << TransferPair{in + QString("/%1.txt").arg(i), in + QString("/new %1.txt").arg(i)};
            pairs << TransferPair{in + "/report.txt", in + u'/' + refused};
            for (const TransferPair &p : pairs)
                ASSERT_TRUE(TestUtil::writeFile(p.from, Posix::lastComponent(p.from).toUtf8()));
            // The last rename of the second phase.
            ASSERT_TRUE(killedAtRename(pairs, 8));
            const QStringList hidden = hiddenNames(in);
            ASSERT_EQ(hidden.size(), 1);
            if (taken) {
                ASSERT_TRUE(TestUtil::writeFile(in + "/report.txt", "someone else's"));
            }
            const FileOps::Leftovers left = FileOps::recoverTransfers();
            EXPECT_EQ(left.refused, taken ? QStringList{in + u'/' + hidden[0]} : QStringList{});
            EXPECT_TRUE(left.renamed.isEmpty());
            const QString said(
                "Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%1“ in „%2“, weil das "
                "Laufwerk seinen neuen Namen nicht annimmt und sein alter wieder vergeben ist.");
            EXPECT_EQ(FileOps::leftoversText(left), taken ? said.arg(hidden[0], in) : QString());
            QStringList expected{"new 0.txt", "new 1.txt", "new 2.txt", "report.txt"}, now = names(in);
            if (taken) expected << hidden[0];
            expected.sort();
            now.sort();
            EXPECT_EQ(now, expected);
            EXPECT_EQ(TestUtil::readFile(in + (taken ? u'/' + hidden[0] : QString("/report.txt"))),
                      "report.txt");
        }
    }
}

TEST_F(RenameJournal, AnItemWhoseNamesOtherItemsOfTheBatchHoldGetsAFreeOne) {
    TestUtil::LanguageScope de(AppLanguage::de);
    // z→x, x→y, y→z; y cannot leave its name, and the kill comes when x is to take y.
    const QString x = file("e/x", "x"), y = file("e/y", "y"), z = file("e/z", "z");
    ASSERT_TRUE(killedAtRename({{z, x}, {x, y}, {y, z}}, 5, y));
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_TRUE(left.renamed.isEmpty());
    EXPECT_EQ(left.renamedAside, QStringList{path("e/x 2")});
    // The job that said why y kept its name was killed: the start says it.
    EXPECT_EQ(left.oldNames, QStringList{y});
    EXPECT_EQ(FileOps::leftoversText(left),
              QString("Ein Objekt einer abgebrochenen Umbenennung heißt jetzt „x 2“ in „%1“, weil Objekte "
                      "derselben Umbenennung seinen alten und seinen neuen Namen tragen. Ein Objekt einer "
                      "abgebrochenen Umbenennung heißt noch „y“ in „%1“, während die anderen Objekte ihre "
                      "neuen Namen tragen.")
                  .arg(path("e")));
    EXPECT_EQ(TestUtil::readFile(path("e/x 2")), "x");
    EXPECT_EQ(TestUtil::readFile(x), "z");
    EXPECT_EQ(TestUtil::readFile(y), "y");
    EXPECT_EQ(names(path("e")), (QStringList{"x", "x 2", "y"}));
}

TEST_F(RenameJournal, ABatchWithAJournalOverAMebibyteSettlesAndAnUnreadableJournalIsNamed) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString folder = mkdir("many");
    const QString padding(100, u'ä'); // 200 bytes of a name's 255
    QList<TransferPair> pairs;
    for (int i = 0; i < 3000; ++i) {
        const QString name = QString("%1 %2.jpg").arg(padding).arg(i, 4, 10, QChar(u'0'));
        pairs << TransferPair{file("many/" + name, QByteArray::number(i)), folder + "/Urlaub " + name};
    }
    const QString journals = qEnvironmentVariable("XDG_STATE_HOME") + "/kestrin/transfers";
    // Half of the second phase done.
    ASSERT_TRUE(killedAtRename(pairs, 4500));
    qint64 largest = 0;
    for (const QFileInfo &fi : QDir(journals).entryInfoList({"*.log"}, QDir::Files))
        largest = std::max(largest, fi.size());
    EXPECT_GT(largest, 1 << 20);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    const QStringList now = names(folder);
    EXPECT_EQ(now.size(), 3000);
    EXPECT_TRUE(now.filter(QRegularExpression("^Urlaub ")).size() == 3000) << now.first().toStdString();

    // A journal that cannot be read is named, every time, never passed over.
    const QString unreadable = journals + "/0123456789abcdef0123456789abcdef.log";
    ASSERT_TRUE(QDir().mkpath(unreadable));
    const FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(left.journals, QStringList{unreadable});
    EXPECT_EQ(
        FileOps::leftoversText(left),
        QString("Das Protokoll „0123456789abcdef0123456789abcdef.log“ in „%1“ lässt sich nicht lesen. Was "
                "die abgebrochene Übertragung unter verborgenen Namen hinterlassen hat, bleibt, wie es ist.")
            .arg(journals));
    EXPECT_EQ(FileOps::recoverTransfers().journals, QStringList{unreadable});
    QDir(unreadable).removeRecursively();
}

// The disk does not take the new names: the batch says so, and its records outlast the quit, so that
// a power cut that loses the second phase still ends with every item under its old name.
TEST_F(RenameJournal, NewNamesNotOnTheDiskKeepTheRecordsAndAreSaid) {
    TestUtil::LanguageScope de(AppLanguage::de);
    QList<TransferPair> pairs;
    for (int i = 0; i < 20; ++i)
        pairs << TransferPair{file(QString("a/%1.txt").arg(i), QByteArray::number(i)),
                              path(QString("a/new-%1.txt").arg(i))};
    const auto before = snapshot(path("a"));
    const QString said = path("said"), secondPhase = path("second phase");
    const QString journal = journalLeftBy([&] {
        FileSteps::setFolderSyncErrorForTests(path("a"), EIO);
        QStringList taken;
        const auto r = FileOps::renameInTwoPhases(
            pairs, nullptr, [&](const QString &a, const QString &b, const auto &rename) {
                rename();
                if (Posix::lastComponent(a).startsWith(".dravendel-")) taken << a + '\t' + b;
            });
        TestUtil::writeFile(said, r.errors.join('\n').toUtf8());
        TestUtil::writeFile(secondPhase, taken.join('\n').toUtf8());
    });
    EXPECT_EQ(QString::fromUtf8(TestUtil::readFile(said)),
              QString("Die Änderungen in „%1“ sind nicht sicher auf dem Laufwerk gespeichert (%2). Kestrin "
                      "prüft sie beim nächsten Start.")
                  .arg(path("a"), Posix::errorText(EIO)));
    ASSERT_FALSE(journal.isEmpty());
    // The power cut: the second phase never reached the disk.
    const QStringList taken = QString::fromUtf8(TestUtil::readFile(secondPhase)).split('\n');
    ASSERT_EQ(taken.size(), 20);
    for (const QString &line : taken)
        ASSERT_TRUE(QFile::rename(line.section('\t', 1), line.section('\t', 0, 0)));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(snapshot(path("a")), before);
    EXPECT_FALSE(exists(journal));
}

TEST_F(RenameJournal, HiddenNamesAreUniqueByConstructionAndNeverTakeAName) {
    // Every name of a large batch, and those of the next batch, differ; each fits a name's bytes.
    const FileSteps::Journal::RenameBatch batch = FileSteps::Journal::newRenameBatch();
    QSet<QString> seen;
    const int count = 200'000;
    seen.reserve(count + 1);
    for (int i = 0; i < count; ++i)
        seen.insert(batch.hiddenName(i));
    const FileSteps::Journal::RenameBatch next = FileSteps::Journal::newRenameBatch();
    seen.insert(next.hiddenName(0));
    EXPECT_EQ(seen.size(), count + 1);
    EXPECT_TRUE(QRegularExpression("^\\.dravendel-[0-9a-f]{8}-[0-9]+-199999$")
                    .match(batch.hiddenName(count - 1))
                    .hasMatch())
        << batch.hiddenName(count - 1).toStdString();
    EXPECT_LE(batch.hiddenName(count - 1).toUtf8().size(), NAME_MAX);

    // Something under the hidden name the next batch takes stays; its item keeps its name.
    const FileSteps::Journal::RenameBatch coming{next.token, next.number + 1};
    const QString a = file("h/a", "a"), there = file("h/" + coming.hiddenName(0), "someone's");
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases({{a, path("h/b")}});
    EXPECT_TRUE(r.done.isEmpty());
    EXPECT_EQ(r.errors.size(), 1);
    EXPECT_EQ(TestUtil::readFile(there), "someone's");
    EXPECT_EQ(TestUtil::readFile(a), "a");
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
}

namespace {

// A batch rename that died with its first `aside` items under hidden names (marked by its journal), as
// the next start finds it: the journal's path and lines, and each item's names and content.
struct DeadBatch {
    QString journal;
    QList<QByteArray> lines;
    QStringList hidden, from;
    QList<QByteArray> content;

    DeadBatch(const QString &folder, int items, int aside) {
        const QByteArray token = QUuid::createUuid().toRfc4122().toHex();
        const QString journals = qEnvironmentVariable("XDG_STATE_HOME") + "/kestrin/transfers";
        QDir().mkpath(journals);
        journal = journals + '/' + token + ".log";
        const auto hex = [](const QString &p) { return QFile::encodeName(p).toHex(); };
        for (int i = 0; i < items; ++i) {
            hidden << folder + u'/' +
                          FileSteps::Journal::RenameBatch{QString::fromLatin1(token.left(8)), 1}.hiddenName(
                              i);
            from << folder + QString("/Urlaub %1.jpg").arg(i);
            content << "item " + QByteArray::number(i);
            const QString at = i < aside ? hidden[i] : from[i];
            TestUtil::writeFile(at, content[i]);
            if (i < aside)
                ::lsetxattr(QFile::encodeName(at).constData(), FileCopy::partMark, token.constData(), 32, 0);
            const struct stat st = TestUtil::lstatOf(at);
            lines << "rename " + hex(hidden[i]) + ' ' + hex(from[i]) + ' ' +
                         hex(folder + QString("/Reise %1.jpg").arg(i)) + ' ' +
                         QByteArray::number(quint64(st.st_dev)) + ' ' +
                         QByteArray::number(quint64(st.st_ino)) + " 1\n";
        }
        TestUtil::writeFile(journal, lines.join());
    }
    // What is wrong: an item neither under its old name nor named to the user under its hidden one.
    QString untold(const FileOps::Leftovers &left) const {
        QStringList wrong;
        for (qsizetype i = 0; i < from.size(); ++i) {
            if (TestUtil::readFile(from[i]) == content[i] && !exists(hidden[i])) continue;
            if (TestUtil::readFile(hidden[i]) == content[i] && left.lost.contains(hidden[i])) continue;
            wrong << QString::number(i);
        }
        return wrong.join(' ');
    }
};

} // namespace

// Cut short or garbled after the kill, a journal no longer names every item: those under the batch's
// hidden names are named, the torn line still settles what it tells whole, and the damage is told.
TEST_F(RenameJournal, ACutOrGarbledJournalNamesWhatItNoLongerSettles) {
    TestUtil::LanguageScope de(AppLanguage::de);
    for (const int percent : {4, 10, 25, 50, 75, 97}) {
        SCOPED_TRACE(percent);
        const DeadBatch b(mkdir(QString("cut%1").arg(percent)), 12, 12);
        ASSERT_EQ(::truncate(QFile::encodeName(b.journal).constData(), b.lines.join().size() * percent / 100),
                  0);
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        EXPECT_EQ(b.untold(left), "");
        EXPECT_EQ(left.damaged, QStringList{b.journal});
        EXPECT_FALSE(left.lost.isEmpty());
        // Told again at the next start: nothing it names is settled.
        EXPECT_EQ(FileOps::recoverTransfers().damaged, QStringList{b.journal});
        QFile::remove(b.journal);
    }

    // Torn in the item's number: its names are whole, so it takes its old one.
    const DeadBatch torn(mkdir("torn"), 6, 6);
    const qsizetype at = torn.lines.mid(0, 3).join().size() + torn.lines[3].lastIndexOf(' ') - 3;
    ASSERT_EQ(::truncate(QFile::encodeName(torn.journal).constData(), at), 0);
    FileOps::Leftovers left = FileOps::recoverTransfers();
    EXPECT_EQ(torn.untold(left), "");
    EXPECT_EQ(left.lost, (QStringList{torn.hidden[4], torn.hidden[5]}));
    EXPECT_EQ(TestUtil::readFile(torn.from[3]), torn.content[3]);
    QFile::remove(torn.journal);
    // The same for an item that had its old name back, our marker still on it: the marker goes.
    const DeadBatch back(mkdir("back"), 2, 2);
    ASSERT_TRUE(QFile::rename(back.hidden[1], back.from[1]));
    ASSERT_EQ(::truncate(QFile::encodeName(back.journal).constData(), back.lines.join().size() - 3), 0);
    EXPECT_EQ(FileOps::recoverTransfers().lost, QStringList{});
    char mark[64];
    EXPECT_LT(::lgetxattr(QFile::encodeName(back.from[1]).constData(), FileCopy::partMark, mark, sizeof mark),
              0);
    QFile::remove(back.journal);

    // One record garbled: that item is named, the others settle; an item of the same form that our
    // marker does not prove ours is neither named nor touched.
    const DeadBatch garbled(mkdir("garbled"), 5, 5);
    QList<QByteArray> lines = garbled.lines;
    lines[2] = QByteArray(lines[2].size() - 1, '\x7f') + '\n';
    TestUtil::writeFile(garbled.journal, lines.join());
    const QString alike = garbled.hidden[4].chopped(1) + "7";
    TestUtil::writeFile(alike, "the user's");
    left = FileOps::recoverTransfers();
    EXPECT_EQ(garbled.untold(left), "");
    EXPECT_EQ(left.lost, QStringList{garbled.hidden[2]});
    EXPECT_EQ(TestUtil::readFile(alike), "the user's");
    EXPECT_EQ(
        FileOps::leftoversText(left),
        QString("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%1“ in „%2“. Sein Eintrag im "
                "Protokoll ist verloren, daher sind sein alter und sein neuer Name unbekannt. Das Protokoll "
                "„%3“ in „%4“ ist beschädigt. Was in seinen unlesbaren Zeilen stand, bleibt unter "
                "verborgenen Namen, wie es ist.")
            .arg(Posix::lastComponent(garbled.hidden[2]), path("garbled"),
                 Posix::lastComponent(garbled.journal), Posix::parentOf(garbled.journal)));
    QFile::remove(garbled.journal);
}

// Where a volume refuses the rename flag, a rename is a link and the old name's removal: killed between
// the two, the item has its hidden name and another. The start keeps one, all old or all new as the
// batch is.
TEST_F(RenameJournal, AnItemUnderTwoNamesBetweenLinkAndUnlinkKeepsOne) {
    TestUtil::NtfsImage ntfs;
    QStringList volumes{mkdir("local")};
    if (ntfs.valid()) volumes << ntfs.path();
    constexpr int items = 4;
    for (const QString &volume : volumes)
        for (const bool second : {false, true}) {
            SCOPED_TRACE(QString("%1, %2 phase").arg(volume, second ? "second" : "first").toStdString());
            const QString folder = volume + (second ? "/second" : "/first");
            QStringList olds, news;
            const QList<TransferPair> pairs = photos(folder, items, olds, news);
            // Killed at the third item's rename, which has its link.
            ASSERT_TRUE(killedAtRename(pairs, second ? items + 3 : 3));
            const QString hidden = folder + u'/' + hiddenOf(hiddenNames(folder).value(0), 2);
            ASSERT_TRUE(second ? link(hidden, pairs[2].to) : link(pairs[2].from, hidden));
            EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
            EXPECT_EQ(names(folder), second ? news : olds);
            for (int i = 0; i < items; ++i)
                EXPECT_EQ(TestUtil::readFile(folder + u'/' + (second ? news : olds)[i]),
                          "photo " + QByteArray::number(i));
        }

    // The same for a move's original on its way aside: it keeps its own name.
    const QString original = file("aside/a", "a"), aside = path("aside/.kestrin-part-0000aaaa-1");
    ASSERT_TRUE(link(original, aside));
    const struct stat st = TestUtil::lstatOf(original);
    const QString journals = qEnvironmentVariable("XDG_STATE_HOME") + "/kestrin/transfers";
    QDir().mkpath(journals);
    ASSERT_TRUE(TestUtil::writeFile(
        journals + "/0000aaaa0000aaaa0000aaaa0000aaaa.log",
        "aside " + QFile::encodeName(aside).toHex() + ' ' + QFile::encodeName(original).toHex() + ' ' +
            QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino)) + '\n'));
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(path("aside")), QStringList{"a"});
}

// A volume whose hard link shows a new inode number (sshfs): the batch still takes its new names, and
// killed while the link of its first rename is there, the start removes that second name.
TEST_F(RenameJournal, OnAVolumeWhoseLinksGetNewInodesABatchKeepsItsItems) {
    KESTRIN_FAT_OR_SKIP(stick, false, false, true);
    QStringList olds, news;
    QList<TransferPair> pairs = photos(stick.path() + "/whole", 5, olds, news);
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases(pairs);
    EXPECT_EQ(r.errors, QStringList{});
    EXPECT_EQ(names(stick.path() + "/whole"), news);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());

    const QString folder = stick.path() + "/killed";
    pairs = photos(folder, 3, olds, news);
    ASSERT_TRUE(killedAtRename(pairs, 2));
    const QString hidden = folder + u'/' + hiddenOf(hiddenNames(folder).value(0), 1);
    ASSERT_TRUE(link(pairs[1].from, hidden));
    ASSERT_NE(TestUtil::lstatOf(hidden).st_ino, TestUtil::lstatOf(pairs[1].from).st_ino);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
    EXPECT_EQ(names(folder), olds);
    EXPECT_EQ(TestUtil::readFile(pairs[1].from), "photo 1");

    // An extra name alike but for a block of zeros where the kept one has data is another file: a block
    // lost to a power cut is taken as such only in a small part's first bytes, never here. Both stay.
    const QString zeroed = stick.path() + "/zeroed";
    pairs = photos(zeroed, 3, olds, news);
    const QByteArray data(8192, 'd');
    ASSERT_TRUE(TestUtil::writeFile(pairs[1].from, data));
    ASSERT_TRUE(killedAtRename(pairs, 2));
    const QString extra = zeroed + u'/' + hiddenOf(hiddenNames(zeroed).value(0), 1);
    ASSERT_TRUE(TestUtil::writeFile(extra, QByteArray(4096, '\0') + data.mid(4096)));
    EXPECT_EQ(FileOps::recoverTransfers().unmatched, QStringList{extra});
    EXPECT_EQ(names(zeroed), QStringList{Posix::lastComponent(extra)} + olds);
    EXPECT_EQ(TestUtil::readFile(pairs[1].from), data);
    EXPECT_EQ(TestUtil::readFile(extra).left(4096), QByteArray(4096, '\0'));
}
