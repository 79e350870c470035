#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/Favorites.h"
#include "core/app/JobRunner.h"
#include "core/app/Settings.h"
#include "core/app/SettingsBackup.h"
#include "core/app/SettingsCommands.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/Plist.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

CleanRule rule(const QString &folder) {
    CleanRule r;
    r.folder = folder;
    r.extensions = QStringLiteral("tmp");
    r.action = QStringLiteral("trash");
    return r;
}

// The user's own folder of application entries.
QString localApps() {
    return qEnvironmentVariable("XDG_DATA_HOME") + "/applications/";
}

// An application entry in the user's own folder.
QString writeEntry(const QString &name) {
    const QString path = localApps() + name;
    TestUtil::writeFile(path, "[Desktop Entry]\nType=Application\nName=A\nExec=true\n");
    return path;
}

// One value of each backed-up key, of the kind its owner stores, none of them a default.
QVariantMap sample() {
    return {
        {"language", "pl"},
        {"theme", "ember"},
        {"fontSize", 15.0},
        {"folderIcons", "theme"},
        {"appearance", "dark"},
        {"dualPane", false},
        {"showSidebar", false},
        {"showInspector", true},
        {"splitFraction", 0.3},
        {"inspectorWidth", qint64(400)},
        {"toolbarCompact", false},
        {"toolbarApps", QStringList{writeEntry("a.desktop"), writeEntry("kde/b.desktop")}},
        {"quickFavorites", QStringList{"/srv/x", "/srv/y"}},
        {"userFavorites", QStringList{"/srv/u"}},
        {"hiddenFavorites", QStringList{"/srv/h1", "/srv/h2"}},
        {"rulesAuto", true},
        {"cleanRules", RulesEngine::encode({rule("/srv/in")})},
        {"showHidden", true},
        {"startFolder", "home"},
        {"keyboardLayout", "th"},
        {"view.left", "icons"},
        {"view.right", "list"},
        {"sort.left", "size"},
        {"sort.right", "date"},
    };
}

QVariantMap root(const QVariant &settings, const QString &app = QStringLiteral("Kestrin")) {
    return {{"app", app},
            {"format", qint64(1)},
            {"created", QDateTime(QDate(2025, 3, 14), QTime(9, 30), Qt::UTC)},
            {"version", "1.03"},
            {"settings", settings}};
}

// Compares what the settings file holds with the values, lists read as lists of strings.
void expectStored(const QVariantMap &values) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QVariant stored = Defaults::value(it.key());
        if (it.value().typeId() == QMetaType::QStringList)
            EXPECT_EQ(stored.toStringList(), it.value().toStringList()) << qPrintable(it.key());
        else
            EXPECT_EQ(stored, it.value()) << qPrintable(it.key());
    }
}

// A binary property list written by hand, for lists far longer than libplist's writer makes in good time.
// Values are ASCII strings, integers, arrays and dictionaries; each call returns the value's reference.
class BinaryList {
public:
    int string(const QString &text) { return add(sized(0x50, text.size()) + text.toLatin1()); }
    int integer(qint64 v) { return add(QByteArray(1, char(0x13)) + be(quint64(v), 8)); }
    int array(const QList<int> &items) {
        QByteArray o = sized(0xA0, items.size());
        for (int r : items)
            o += be(quint64(r), 4);
        return add(o);
    }
    int dict(const QList<std::pair<int, int>> &pairs) {
        QByteArray o = sized(0xD0, pairs.size());
        for (const auto &p : pairs)
            o += be(quint64(p.first), 4);
        for (const auto &p : pairs)
            o += be(quint64(p.second), 4);
        return add(o);
    }
    QByteArray bytes(int top) const {
        QByteArray out = "bplist00";
        QByteArray offsets;
        for (const QByteArray &o : m_objects) {
            offsets += be(quint64(out.size()), 4);
            out += o;
        }
        const quint64 table = quint64(out.size());
        out += offsets;
        out += QByteArray(6, '\0') + char(4) + char(4) + be(quint64(m_objects.size()), 8) +
               be(quint64(top), 8) + be(table, 8);
        return out;
    }

private:
    static QByteArray be(quint64 v, int n) {
        QByteArray b(n, '\0');
        for (int i = n - 1; i >= 0; --i, v >>= 8)
            b[i] = char(v & 0xff);
        return b;
    }
    static QByteArray sized(int marker, qsizetype n) {
        if (n < 15) return QByteArray(1, char(marker | int(n)));
        return QByteArray(1, char(marker | 0xF)) + char(0x12) + be(quint64(n), 4);
    }
    int add(const QByteArray &o) {
        m_objects << o;
        return int(m_objects.size() - 1);
    }
    QList<QByteArray> m_objects;
};

// A backup holding only these favourites as a binary list, or (backup false) a settings file.
QByteArray binaryFavourites(int count, bool backup) {
    BinaryList b;
    QList<int> items;
    for (int i = 0; i < count; ++i)
        items << b.string(QStringLiteral("/srv/f%1").arg(i));
    const int favourites = b.dict({{b.string("quickFavorites"), b.array(items)}});
    if (!backup) return b.bytes(favourites);
    return b.bytes(b.dict({{b.string("app"), b.string("Kestrin")},
                           {b.string("format"), b.integer(1)},
                           {b.string("settings"), favourites}}));
}

class SettingsBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        m_hidden = FileLoader::showHidden();
    }
    void TearDown() override {
        release = true;
        // A job still held reads release until it sees it; it must end before the fixture goes.
        QThreadPool::globalInstance()->waitForDone(10000);
        Lang::setCurrent(m_language);
        FileLoader::setShowHidden(m_hidden);
        TestUtil::freshSettings();
    }

    static void storeAll(const QVariantMap &values) {
        for (auto it = values.begin(); it != values.end(); ++it)
            Defaults::setValue(it.key(), it.value());
    }
    QString writeBackup(const QByteArray &bytes) {
        const QString path = m_dir.filePath(QStringLiteral("backup.plist"));
        EXPECT_TRUE(TestUtil::writeFile(path, bytes));
        return path;
    }
    // Restores and waits for the question or the alert, which come once the file was read on a worker.
    static void restore(SettingsCommands &commands, ScriptedDialogs &d) {
        const qsizetype before = d.alerts.size();
        commands.restoreSettings();
        QTRY_VERIFY_WITH_TIMEOUT(d.alerts.size() > before, 5000);
        // The restore's write, when confirmed, runs off the window's thread.
        QThreadPool::globalInstance()->waitForDone(10000);
        QTest::qWait(20);
    }
    // Holds the one job until release is set.
    void holdJob(AppState &app) {
        release = false;
        ASSERT_TRUE(app.jobs().run(
            QStringLiteral("Test"),
            [this](TransferProgress &) {
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return 0;
            },
            [](int) {}));
    }

    std::atomic<bool> release{false};
    QTemporaryDir m_dir;
    AppLanguage m_language = Lang::current();
    bool m_hidden = false;
};

} // namespace

// Every key of every kind is written and read back the same; keys outside the backup stay out.
TEST_F(SettingsBackupTest, RoundTripOfEveryKeyAndKind) {
    const QVariantMap values = sample();
    ASSERT_EQ(values.size(), 24);
    const QStringList keys = SettingsBackup::keys();
    EXPECT_EQ(QSet<QString>(keys.begin(), keys.end()), QSet<QString>(values.keyBegin(), values.keyEnd()));
    storeAll(values);
    Defaults::setValue("lastPath.left", "/srv");
    Defaults::setValue("trashOrigins", QVariantList{"a", "b"});
    Defaults::setValue("sortReversed.left", true);

    const QByteArray bytes = SettingsBackup::encode(QDateTime(QDate(2025, 3, 14), QTime(8, 0), Qt::UTC));
    EXPECT_TRUE(bytes.startsWith("<?xml"));
    const QVariantMap top = Plist::parse(bytes)->toMap();
    EXPECT_EQ(QSet<QString>(top.keyBegin(), top.keyEnd()),
              (QSet<QString>{"app", "format", "created", "version", "settings"}));
    EXPECT_EQ(top["app"], "Kestrin");
    EXPECT_EQ(top["format"].toLongLong(), 1);
    EXPECT_EQ(top["settings"].toMap().size(), 24);

    TestUtil::freshSettings();
    const auto contents = SettingsBackup::decode(bytes);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->appVersion, "1.04");
    EXPECT_EQ(contents->created, QDateTime(QDate(2025, 3, 14), QTime(8, 0), Qt::UTC));
    EXPECT_EQ(contents->settings.size(), 24);
    EXPECT_EQ(contents->dropped, 0);
    EXPECT_EQ(SettingsBackup::apply(*contents, 2000), 0);
    Defaults::resetForTests(); // as the next start reads it
    expectStored(values);
    EXPECT_FALSE(Defaults::contains("lastPath.left"));
    EXPECT_FALSE(Defaults::contains("trashOrigins"));
    EXPECT_FALSE(Defaults::contains("sortReversed.left"));
}

// A restore brings back the backup whole: a setting changed after it that it does not name goes back to its
// default; what no backup holds stays.
TEST_F(SettingsBackupTest, ASettingTheBackupDoesNotNameGoesBackToItsDefault) {
    storeAll({{"fontSize", 12.0}, {"theme", "ember"}});
    const QByteArray bytes = SettingsBackup::encode();
    storeAll({{"fontSize", 17.0},
              {"theme", "dusk"},
              {"language", "pl"},
              {"appearance", "dark"},
              {"lastPath.left", "/srv"}});
    const auto contents = SettingsBackup::decode(bytes);
    ASSERT_TRUE(contents);
    EXPECT_EQ(SettingsBackup::apply(*contents, 2000), 0);
    Defaults::resetForTests(); // as the next start reads it
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 12.0);
    EXPECT_EQ(Defaults::stringValue("theme"), "ember");
    EXPECT_FALSE(Defaults::contains("language"));
    EXPECT_EQ(Settings::stored(Settings::Key::appearance).toString(), "system");
    EXPECT_EQ(Defaults::stringValue("lastPath.left"), "/srv");
}

// A setting never stored is left out, never written empty; the name offered never follows the locale.
TEST_F(SettingsBackupTest, AbsentKeysStayOutAndTheFileNameIsFixed) {
    Defaults::setValue("fontSize", 12.0);
    const QVariantMap settings = Plist::parse(SettingsBackup::encode())->toMap()["settings"].toMap();
    EXPECT_EQ(settings.keys(), QStringList{"fontSize"});
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(SettingsBackup::fileName(QDate(2025, 3, 14)), "Kestrin-Sicherung-2025-03-14.plist");
    QLocale::setDefault(QLocale::c());
}

// Binary lists and the older product name are read; format 0 passes, 2 and non-integers do not.
TEST_F(SettingsBackupTest, AcceptedFilesAndRefusedHeads) {
    const QVariantMap one{{"fontSize", 14.0}};
    EXPECT_TRUE(SettingsBackup::decode(Plist::toBinary(root(one))));
    EXPECT_TRUE(SettingsBackup::decode(Plist::toBinary(root(one, "Brisvane"))));
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(root(one, "Kestrin2"))));
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(root(one, "kestrin"))));

    QVariantMap r = root(one);
    r["format"] = qint64(0);
    EXPECT_TRUE(SettingsBackup::decode(Plist::toXml(r)));
    r["format"] = qint64(-3);
    EXPECT_TRUE(SettingsBackup::decode(Plist::toXml(r)));
    r["format"] = qint64(2);
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(r)));
    r["format"] = 1.0;
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(r)));
    r["format"] = "1";
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(r)));
    r.remove("format");
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(r)));

    r = root(one);
    r["settings"] = QVariantList{1, 2};
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(r)));
    EXPECT_FALSE(SettingsBackup::decode(Plist::toXml(QVariantList{root(one)})));

    r = root(one);
    r.remove("created");
    r["version"] = 7;
    const auto c = SettingsBackup::decode(Plist::toXml(r));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->created.date(), QDate(1, 1, 1));
    EXPECT_EQ(c->appVersion, "");
}

// Each value must be of its key's kind; others and unknown keys are dropped. The launchable toolbar entries
// are application entries only.
TEST_F(SettingsBackupTest, WrongKindsAreDropped) {
    QVariantMap hostile{
        {"fontSize", "16"},
        {"dualPane", qint64(1)},
        {"showHidden", "true"},
        {"theme", QVariantList{"ember"}},
        {"quickFavorites", QVariantList{"/a", qint64(3)}},
        {"userFavorites", QVariantList{QVariantList{"/nested"}}},
        {"cleanRules", QByteArray("[{\"not\":\"a rule\"}]")},
        {"language", QByteArray("de")},
        {"trashOrigins", QVariantList{"x"}},
        {"lastPath.left", "/etc"},
        {"somethingElse", true},
        // kept:
        {"splitFraction", qint64(0)},
        {"view.left", "icons"},
        {"hiddenFavorites", QVariantList{}},
        {"toolbarApps",
         QVariantList{"/usr/bin/rm", "/tmp/evil.desktop", "/usr/share/applications/ok.desktop",
                      localApps() + "kde/mine.desktop", "plain.desktop",
                      "/srv/Downloads/applications/evil.desktop",
                      "/usr/share/applications/../../../tmp/x.desktop", "sub/dir.desktop", "bad\n.desktop"}},
    };
    writeEntry("kde/mine.desktop");
    TestUtil::writeFile(localApps() + "link.desktop",
                        "[Desktop Entry]\nType=Link\nURL=https://example.org/\n");
    hostile["toolbarApps"] = hostile["toolbarApps"].toList() << localApps() + "link.desktop";
    const auto c = SettingsBackup::decode(Plist::toXml(root(hostile)));
    ASSERT_TRUE(c);
    EXPECT_EQ(QSet<QString>(c->settings.keyBegin(), c->settings.keyEnd()),
              (QSet<QString>{"splitFraction", "view.left", "hiddenFavorites", "toolbarApps"}));
    EXPECT_EQ(c->dropped, 8);
    // Bare names and entries that aren't there or are no application are dropped as well.
    EXPECT_EQ(c->settings["toolbarApps"].toStringList(), (QStringList{localApps() + "kde/mine.desktop"}));
}

// Favourites come back as folders and files; an entry only when it is an application of the
// application folders, never one planted elsewhere (a click would start it).
TEST_F(SettingsBackupTest, RestoredFavouritesAreFoldersFilesOrApplications) {
    const QString folder = m_dir.path() + "/folder", file = m_dir.path() + "/note.txt";
    const QString planted = m_dir.path() + "/Dokumente.desktop";
    QDir().mkpath(folder);
    TestUtil::writeFile(file, "x");
    TestUtil::writeFile(planted, "[Desktop Entry]\nType=Application\nName=Dokumente\nExec=sh -c true\n");
    const QString app = writeEntry("fav.desktop");
    const QVariantList favourites{folder,
                                  file,
                                  "/srv/not-here-now",
                                  planted,
                                  app,
                                  "relative/x",
                                  "/dev/null",
                                  m_dir.path() + "/../x",
                                  m_dir.path() + "/gone.desktop"};
    const auto c = SettingsBackup::decode(Plist::toXml(
        root(QVariantMap{{"quickFavorites", favourites}, {"userFavorites", QVariantList{planted, folder}}})));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->settings["quickFavorites"].toStringList(),
              (QStringList{folder, file, "/srv/not-here-now", app}));
    EXPECT_EQ(c->settings["userFavorites"].toStringList(), QStringList{folder});
}

// The question counts the accepted entries only; cancelling changes nothing and does not restart.
TEST_F(SettingsBackupTest, TheQuestionCountsAcceptedEntries) {
    ScriptedDialogs d;
    Defaults::setValue("fontSize", 12.0);
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    int restarts = 0;
    commands.restart = [&] { ++restarts; };
    const QString path = writeBackup(
        Plist::toXml(root(QVariantMap{{"fontSize", 16.0}, {"theme", 3}, {"dualPane", false}, {"x", 1}})));

    d.fileAnswers = {path};
    d.answers = {AlertAnswer(AlertRole::cancel)};
    TestUtil::LanguageScope de(AppLanguage::de);
    restore(commands, d);
    ASSERT_EQ(d.fileQuestions.size(), 1);
    EXPECT_FALSE(d.fileQuestions[0].save);
    ASSERT_EQ(d.alerts.size(), 1);
    EXPECT_TRUE(d.alerts[0].informative.contains("mit 2 Einstellungen"))
        << d.alerts[0].informative.toStdString();
    EXPECT_TRUE(d.alerts[0].informative.contains("Version 1.03"));
    EXPECT_TRUE(d.alerts[0].informative.contains("2025"));
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 12.0);
    EXPECT_EQ(restarts, 0);

    d.fileAnswers = {path};
    d.answers = {AlertAnswer(AlertRole::confirm)};
    restore(commands, d);
    EXPECT_EQ(restarts, 1);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 16.0);
    EXPECT_EQ(Defaults::boolValue("dualPane"), false);
    EXPECT_FALSE(Defaults::contains("theme"));
    // The running instance writes nothing over the restored values any more.
    app.settings().setFontSize(11);
    app.settings().save();
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 16.0);
}

// While another running copy holds the settings' lock, a restore writes nothing, says why and does not
// restart; the window keeps saving its changes. A value beyond its setting's bounds comes in bounded, and
// one the setting can't hold (a theme of four million characters) not at all, so the file stays one its
// reader takes.
TEST_F(SettingsBackupTest, ARestoreIsDoneOnlyWhenTheFileHoldsTheBackup) {
    ScriptedDialogs d;
    Defaults::setValue("fontSize", 12.0);
    Defaults::flush(2000);
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    int restarts = 0;
    commands.restart = [&] { ++restarts; };
    SettingsCommands::restoreWaitMs = 300;
    // Binary: the same text in XML, each "&" escaped, would be more than the backup's reader takes.
    const QString path = writeBackup(Plist::toBinary(root(QVariantMap{{"fontSize", 16.0},
                                                                      {"splitFraction", 5.0},
                                                                      {"dualPane", false},
                                                                      {"theme", QString(4'000'000, u'&')}})));
    const QString file = Defaults::filePath();
    const QByteArray before = TestUtil::readFile(file);
    const int held =
        ::open(QFile::encodeName(QFileInfo(file).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    TestUtil::LanguageScope de(AppLanguage::de);
    d.fileAnswers = {path};
    d.answers = {AlertAnswer(AlertRole::confirm)};
    restore(commands, d);
    QTRY_VERIFY(app.toast());
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(app.toast()->text,
              "Die Einstellungen wurden nicht wiederhergestellt: Ein anderes laufendes Kestrin "
              "hält sie gesperrt. Es wurde nichts geändert.");
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 12.0);
    EXPECT_FALSE(app.settings().frozen());
    ::close(held);
    EXPECT_EQ(TestUtil::readFile(file), before);

    d.fileAnswers = {path};
    d.answers = {AlertAnswer(AlertRole::confirm)};
    restore(commands, d);
    EXPECT_EQ(restarts, 1);
    EXPECT_LT(QFileInfo(file).size(), 100'000);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 16.0);
    EXPECT_EQ(Defaults::doubleValue("splitFraction"), 0.8);
    EXPECT_EQ(Defaults::boolValue("dualPane"), false);
    EXPECT_FALSE(Defaults::contains("theme"));
    SettingsCommands::restoreWaitMs = 5000;
}

// A truncated or foreign file: the alert, nothing changed, no restart.
TEST_F(SettingsBackupTest, TruncatedFileChangesNothing) {
    ScriptedDialogs d;
    storeAll({{"fontSize", 12.0}, {"theme", "ember"}});
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    int restarts = 0;
    commands.restart = [&] { ++restarts; };
    const QByteArray whole = Plist::toXml(root(sample()));
    const QByteArray binary = Plist::toBinary(root(sample()));
    for (const QByteArray &bytes :
         {whole.left(whole.size() / 2), binary.left(binary.size() - 9), QByteArray()}) {
        d.fileAnswers = {writeBackup(bytes)};
        restore(commands, d);
    }
    d.fileAnswers = {m_dir.path()}; // a folder
    restore(commands, d);
    ASSERT_EQ(d.alerts.size(), 4);
    for (const Alert &a : d.alerts) {
        EXPECT_EQ(a.message, L("Das ist keine Sicherung von Kestrin."));
        EXPECT_EQ(a.buttons.size(), 1);
    }
    EXPECT_EQ(restarts, 0);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 12.0);
    EXPECT_EQ(Defaults::stringValue("theme"), "ember");
    EXPECT_EQ(Defaults::value("dualPane"), QVariant());
}

// A backup that brings other cleanup rules never switches automatic cleanup on, nor leaves it on; the
// rules in use with the same backup keep the choice.
TEST_F(SettingsBackupTest, ForeignRulesNeverRunOnTheirOwn) {
    const QList<CleanRule> mine{rule("/srv/mine")};
    storeAll({{"cleanRules", RulesEngine::encode(mine)}, {"rulesAuto", true}});
    {
        ScriptedDialogs d;
        AppState app(Services(d.dialogs()));
        SettingsCommands commands(&app);
        commands.restart = [] {};
        const QList<CleanRule> foreign{rule("/")};
        d.fileAnswers = {writeBackup(Plist::toXml(
            root(QVariantMap{{"cleanRules", RulesEngine::encode(foreign)}, {"rulesAuto", true}})))};
        d.answers = {AlertAnswer(AlertRole::confirm)};
        restore(commands, d);
        Defaults::resetForTests();
        EXPECT_EQ(Defaults::boolValue("rulesAuto"), false);
        EXPECT_EQ(*RulesEngine::decode(Defaults::value("cleanRules").toByteArray()), foreign);
    }
    // Rules brought without the switch: the switch that was on goes off.
    storeAll({{"cleanRules", RulesEngine::encode(mine)}, {"rulesAuto", true}});
    auto c = SettingsBackup::decode(
        Plist::toXml(root(QVariantMap{{"cleanRules", RulesEngine::encode({rule("/x")})}})));
    ASSERT_TRUE(c);
    SettingsBackup::guardRules(*c, mine);
    EXPECT_EQ(SettingsBackup::apply(*c, 2000), 0);
    EXPECT_EQ(Defaults::boolValue("rulesAuto"), false);
    // The same rules as in use: the switch is taken as it comes.
    c = SettingsBackup::decode(
        Plist::toXml(root(QVariantMap{{"cleanRules", RulesEngine::encode(mine)}, {"rulesAuto", true}})));
    SettingsBackup::guardRules(*c, mine);
    EXPECT_FALSE(c->stopsAutoCleanup);
    EXPECT_EQ(c->settings["rulesAuto"], true);
}

// While a job runs: restore asks nothing, a confirmation that comes once a job began applies nothing,
// resets and the restart are refused with the busy toast.
TEST_F(SettingsBackupTest, RestoreResetAndRestartRefuseWhileAJobRuns) {
    ScriptedDialogs d;
    Defaults::setValue("fontSize", 12.0);
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    int restarts = 0;
    commands.restart = [&] { ++restarts; };
    holdJob(app);
    commands.restoreSettings();
    commands.resetAll();
    commands.resetPage(Settings::Reset::appearance, "Darstellung zurücksetzen?", "x");
    commands.removeAllToolbarApps();
    commands.relaunch();
    EXPECT_TRUE(d.fileQuestions.isEmpty());
    EXPECT_TRUE(d.alerts.isEmpty());
    EXPECT_EQ(restarts, 0);
    ASSERT_TRUE(app.toast());
    EXPECT_EQ(app.toast()->text, L(JobRunner::busyText));
    release = true;
    QTRY_VERIFY_WITH_TIMEOUT(!app.jobs().busy(), 5000);

    // The job begins while the question is up.
    d.whileOpen = [&](const Alert &) {
        if (!app.jobs().busy()) holdJob(app);
    };
    d.fileAnswers = {writeBackup(Plist::toXml(root(QVariantMap{{"fontSize", 16.0}})))};
    d.answers = {AlertAnswer(AlertRole::confirm)};
    restore(commands, d);
    ASSERT_EQ(d.alerts.size(), 1);
    release = true;
    QTRY_VERIFY_WITH_TIMEOUT(!app.jobs().busy(), 5000);
    d.answers = {AlertAnswer(AlertRole::confirm)};
    commands.resetPage(Settings::Reset::appearance, "Darstellung zurücksetzen?", "x");
    ASSERT_EQ(d.alerts.size(), 2);
    EXPECT_EQ(restarts, 0);
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 12.0);
    EXPECT_EQ(app.settings().fontSize(), 12.0);
}

// The backup is written whole at the chosen place, with the file name in the toast; a place that can't be
// written gives the error toast.
TEST_F(SettingsBackupTest, BackupWritesTheFileOrSaysWhy) {
    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    app.settings().setFontSize(15); // still waiting for the debounced save
    const QString path = m_dir.filePath(QStringLiteral("out.plist"));
    d.fileAnswers = {path};
    commands.backupSettings();
    ASSERT_EQ(d.fileQuestions.size(), 1);
    EXPECT_TRUE(d.fileQuestions[0].save);
    EXPECT_TRUE(d.fileQuestions[0].fileName.startsWith("Kestrin-Sicherung-"));
    const auto c = SettingsBackup::decode(TestUtil::readFile(path));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->settings.value("fontSize"), 15.0);
    ASSERT_TRUE(app.toast());
    EXPECT_FALSE(app.toast()->isError);
    EXPECT_TRUE(app.toast()->text.contains("out.plist"));

    d.fileAnswers = {m_dir.filePath(QStringLiteral("missing/folder/out.plist"))};
    commands.backupSettings();
    ASSERT_TRUE(app.toast());
    EXPECT_TRUE(app.toast()->isError);

    // Parts killed backups left beside the name go with the next backup there: only ours (this account's
    // regular files under the part name) whose writer is gone (nobody holds them locked).
    const QStringList stale{".out.plist.4242-1f.part", ".out.plist.4243-2e.part"};
    QStringList kept{".out.plist.4244-3d.part", ".out.plist.part", ".other.plist.4245-4c.part", "out.plist"};
    for (const QString &name : stale + kept) {
        if (name == "out.plist") continue;
        ASSERT_TRUE(TestUtil::writeFile(m_dir.filePath(name), "<?xml"));
    }
    const int writing = ::open(QFile::encodeName(m_dir.filePath(kept[0])).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0); // a backup at work in another process
    if (TestUtil::isRoot()) {
        kept << ".out.plist.4246-5b.part";
        ASSERT_TRUE(TestUtil::writeFile(m_dir.filePath(kept.last()), ""));
        ASSERT_EQ(::chown(QFile::encodeName(m_dir.filePath(kept.last())).constData(), 65534, 65534), 0);
    }
    d.fileAnswers = {path};
    commands.backupSettings();
    ::close(writing);
    kept.sort();
    EXPECT_EQ(TestUtil::names(m_dir.path()).filter("out.plist"), kept.filter("out.plist"));
}

// A name where another account planted a link into its private folder is neither written through nor read,
// in a sticky shared folder too; a link of the user's own still leads to its file.
TEST_F(SettingsBackupTest, AnotherAccountsLinkIsNeitherWrittenThroughNorRead) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "another account's link needs root";
    TestUtil::LanguageScope de(AppLanguage::de);
    const QString shared = m_dir.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared + "/private"));
    ::chmod(QFile::encodeName(shared), 01777);
    ::chmod(QFile::encodeName(shared + "/private"), 0700);
    const QString secret = shared + "/private/secret.plist";
    const QByteArray secretBytes = Plist::toXml(root(QVariantMap{{"fontSize", 16.0}}));
    ASSERT_TRUE(TestUtil::writeFile(secret, secretBytes));
    const QString planted = shared + "/Kestrin-Sicherung.plist";
    ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), QFile::encodeName(planted).constData()), 0);
    ASSERT_EQ(::lchown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
    const QString refusal =
        "„" + planted +
        "“ ist ein Link, der einem anderen Konto gehört. Kestrin folgt ihm nicht: Es wurde "
        "nichts gelesen oder geschrieben.";

    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    d.fileAnswers = {planted};
    commands.backupSettings();
    ASSERT_TRUE(app.toast());
    EXPECT_EQ(app.toast()->text, "Sichern fehlgeschlagen: " + refusal);
    EXPECT_EQ(TestUtil::readFile(secret), secretBytes);
    EXPECT_EQ(QFile::symLinkTarget(planted), secret);

    d.fileAnswers = {planted};
    commands.restoreSettings();
    QTRY_VERIFY_WITH_TIMEOUT(app.toast() && app.toast()->text == refusal, 5000);
    EXPECT_TRUE(d.alerts.isEmpty());

    // The user's own link leads on, and its file is replaced whole.
    const QString own = m_dir.filePath(QStringLiteral("own.plist"));
    ASSERT_TRUE(TestUtil::writeFile(own, "old"));
    ASSERT_EQ(
        ::symlink("own.plist", QFile::encodeName(m_dir.filePath(QStringLiteral("link.plist"))).constData()),
        0);
    d.fileAnswers = {m_dir.filePath(QStringLiteral("link.plist"))};
    commands.backupSettings();
    ASSERT_TRUE(app.toast());
    EXPECT_FALSE(app.toast()->isError) << app.toast()->text.toStdString();
    EXPECT_TRUE(SettingsBackup::decode(TestUtil::readFile(own)).has_value());
    EXPECT_TRUE(QFileInfo(m_dir.filePath(QStringLiteral("link.plist"))).isSymLink());
}

// A list at the bound of values is read in a moment (its items are walked once, never fetched by index,
// which walked the list from its start each time), and a restore reads its file on a worker: the window
// is free meanwhile. The bounds leave room for a busy machine; the fault took minutes.
TEST_F(SettingsBackupTest, ALongListIsReadQuicklyAndRestoredOffTheWindowsThread) {
    // Binary lists: libplist's reader of XML indexes an array by itself, its reader of binary lists not.
    const QByteArray bytes = binaryFavourites(249'900, true);
    QElapsedTimer timer;
    timer.start();
    const std::optional<QVariant> parsed = Plist::parse(bytes);
    EXPECT_LT(timer.elapsed(), 3000);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->toMap()["settings"].toMap()["quickFavorites"].toList().size(), 249'900);

    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    commands.restart = [] {};
    d.fileAnswers = {writeBackup(bytes)};
    d.answers = {AlertAnswer(AlertRole::cancel)};
    timer.restart();
    commands.restoreSettings();
    EXPECT_TRUE(d.alerts.isEmpty()); // asked once the worker is done
    QTRY_COMPARE_WITH_TIMEOUT(d.alerts.size(), 1, 20000);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(d.alerts[0].informative.contains(" 1 ")) << d.alerts[0].informative.toStdString();
}

// A settings file with a hundred thousand favourites doesn't hold up the start.
TEST_F(SettingsBackupTest, ManyFavouritesStartQuickly) {
    ASSERT_TRUE(TestUtil::writeFile(Defaults::filePath(), binaryFavourites(100'000, false)));
    Defaults::resetForTests();
    QElapsedTimer timer;
    timer.start();
    AppState app;
    EXPECT_EQ(app.favorites().list().size(), 100'000);
    EXPECT_LT(timer.elapsed(), 2000);
}

// A backup that doesn't fit on its volume says the disk is full, and leaves nothing half written.
TEST_F(SettingsBackupTest, ABackupOntoAFullDiskSaysSo) {
    TestUtil::TmpfsMount disk(QStringLiteral("64k"));
    if (!disk.valid()) GTEST_SKIP() << "a small volume needs root";
    TestUtil::LanguageScope de(AppLanguage::de);
    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    QStringList many;
    for (int i = 0; i < 10'000; ++i)
        many << QStringLiteral("/srv/folder-%1").arg(i);
    app.settings().setQuickFavorites(many);
    const QString path = disk.path() + "/out.plist";
    d.fileAnswers = {path};
    commands.backupSettings();
    ASSERT_TRUE(app.toast());
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_EQ(app.toast()->text, "Sichern fehlgeschlagen: Nicht genug freier Speicherplatz auf dem Ziel.");
    EXPECT_FALSE(TestUtil::exists(path));
    EXPECT_EQ(TestUtil::names(disk.path()), QStringList());
}
