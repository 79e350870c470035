#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/help/ManualChapters.h"
#include "core/localisation/Lang.h"
#include "ui/app/Commands.h"
#include "ui/app/MainMenuBar.h"
#include "ui/help/ManualWindow.h"
#include "ui/sidebar/SidebarView.h"
#include "common/ScriptedDialogs.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"
#include "core/app/Transfers.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

// A manual with long chapters, so every chapter has its own scroll position.
QByteArray longManual() {
    QByteArray text = "# Handbuch\n";
    for (int chapter = 1; chapter <= 13; ++chapter) {
        text += "## " + QByteArray::number(chapter) + ". Kapitel\n";
        for (int line = 0; line < 40; ++line)
            text += "Absatz " + QByteArray::number(line) + "\n";
    }
    return text;
}

class ManualWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        language = Lang::current();
        ASSERT_TRUE(dir.isValid());
        ManualChapters::setFolder(dir.path());
        app = std::make_unique<AppState>();
        app->settings().setLanguage(AppLanguage::de);
        QObject::connect(&app->requests(), &WindowRequests::manualRequested,
                         [this] { window = ManualWindow::open(app->settings(), app->requests()); });
    }
    void TearDown() override {
        delete window;
        ManualChapters::setFolder({});
        Lang::setCurrent(language);
    }
    int scroll() const { return window->document()->verticalScrollBar()->value(); }

    QTemporaryDir dir;
    std::unique_ptr<AppState> app;
    QPointer<ManualWindow> window;
    AppLanguage language = AppLanguage::de;
};

} // namespace

TEST_F(ManualWindowTest, AChapterRequestScrollsThereAgainWhileTheWindowIsOpen) {
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.de.md"), longManual()));
    app->requests().openManual(4);
    ASSERT_TRUE(window && window->document());
    EXPECT_FALSE(app->requests().manualSection()) << "the request is taken";
    QTRY_VERIFY(scroll() > 0);
    const int atFour = scroll();

    QScrollBar *bar = window->document()->verticalScrollBar();
    bar->setValue(bar->maximum());
    ManualWindow *first = window;
    app->requests().openManual(4);
    EXPECT_EQ(window, first) << "one manual window";
    EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose)) << "the app ends with its main window";
    QTRY_COMPARE(scroll(), atFour);

    // Without a chapter the window comes forward and stays where it is.
    bar->setValue(atFour / 2);
    app->requests().openManual(std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(scroll(), atFour / 2);
    app->requests().openManual(9);
    QTRY_VERIFY(scroll() > atFour);
}

// The window's title follows the interface; the manual's own words (its contents) follow the manual's
// language, so a Thai manual read in the English interface has no English in it.
TEST_F(ManualWindowTest, TitleFollowsTheInterfaceAndTheContentsTheManual) {
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.th.md"), longManual()));
    app->settings().setLanguage(AppLanguage::en);
    app->requests().openManual(std::nullopt);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "Kestrin Manual");
    window->setLanguage(AppLanguage::th);
    ASSERT_TRUE(window->document());
    const QString shown = window->document()->toPlainText();
    EXPECT_TRUE(shown.contains("สารบัญ")) << shown.left(200).toStdString();
    EXPECT_FALSE(shown.contains("Contents"));
}

TEST_F(ManualWindowTest, AMissingFileShowsTheNotFoundLineAndKeepsTheRequestForAnotherLanguage) {
    app->settings().setLanguage(AppLanguage::pl);
    app->requests().openManual(3);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->document());
    QLabel *missing = nullptr;
    for (QLabel *l : window->findChildren<QLabel *>())
        if (l->text().contains("manual.pl.md")) missing = l;
    ASSERT_TRUE(missing);
    EXPECT_EQ(app->requests().manualSection(), 3) << "pending until a manual is shown";

    // Neither a file that is too large nor one that isn't UTF-8 is a manual.
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.th.md"), "## 1. \xff\xfe\n"));
    window->setLanguage(AppLanguage::th);
    EXPECT_FALSE(window->document());
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.en.md"), longManual()));
    window->setLanguage(AppLanguage::en);
    ASSERT_TRUE(window->document());
    EXPECT_FALSE(app->requests().manualSection());
    QTRY_VERIFY(scroll() > 0);
    EXPECT_EQ(app->settings().language(), AppLanguage::pl)
        << "the window's own switch leaves the app's language";
}

namespace {

// Counts the links the desktop would be asked to open.
class LinkSink : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

// The file is outside data: only web and mail links leave the window, anchors stay inside it.
TEST_F(ManualWindowTest, LinksReachOnlyTheWebMailAndTheManualItself) {
    ASSERT_TRUE(TestUtil::writeFile(dir.filePath("manual.de.md"), longManual()));
    app->requests().openManual(12);
    ASSERT_TRUE(window && window->document());
    QTRY_VERIFY(scroll() > 0);
    LinkSink sink;
    for (const char *scheme : {"file", "https", "mailto", "kestrin"})
        QDesktopServices::setUrlHandler(scheme, &sink, "open");
    for (const char *href : {"file:///etc/passwd", "kestrin://x", "https://example.org/", "mailto:a@b.org"})
        emit window->document()->anchorClicked(QUrl(QString::fromUtf8(href)));
    for (const char *scheme : {"file", "https", "mailto", "kestrin"})
        QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(sink.urls, QList<QUrl>({QUrl("https://example.org/"), QUrl("mailto:a@b.org")}));
    // "Zum Inhalt" goes back to the title.
    emit window->document()->anchorClicked(QUrl("#top"));
    EXPECT_LT(scroll(), 20);
}

// Every key the German manual names is a key of a command (or one of the few the panes and fields keep),
// and every menu path it names leads through menus that exist.
TEST_F(ManualWindowTest, KeysAndMenusTheManualNamesExist) {
    const LanguageScope de(AppLanguage::de);
    Commands *commands = &testCommands(app.get());
    QSet<QString> keys{"Strg", "Umschalt", "Tab", "Esc"};
    for (QAction *a : commands->actions())
        for (const QList<QKeySequence> &list : {a->shortcuts(), commands->monitorKeys(a)})
            for (const QKeySequence &k : list)
                keys.insert(Commands::keyText(k));
    const QString text =
        QString::fromUtf8(TestUtil::readFile(KESTRIN_SOURCE_DIR "/resources/Handbuch/manual.de.md"));
    static const QRegularExpression key(QStringLiteral("\\*\\*((?:Strg|Alt|Umschalt)(?:\\+[^*\\s]+)?|F\\d+|"
                                                       "Entf|Rücktaste|Eingabe|Leertaste|Tab|Esc)\\*\\*"));
    int named = 0;
    for (const QRegularExpressionMatch &m : key.globalMatch(text)) {
        QString k = m.captured(1);
        QStringList forms{k};
        if (k.endsWith("Links/Rechts")) {
            k.chop(QStringLiteral("Links/Rechts").size());
            forms = {k + "Links", k + "Rechts"};
        }
        for (const QString &f : forms) {
            ++named;
            EXPECT_TRUE(keys.contains(f)) << f.toStdString();
        }
    }
    EXPECT_GT(named, 40);

    // The menu paths in every language, against the menus built in that language.
    for (AppLanguage lang : AppLanguages::allCases) {
        app->settings().setLanguage(lang);
        const QString code = AppLanguages::rawValue(lang);
        const QString manual = QString::fromUtf8(TestUtil::readFile(
            QStringLiteral(KESTRIN_SOURCE_DIR "/resources/Handbuch/manual.%1.md").arg(code)));
        MainMenuBar bar(*commands, app->settings(), app->requests());
        static const QRegularExpression path(QStringLiteral("\\*\\*([^*]+ > [^*]+)\\*\\*"));
        int paths = 0;
        for (const QRegularExpressionMatch &m : path.globalMatch(manual)) {
            ++paths;
            QList<QAction *> level = bar.actions();
            for (const QString &part : m.captured(1).split(QStringLiteral(" > "))) {
                QAction *found = nullptr;
                for (QAction *a : level) {
                    // The title as read: without the keys, the mnemonic marker or a letter added for it.
                    static const QRegularExpression added(QStringLiteral(" \\(&.\\)$"));
                    QString title = a->text().section(u'\t', 0, 0).remove(added);
                    title.replace(QStringLiteral("&&"), QChar(1)).remove(u'&').replace(QChar(1), u'&');
                    if (title == part) found = a;
                }
                ASSERT_TRUE(found) << code.toStdString() << ": " << m.captured(1).toStdString();
                if (found->menu()) level = found->menu()->actions();
            }
        }
        EXPECT_GE(paths, 5) << code.toStdString();
    }
}

// A chapter of a manual: from its heading to the next chapter's.
QString chapter(const QString &manual, int number) {
    const qsizetype from = manual.indexOf(QStringLiteral("\n## %1. ").arg(number));
    const qsizetype to = manual.indexOf(QStringLiteral("\n## %1. ").arg(number + 1));
    return from < 0 ? QString() : manual.mid(from, to < 0 ? -1 : to - from);
}

QStringList boldIn(const QString &text) {
    static const QRegularExpression bold(QStringLiteral("\\*\\*([^*]+)\\*\\*"));
    QStringList out;
    for (const QRegularExpressionMatch &m : bold.globalMatch(text))
        out << m.captured(1);
    return out;
}

// What the manual says the sidebar's favourites and the sync do, in every language: a favourite of one's
// own leaves through its row menu's entry as the manual names it, and the sync asks first, naming the
// copies, the Trash and the replacements, with the button the manual names.
TEST_F(ManualWindowTest, FavouritesAndSyncDoWhatTheManualSays) {
    QTemporaryDir folders;
    const QString l = folders.path() + "/L", r = folders.path() + "/R";
    TestUtil::writeFile(l + "/new.txt", "new");
    TestUtil::writeFile(l + "/same.txt", "left, longer");
    TestUtil::writeFile(r + "/same.txt", "right");
    TestUtil::writeFile(r + "/extra.txt", "extra");
    ScriptedDialogs scripted;
    AppState syncing(Services(scripted.dialogs()));
    for (AppLanguage lang : AppLanguages::allCases) {
        const LanguageScope scope(lang);
        const QString code = AppLanguages::rawValue(lang);
        const QString manual = QString::fromUtf8(TestUtil::readFile(
            QStringLiteral(KESTRIN_SOURCE_DIR "/resources/Handbuch/manual.%1.md").arg(code)));

        SidebarItem own{folders.path(), "L", "folder", {}, true, false};
        SidebarRow row({app->sidebar(), app->sides(), app->items(), app->trash(), app->toasts()}, own);
        std::unique_ptr<QMenu> menu(row.makeMenu(nullptr));
        QAction *remove = menu->findChild<QAction *>("removeFavorite");
        ASSERT_TRUE(remove) << code.toStdString();
        EXPECT_EQ(remove->text(), L("Aus Favoriten entfernen"));
        EXPECT_TRUE(boldIn(chapter(manual, 7)).contains(remove->text())) << code.toStdString();

        QList<SyncStep> steps;
        for (const CompareRow &c : FolderCompare::scan(l, r, [] { return false; }).rows)
            if (FolderCompare::action(c, SyncMode::leftToRight, true) != SyncAction::none)
                steps << SyncStep{c, FolderCompare::action(c, SyncMode::leftToRight, true)};
        ASSERT_EQ(steps.size(), 3);
        scripted.alerts.clear();
        syncing.transfers().runSync(l, r, steps, {}); // closed unanswered: nothing happens
        ASSERT_EQ(scripted.alerts.size(), 1) << code.toStdString();
        const Alert &asked = scripted.alerts[0];
        EXPECT_EQ(
            asked.informative,
            LP("%d Objekt wird kopiert.|%d Objekte werden kopiert.", 1, 1) + " " +
                LP("%d Objekt kommt in den Papierkorb.|%d Objekte kommen in den Papierkorb.", 1, 1) + " " +
                LP("%d Objekt wird ersetzt; das Alte liegt danach im Papierkorb.|%d Objekte werden ersetzt; "
                   "das Alte liegt danach im Papierkorb.",
                   1, 1));
        EXPECT_TRUE(boldIn(chapter(manual, 9)).contains(asked.buttons.value(0).title)) << code.toStdString();
        EXPECT_TRUE(QFileInfo::exists(r + "/extra.txt"));
    }
}

#include "ManualWindowTest.moc"
