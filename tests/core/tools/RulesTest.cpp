// Cleanup rules: the stored record, matching and the run.
#include "common/HeldJob.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/tools/RulesEngine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestUtil::exists;
using TestUtil::writeFile;

namespace {

// "Now" for the fake clock, fixed at start; files are dated relative to it.
const qint64 now0 = QDateTime::currentMSecsSinceEpoch() / 1000 * 1000;
const RulesEngine::Clock fixedClock = [] { return now0; };

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
    app.runRules(false);
    QTRY_VERIFY(!app.jobs().busy());
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
    oldFile(folder + "/b.png", 60000);
    QTest::qWait(200);
    EXPECT_TRUE(exists(folder + "/b.png")) << "the loop stops at once";
}
