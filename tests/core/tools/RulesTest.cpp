// Cleanup rules: the stored record, matching and the run.
#include "common/HeldJob.h"
#include "common/TestChild.h"
#include "common/SwappedFolder.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"
#include "core/localisation/Lang.h"
#include "core/tools/RulesEngine.h"
#include "platform/TrashRoots.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

using TestUtil::exists;
using TestUtil::writeFile;

namespace {

// "Now" for the fake clock, fixed at start; files are dated relative to it.
const qint64 now0 = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
const RulesEngine::Clock fixedClock = [] { return now0; };
// Nobody writes: runs with the fake clock don't ask the file system.
const RulesEngine::WriterProbe noWriter = [](const RulesEngine::Match &) {
    return RulesEngine::Writer::none;
};

// Sets a file's modification time to ms since the epoch.
void setMtime(const QString &path, qint64 ms) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = ms / 1000;
    times[0].tv_nsec = times[1].tv_nsec = (ms % 1000) * 1000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.toUtf8().constData(), times, AT_SYMLINK_NOFOLLOW), 0)
        << qPrintable(path);
}

QString oldFile(const QString &path, qint64 ageMs = 86400000) {
    EXPECT_TRUE(writeFile(path, "x"));
    setMtime(path, now0 - ageMs);
    return path;
}

CleanRule rule(const QString &folder, const QString &contains, const QString &exts,
               const QString &dest = {}) {
    CleanRule r;
    r.folder = folder;
    r.nameContains = contains;
    r.extensions = exts;
    r.destination = dest;
    if (dest.isEmpty()) r.action = QStringLiteral("trash");
    return r;
}

QStringList namesOf(const QStringList &paths) {
    QStringList out;
    for (const QString &p : paths)
        out << p.section(u'/', -1);
    return out;
}

class RulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        QDir(TrashRoots::homeTrash()).removeRecursively(); // what earlier tests trashed
        ASSERT_TRUE(tmp.isValid());
        folder = tmp.path() + QStringLiteral("/in");
        QDir().mkpath(folder);
    }
    // Short job timings, so the tests don't wait for real seconds.
    static Services quick(int rulesMs = Services::Timings{}.rulesMs) {
        Services services;
        services.timings.jobPeriodMs = 20;
        services.timings.jobQuietMs = 50;
        services.timings.rulesMs = rulesMs;
        return services;
    }
    QTemporaryDir tmp;
    QString folder;
};

// Runs a rule moving the logs of args[0] to args[1] and dies once a copy is in place.
TEST_CHILD(ruleKilledOnceACopyIsPlaced) {
    FileSteps::setStepHook([](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::placed) ::raise(SIGKILL);
    });
    TransferProgress progress;
    RulesEngine::run({rule(args.value(0), {}, QStringLiteral("log"), args.value(1))}, progress, fixedClock,
                     noWriter);
    return 0;
}

} // namespace

TEST_F(RulesTest, RecordRoundTripsAndDecodesStrictly) {
    CleanRule a = rule(QStringLiteral("/a"), QStringLiteral("x"), {}, QStringLiteral("/b"));
    a.olderThanDays = 12;
    a.enabled = false;
    CleanRule b = rule(QStringLiteral("/c"), {}, QStringLiteral("png"));
    const QByteArray data = RulesEngine::encode({a, b});
    EXPECT_FALSE(data.contains('\n'));
    EXPECT_TRUE(data.contains(a.id.toString(QUuid::WithoutBraces).toUpper().toUtf8()));
    ASSERT_TRUE(RulesEngine::decode(data));
    EXPECT_EQ(*RulesEngine::decode(data), (QList<CleanRule>{a, b}));

    auto broken = [&](auto change) {
        QJsonArray array = QJsonDocument::fromJson(data).array();
        QJsonObject o = array[1].toObject();
        change(o);
        array[1] = o;
        return RulesEngine::decode(QJsonDocument(array).toJson());
    };
    EXPECT_FALSE(broken([](QJsonObject &o) { o.remove("destination"); })) << "one rule lacking a key";
    EXPECT_FALSE(broken([](QJsonObject &o) { o["enabled"] = 1; }));
    EXPECT_FALSE(broken([](QJsonObject &o) { o["olderThanDays"] = 1.5; }));
    EXPECT_FALSE(broken([](QJsonObject &o) { o["olderThanDays"] = 1e300; }));
    EXPECT_FALSE(broken([](QJsonObject &o) { o["id"] = "{" + o["id"].toString() + "}"; }));
    EXPECT_TRUE(broken([](QJsonObject &o) { o["extra"] = 1; })) << "other keys are ignored";
    EXPECT_FALSE(RulesEngine::decode("[{\"id\":"));
    EXPECT_FALSE(RulesEngine::decode("{}"));

    // Canonically equivalent texts are equal.
    CleanRule c = a;
    c.name = QStringLiteral("Cafe\u0301");
    CleanRule d = a;
    d.name = QStringLiteral("Caf\u00e9");
    EXPECT_EQ(c, d);
}

TEST_F(RulesTest, AnUnreadableStoreIsKeptAsideBeforeTheFirstSave) {
    const QByteArray garbage = "[{\"id\": \"not a rule\"}]";
    Defaults::setValue(RulesEngine::storeKey, garbage);
    AppState app(quick());
    EXPECT_TRUE(app.cleanupRules().rules().isEmpty());
    ASSERT_TRUE(app.toast());
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_FALSE(Defaults::contains(RulesEngine::setAsideKey)) << "starting writes nothing";
    app.cleanupRules().setRules({rule(folder, QStringLiteral("a"), {})});
    EXPECT_EQ(Defaults::value(RulesEngine::setAsideKey).toByteArray(), garbage);
    EXPECT_EQ(RulesEngine::load().size(), 1);
    // Only the first save sets aside: a later one keeps what was set aside.
    app.cleanupRules().setRules({});
    EXPECT_EQ(Defaults::value(RulesEngine::setAsideKey).toByteArray(), garbage);
}

TEST_F(RulesTest, ConditionsValidityAndSummary) {
    TestUtil::LanguageScope de(AppLanguage::de);
    CleanRule r = rule(QStringLiteral("/x/Desktop"), {}, QStringLiteral(" .PNG; jpg,, .tar.gz "));
    EXPECT_EQ(r.extensionList(), (QStringList{"png", "jpg", "tar.gz"}));
    r.extensions = QStringLiteral(",");
    EXPECT_TRUE(r.extensionList().isEmpty());
    r.extensions = QStringLiteral(" . ");
    EXPECT_TRUE(r.extensionList().isEmpty());
    EXPECT_FALSE(r.hasCondition());
    EXPECT_FALSE(r.isValid());

    r.nameContains = QStringLiteral("  ");
    EXPECT_FALSE(r.hasCondition());
    EXPECT_EQ(r.summary(), QStringLiteral("Desktop: Name enthält „  “ → Papierkorb"));
    r.nameContains.clear();
    r.olderThanDays = -3;
    EXPECT_FALSE(r.hasCondition());
    EXPECT_EQ(r.summary(), QStringLiteral("Desktop: keine Bedingung → Papierkorb"));

    CleanRule m = rule(QStringLiteral("/x/Desktop"), QStringLiteral("Bildschirmfoto"), QStringLiteral("png"),
                       QStringLiteral("/x/Bildschirmfotos"));
    EXPECT_EQ(m.summary(),
              QStringLiteral("Desktop: Name enthält „Bildschirmfoto“ und Endung png → Bildschirmfotos"));
    EXPECT_TRUE(m.isValid());
    m.destination = QStringLiteral("/x/Desktop/");
    EXPECT_FALSE(m.isValid()) << "the same folder once normalised";
    m.action = QStringLiteral("trash");
    m.destination.clear();
    EXPECT_TRUE(m.isValid());
    m.folder.clear();
    EXPECT_FALSE(m.isValid());
}

TEST_F(RulesTest, MatchingByNameExtensionAndAge) {
    oldFile(folder + "/Bildschirmfoto 1.png");
    oldFile(folder + "/a.tar.gz");
    oldFile(folder + "/.foto.png");
    QDir().mkpath(folder + "/foto dir.png");
    ASSERT_EQ(::symlink("Bildschirmfoto 1.png", (folder + "/foto link.png").toUtf8().constData()), 0);
    oldFile(folder + "/foto fresh.png", 2000);
    oldFile(folder + "/foto future.png", -100000);
    oldFile(folder + "/foto five.png", 5000);

    EXPECT_EQ(namesOf(RulesEngine::matches(rule(folder, QStringLiteral(" Foto "), {}), fixedClock)),
              (QStringList{"Bildschirmfoto 1.png", "foto five.png"}));
    EXPECT_EQ(namesOf(RulesEngine::matches(rule(folder, {}, QStringLiteral("gz")), fixedClock)),
              QStringList{"a.tar.gz"});
    EXPECT_TRUE(RulesEngine::matches(rule(folder, {}, QStringLiteral("tar.gz")), fixedClock).isEmpty());

    // The cutoff itself matches; a second later does not; a day count beyond reach matches nothing.
    const QString sub = tmp.path() + "/age";
    QDir().mkpath(sub);
    oldFile(sub + "/exact", 3 * 86400000LL);
    oldFile(sub + "/later", 3 * 86400000LL - 1000);
    CleanRule age = rule(sub, {}, {});
    age.olderThanDays = 3;
    EXPECT_EQ(namesOf(RulesEngine::matches(age, fixedClock)), QStringList{"exact"});
    age.olderThanDays = std::numeric_limits<qint64>::max();
    EXPECT_TRUE(RulesEngine::matches(age, fixedClock).isEmpty());
    age.olderThanDays = 106751991167300LL; // just below overflow of the ms span
    EXPECT_TRUE(RulesEngine::matches(age, fixedClock).isEmpty());
}

TEST_F(RulesTest, NamesMatchInCanonicalFormAndUndecodableNamesAreLeftAlone) {
    const QString decomposed = folder + QStringLiteral("/Cafe\u0301 menu.txt");
    oldFile(decomposed);
    const QByteArray badPath = folder.toUtf8() + "/caf\xc3\xa9\xff.txt";
    const int fd = ::open(badPath.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct timespec old[2] = {{(now0 - 86400000) / 1000, 0}, {(now0 - 86400000) / 1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, badPath.constData(), old, 0), 0);

    const QStringList found = RulesEngine::matches(rule(folder, QStringLiteral("Caf\u00e9"), {}), fixedClock);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first(), decomposed) << "acted on under its own spelling";

    TransferProgress progress;
    CleanRule trashAll = rule(folder, {}, QStringLiteral("txt"));
    const auto result = RulesEngine::run({trashAll}, progress);
    EXPECT_EQ(result.trashed.size(), 1);
    EXPECT_EQ(::access(badPath.constData(), F_OK), 0) << "a name that is not valid UTF-8 stays";
}

TEST_F(RulesTest, ADestinationThatIsTheFolderItselfIsSkipped) {
    oldFile(folder + "/a.png");
    const QString link = tmp.path() + "/same";
    ASSERT_EQ(::symlink(folder.toUtf8().constData(), link.toUtf8().constData()), 0);
    CleanRule r = rule(folder, {}, QStringLiteral("png"), link);
    EXPECT_TRUE(r.isValid()) << "spelled differently";
    EXPECT_TRUE(RulesEngine::matches(r, fixedClock).isEmpty());
    TransferProgress progress;
    const auto result = RulesEngine::run({r}, progress);
    EXPECT_TRUE(result.moved.isEmpty());
    EXPECT_TRUE(exists(folder + "/a.png"));
}

TEST_F(RulesTest, ADestinationUnderAMissingParentIsReportedNotBuilt) {
    oldFile(folder + "/a.png");
    oldFile(folder + "/b.png");
    const QString share = tmp.path() + "/mnt/share";
    CleanRule r = rule(folder, {}, QStringLiteral("png"), share + "/Pictures");
    TransferProgress progress;
    auto result = RulesEngine::run({r}, progress);
    ASSERT_EQ(result.errors.size(), 1);
    EXPECT_TRUE(result.errors.first().contains(share + "/Pictures"));
    EXPECT_FALSE(exists(tmp.path() + "/mnt"));
    EXPECT_TRUE(exists(folder + "/a.png"));

    // An existing parent: the destination folder itself is made.
    QDir().mkpath(share);
    result = RulesEngine::run({r}, progress);
    EXPECT_TRUE(result.errors.isEmpty());
    EXPECT_EQ(result.moved.size(), 2);
    EXPECT_TRUE(exists(share + "/Pictures/a.png"));
}

TEST_F(RulesTest, TheTargetFolderMadeIsTheOneMovedInto) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    oldFile(folder + "/a.png");
    const QString shared = tmp.path() + "/shared";
    QDir().mkpath(shared);
    const TestUtil::PrivateFolder priv;
    QDir().mkpath(priv.path("Pictures"));
    const auto before = priv.state();
    // Swapped once the target folder is made, before the move.
    const RulesEngine::WriterProbe swapping = [&](const RulesEngine::Match &) {
        EXPECT_TRUE(exists(shared + "/Pictures"));
        EXPECT_TRUE(TestUtil::swapForLink(shared, priv.path()));
        return RulesEngine::Writer::none;
    };
    TransferProgress progress;
    const auto result = RulesEngine::run({rule(folder, {}, QStringLiteral("png"), shared + "/Pictures")},
                                         progress, fixedClock, swapping);
    EXPECT_TRUE(result.moved.isEmpty());
    ASSERT_EQ(result.errors.size(), 1);
    EXPECT_TRUE(result.errors.first().contains(FileSteps::HeldFolder::refusalText(shared + "/Pictures")))
        << result.errors.first().toStdString();
    EXPECT_EQ(priv.state(), before);
    EXPECT_TRUE(exists(folder + "/a.png"));
}

TEST_F(RulesTest, AFileChangedSinceItWasMatchedIsNotTheSameFile) {
    const QString path = oldFile(folder + "/a.png");
    const auto found = RulesEngine::matchEntries(rule(folder, {}, QStringLiteral("png")));
    ASSERT_EQ(found.size(), 1);
    EXPECT_TRUE(RulesEngine::unchanged(found.first()));
    writeFile(path, "changed");
    setMtime(path, now0 - 86400000);
    EXPECT_FALSE(RulesEngine::unchanged(found.first())) << "size differs";
    QFile::remove(path);
    oldFile(path);
    const auto again = RulesEngine::matchEntries(rule(folder, {}, QStringLiteral("png")));
    ASSERT_EQ(again.size(), 1);
    // Made while the old one still exists, so it cannot get the old inode number.
    ASSERT_TRUE(writeFile(path + ".tmp", "x"));
    setMtime(path + ".tmp", now0 - 86400000);
    ASSERT_EQ(::rename((path + ".tmp").toUtf8().constData(), path.toUtf8().constData()), 0);
    EXPECT_FALSE(RulesEngine::unchanged(again.first())) << "another file under the same name";
}

TEST_F(RulesTest, ARunMovesAndTrashesWithOneUndoEntry) {
    const QString dest = tmp.path() + "/dest";
    oldFile(folder + "/shot 1.png");
    oldFile(folder + "/shot 2.png");
    oldFile(folder + "/old.log");
    oldFile(folder + "/keep.txt");
    AppState app(quick());
    CleanRule move = rule(folder, QStringLiteral("shot"), {}, dest);
    CleanRule trash = rule(folder, {}, QStringLiteral("log"));
    CleanRule off = rule(folder, {}, QStringLiteral("txt"));
    off.enabled = false;
    app.cleanupRules().setRules({move, trash, off});
    // One flush of the volume moved onto for the whole run, not one for each file.
    std::atomic<int> flushes{0};
    FileSteps::setStepHook([&](FileSteps::Step s, const QString &) {
        if (s == FileSteps::Step::volumeFlush) ++flushes;
    });
    app.runRules(false);
    QTRY_VERIFY(!app.jobs().busy());
    FileSteps::setStepHook({});
    EXPECT_EQ(flushes, 1);
    EXPECT_TRUE(exists(dest + "/shot 1.png"));
    EXPECT_TRUE(exists(dest + "/shot 2.png"));
    EXPECT_FALSE(exists(folder + "/old.log"));
    EXPECT_TRUE(exists(folder + "/keep.txt"));
    const QString trashFiles = QDir::homePath() + "/.local/share/Trash";
    EXPECT_TRUE(exists(trashFiles + "/files/old.log"));
    EXPECT_TRUE(exists(trashFiles + "/info/old.log.trashinfo"));
    ASSERT_EQ(app.undoJournal().entries().size(), 1);
    ASSERT_TRUE(app.toast());
    EXPECT_FALSE(app.toast()->isError);

    app.fileActions().undoLast();
    QTRY_VERIFY(!app.jobs().busy());
    EXPECT_TRUE(exists(folder + "/shot 1.png"));
    EXPECT_TRUE(exists(folder + "/shot 2.png"));
    EXPECT_TRUE(exists(folder + "/old.log"));
    EXPECT_FALSE(exists(trashFiles + "/info/old.log.trashinfo"));
}

TEST_F(RulesTest, SilentRunsAndTheMinuteLoop) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString dest = tmp.path() + "/dest";
    QDir().mkpath(dest);
    AppState app(quick(60));
    app.cleanupRules().setRules({rule(folder, {}, QStringLiteral("png"), dest)});
    // A silent run that finds nothing says nothing; the user's run says so.
    app.runRules(true);
    QTRY_VERIFY(!app.jobs().busy());
    EXPECT_FALSE(app.toast());
    app.runRules(false);
    QTRY_VERIFY(app.toast().has_value());

    // While another job runs a silent run does nothing at all.
    app.toasts().setToast(std::nullopt);
    HeldJob busy;
    auto other = busy.begin(app.jobs(), QStringLiteral("x"));
    ASSERT_TRUE(other);
    oldFile(folder + "/a.png", 60000);
    app.runRules(true);
    EXPECT_FALSE(app.toast());
    busy.end();

    EXPECT_FALSE(app.rulesTimerActive());
    app.settings().setRulesAuto(true);
    EXPECT_TRUE(app.rulesTimerActive());
    QTRY_VERIFY(exists(dest + "/a.png"));
    QTRY_VERIFY(app.toast() && app.toast()->text.startsWith(QStringLiteral("Aufgeräumt")));
    app.settings().setRulesAuto(false);
    EXPECT_FALSE(app.rulesTimerActive());
    // A tick that came before the switch may still be running; only no new one may start.
    QTRY_VERIFY(!app.jobs().busy());
    oldFile(folder + "/b.png", 60000);
    QTest::qWait(200);
    EXPECT_TRUE(exists(folder + "/b.png")) << "the loop stops at once";
}

TEST_F(RulesTest, AgedLinksAndFifosAreNeverActedOn) {
    const QString target = oldFile(tmp.path() + "/target.png");
    const QString link = folder + "/link.png", fifo = folder + "/pipe.png";
    ASSERT_EQ(::symlink(target.toUtf8().constData(), link.toUtf8().constData()), 0);
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
    // Old enough to pass every other condition: only their type keeps them out.
    setMtime(link, now0 - 86400000);
    setMtime(fifo, now0 - 86400000);
    const CleanRule r = rule(folder, {}, QStringLiteral("png"));
    EXPECT_TRUE(RulesEngine::matches(r, fixedClock).isEmpty());
    TransferProgress progress;
    const auto result = RulesEngine::run({r}, progress, fixedClock);
    EXPECT_TRUE(result.trashed.isEmpty());
    EXPECT_TRUE(result.errors.isEmpty());
    struct stat st {};
    EXPECT_EQ(::lstat(link.toUtf8().constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(::lstat(fifo.toUtf8().constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(exists(target));
}

TEST_F(RulesTest, RulesInATrashAreRefusedWhenSavedAndWhenRun) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString trash = TrashRoots::homeTrash();
    QDir().mkpath(trash + "/files/sub");
    QDir().mkpath(trash + "/info");
    const QString link = tmp.path() + "/to-trash";
    ASSERT_EQ(::symlink((trash + "/files").toUtf8().constData(), link.toUtf8().constData()), 0);
    for (const QString &p : {trash, trash + "/files", trash + "/files/sub", trash + "/info", link + "/sub"})
        EXPECT_TRUE(RulesEngine::inTrashFolder(p)) << qPrintable(p);
    EXPECT_FALSE(RulesEngine::inTrashFolder(folder));
    EXPECT_FALSE(RulesEngine::inTrashFolder(tmp.path() + "/.Trash-1"))
        << "a folder of that name that is not at the top of a volume";

    // Saving: a folder or destination set into a Trash keeps its former value.
    AppState app(quick());
    const QString dest = tmp.path() + "/dest";
    CleanRule r = rule(folder, {}, QStringLiteral("log"), dest);
    app.cleanupRules().setRules({r});
    CleanRule changed = r;
    changed.folder = link;
    app.cleanupRules().setRules({changed});
    EXPECT_EQ(app.cleanupRules().rules().first().folder, folder);
    changed = r;
    changed.destination = trash + "/files";
    app.cleanupRules().setRules({changed});
    EXPECT_EQ(app.cleanupRules().rules().first().destination, dest);
    CleanRule fresh = rule(trash + "/files", {}, QStringLiteral("log"));
    app.cleanupRules().setRules({r, fresh});
    EXPECT_TRUE(app.cleanupRules().rules()[1].folder.isEmpty()) << "a new rule gets no folder";
    EXPECT_FALSE(RulesEngine::refusalFor(link).isEmpty());

    // Running: a rule stored before (or written around the editor) does nothing there and says so.
    const QString inTrash = oldFile(trash + "/files/old.log");
    ASSERT_TRUE(
        writeFile(trash + "/info/old.log.trashinfo", "[Trash Info]\nPath=" + (folder + "/old.log").toUtf8() +
                                                         "\nDeletionDate=2024-01-01T00:00:00\n"));
    oldFile(folder + "/a.log");
    TransferProgress progress;
    CleanRule into = r;
    into.destination = trash + "/files/sub";
    const auto result = RulesEngine::run({fresh, into}, progress, fixedClock, noWriter);
    ASSERT_EQ(result.errors.size(), 2);
    EXPECT_TRUE(result.errors[0].contains(trash + "/files"));
    EXPECT_TRUE(exists(inTrash));
    EXPECT_TRUE(exists(folder + "/a.log"));
    EXPECT_TRUE(result.trashed.isEmpty() && result.moved.isEmpty());

    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a volume and a bind mount";
    // Another user's trash at the top of a volume, which we would never use ourselves.
    TestUtil::TmpfsMount vol("1m");
    ASSERT_TRUE(vol.valid());
    QDir().mkpath(vol.path() + "/.Trash-4242/files");
    EXPECT_TRUE(RulesEngine::inTrashFolder(vol.path() + "/.Trash-4242/files"));
    QDir().mkpath(vol.path() + "/.Trash/4242");
    EXPECT_TRUE(RulesEngine::inTrashFolder(vol.path() + "/.Trash/4242"));
    // The Trash shown somewhere else by a bind mount is still the Trash.
    const QString bound = tmp.path() + "/bound";
    QDir().mkpath(bound);
    ASSERT_EQ(QProcess::execute("mount", {"--bind", trash + "/files", bound}), 0);
    EXPECT_TRUE(RulesEngine::inTrashFolder(bound + "/sub"));
    QProcess::execute("umount", {"-l", bound});
}

TEST_F(RulesTest, ATrashRuleWhereNoTrashCanBeUsedReportsWhatItLeft) {
    TestUtil::LanguageScope de(AppLanguage::de);
    EXPECT_TRUE(RulesEngine::trashUsable(folder));
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount vol("1m");
    ASSERT_TRUE(vol.valid());
    ASSERT_TRUE(writeFile(vol.path() + QStringLiteral("/.Trash-%1").arg(::getuid()), "not a folder"));
    const QString in = vol.path() + "/in";
    QDir().mkpath(in);
    oldFile(in + "/a.log");
    oldFile(in + "/b.log");
    EXPECT_FALSE(RulesEngine::trashUsable(in));
    TransferProgress progress;
    const auto result =
        RulesEngine::run({rule(in, {}, QStringLiteral("log"))}, progress, fixedClock, noWriter);
    EXPECT_EQ(result.noTrash, (QStringList{in + "/a.log", in + "/b.log"}));
    EXPECT_TRUE(exists(in + "/a.log") && exists(in + "/b.log"));
    const auto said = RulesEngine::report(result, true);
    ASSERT_TRUE(said);
    EXPECT_TRUE(said->error);
    EXPECT_TRUE(said->text.contains("a.log, b.log")) << qPrintable(said->text);
    EXPECT_FALSE(said->text.contains("nichts gefunden"));
}

TEST_F(RulesTest, FilesBeingWrittenAreLeftAndCounted) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString log = oldFile(folder + "/app.log");
    // Another program appends to it and keeps it open.
    QProcess writer;
    writer.setStandardOutputFile(log, QIODevice::Append);
    writer.start("sleep", {"30"});
    ASSERT_TRUE(writer.waitForStarted());
    TransferProgress progress;
    const CleanRule r = rule(folder, {}, QStringLiteral("log"));
    QTRY_VERIFY(RulesEngine::writerOf(RulesEngine::matchEntries(r).value(0)) == RulesEngine::Writer::writing);
    auto result = RulesEngine::run({r}, progress);
    EXPECT_EQ(result.inUse, QStringList{log});
    EXPECT_TRUE(exists(log));
    const auto said = RulesEngine::report(result, false);
    ASSERT_TRUE(said);
    EXPECT_EQ(said->text, "1 Objekt übersprungen, weil gerade in sie geschrieben wird.");
    EXPECT_FALSE(RulesEngine::report(result, true)) << "a silent run tries again a minute later";
    writer.kill();
    writer.waitForFinished();
    result = RulesEngine::run({r}, progress);
    EXPECT_TRUE(result.inUse.isEmpty());
    EXPECT_EQ(result.trashed.size(), 1);

    // Where it can't be asked, what changed in the last minutes is left.
    const QString recent = oldFile(folder + "/recent.log", 60000);
    const QString old = oldFile(folder + "/old.log");
    const RulesEngine::WriterProbe cannotAsk = [](const RulesEngine::Match &) {
        return RulesEngine::Writer::unknown;
    };
    result = RulesEngine::run({r}, progress, fixedClock, cannotAsk);
    EXPECT_EQ(result.inUse, QStringList{recent});
    EXPECT_EQ(result.trashed.size(), 1);
    EXPECT_FALSE(exists(old));
}

TEST_F(RulesTest, ACancelledRunSaysSoWithWhatWasDone) {
    TestUtil::LanguageScope de(AppLanguage::de);
    for (const char *name : {"a.log", "b.log", "c.log"})
        oldFile(folder + "/" + name);
    TransferProgress progress;
    int asked = 0;
    // The user cancels while the second file is on its way.
    const RulesEngine::WriterProbe cancelling = [&](const RulesEngine::Match &) {
        if (++asked == 2) progress.cancel();
        return RulesEngine::Writer::none;
    };
    const auto result =
        RulesEngine::run({rule(folder, {}, QStringLiteral("log"))}, progress, fixedClock, cancelling);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.trashed.size(), 2);
    EXPECT_TRUE(exists(folder + "/c.log"));
    const auto said = RulesEngine::report(result, true);
    ASSERT_TRUE(said);
    EXPECT_EQ(said->text, "Aufräumen abgebrochen: 0 Objekte verschoben, 2 Objekte in den Papierkorb.");
    EXPECT_FALSE(said->error);
}

TEST_F(RulesTest, AMoveToAnotherVolumeKilledOnceTheCopyHasItsNameIsNotMovedAgain) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount vol("4m");
    ASSERT_TRUE(vol.valid());
    const QString log = oldFile(folder + "/p2.log");
    const CleanRule r = rule(folder, {}, QStringLiteral("log"), vol.path());
    const int status = TestChild::run("ruleKilledOnceACopyIsPlaced", {folder, vol.path()});
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    ASSERT_TRUE(exists(log) && exists(vol.path() + "/p2.log"));

    FileOps::recoverTransfers();
    TransferProgress progress;
    EXPECT_TRUE(RulesEngine::run({r}, progress, fixedClock, noWriter).moved.isEmpty());
    EXPECT_FALSE(exists(log));
    EXPECT_EQ(TestUtil::names(vol.path()), QStringList{"p2.log"});
}
