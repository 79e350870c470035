#include "common/HeldJob.h"
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using TestUtil::LanguageScope;

namespace {

// Each test starts with no stored settings and quick timers.
class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    static Services quick(Dialogs dialogs = {}) {
        Services s(std::move(dialogs));
        s.timings.toastMs = 150;
        s.timings.errorToastMs = 300;
        s.timings.jobPeriodMs = 20;
        s.timings.jobQuietMs = 100;
        return s;
    }

    static QByteArray settingsFile() {
        Defaults::flush(2000);
        return TestUtil::readFile(Defaults::filePath());
    }
    static void waitListed(PaneModel *pane) {
        QTRY_VERIFY_WITH_TIMEOUT(!pane->items().isEmpty() || pane->errorText(), 5000);
    }
};

} // namespace

TEST_F(AppStateTest, NothingStoredStartsAtHomeAndWritesNothing) {
    AppState app(quick());
    EXPECT_EQ(app.left()->currentPath(), QDir::homePath());
    EXPECT_FALSE(Defaults::contains("dualPane"));
    EXPECT_FALSE(Defaults::contains("fontSize"));
    app.settings().save();
    for (const Settings::Row &row : Settings::rows()) {
        EXPECT_FALSE(Defaults::contains(row.name)) << row.name;
        if (row.key != Settings::Key::language && row.key != Settings::Key::showHidden) {
            EXPECT_EQ(app.settings().value(row.key), row.fallback) << row.name;
        }
    }
}

TEST_F(AppStateTest, StoredValuesAreBoundedAndTyped) {
    Defaults::setValue("fontSize", 9);
    Defaults::setValue("splitFraction", 0.95);
    Defaults::setValue("inspectorWidth", 100);
    Defaults::setValue("dualPane", "false");
    Defaults::setValue("showInspector", "true");
    Defaults::setValue("showSidebar", 0);
    Defaults::setValue("appearance", "Dark");
    Defaults::setValue("theme", "nosuchtheme");
    Defaults::setValue("toolbarApps", QVariantList{"a", 3});
    {
        AppState app(quick());
        EXPECT_EQ(app.settings().fontSize(), 13);
        EXPECT_EQ(app.settings().splitFraction(), 0.8);
        EXPECT_EQ(app.settings().inspectorWidth(), 220);
        EXPECT_TRUE(app.settings().dualPane());
        EXPECT_FALSE(app.settings().showInspector());
        EXPECT_FALSE(app.settings().showSidebar());
        EXPECT_FALSE(app.settings().scheme());
        EXPECT_EQ(app.settings().themeID(), "nosuchtheme");
        EXPECT_TRUE(app.settings().toolbarApps().isEmpty());
        // Reading never writes back.
        EXPECT_EQ(Defaults::value("splitFraction").toDouble(), 0.95);
    }
    Defaults::setValue("fontSize", 18);
    Defaults::setValue("splitFraction", 0.1);
    Defaults::setValue("appearance", "dark");
    AppState app(quick());
    EXPECT_EQ(app.settings().fontSize(), 18);
    EXPECT_EQ(app.settings().splitFraction(), 0.2);
    EXPECT_EQ(app.settings().scheme(), ColorScheme::dark);
}

TEST_F(AppStateTest, SettersWriteSoonEvenWhenUnchanged) {
    AppState app(quick());
    app.settings().setDualPane(true);
    QTRY_COMPARE(Defaults::boolValue("dualPane"), std::optional<bool>(true));
    app.settings().setSplitFraction(0.95); // no bound on writing
    QTRY_COMPARE(Defaults::doubleValue("splitFraction"), std::optional<double>(0.95));
    const LanguageScope keep(Lang::current());
    app.settings().setLanguage(AppLanguage::pl);
    EXPECT_EQ(Lang::current(), AppLanguage::pl);
    QTRY_COMPARE(Defaults::stringValue("language"), std::optional<QString>("pl"));
}

// A language switch re-titles the crumbs the panes show, without a new folder.
TEST_F(AppStateTest, LanguageSwitchRetitlesTheShownCrumbs) {
    const LanguageScope keep(AppLanguage::de);
    QDir().mkpath(FileLoader::mainTrash());
    AppState app(quick());
    app.left()->go(FileLoader::mainTrash());
    QTRY_COMPARE_WITH_TIMEOUT(app.left()->currentPath(), FileLoader::mainTrash(), 5000);
    ASSERT_FALSE(app.left()->crumbs().isEmpty());
    EXPECT_EQ(app.left()->crumbs().last().second, "Papierkorb");
    app.settings().setLanguage(AppLanguage::en);
    QTRY_COMPARE_WITH_TIMEOUT(app.left()->crumbs().last().second, QString("Trash"), 5000);
    app.settings().setLanguage(AppLanguage::pl);
    QTRY_COMPARE_WITH_TIMEOUT(app.left()->crumbs().last().second, QString("Kosz"), 5000);
    EXPECT_EQ(app.left()->currentPath(), FileLoader::mainTrash());
}

// The window reads the look from the settings when it hears of a change, so the new value is in place
// then; the store follows with the debounced save.
TEST_F(AppStateTest, LookIsStoredBeforeItsChangeIsAnnounced) {
    AppState app;
    std::optional<double> font;
    std::optional<QString> theme, icons;
    using K = Settings::Key;
    QObject::connect(&app.settings(), &Settings::changed, [&](K key) {
        if (key == K::fontSize) font = app.settings().fontSize();
        if (key == K::themeID) theme = app.settings().themeID();
        if (key == K::folderIcons) icons = app.settings().folderIcons();
    });
    app.settings().setFontSize(17);
    app.settings().setThemeID("wald");
    app.settings().setFolderIcons("theme");
    EXPECT_EQ(font, 17);
    EXPECT_EQ(theme, "wald");
    EXPECT_EQ(icons, "theme");
    QTRY_COMPARE(Defaults::doubleValue("fontSize"), std::optional<double>(17));
    EXPECT_EQ(Defaults::stringValue("theme"), "wald");
    EXPECT_EQ(Defaults::stringValue("folderIcons"), "theme");
}

TEST_F(AppStateTest, ManyToolbarAppsMoveToFavorites) {
    Defaults::setValue("toolbarApps", QStringList{"1", "2", "3", "4", "5", "6", "7"});
    Defaults::setValue("quickFavorites", QStringList{"7"});
    AppState app(quick());
    EXPECT_EQ(app.settings().toolbarApps(), (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(app.settings().quickFavorites(), (QStringList{"7", "6"}));
    EXPECT_EQ(Defaults::value("quickFavorites").toStringList(), (QStringList{"7", "6"}));
}

TEST_F(AppStateTest, StartFoldersFollowLastPathsOrHome) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/plain.txt";
    TestUtil::writeFile(file, "x");
    Defaults::setValue("lastPath.left", file); // anything that exists counts
    Defaults::setValue("lastPath.right", dir.path() + "/gone");
    {
        AppState app(quick());
        EXPECT_EQ(app.left()->currentPath(), file);
        EXPECT_EQ(app.right()->currentPath(), QDir::homePath());
    }
    Defaults::setValue("startFolder", "home");
    AppState app(quick());
    EXPECT_EQ(app.left()->currentPath(), QDir::homePath());
}

TEST_F(AppStateTest, APathGivenAtStartOpensOrIsTold) {
    QTemporaryDir dir(QDir::homePath() + "/given-XXXXXX");
    const QString folder = FileLoader::norm(dir.path()), file = folder + "/gamma.txt";
    TestUtil::writeFile(file, "x");
    AppState app(quick());
    const QString before = app.activePane()->currentPath();

    // A missing folder: said in our words, with the home folder as "~"; the panes stay.
    {
        const LanguageScope de(AppLanguage::de);
        app.openGiven(QDir::homePath() + "/nope", "/");
        ASSERT_TRUE(app.toast());
        EXPECT_EQ(app.toast()->text, "Der Ordner „~/nope“ wurde nicht gefunden.");
        EXPECT_TRUE(app.toast()->isError);
        EXPECT_EQ(app.activePane()->currentPath(), before);
        const LanguageScope en(AppLanguage::en);
        app.openGiven("nope", QDir::homePath());
        EXPECT_EQ(app.toast()->text, "The folder “~/nope” was not found.");
    }
    // A file: its folder, with the file selected, given relative to the working folder.
    app.openGiven("gamma.txt", folder);
    EXPECT_EQ(app.activePane()->currentPath(), folder);
    waitListed(app.activePane());
    EXPECT_EQ(app.activePane()->selectedPaths(), QStringList{file});
    // A folder as a file: URL.
    app.openGiven(QUrl::fromLocalFile(QDir::homePath()).toString(), "/");
    EXPECT_EQ(app.activePane()->currentPath(), FileLoader::norm(QDir::homePath()));
}

TEST_F(AppStateTest, LastPathsAreRememberedOnlyWhenTheyChange) {
    QTemporaryDir dir;
    AppState app(quick());
    app.left()->go(dir.path());
    QTRY_COMPARE(Defaults::stringValue("lastPath.left"), std::optional<QString>(dir.path()));
    const QByteArray before = settingsFile();
    app.left()->setSelection({dir.path() + "/x"});
    QTest::qWait(30);
    EXPECT_EQ(settingsFile(), before);
}

TEST_F(AppStateTest, ToastsReplaceAndDismissByTheirOwnTimer) {
    Services services = quick();
    services.timings.errorToastMs = 600;
    AppState app(services);
    app.show("Fertig");
    const QUuid first = app.toast()->id;
    QTest::qWait(50);
    app.show("Fehler", true);
    EXPECT_NE(app.toast()->id, first);
    EXPECT_TRUE(app.toast()->isError);
    // The first toast's shorter time runs out while the error is up; that must not remove the error.
    QTest::qWait(250);
    ASSERT_TRUE(app.toast());
    EXPECT_EQ(app.toast()->text, "Fehler");
    QTRY_VERIFY_WITH_TIMEOUT(!app.toast(), 2000);
    // The same text twice is two toasts.
    app.show("Fertig");
    const QUuid a = app.toast()->id;
    app.show("Fertig");
    EXPECT_NE(app.toast()->id, a);
}

TEST_F(AppStateTest, ToastTextsAreTranslated) {
    const LanguageScope en(AppLanguage::en);
    AppState app(quick());
    app.show("Abgebrochen. Es wurde nichts verändert.");
    EXPECT_EQ(app.toast()->text, "Cancelled. Nothing was changed.");
    app.show("schon übersetzt 3");
    EXPECT_EQ(app.toast()->text, "schon übersetzt 3");
}

TEST_F(AppStateTest, CopyBetweenPanesEndToEnd) {
    const LanguageScope de(AppLanguage::de);
    QTemporaryDir src, dst;
    TestUtil::writeFile(src.path() + "/a.txt", "alpha");
    TestUtil::writeFile(src.path() + "/b.txt", "beta");
    TestUtil::writeFile(dst.path() + "/b.txt", "old");
    ScriptedDialogs script;
    script.answers = {AlertRole::keepBoth};
    AppState app(quick(script.dialogs()));
    app.left()->go(src.path());
    app.right()->go(dst.path());
    waitListed(app.left());
    app.left()->setSelection({src.path() + "/a.txt", src.path() + "/b.txt"});
    app.transfers().transferSelection(Side::left, false);
    QTRY_VERIFY_WITH_TIMEOUT(app.toast() && !app.jobs().progress(), 5000);

    EXPECT_EQ(script.alerts.size(), 1);
    EXPECT_EQ(TestUtil::readFile(dst.path() + "/a.txt"), "alpha");
    EXPECT_EQ(TestUtil::readFile(dst.path() + "/b.txt"), "old");
    EXPECT_FALSE(app.toast()->isError);
    EXPECT_TRUE(app.toast()->text.startsWith("2 Objekte kopiert → ")) << app.toast()->text.toStdString();
    EXPECT_EQ(app.right()->selection().size(), 2);
    EXPECT_TRUE(app.right()->selection().contains(dst.path() + "/a.txt"));
    ASSERT_TRUE(app.undoJournal().undoTitle());
    EXPECT_EQ(*app.undoJournal().undoTitle(), "2 Objekte kopiert");
    // The sources are untouched.
    EXPECT_EQ(TestUtil::readFile(src.path() + "/b.txt"), "beta");
}

TEST_F(AppStateTest, TransferRefusalsAndCancelledQuestion) {
    const LanguageScope de(AppLanguage::de);
    QTemporaryDir src, dst;
    TestUtil::writeFile(src.path() + "/a.txt", "alpha");
    TestUtil::writeFile(dst.path() + "/a.txt", "old");
    AppState app(quick()); // no window: every question counts as cancelled
    app.transfers().transferSelection(Side::left, true);
    ASSERT_TRUE(app.toast());
    EXPECT_EQ(app.toast()->text, "Nichts ausgewählt. Wähle zuerst Dateien im linken Fenster.");
    EXPECT_FALSE(app.toast()->isError);

    app.transfers().transfer({src.path() + "/a.txt"}, dst.path(), true);
    EXPECT_EQ(app.toast()->text, "Abgebrochen. Es wurde nichts verändert.");
    EXPECT_FALSE(app.jobs().progress());
    EXPECT_EQ(TestUtil::readFile(src.path() + "/a.txt"), "alpha");

    // A second job while one runs is refused and changes nothing.
    HeldJob busy;
    auto running = busy.begin(app.jobs(), "Kopiere");
    TestUtil::writeFile(src.path() + "/c.txt", "c");
    app.transfers().transfer({src.path() + "/c.txt"}, dst.path(), false);
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_EQ(app.jobs().progress(), running); // no job of its own was started
    busy.end();

    // An empty list does nothing at all.
    app.show("x");
    const QUuid id = app.toast()->id;
    app.transfers().transfer({}, dst.path(), false);
    EXPECT_EQ(app.toast()->id, id);
}

TEST_F(AppStateTest, MoveRecordsUndoAndUndoPutsItBack) {
    const LanguageScope de(AppLanguage::de);
    QTemporaryDir src, dst;
    TestUtil::writeFile(src.path() + "/m.txt", "move me");
    TestUtil::writeFile(dst.path() + "/m.txt", "old");
    ScriptedDialogs script;
    script.answers = {AlertRole::replace};
    AppState app(quick(script.dialogs()));
    app.transfers().transfer({src.path() + "/m.txt"}, dst.path(), true);
    QTRY_VERIFY_WITH_TIMEOUT(app.toast() && !app.jobs().progress(), 5000);
    EXPECT_EQ(TestUtil::readFile(dst.path() + "/m.txt"), "move me");
    EXPECT_FALSE(QFile::exists(src.path() + "/m.txt"));
    EXPECT_EQ(*app.undoJournal().undoTitle(), "„m.txt“ verschoben"); // one item is named
    app.fileActions().undoLast();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(src.path() + "/m.txt") && !app.jobs().progress(), 5000);
    EXPECT_EQ(TestUtil::readFile(dst.path() + "/m.txt"), "old"); // the replaced item is back
}

TEST_F(AppStateTest, UnreadableSettingsAreKeptAsideAndReported) {
    TestUtil::writeFile(Defaults::filePath(), "<plist><dict><key>broken");
    Defaults::resetForTests();
    AppState app(quick());
    ASSERT_TRUE(app.toast());
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_FALSE(app.settingsSetAside().isEmpty());
    EXPECT_TRUE(QFile::exists(app.settingsSetAside()));
    QFile::remove(app.settingsSetAside());
}

namespace {

// Runs work; should it hang on the FIFO at `fifo` for ten seconds, a writer comes and goes so that it ends.
// True when it finished on its own.
template <typename Work> bool finishesUnaided(const QString &fifo, Work work) {
    std::atomic<bool> done{false}, rescued{false};
    std::thread guard([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                rescued = true;
                ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    work();
    done = true;
    guard.join();
    return !rescued;
}

bool isFifo(const QString &path) {
    return S_ISFIFO(TestUtil::lstatOf(path).st_mode);
}

} // namespace

// Anyone who may write the config folder can put a FIFO there; reading it would wait for a writer forever.
TEST_F(AppStateTest, AFifoForSettingsIsSetAsideAndTheStartFinishes) {
    LanguageScope de(AppLanguage::de);
    const QString path = Defaults::filePath();
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path()); // when run first
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Defaults::resetForTests();
    std::unique_ptr<AppState> app;
    EXPECT_TRUE(finishesUnaided(path, [&] { app = std::make_unique<AppState>(quick()); }));
    ASSERT_TRUE(app->toast());
    EXPECT_TRUE(app->toast()->isError);
    EXPECT_TRUE(app->toast()->text.startsWith("Die Einstellungen ließen sich nicht lesen und wurden als"));
    EXPECT_TRUE(isFifo(app->settingsSetAside()));
    EXPECT_TRUE(app->settings().dualPane());

    // One put there while running never holds up the next write either.
    app->settings().setDualPane(false);
    app->settings().save();
    Defaults::flush(2000);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Defaults::setValue("probe", 1); // the store notices the change on disk and would read it again
    EXPECT_TRUE(finishesUnaided(path, [&] {
        app->settings().setShowSidebar(false);
        app->settings().save();
        Defaults::flush(2000);
    }));
    EXPECT_TRUE(S_ISREG(TestUtil::lstatOf(path).st_mode));
    app.reset();
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::boolValue("showSidebar"), false);
    for (const QString &name : TestUtil::names(QFileInfo(path).path()))
        if (name.contains(".unreadable-")) QFile::remove(QFileInfo(path).path() + '/' + name);
}

// Whenever the settings can't be saved the user hears why: a full disk at once, another running copy's
// lock once it has held the writes up for a while. At quit, what still waits is named.
TEST_F(AppStateTest, SettingsThatCanNotBeSavedAreTold) {
    LanguageScope de(AppLanguage::de);
    TestUtil::freshSettings();
    AppState app(quick());
    Posix::setFlushErrorForTests(ENOSPC);
    app.settings().setShowSidebar(false);
    app.settings().save();
    QTRY_VERIFY(app.toast());
    Posix::setFlushErrorForTests(0);
    EXPECT_TRUE(app.toast()->isError);
    EXPECT_EQ(app.toast()->text,
              "Die Einstellungen ließen sich nicht speichern: Nicht genug freier Speicherplatz auf dem Ziel. "
              "Kestrin versucht es weiter.");
    EXPECT_EQ(app.finishSettings(2000), QString()); // the disk has room again
    EXPECT_EQ(SettingsStore(Defaults::filePath()).value("showSidebar"), false);

    const QByteArray folder = QFile::encodeName(QFileInfo(Defaults::filePath()).path());
    const int held = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    app.toasts().setToast(std::nullopt);
    app.settings().setDualPane(false);
    app.settings().save();
    QTRY_VERIFY_WITH_TIMEOUT(app.toast(), SettingsStore::kLockWaitMs + 3000);
    EXPECT_EQ(app.toast()->text,
              "Die Einstellungen ließen sich nicht speichern: Ein anderes laufendes Kestrin "
              "hält sie gesperrt. Kestrin versucht es weiter.");
    EXPECT_EQ(app.finishSettings(300),
              "Diese Einstellung ließ sich beim Beenden nicht speichern: „Zwei Fenster "
              "nebeneinander zeigen“. Kestrin speichert sie beim nächsten Start.");
    app.settings().setFontSize(15);
    EXPECT_EQ(app.finishSettings(300),
              "Diese Einstellungen ließen sich beim Beenden nicht speichern: „Zwei Fenster nebeneinander "
              "zeigen“, „Schriftgröße“. Kestrin speichert sie beim nächsten Start.");
    ::close(held);
    Defaults::resetForTests();
    EXPECT_EQ(Defaults::boolValue("dualPane"), false);
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 15.0);
    TestUtil::freshSettings();
}

// NaN passes every bound made of comparisons (std::clamp too); an infinity is no width or size either.
TEST_F(AppStateTest, EveryStoredNumberIsFiniteOrTheDefault) {
    const QList<QVariant> values = {qQNaN(), qInf(), -qInf(), 1e308, -1e308, QVariant(quint64(-1))};
    for (const QVariant &value : values) {
        SCOPED_TRACE(value.toString().toStdString());
        for (const Settings::Row &row : Settings::rows()) // every stored setting of the table
            Defaults::setValue(row.name, value);
        Defaults::resetForTests(); // read back from the file
        // The file holds it as it is; integers as signed 64 bits, so the largest unsigned comes back as -1.
        const double held =
            value.typeId() == QMetaType::ULongLong ? double(qint64(value.toULongLong())) : value.toDouble();
        const double stored = Defaults::value("splitFraction").toDouble();
        EXPECT_TRUE(std::isnan(held) ? std::isnan(stored) : stored == held);
        const bool finite = std::isfinite(held);
        if (!finite) {
            EXPECT_FALSE(Defaults::doubleValue("splitFraction"));
        }
        AppState app(quick());
        EXPECT_EQ(app.settings().splitFraction(), finite ? std::clamp(held, 0.2, 0.8) : 0.5);
        EXPECT_EQ(app.settings().inspectorWidth(), finite ? std::clamp(held, 220.0, 520.0) : 290.0);
        EXPECT_EQ(app.settings().fontSize(), 13);
        EXPECT_TRUE(app.settings().dualPane());
        EXPECT_TRUE(app.settings().showSidebar());
        EXPECT_FALSE(app.settings().showInspector());
        EXPECT_TRUE(app.settings().toolbarCompact());
        EXPECT_EQ(app.settings().rulesAuto(), finite); // the lenient reading: any finite number but 0 is true
        EXPECT_EQ(app.settings().themeID(), "nebula"); // a number is no text
        EXPECT_TRUE(app.settings().toolbarApps().isEmpty());
    }
}

// Without the rights to read the file, it is left exactly as it is and the user hears once why the
// defaults are in use.
TEST_F(AppStateTest, SettingsWithoutReadRightsAreLeftAloneAndReported) {
    LanguageScope de(AppLanguage::de);
    const QString path = Defaults::filePath();
    const QByteArray stored =
        "<?xml version=\"1.0\"?><plist><dict><key>dualPane</key><false/></dict></plist>";
    ASSERT_TRUE(TestUtil::writeFile(path, stored));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    Defaults::resetForTests();
    // Rights are dropped for this thread only: the writer's thread must not write meanwhile.
    Defaults::setTimingForTests(3'600'000, 1000);
    {
        TestUtil::NoFileRights noRights;
        if (!noRights.active()) GTEST_SKIP() << "the rights to read every file could not be dropped";
        AppState app(quick());
        ASSERT_TRUE(app.toast());
        EXPECT_TRUE(app.toast()->isError);
        EXPECT_EQ(app.toast()->text,
                  "Die Einstellungen ließen sich nicht lesen. Kestrin verwendet die Standardwerte.");
        EXPECT_TRUE(app.settingsSetAside().isEmpty());
        EXPECT_TRUE(app.settings().dualPane()); // the default
        app.settings().setShowSidebar(false);
        app.settings().save();
        Defaults::flush(0);
        Defaults::resetForTests();
    }
    Defaults::setTimingForTests(20, 1000);
    EXPECT_EQ(TestUtil::lstatOf(path).st_mode & 07777, 0u);
    ::chmod(QFile::encodeName(path).constData(), 0600);
    EXPECT_EQ(TestUtil::readFile(path), stored);
    EXPECT_EQ(TestUtil::names(QFileInfo(path).path()).filter(".unreadable-"), QStringList());

    // Readable again, nothing is said.
    Defaults::resetForTests();
    AppState app(quick());
    EXPECT_FALSE(app.toast());
    EXPECT_FALSE(app.settings().dualPane());
}

// The desktop's helpers report in our words: a missing admin helper or application is named in a
// sentence of ours, in the interface language.
TEST(DesktopHooksTest, MissingProgramsAreReportedInOurWords) {
    TestUtil::LanguageScope de(AppLanguage::de);
    const DesktopHooks hooks = DesktopHooks::system();
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toUtf8());
    const std::optional<QString> admin = hooks.deleteAsAdmin({empty.path() + "/x"});
    qputenv("PATH", path);
    EXPECT_EQ(admin, std::optional<QString>("pkexec wurde nicht gefunden."));
    EXPECT_EQ(hooks.openInEditor("no-such-editor.desktop", {}),
              std::optional<QString>("no-such-editor.desktop wurde nicht gefunden."));
    const std::optional<QString> terminal = hooks.openTerminal(empty.path() + "/no-terminal", empty.path());
    ASSERT_TRUE(terminal);
    EXPECT_TRUE(terminal->startsWith("„" + empty.path() + "/no-terminal“ ließ sich nicht starten ("))
        << terminal->toStdString();
    TestUtil::LanguageScope th(AppLanguage::th);
    EXPECT_FALSE(hooks.openInEditor("no-such-editor.desktop", {})->contains("nicht"));
}

TEST_F(AppStateTest, WhatAnInterruptedMoveLeftIsToldAtStartWithAWayToShowIt) {
    LanguageScope de(AppLanguage::de);
    QTemporaryDir tmp;
    const QString aside = tmp.path() + "/.kestrin-gone-1-0", source = tmp.path() + "/tree";
    // An earlier test's start-up may still be settling journals in the background; it would take
    // this one from the start below.
    QThreadPool::globalInstance()->waitForDone(10000);
    ASSERT_TRUE(QDir().mkpath(aside));
    ASSERT_TRUE(TestUtil::writeFile(source, "a new item under the old name"));
    const struct stat st = TestUtil::lstatOf(aside);
    // The record a move killed after setting its original aside leaves.
    const QString journals = qEnvironmentVariable("XDG_STATE_HOME") + "/kestrin/transfers";
    const QString journal = journals + "/" + QString(32, u'a') + ".log";
    ASSERT_TRUE(QDir().mkpath(journals));
    ASSERT_TRUE(TestUtil::writeFile(journal, "aside " + aside.toUtf8().toHex() + ' ' +
                                                 source.toUtf8().toHex() + ' ' +
                                                 QByteArray::number(quint64(st.st_dev)) + ' ' +
                                                 QByteArray::number(quint64(st.st_ino)) + '\n'));
    ScriptedDialogs d;
    d.answers = {AlertAnswer{AlertRole::confirm}};
    AppState app(d.dialogs());
    QTRY_COMPARE_WITH_TIMEOUT(d.alerts.size(), 1, 5000);
    EXPECT_EQ(d.alerts[0].message,
              QString("Das Original eines abgebrochenen Verschiebens liegt als „.kestrin-gone-1-0“ in „%1“, "
                      "weil sein Name wieder vergeben ist.")
                  .arg(tmp.path()));
    EXPECT_TRUE(app.settings().showHidden());
    EXPECT_EQ(app.activePane()->currentPath(), tmp.path());
    QTRY_VERIFY_WITH_TIMEOUT(app.activePane()->selection() == QSet<QString>{aside}, 5000);
    EXPECT_FALSE(QFile::exists(journal));
    EXPECT_TRUE(QFileInfo(aside).isDir());
}
