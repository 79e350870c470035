#include "CommandFixture.h"

#include "common/FatFuse.h"
#include "common/SwappedFolder.h"
#include "common/StuckReader.h"
#include "core/app/Services.h"
#include "core/app/TrashLookup.h"

#include "core/app/JobRunner.h"
#include "core/fileops/FileOps.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/MountWatch.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <algorithm>
#include <atomic>
#include <QProcess>
#include <fcntl.h>
#include <unistd.h>

using TestUtil::LanguageScope;

namespace {

class TrashCommandTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        // Only the private home trash, never a trash folder of the machine's volumes.
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());
        QDir().mkpath(TrashRoots::homeTrash() + "/info");
        app->services().trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
    }
    QStringList trashed() const {
        return QDir(FileLoader::mainTrash())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST_F(TrashCommandTest, TrashingAsksThenMovesRecordsAndReports) {
    LanguageScope de(AppLanguage::de);
    PaneModel *pane = app->left();
    app->trash().trashSelection();
    EXPECT_EQ(lastToast(), "Nichts ausgewählt.");
    EXPECT_TRUE(alerts.isEmpty());

    QStringList paths;
    for (int i = 1; i <= 9; ++i)
        paths << make(QString("f%1").arg(i));
    show(pane, root);
    pane->setSelection({paths[0]});
    answers = {AlertRole::cancel};
    app->trash().trashSelection();
    EXPECT_EQ(alerts.last().message, "„f1“ in den Papierkorb legen?");
    EXPECT_EQ(alerts.last().informative, "• f1\n\nDu kannst es im Papierkorb wiederherstellen.");
    EXPECT_FALSE(alerts.last().has(AlertRole::destructive));
    EXPECT_TRUE(exists(paths[0]));

    pane->setSelection(QSet<QString>(paths.cbegin(), paths.cend()));
    answers = {AlertRole::confirm};
    app->trash().trashSelection();
    const Alert &question = alerts.last();
    EXPECT_EQ(question.message, "9 Objekte in den Papierkorb legen?");
    EXPECT_TRUE(question.informative.startsWith("• f1\n• f2\n"));
    EXPECT_TRUE(question.informative.contains("• f8\n… und 1 weitere\n\n"));
    EXPECT_FALSE(question.informative.contains("f9"));
    QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty() && lastToast() == "9 Objekte in den Papierkorb gelegt.", 5000);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(trashed().size(), 9);
    EXPECT_TRUE(pane->selection().isEmpty());
    EXPECT_EQ(app->undoJournal().undoTitle(), "9 Objekte in den Papierkorb gelegt");
    const qsizetype toastsBeforeUndo = toasts.size();
    app->fileActions().undoLast();
    // The undo reports when its background work is back; the test ends only then.
    waitToast(toastsBeforeUndo + 1);
    QTRY_VERIFY_WITH_TIMEOUT(exists(paths[8]), 5000);
}

// The toast's sentence, full stop included, is the language's own: Thai writes none.
TEST_F(TrashCommandTest, TheToastEndsAsItsLanguageWrites) {
    const QString a = make("a"), b = make("b");
    PaneModel *pane = app->left();
    show(pane, root);
    for (const auto &[lang, text] : {std::pair{AppLanguage::th, "ย้าย %@ ไปที่ถังขยะแล้ว"},
                                     std::pair{AppLanguage::en, "%@ moved to the Trash."}}) {
        LanguageScope scope(lang);
        const QString path = lang == AppLanguage::th ? a : b;
        pane->setSelection({path});
        answers = {AlertRole::confirm};
        const qsizetype before = toasts.size();
        app->trash().trashSelection();
        waitToast(before + 1);
        EXPECT_EQ(lastToast(), QString::fromUtf8(text).replace("%@", FileFmt::count(1)));
    }
}

TEST_F(TrashCommandTest, InTheTrashItemsAreDeletedForGoodAfterTheirOwnQuestion) {
    LanguageScope de(AppLanguage::de);
    const QString a = make("a"), b = make("b");
    PaneModel *pane = app->left();
    show(pane, root);
    pane->setSelection({a, b});
    answers = {AlertRole::confirm};
    app->trash().trashSelection();
    QTRY_COMPARE_WITH_TIMEOUT(trashed().size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "2 Objekte in den Papierkorb gelegt.", 5000);

    show(pane, FileLoader::mainTrash());
    const QString inTrash = FileLoader::mainTrash() + "/a";
    ASSERT_TRUE(exists(inTrash));
    pane->setSelection({inTrash});
    answers = {AlertRole::cancel};
    app->trash().trashSelection();
    EXPECT_EQ(alerts.last().message, "„a“ endgültig löschen?");
    EXPECT_EQ(alerts.last().informative, "• a\n\nDas lässt sich nicht rückgängig machen.");
    EXPECT_TRUE(alerts.last().has(AlertRole::destructive));
    EXPECT_TRUE(exists(inTrash));

    const int soundsBefore = sounds;
    const qsizetype journal = app->undoJournal().entries().size();
    answers = {AlertRole::destructive};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "1 Objekt endgültig gelöscht.", 5000);
    EXPECT_FALSE(exists(inTrash));
    EXPECT_FALSE(exists(TrashRoots::homeTrash() + "/info/a.trashinfo"));
    EXPECT_TRUE(pane->selection().isEmpty());
    EXPECT_EQ(sounds, soundsBefore);
    EXPECT_EQ(app->undoJournal().entries().size(), journal);
}

// The question's verb agrees with the count in every form a language has.
TEST_F(TrashCommandTest, EmptyingQuestionAgreesWithItsCount) {
    whileOpen = [this](const Alert &) { QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000); };
    const QString files = FileLoader::mainTrash();
    auto ask = [&](int count) {
        QDir(files).removeRecursively();
        QDir().mkpath(files);
        for (int i = 0; i < count; ++i)
            TestUtil::writeFile(files + QString("/f%1").arg(i), "x");
        answers = {AlertRole::cancel};
        app->trash().emptyTrash();
        return alerts.last().informative.section(u'.', 0, 0);
    };
    {
        LanguageScope pl(AppLanguage::pl);
        EXPECT_EQ(ask(1), "1 obiekt zostanie trwale usunięty");
        EXPECT_EQ(ask(2), "2 obiekty zostaną trwale usunięte");
        EXPECT_EQ(ask(5), "5 obiektów zostanie trwale usuniętych");
        EXPECT_EQ(ask(22), "22 obiekty zostaną trwale usunięte");
    }
    {
        LanguageScope en(AppLanguage::en);
        EXPECT_EQ(ask(1), "1 item will be deleted permanently");
    }
    LanguageScope de(AppLanguage::de);
    EXPECT_EQ(ask(1), "1 Objekt wird endgültig gelöscht");
    EXPECT_EQ(ask(3), "3 Objekte werden endgültig gelöscht");
}

TEST_F(TrashCommandTest, EmptyingCountsWhileAskingAndLeavesDsStore) {
    LanguageScope de(AppLanguage::de);
    // Nothing there: the red button never comes on.
    answers = {AlertRole::destructive};
    whileOpen = [this](const Alert &) { QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000); };
    app->trash().emptyTrash();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.last().message, "Papierkorb leeren?");
    EXPECT_EQ(alerts.last().informative, "Der Papierkorb ist leer.\n ");
    EXPECT_EQ(alerts.last().disabled, AlertRole::destructive);
    EXPECT_TRUE(alerts.last().has(AlertRole::destructive));

    const QString files = FileLoader::mainTrash();
    TestUtil::writeFile(files + "/one", "1");
    TestUtil::writeFile(files + "/folder/inner", "2");
    TestUtil::writeFile(files + "/three", "3");
    TestUtil::writeFile(files + "/.DS_Store", "x");
    TestUtil::writeFile(TrashRoots::homeTrash() + "/info/one.trashinfo", "[Trash Info]\n");
    // Names that are not UTF-8 are emptied too, description and all.
    const QByteArray raw = QFile::encodeName(files),
                     rawInfo = QFile::encodeName(TrashRoots::homeTrash() + "/info");
    ASSERT_EQ(::mkdir(raw + "/dir\xfe", 0755), 0);
    for (const QByteArray &p : {raw + "/bad\xff", raw + "/dir\xfe/in\xfd", rawInfo + "/bad\xff.trashinfo"})
        ::close(::open(p.constData(), O_CREAT | O_WRONLY, 0644));
    // An old description whose item is gone goes too.
    const QString orphan = TrashRoots::homeTrash() + "/info/gone.trashinfo";
    TestUtil::writeFile(orphan, "[Trash Info]\n");
    {
        QFile old(orphan);
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    }
    show(app->left(), root);
    show(app->right(), root);
    const QString a = make("a");
    app->left()->setSelection({a});
    app->right()->setSelection({a});

    // Cancelled once the count is in: nothing happens.
    answers = {AlertRole::cancel};
    app->trash().emptyTrash();
    EXPECT_EQ(alerts.last().informative,
              "5 Objekte werden endgültig gelöscht. Das lässt sich nicht rückgängig machen.");
    EXPECT_EQ(alerts.last().disabled, AlertRole::closed);
    EXPECT_TRUE(exists(files + "/one"));

    answers = {AlertRole::destructive};
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "Papierkorb geleert: 5 Objekte gelöscht.", 5000);
    EXPECT_EQ(trashed(), QStringList{".DS_Store"});
    struct stat st;
    EXPECT_NE(::lstat(raw + "/bad\xff", &st), 0);
    EXPECT_NE(::lstat(rawInfo + "/bad\xff.trashinfo", &st), 0);
    EXPECT_FALSE(exists(TrashRoots::homeTrash() + "/info/one.trashinfo"));
    EXPECT_FALSE(exists(orphan));
    EXPECT_EQ(sounds, 1);
    EXPECT_TRUE(app->left()->selection().isEmpty());
    EXPECT_TRUE(app->right()->selection().isEmpty());
}

TEST_F(TrashCommandTest, AnAnswerBeforeTheCountDeletesNothing) {
    TestUtil::writeFile(FileLoader::mainTrash() + "/one", "1");
    answers = {AlertRole::destructive};
    callOnShown = false;
    app->trash().emptyTrash(); // answered before the count reached the alert: the button was still off
    QTest::qWait(100);
    EXPECT_TRUE(exists(FileLoader::mainTrash() + "/one"));
    EXPECT_TRUE(toasts.isEmpty());
}

TEST_F(TrashCommandTest, DiagnosisHasTwelveLinesAndCanBeCopied) {
    {
        // In the interface language, not in German whatever the language.
        LanguageScope en(AppLanguage::en);
        const QString english = TrashCommands::diagnosisText();
        EXPECT_TRUE(english.startsWith("Trash ")) << english.toStdString();
        EXPECT_TRUE(english.contains("\nProgram: "));
        EXPECT_FALSE(english.contains("Einträge") || english.contains("geschützter") ||
                     english.contains("Programm"));
    }
    LanguageScope de(AppLanguage::de);
    const QString text = TrashCommands::diagnosisText();
    QStringList lines = text.split('\n');
    // Each unused trash folder of a mounted volume adds a line (tests running beside this one mount some).
    lines.removeIf([](const QString &line) { return line.contains(": nicht verwendet, "); });
    ASSERT_EQ(lines.size(), 12);
    EXPECT_TRUE(lines[0].startsWith("Papierkorb "));
    EXPECT_TRUE(lines[1].startsWith("• POSIX readdir: "));
    EXPECT_TRUE(lines[5].isEmpty());
    EXPECT_TRUE(lines[10].isEmpty());
    EXPECT_TRUE(lines[11].startsWith("Programm: "));

    EXPECT_TRUE(TrashCommands::rawListing(root + "/nothing").startsWith("opendir-Fehler: "));
    EXPECT_TRUE(TrashCommands::rawListing(root + "/nothing").endsWith("(errno 2)"));
    for (int i = 0; i < 30; ++i)
        make(QString("dir/n%1").arg(i, 2, 10, QChar('0')));
    const QString listing = TrashCommands::rawListing(root + "/dir");
    EXPECT_TRUE(listing.startsWith("30 Einträge: n00, n01, "));
    EXPECT_TRUE(listing.endsWith(", n24"));

    answers = {AlertRole::cancel};
    app->trash().trashDiagnosis();
    EXPECT_TRUE(clipboard.text.isEmpty());
    answers = {AlertRole::confirm};
    app->trash().trashDiagnosis();
    EXPECT_EQ(clipboard.text, alerts.last().informative);
}

TEST_F(TrashCommandTest, ItemsOnAVolumeWithoutTrashAreDeletedOnlyWhenConfirmed) {
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    LanguageScope de(AppLanguage::de);
    // A file where the volume's trash folder would go: this volume has no Trash.
    ASSERT_TRUE(TestUtil::writeFile(volume.path() + QString("/.Trash-%1").arg(getuid()), "blocked"));
    const QString far1 = volume.path() + "/far1", far2 = volume.path() + "/far2";
    TestUtil::writeFile(far1, "1");
    TestUtil::writeFile(far2, "2");
    const QString near = make("near");
    PaneModel *pane = app->left();

    // Declined, and nothing else was moved.
    pane->setSelection({far1});
    answers = {AlertRole::confirm, AlertRole::cancel};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "Nichts gelöscht.", 5000);
    EXPECT_EQ(alerts.last().message, "„far1“ sofort löschen?");
    EXPECT_TRUE(alerts.last().informative.endsWith("\n\n• far1"));
    EXPECT_TRUE(alerts.last().has(AlertRole::destructive));
    EXPECT_TRUE(exists(far1));
    EXPECT_EQ(sounds, 0);

    // Confirmed: one part for each road, joined, with one full stop.
    pane->setSelection({far1, far2, near});
    answers = {AlertRole::confirm, AlertRole::destructive};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(
        lastToast() == "1 Objekt in den Papierkorb gelegt, 2 Objekte endgültig gelöscht.", 5000);
    EXPECT_EQ(alerts.last().message, "2 Objekte sofort löschen?");
    EXPECT_FALSE(exists(far1));
    EXPECT_FALSE(exists(far2));
    EXPECT_FALSE(exists(near));
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(app->undoJournal().undoTitle(), "1 Objekt in den Papierkorb gelegt");
}

// Root may delete anything but an immutable file: that stands in for items of the system.
TEST_F(TrashCommandTest, RefusedItemsAreOfferedForDeletionWithAdministratorRights) {
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    LanguageScope de(AppLanguage::de);
    const QString files = volume.path() + "/files";
    const QString stuck = files + "/stuck", loose = files + "/loose";
    TestUtil::writeFile(stuck + "/in", "s");
    TestUtil::writeFile(loose, "l");
    // A folder that lets nothing go refuses root too; a locked item would be said locked instead.
    if (QProcess::execute("chattr", {"+a", stuck}) != 0) GTEST_SKIP() << "no append-only folders here";
    app->services().trashFolders = [files] { return QStringList{files}; };
    QStringList adminAsked;
    bool adminWorks = false;
    app->services().desktop.deleteAsAdmin = [&](const QStringList &paths) -> std::optional<QString> {
        adminAsked = paths;
        if (!adminWorks) return std::nullopt; // says nothing, deletes nothing
        QProcess::execute("chattr", {"-a", stuck});
        QDir(stuck).removeRecursively();
        return std::nullopt;
    };

    whileOpen = [this](const Alert &a) {
        if (a.onShown) QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000);
    };
    // Empty, then decline the administrator road: the refused item stays.
    answers = {AlertRole::destructive, AlertRole::cancel};
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(alerts.size() == 2, 5000);
    EXPECT_EQ(alerts.last().message, "Den Rest mit Administratorrechten löschen?");
    EXPECT_TRUE(alerts.last().informative.startsWith("1 Objekt im Papierkorb gehört dem System"));
    EXPECT_TRUE(lastIsError());
    EXPECT_TRUE(lastToast().startsWith("„stuck“"));
    EXPECT_FALSE(exists(loose));
    EXPECT_TRUE(exists(stuck));
    EXPECT_TRUE(adminAsked.isEmpty());
    EXPECT_EQ(sounds, 0);

    // An administrator delete that left the item is no success.
    answers = {AlertRole::destructive, AlertRole::destructive};
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast().endsWith("Noch im Papierkorb: 1 Objekt."), 5000);
    EXPECT_TRUE(lastIsError());
    EXPECT_TRUE(exists(stuck));

    adminWorks = true;
    answers = {AlertRole::destructive, AlertRole::destructive};
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "Papierkorb mit Administratorrechten geleert.", 5000);
    EXPECT_EQ(adminAsked, QStringList{stuck});
    EXPECT_TRUE(std::any_of(toasts.cbegin(), toasts.cend(), [](const Toast &t) {
        return t.text == "Der Rest des Papierkorbs wird mit Administratorrechten gelöscht …";
    }));
    EXPECT_FALSE(exists(stuck));
    EXPECT_EQ(sounds, 1);
}

// Wherever a volume is mounted, what was trashed there shows in the Trash and goes when it is emptied.
// A stick that refuses the no-replace rename still has a Trash; what fails there is named or counted.
TEST_F(TrashCommandTest, OnAStickWithoutRenameFlagsItemsGoToItsTrashAndEveryFailureIsTold) {
    KESTRIN_FAT_OR_SKIP(stick);
    LanguageScope de(AppLanguage::de);
    const QString files = stick.path() + QString("/.Trash-%1/files").arg(getuid());
    const QString a = stick.path() + "/a.txt", b = stick.path() + "/b.txt";
    ASSERT_TRUE(TestUtil::writeFile(a, "a") && TestUtil::writeFile(b, "b"));
    PaneModel *pane = app->left();
    pane->setSelection({a, b});
    answers = {AlertRole::confirm};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "2 Objekte in den Papierkorb gelegt.", 5000);
    EXPECT_FALSE(exists(a) || exists(b));
    EXPECT_EQ(TestUtil::names(files), QStringList({"a.txt", "b.txt"}));

    // Two fail on the pulled stick, one goes from the home volume.
    const QString c = stick.path() + "/c.txt", d = stick.path() + "/d.txt", near = make("near");
    ASSERT_TRUE(TestUtil::writeFile(c, "c") && TestUtil::writeFile(d, "d"));
    ASSERT_TRUE(stick.pull());
    pane->setSelection({c, d, near});
    answers = {AlertRole::confirm};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast().endsWith("1 Objekt in den Papierkorb gelegt."), 5000);
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(lastToast(),
              "„c.txt“: Lese- oder Schreibfehler des Laufwerks. Das Laufwerk ist vielleicht "
              "beschädigt oder wurde getrennt. (und 1 weitere Fehler) 1 Objekt in den Papierkorb "
              "gelegt.");
    EXPECT_TRUE(exists(c) && exists(d));
    EXPECT_FALSE(exists(near));
}

TEST_F(TrashCommandTest, TheTrashOfAVolumeMountedAnywhereIsListedAndEmptied) {
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    LanguageScope de(AppLanguage::de);
    TestUtil::writeFile(volume.path() + "/far.txt", "far");
    const FileOps::TrashResult r = FileOps::trash(FileOps::unlisted({volume.path() + "/far.txt"}));
    ASSERT_EQ(r.moved.size(), 1);
    const QString files = Posix::parentOf(r.moved[0].inTrash);
    EXPECT_TRUE(FileLoader::allTrashFolders().contains(files));
    // Told apart by asking only the folder's own volume.
    EXPECT_TRUE(FileLoader::isTrashFolder(files) && FileLoader::isTrashFolder(FileLoader::mainTrash()));
    EXPECT_FALSE(FileLoader::isTrashFolder(volume.path()) || FileLoader::isTrashFolder(files + "/far.txt"));
    QStringList shown; // the machine's own trash folders may show up too
    for (const FileItem &i : FileLoader::list(FileLoader::mainTrash()).items)
        if (i.path().startsWith(volume.path() + '/')) shown << i.path();
    EXPECT_EQ(shown, QStringList{r.moved[0].inTrash});

    // Only this test's trash folders: the machine's own are not ours to empty.
    app->services().trashFolders = [files] {
        QStringList mine;
        for (const QString &f : FileLoader::allTrashFolders())
            if (f == files || f == FileLoader::mainTrash()) mine << f;
        return mine;
    };
    whileOpen = [this](const Alert &a) {
        if (a.onShown) QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000);
    };
    answers = {AlertRole::destructive};
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(lastToast() == "Papierkorb geleert: 1 Objekt gelöscht.", 5000);
    EXPECT_TRUE(TestUtil::names(files).isEmpty());
    EXPECT_TRUE(TestUtil::names(Posix::parentOf(files) + "/info").isEmpty());
}

TEST_F(TrashCommandTest, EmptyingWhileACopyRunsIsRefusedBeforeAnyQuestion) {
    LanguageScope de(AppLanguage::de);
    TestUtil::writeFile(FileLoader::mainTrash() + "/old", "1");
    const QString copied = make("a.txt");
    const QString into = make("into/");
    app->transfers().transfer({copied}, into, false);
    ASSERT_TRUE(app->jobs().progress()); // the copy holds the runner until its result is back
    answers = {AlertRole::destructive};
    app->trash().emptyTrash();
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    EXPECT_TRUE(lastIsError());
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && exists(into + "/a.txt"), 5000);
    EXPECT_TRUE(exists(FileLoader::mainTrash() + "/old"));
}

TEST_F(TrashCommandTest, ALargeTrashShowsProgressAndACancelKeepsTheRestAndRecordsWhatWent) {
    LanguageScope de(AppLanguage::de);
    app->services().timings.jobPeriodMs = 5;
    app->services().timings.jobQuietMs = 0;
    const QString folder = make("many/");
    constexpr int count = 10'000;
    QSet<QString> paths;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/f%1").arg(i, 5, 10, QLatin1Char('0'));
        ::close(::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY, 0644));
        paths << path;
    }
    show(app->left(), folder);
    app->left()->setSelection(paths);
    // Cancelled at the first published share between nothing and all.
    QList<double> fractions;
    QObject::connect(&app->jobs(), &JobRunner::statusChanged, app.get(), [&] {
        const auto status = app->jobs().status();
        if (!status || !status->fraction) return;
        fractions << *status->fraction;
        if (*status->fraction > 0 && *status->fraction < 1) app->jobs().cancel();
    });
    answers = {AlertRole::confirm};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 60000);

    // A slow machine may publish the start (0) before the first item went; the cancel came at a share.
    ASSERT_FALSE(fractions.isEmpty());
    EXPECT_TRUE(std::any_of(fractions.cbegin(), fractions.cend(), [](double f) { return f > 0 && f < 1; }));
    const qsizetype left = QDir(folder).entryList(QDir::Files).size();
    const qsizetype went = count - left;
    EXPECT_GT(left, 0);
    EXPECT_GT(went, 0);
    EXPECT_EQ(trashed().size(), went);
    EXPECT_EQ(lastToast(),
              QStringLiteral("Abgebrochen. %1 Objekte in den Papierkorb gelegt; der Rest ist unverändert.")
                  .arg(localNumber(went)));
    EXPECT_EQ(app->undoJournal().undoTitle(),
              QStringLiteral("%1 Objekte in den Papierkorb gelegt").arg(localNumber(went)));
}

// On a shared volume anyone may make a .Trash-<uid> or a .Trash/<uid> for us and plant items in it with a
// description of their choosing. Such folders are not listed, nothing is put back from them, the emptying
// leaves them alone, and the diagnosis names each once.
TEST_F(TrashCommandTest, AnotherUsersTrashFoldersAreNeverUsed) {
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a volume and to give folders to another user";
    LanguageScope de(AppLanguage::de);
    const QString v = volume.path();
    const QString uid = QString::number(::getuid());
    const QString own = v + "/.Trash-" + uid, shared = v + "/.Trash/" + uid;
    for (const QString &trash : {own, shared}) {
        TestUtil::writeFile(trash + "/files/authorized_keys", "planted");
        TestUtil::writeFile(trash + "/info/authorized_keys.trashinfo",
                            "[Trash Info]\nPath=secure/authorized_keys\nDeletionDate=2024-01-01T10:00:00\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(v + "/.Trash").constData(), 01777), 0); // a proper shared .Trash
    // Made by a user id nobody has: no system user is added for the test.
    ASSERT_EQ(QProcess::execute("chown", {"-R", "54321:54321", own, shared}), 0);
    const QString secure = v + "/secure";
    ASSERT_TRUE(QDir().mkpath(secure));
    ::chmod(QFile::encodeName(secure).constData(), 0700);

    EXPECT_TRUE(TrashRoots::volumeTrashes(v).isEmpty());
    EXPECT_FALSE(TrashRoots::all().contains(own) || TrashRoots::all().contains(shared));
    for (const QString &folder : FileLoader::allTrashFolders()) // what the emptying deletes from
        EXPECT_FALSE(folder.startsWith(v + '/')) << folder.toStdString();
    for (const FileItem &item : FileLoader::list(FileLoader::mainTrash()).items)
        EXPECT_FALSE(item.path().startsWith(v + '/')) << item.path().toStdString();
    for (const QString &trash : {own, shared})
        EXPECT_FALSE(FileLoader::isInTrash(trash + "/files/authorized_keys"));

    app->fileActions().putBack({own + "/files/authorized_keys", shared + "/files/authorized_keys"});
    QTRY_COMPARE_WITH_TIMEOUT(lastToast(), QString("Zum Zurücklegen Objekte im Papierkorb markieren."), 5000);
    EXPECT_TRUE(TestUtil::names(secure).isEmpty());

    const QString text = TrashCommands::diagnosisText();
    const QString foreign = ": nicht verwendet, gehört einem anderen Benutzer (uid 54321)";
    EXPECT_EQ(text.count(own + foreign), 1) << text.toStdString();
    EXPECT_EQ(text.count(shared + foreign), 1) << text.toStdString();

    // Ours, the same folders are trash folders.
    ASSERT_EQ(QProcess::execute("chown", {"-R", uid, own, shared}), 0);
    EXPECT_EQ(TrashRoots::volumeTrashes(v), QStringList({shared, own}));
    EXPECT_TRUE(FileLoader::isInTrash(own + "/files/authorized_keys"));
}

// Every question before a permanent delete acts on its red button alone: closed without a click,
// cancelled, or never shown because the core has no window, it deletes nothing.
TEST_F(TrashCommandTest, OnlyTheRedButtonOfEachDeleteQuestionDeletes) {
    LanguageScope de(AppLanguage::de);
    const QString kept = FileLoader::mainTrash() + "/kept";
    ASSERT_TRUE(TestUtil::writeFile(kept, "k"));
    TestUtil::TmpfsMount volume; // a volume without a Trash, when one can be mounted
    QString far;
    if (volume.valid()) {
        TestUtil::writeFile(volume.path() + QString("/.Trash-%1").arg(getuid()), "blocked");
        far = volume.path() + "/far";
        TestUtil::writeFile(far, "f");
    }
    const struct {
        const char *question;
        std::function<void(AppState &)> ask;
        const QString &item;
        std::deque<AlertAnswer> before; // the answers to the questions on the way
    } questions[] = {
        {"„kept“ endgültig löschen?",
         [&](AppState &a) {
             show(a.left(), FileLoader::mainTrash());
             a.left()->setSelection({kept});
             a.trash().trashSelection();
         },
         kept,
         {}},
        {"Papierkorb leeren?", [](AppState &a) { a.trash().emptyTrash(); }, kept, {}},
        {"„far“ sofort löschen?",
         [&](AppState &a) {
             show(a.left(), volume.path());
             a.left()->setSelection({far});
             a.trash().trashSelection();
         },
         far,
         {AlertRole::confirm}},
    };
    for (const auto &q : questions) {
        if (q.item.isEmpty()) continue; // no second volume here
        SCOPED_TRACE(q.question);
        for (const AlertRole role : {AlertRole::closed, AlertRole::cancel}) {
            answers = q.before;
            answers.push_back(role);
            const qsizetype asked = alerts.size();
            q.ask(*app);
            QTRY_VERIFY_WITH_TIMEOUT(alerts.size() > asked && alerts.last().message == q.question, 5000);
            QTest::qWait(100);
            EXPECT_TRUE(exists(q.item));
        }
        // A core without a window: every question counts as closed.
        Services bare;
        bare.trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
        AppState windowless(bare);
        q.ask(windowless);
        QTest::qWait(100);
        EXPECT_TRUE(exists(q.item));
        EXPECT_FALSE(windowless.jobs().busy());
    }
    // The red button does delete.
    answers = {AlertRole::destructive};
    whileOpen = [this](const Alert &a) {
        if (a.onShown) QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000);
    };
    app->trash().emptyTrash();
    QTRY_VERIFY_WITH_TIMEOUT(!exists(kept), 5000);
}

namespace {

// Waits in the open of the fifo for a writer, as a lookup on a mount that never answers would.
void stickOn(const QString &fifo, std::atomic<bool> &freed) {
    QFile stuck(fifo);
    stuck.open(QIODevice::ReadOnly);
    freed = true;
}

// Opens the fifo for writing until the stuck reader has gone on.
bool letReaderGo(const QString &fifo, const std::atomic<bool> &freed) {
    QElapsedTimer timer;
    timer.start();
    while (!freed && timer.elapsed() < 5000) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        QThread::msleep(5);
    }
    return freed;
}

// Other programs mount and unmount meanwhile (the suite's stick tests among them); each would start a
// lookup of its own and put the counts off.
void deaf(TrashLookup &lookup) {
    delete lookup.findChild<MountWatch *>();
}

} // namespace

// A lookup stuck on a mount that never answers holds back the next one only for the bound; the window
// meanwhile keeps the last answer.
TEST(TrashLookupTest, AStuckLookupHoldsBackTheNextOnlyForItsBound) {
    QTemporaryDir dir;
    const QString fifo = dir.path() + "/stuck", folder = dir.path() + "/files";
    ASSERT_TRUE(StuckReader::makeFifo(fifo));
    TestUtil::writeFile(folder + "/t.txt", "t");
    const auto calls = std::make_shared<std::atomic<int>>(0);
    const auto freed = std::make_shared<std::atomic<bool>>(false);
    Services services;
    services.trashFolders = [fifo, folder, calls, freed] {
        if (++*calls == 1) stickOn(fifo, *freed);
        return QStringList{folder};
    };
    {
        TrashLookup lookup(services);
        deaf(lookup);
        lookup.setBoundForTests(100);
        lookup.refresh();
        lookup.refresh(); // within the bound: after the first
        QTest::qWait(200);
        EXPECT_EQ(*calls, 1);
        EXPECT_FALSE(lookup.anyFull());
        lookup.refresh(); // past it: the first is taken as stuck
        QTRY_VERIFY_WITH_TIMEOUT(lookup.anyFull(), 5000);
        EXPECT_EQ(lookup.folders(), QStringList{folder});
    }
    EXPECT_TRUE(letReaderGo(fifo, *freed));
}

// A stuck lookup that answers after a newer one was taken brings back nothing of what it saw then.
TEST(TrashLookupTest, ALateAnswerIsDropped) {
    QTemporaryDir dir;
    const QString fifo = dir.path() + "/stuck", gone = dir.path() + "/gone", folder = dir.path() + "/files";
    ASSERT_TRUE(StuckReader::makeFifo(fifo));
    TestUtil::writeFile(folder + "/t.txt", "t");
    const auto freed = std::make_shared<std::atomic<bool>>(false);
    Services services;
    services.trashFolders = [fifo, gone, folder, freed, first = std::make_shared<bool>(true)] {
        if (!std::exchange(*first, false)) return QStringList{folder};
        stickOn(fifo, *freed);
        return QStringList{gone}; // a mount of then
    };
    TrashLookup lookup(services);
    deaf(lookup);
    lookup.setBoundForTests(50);
    lookup.refresh();
    QTest::qWait(100);
    lookup.refresh();
    QTRY_VERIFY_WITH_TIMEOUT(lookup.folders() == QStringList{folder}, 5000);
    QSignalSpy changed(&lookup, &TrashLookup::changed);
    ASSERT_TRUE(letReaderGo(fifo, *freed));
    QTest::qWait(200); // its answer comes queued
    EXPECT_EQ(lookup.folders(), QStringList{folder});
    EXPECT_TRUE(changed.isEmpty());
}

// A volume's Trash that another account can reach: the folder of a group-writable top, or the user's
// folder in a shared .Trash that the top's owner made (one that anybody else made is no Trash). Swapped
// for a link to a private folder while the question is up, it is emptied where it was listed.
TEST_F(TrashCommandTest, EmptyingDeletesOnlyInTheFoldersItListed) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a volume and a second account";
    LanguageScope de(AppLanguage::de);
    const QString uid = QString::number(::getuid());
    const auto owned = [](const QString &p, uid_t owner, mode_t mode) {
        ASSERT_EQ(::chown(QFile::encodeName(p).constData(), owner, owner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), mode), 0);
    };
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "shared" : "own");
        TestUtil::TmpfsMount vol("4m");
        ASSERT_TRUE(vol.valid());
        const QString trash = vol.path() + (shared ? "/.Trash/" + uid : "/.Trash-" + uid);
        TestUtil::writeFile(trash + "/files/a", "trashed");
        TestUtil::writeFile(trash + "/info/a.trashinfo", "[Trash Info]\nPath=a\n");
        owned(trash, ::getuid(), 0700);
        if (shared) {
            owned(vol.path() + "/.Trash", TestUtil::otherAccount, 01777);
            EXPECT_FALSE(TrashRoots::volumeTrashes(vol.path()).contains(trash));
            owned(vol.path(), TestUtil::otherAccount, 0755);
        } else {
            owned(vol.path(), ::getuid(), 0777);
        }
        ASSERT_TRUE(TrashRoots::volumeTrashes(vol.path()).contains(trash));
        app->services().trashFolders = [trash] { return QStringList{trash + "/files"}; };
        TestUtil::PrivateFolder priv({"files/a", "info/a.trashinfo"});
        const auto before = priv.state();
        whileOpen = [&](const Alert &a) {
            if (!a.onShown) return;
            QTRY_VERIFY_WITH_TIMEOUT(updates >= 1, 5000);
            ASSERT_TRUE(TestUtil::swapForLink(trash, priv.path()));
        };
        answers = {AlertRole::destructive};
        app->trash().emptyTrash();
        QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty(), 5000);
        EXPECT_EQ(lastToast(), "Papierkorb geleert: 1 Objekt gelöscht.");
        EXPECT_EQ(priv.state(), before);
        EXPECT_FALSE(exists(trash + ".away/files/a"));
        EXPECT_FALSE(exists(trash + ".away/info/a.trashinfo"));
        toasts.clear();
        whileOpen = {};
    }
}

// Deleted for good from a Trash whose folder another account swapped for a link while the question was
// up: what the link leads to stays, its .trashinfo too.
TEST_F(TrashCommandTest, DeletingForGoodActsOnlyInTheTrashItself) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    LanguageScope de(AppLanguage::de);
    const QString trash = TrashRoots::homeTrash();
    TestUtil::writeFile(trash + "/files/a", "trashed");
    TestUtil::writeFile(trash + "/info/a.trashinfo", "[Trash Info]\nPath=/a\n");
    TestUtil::PrivateFolder priv({"files/a", "info/a.trashinfo"});
    const auto before = priv.state();
    PaneModel *pane = app->left();
    show(pane, FileLoader::mainTrash());
    pane->setSelection({FileLoader::mainTrash() + "/a"});
    whileOpen = [&, done = false](const Alert &) mutable {
        if (!std::exchange(done, true)) {
            ASSERT_TRUE(TestUtil::swapForLink(trash, priv.path()));
        }
    };
    answers = {AlertRole::destructive};
    app->trash().trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(!toasts.isEmpty(), 5000);
    EXPECT_TRUE(toasts.last().isError) << lastToast().toStdString();
    EXPECT_EQ(priv.state(), before);
    EXPECT_TRUE(exists(trash + ".away/files/a"));
    whileOpen = {};
    ASSERT_TRUE(QFile::remove(trash));
    ASSERT_TRUE(QDir().rename(trash + ".away", trash));
}

// A name taken in the Trash is said of the Trash, as its view names it, never of its internal folder; an
// entry's record taken by a leftover too.
TEST_F(TrashCommandTest, ANameTakenInTheTrashIsSaidOfTheTrash) {
    LanguageScope de(AppLanguage::de);
    PaneModel *pane = app->left();
    const QString a = make("a.txt"), b = make("b.txt");
    ASSERT_EQ(FileOps::trash(FileOps::unlisted({a, b})).done, 2);
    TestUtil::writeFile(TrashRoots::homeTrash() + "/info/c.txt.trashinfo", "[Trash Info]\nPath=/x/c.txt\n");
    show(pane, FileLoader::mainTrash());
    for (const QString name : {"a.txt", "c.txt"}) {
        pane->setSelection({FileLoader::mainTrash() + "/b.txt"});
        textAnswers = {name};
        app->renames().renameSelection();
        EXPECT_EQ(lastToast(), "„" + name + "“ gibt es schon im Papierkorb.");
    }
    EXPECT_EQ(trashed(), (QStringList{"a.txt", "b.txt"}));
}
