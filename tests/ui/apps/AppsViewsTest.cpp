// The toolbar applications strip and its editor, the "Öffnen mit" menu and the Get Info section of the
// opening application and permissions, against the fixture entries (tests/core/apps/AppFixtures.h).
#include "core/apps/AppFixtures.h"

#include "common/ScriptedDialogs.h"
#include "core/app/AppState.h"
#include "core/app/FileInfoState.h"
#include "core/app/ToolbarApps.h"
#include "core/localisation/Lang.h"
#include "core/model/XattrPlist.h"
#include "platform/AppRegistry.h"
#include "platform/FileFlags.h"
#include "platform/Xattr.h"
#include "platform/Posix.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/panecontent/OpenWithMenu.h"
#include "ui/inspector/FileInfoAppSection.h"
#include "core/fileops/UndoJournal.h"
#include "ui/style/WheelGuard.h"
#include "ui/style/ElidedComboBox.h"
#include "ui/style/ButtonStyles.h"
#include "ui/window/toolbar/ToolbarEditorSheet.h"
#include "ui/window/toolbar/ToolbarAppsStrip.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QWheelEvent>
#include <QSignalSpy>
#include <QUrl>
#include <QVBoxLayout>
#include <QEnterEvent>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace AppFixtures;
using TestUtil::LanguageScope;

namespace {

[[maybe_unused]] auto *const env = ::testing::AddGlobalTestEnvironment(new Environment);

class AppsViewsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        clearOut();
        QDir(root() + "/views").removeRecursively(); // what an earlier test made there
        app = std::make_unique<AppState>(Services(scripted.dialogs()));
        apps = ToolbarApps::of(app.get());
        apps->launcher = [this](const QString &a, const QStringList &paths) -> std::optional<QString> {
            launched << QStringList{a} + paths;
            return std::nullopt;
        };
    }
    static QString e(int i) { return entry(QStringLiteral("many%1").arg(i, 2, 10, QLatin1Char('0'))); }
    QString toastText() const { return app->toast() ? app->toast()->text : QString(); }
    QString doc(const QString &name, const QByteArray &bytes = "int x;\n") {
        const QString path = root() + "/views/" + name;
        TestUtil::writeFile(path, bytes);
        return path;
    }
    static QMimeData *urls(const QStringList &paths) {
        auto *data = new QMimeData;
        QList<QUrl> list;
        for (const QString &p : paths)
            list << QUrl::fromLocalFile(p);
        data->setUrls(list);
        return data;
    }

    LanguageScope de{AppLanguage::de};
    ScriptedDialogs scripted;
    std::unique_ptr<AppState> app;
    ToolbarApps *apps = nullptr;
    QList<QStringList> launched;
};

} // namespace

TEST_F(AppsViewsTest, StripShowsFiveButtonsAndTheRestInTheOverflowMenu) {
    app->settings().setToolbarApps({e(0), e(1), e(2), e(3), e(4), e(5), e(6)});
    ToolbarAppsStrip strip(app->settings(), app->requests(), *ToolbarApps::of(app.get()));
    QCoreApplication::processEvents();
    EXPECT_EQ(strip.findChildren<ToolbarAppButton *>().size(), 5);
    auto *more = strip.findChild<ToolbarMenuButton *>("appsOverflow");
    ASSERT_TRUE(more);
    ASSERT_EQ(more->menu()->actions().size(), 2);
    EXPECT_EQ(more->menu()->actions()[0]->text(), "App 05");
    app->settings().setToolbarApps({e(0)});
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(strip.findChildren<ToolbarAppButton *>().size(), 1);
    EXPECT_FALSE(strip.findChild<ToolbarMenuButton *>("appsOverflow"));
}

// Under the pointer a button's icon grows to 1.12 times its size, not at once but eased over a tenth of a
// second, and shrinks back when the pointer leaves.
TEST_F(AppsViewsTest, StripButtonsZoomTheirIconUnderThePointer) {
    app->settings().setToolbarApps({e(0)});
    ToolbarAppsStrip strip(app->settings(), app->requests(), *ToolbarApps::of(app.get()));
    strip.show();
    QCoreApplication::processEvents();
    auto *button = strip.findChild<ToolbarAppButton *>();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->iconSize(), QSize(20, 20));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_LT(button->zoom(), 1.12); // animated, not a jump
    QTRY_COMPARE_WITH_TIMEOUT(button->zoom(), 1.12, 1000);
    EXPECT_EQ(button->iconSize(), QSize(22, 22));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    QTRY_COMPARE_WITH_TIMEOUT(button->zoom(), 1.0, 1000);
    EXPECT_EQ(button->iconSize(), QSize(20, 20));
}

TEST_F(AppsViewsTest, StripDropsReorderOpenDocumentsOrAddAndNeverTakeAMove) {
    app->settings().setToolbarApps({e(0), e(1), e(2), e(3)});
    ToolbarAppsStrip strip(app->settings(), app->requests(), *ToolbarApps::of(app.get()));
    // A button dragged onto another: its private type reorders.
    QMimeData own;
    own.setUrls({QUrl::fromLocalFile(e(0))});
    own.setData(ToolbarAppsStrip::dragType(), e(0).toUtf8());
    EXPECT_TRUE(strip.handleDrop(&own, e(2)));
    EXPECT_EQ(apps->apps(), (QStringList{e(1), e(2), e(0), e(3)}));
    // A document (with an entry beside it) opens with the button's application; nothing is added.
    std::unique_ptr<QMimeData> docs(urls({doc("a.c"), e(7)}));
    EXPECT_TRUE(strip.handleDrop(docs.get(), e(1)));
    ASSERT_EQ(launched.size(), 1);
    EXPECT_EQ(launched[0], (QStringList{e(1), doc("a.c"), e(7)}));
    EXPECT_EQ(apps->apps().size(), 4);
    // Entries on a button go in front of it; on the background at the end.
    std::unique_ptr<QMimeData> entries(urls({e(8)}));
    EXPECT_TRUE(strip.handleDrop(entries.get(), e(2)));
    EXPECT_EQ(apps->apps(), (QStringList{e(1), e(8), e(2), e(0), e(3)}));

    // A source that offers only a move is not taken; one that offers more is taken as a copy.
    std::unique_ptr<QMimeData> offered(urls({e(9)}));
    QDragEnterEvent moveOnly(QPoint(2, 2), Qt::MoveAction, offered.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &moveOnly);
    EXPECT_FALSE(moveOnly.isAccepted());
    QDragEnterEvent any(QPoint(2, 2), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, offered.get(),
                        Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&strip, &any);
    EXPECT_TRUE(any.isAccepted());
    EXPECT_EQ(any.dropAction(), Qt::CopyAction);
}

// Entries that start nothing (a link, a script under an entry's name) are refused where they are dropped,
// on a button or beside the buttons, not only when their button is clicked.
TEST_F(AppsViewsTest, StripRefusesEntriesThatAreNoApplicationAtTheDrop) {
    app->settings().setToolbarApps({e(0)});
    ToolbarAppsStrip strip(app->settings(), app->requests(), *ToolbarApps::of(app.get()));
    for (const QString &target : {e(0), QString()}) {
        std::unique_ptr<QMimeData> data(urls({entry("weblink"), entry("script")}));
        EXPECT_FALSE(strip.handleDrop(data.get(), target));
        EXPECT_EQ(apps->apps(), QStringList{e(0)});
        EXPECT_TRUE(launched.isEmpty());
        EXPECT_EQ(toastText(), "Das ist keine App. Ziehe ein Programm (Endung .desktop) hierher.");
        app->toasts().setToast(std::nullopt);
    }
}

TEST_F(AppsViewsTest, APaneDropOfAStripButtonCopies) {
    bool copied = false;
    std::unique_ptr<QMimeData> data(urls({e(0)}));
    FolderDropTarget target;
    target.destination = Posix::parentOf(e(0)); // the same volume: a move where one is offered
    target.perform = [&copied](const QMimeData *, bool copy) { return copied = copy, true; };
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction | Qt::LinkAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    EXPECT_TRUE(target.drop(&drop));
    EXPECT_TRUE(copied);
    QDropEvent movable(QPointF(1, 1), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                       Qt::NoModifier);
    EXPECT_TRUE(target.drop(&movable));
    EXPECT_FALSE(copied);
}

TEST_F(AppsViewsTest, EditorRowsCounterAndLook) {
    app->settings().setToolbarCompact(true);
    ToolbarEditorSheet sheet(app->settings(), app->requests(), *apps);
    auto *counter = sheet.findChild<QLabel *>("counter");
    EXPECT_EQ(counter->text(), "0 von 5");
    EXPECT_TRUE(sheet.findChild<QLabel *>("emptyPlaceholder")->isVisibleTo(&sheet));
    const QString gone = appsDir() + "/gone.desktop";
    app->settings().setToolbarApps({e(0), e(1), e(2), e(3), gone});
    QCoreApplication::processEvents();
    EXPECT_EQ(counter->text(), "5 von 5");
    EXPECT_FALSE(sheet.findChild<QPushButton *>("addApp")->isEnabled());
    QWidget *first = sheet.findChild<QWidget *>("row:" + e(0));
    QWidget *last = sheet.findChild<QWidget *>("row:" + gone);
    ASSERT_TRUE(first && last);
    EXPECT_FALSE(first->findChild<IconButton *>("up")->isEnabled());
    EXPECT_TRUE(first->findChild<IconButton *>("down")->isEnabled());
    EXPECT_FALSE(last->findChild<IconButton *>("down")->isEnabled());
    EXPECT_EQ(last->findChild<QLabel *>("where")->text(), "Nicht gefunden");
    EXPECT_EQ(first->findChild<QLabel *>("where")->toolTip(), appsDir()); // shown shortened in the middle
    // The buttons of a missing entry still work.
    last->findChild<IconButton *>("up")->click();
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(1), e(2), gone, e(3)}));
    QCoreApplication::processEvents();
    sheet.findChild<QWidget *>("row:" + gone)->findChild<IconButton *>("remove")->click();
    EXPECT_EQ(apps->apps(), (QStringList{e(0), e(1), e(2), e(3)}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(sheet.findChild<QPushButton *>("addApp")->isEnabled());
    sheet.findChild<QPushButton *>("lookWide")->click();
    EXPECT_FALSE(app->settings().toolbarCompact());

    // A row dragged inside the list: the list takes the new order. An entry dropped on the sheet joins.
    app->settings().setToolbarApps({e(0), e(1), e(2)});
    QCoreApplication::processEvents();
    ASSERT_TRUE(sheet.list()->model()->moveRow(QModelIndex(), 0, QModelIndex(), 3));
    EXPECT_EQ(apps->apps(), (QStringList{e(1), e(2), e(0)}));
    std::unique_ptr<QMimeData> dropped(urls({e(5)}));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, dropped.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&sheet, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, dropped.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&sheet, &drop);
    EXPECT_EQ(apps->apps(), (QStringList{e(1), e(2), e(0), e(5)}));
}

TEST_F(AppsViewsTest, EditorAddButtonAsksForApplicationsAndTakesThem) {
    ToolbarEditorSheet sheet(app->settings(), app->requests(), *apps);
    int asked = 0;
    apps->choose = [&asked](const ToolbarApps::Choice &, const ToolbarApps::Chosen &done) {
        ++asked;
        done({e(1)});
    };
    sheet.findChild<QPushButton *>("addApp")->click();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(apps->apps(), QStringList{e(1)});
}

TEST_F(AppsViewsTest, OpenWithMenuListsTheFirstPathsAppsAndOpensAllPaths) {
    const QString c = doc("m.c"), text = doc("n.txt", "hello\n");
    int picked = 0;
    QWidget parent;
    QMenu *menu = OpenWithMenu::build(app->toasts(), {c, text}, &parent, [&picked] { ++picked; });
    OpenWithMenu::fill(menu, app->toasts(), {c, text}, [&picked] { ++picked; });
    const QList<QAction *> actions = menu->actions();
    ASSERT_GE(actions.size(), 4);
    EXPECT_EQ(menu->title(), "Öffnen mit");
    EXPECT_EQ(actions[0]->text(), "Zeta (Standard)");
    EXPECT_EQ(actions[1]->text(), "Alpha");
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), "Andere …");
    actions[1]->trigger();
    EXPECT_EQ(picked, 1);
    EXPECT_EQ(waitLaunch(), (QStringList{"alpha", c, text}));
}

// The default application's mark is a text of the interface, in Get Info's picker as in the menu.
TEST_F(AppsViewsTest, TheDefaultIsMarkedInTheInterfaceLanguage) {
    const QString c = doc("lang.c");
    const std::pair<AppLanguage, QString> marks[] = {{AppLanguage::en, "Zeta (Default)"},
                                                     {AppLanguage::pl, "Zeta (domyślna)"},
                                                     {AppLanguage::de, "Zeta (Standard)"}};
    for (const auto &[lang, mark] : marks) {
        LanguageScope scope(lang);
        FileInfoAppSection section(app->toasts(), app->services(), c);
        QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
        auto *picker = section.findChild<QComboBox *>("appPicker");
        EXPECT_EQ(picker->itemText(picker->findData(entry("zeta"))), mark);
        QWidget parent;
        QMenu *menu = OpenWithMenu::build(app->toasts(), {c}, &parent, [] {});
        OpenWithMenu::fill(menu, app->toasts(), {c}, [] {});
        EXPECT_EQ(menu->actions().value(0)->text(), mark);
    }
}

TEST_F(AppsViewsTest, PermissionPickersWaitForTheLoadAndWriteTheFile) {
    const QString file = doc("perm.c");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    FileInfoAppSection section(app->toasts(), app->services(), file);
    auto *owner = section.findChild<QComboBox *>("access6");
    auto *others = section.findChild<QComboBox *>("access0");
    // Before the load a choice would start from mode 0.
    EXPECT_FALSE(owner->isEnabled());
    section.setAccess(4, 0);
    struct stat st {};
    ::stat(QFile::encodeName(file).constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));
    QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
    EXPECT_TRUE(owner->isEnabled());
    EXPECT_EQ(owner->currentData().toInt(), 6);
    EXPECT_EQ(others->currentData().toInt(), 0);
    section.setAccess(4, 0);
    ::stat(QFile::encodeName(file).constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0644));
    EXPECT_EQ(others->currentData().toInt(), 4);
    // Changed elsewhere after the load: the write starts from what the file has now.
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 04600), 0);
    section.setAccess(4, 3);
    ::stat(QFile::encodeName(file).constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(04640));
    EXPECT_EQ(others->currentData().toInt(), 0);
}

// The wheel over a menu that has not been clicked scrolls the page (its scroll bar takes it) and leaves
// the file alone; a change by the menu is undone like any other, only the bits it changed, while the file
// is the one it changed.
TEST_F(AppsViewsTest, PermissionMenusIgnoreTheWheelAndTheirChangeIsUndone) {
    WheelGuard::install();
    const QString file = doc("wheel.c");
    const QByteArray name = QFile::encodeName(file);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    QScrollArea page;
    auto *host = new QWidget;
    auto *column = new QVBoxLayout(host);
    column->addSpacing(900);
    auto *section = new FileInfoAppSection(app->toasts(), app->services(), file);
    section->setUndoJournal(&app->undoJournal());
    column->addWidget(section);
    auto *spin = new QSpinBox;
    column->addWidget(spin);
    column->addSpacing(900);
    page.setWidget(host);
    page.resize(300, 300);
    page.show();
    QTRY_VERIFY_WITH_TIMEOUT(section->isLoaded(), 5000);
    auto *others = section->findChild<QComboBox *>("access0");
    page.ensureWidgetVisible(others);
    EXPECT_EQ(others->focusPolicy(), Qt::StrongFocus);
    QWheelEvent wheel(QPointF(5, 5), others->mapToGlobal(QPointF(5, 5)), {}, {0, 120}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    // Left unaccepted, so that the scroll area around it takes it, as from the window system.
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    const int top = page.verticalScrollBar()->value();
    qApp->notify(others, &wheel);
    EXPECT_LT(page.verticalScrollBar()->value(), top);
    struct stat st {};
    ::stat(name.constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0640));
    EXPECT_FALSE(app->undoJournal().undoTitle());
    // A spin box likewise; once it has the focus the wheel is its own.
    page.ensureWidgetVisible(spin);
    EXPECT_EQ(spin->focusPolicy(), Qt::StrongFocus);
    page.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    for (bool focused : {false, true}) {
        // The page has the keys, as after a click on it; then the spin box, as after a click on it.
        (focused ? static_cast<QWidget *>(spin) : &page)->setFocus(Qt::MouseFocusReason);
        ASSERT_EQ(spin->hasFocus(), focused);
        QWheelEvent turn(QPointF(5, 5), spin->mapToGlobal(QPointF(5, 5)), {}, {0, 120}, Qt::NoButton, {},
                         Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&turn);
        const int at = page.verticalScrollBar()->value();
        qApp->notify(spin, &turn);
        EXPECT_EQ(spin->value(), focused ? 1 : 0);
        EXPECT_EQ(page.verticalScrollBar()->value() < at, !focused);
    }

    section->setAccess(6, 0);
    ::stat(name.constData(), &st);
    ASSERT_EQ(st.st_mode & 07777, mode_t(0646));
    ASSERT_EQ(app->undoJournal().entries().size(), 1);
    // Changed elsewhere since: that stays.
    ASSERT_EQ(::chmod(name.constData(), 04646), 0);
    TransferProgress progress;
    const FileActions::UndoReport report =
        FileActions::reverse(app->undoJournal().entries()[0].action, progress);
    EXPECT_EQ(report.done, 1);
    EXPECT_TRUE(report.errors.isEmpty());
    ::stat(name.constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(04640));
    // Another item under the name now: left alone.
    section->setAccess(2, 0);
    const UndoAction change = app->undoJournal().entries().last().action;
    ASSERT_TRUE(QFile::rename(file, file + ".old"));
    ASSERT_TRUE(TestUtil::writeFile(file, "other"));
    ASSERT_EQ(::chmod(name.constData(), 0600), 0);
    EXPECT_EQ(FileActions::reverse(change, progress).errors.size(), 1);
    ::stat(name.constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0600));
}

// The permission menus are as wide as their longest choice, in a narrow window too; a type no
// application is known for says so instead of an empty menu.
TEST_F(AppsViewsTest, PermissionMenusShowTheirChoicesWholeAndNoApplicationIsSaid) {
    const QString file = doc("whole.c"), unknown = doc("nothing.zzqqx", QByteArray(64, '\x01'));
    for (AppLanguage lang : {AppLanguage::en, AppLanguage::de}) {
        LanguageScope scope(lang);
        QWidget window;
        window.setFixedWidth(300);
        auto *layout = new QVBoxLayout(&window);
        auto *section = new FileInfoAppSection(app->toasts(), app->services(), file, &window);
        layout->addWidget(section);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(section->isLoaded(), 5000);
        for (const char *name : {"access6", "access3", "access0"}) {
            auto *picker = section->findChild<QComboBox *>(name);
            ASSERT_TRUE(picker);
            for (int i = 0; i < picker->count(); ++i)
                EXPECT_GT(picker->width(), picker->fontMetrics().horizontalAdvance(picker->itemText(i)) + 16)
                    << name << " " << picker->itemText(i).toStdString();
        }
        // The application's menu, narrower than its choice, ends it visibly.
        auto *apps = dynamic_cast<ElidedComboBox *>(section->findChild<QComboBox *>("appPicker"));
        ASSERT_TRUE(apps);
        EXPECT_EQ(apps->shownText(), apps->currentText());
        apps->setFixedWidth(apps->minimumSizeHint().width());
        EXPECT_TRUE(apps->shownText().endsWith(u'…')) << apps->shownText().toStdString();
        EXPECT_EQ(apps->toolTip(), apps->currentText());
        FileInfoAppSection none(app->toasts(), app->services(), unknown);
        QTRY_VERIFY_WITH_TIMEOUT(none.isLoaded(), 5000);
        auto *picker = none.findChild<QComboBox *>("appPicker");
        ASSERT_EQ(picker->count(), 1);
        EXPECT_EQ(picker->currentText(), lang == AppLanguage::en ? "No application" : "Kein Programm");
        EXPECT_FALSE(picker->isEnabled());
    }
}

// The picker starts on the file's own choice, else the default, else the first application: never on an
// empty line while applications are there.
TEST(FileInfoAppChoice, OwnChoiceThenDefaultThenTheFirst) {
    const OpenWithApp a{"/a.desktop", "A", {}, false, false}, b{"/b.desktop", "B", {}, true, false},
        c{"/c.desktop", "C", {}, false, false};
    EXPECT_EQ(FileInfoAppSection::initialChoice({a, b, c}, std::nullopt), "/b.desktop");
    EXPECT_EQ(FileInfoAppSection::initialChoice({a, b, c}, QString("/c.desktop")), "/c.desktop");
    EXPECT_EQ(FileInfoAppSection::initialChoice({a, c}, std::nullopt), "/a.desktop");
    EXPECT_EQ(FileInfoAppSection::initialChoice({}, std::nullopt), QString());
}

TEST_F(AppsViewsTest, AFailedChoicePutsThePreviousOneBack) {
    const QString file = doc("choice.c");
    if (Xattr::set(file, QStringLiteral("user.probe"), "1") != 0) GTEST_SKIP() << "no user xattrs here";
    FileInfoAppSection section(app->toasts(), app->services(), file);
    QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
    EXPECT_EQ(section.openWith(), entry("zeta"));
    section.chooseApp(entry("alpha"));
    EXPECT_EQ(FileOps::openWithOverride(file), entry("alpha"));
    const QString attr = Xattr::userName(FileOps::openWithXattr());
    Xattr::failWritesForTests(attr, EIO);
    section.chooseApp(entry("beta"));
    Xattr::failWritesForTests(attr, 0);
    EXPECT_EQ(section.openWith(), entry("alpha"));
    EXPECT_EQ(section.findChild<QComboBox *>("appPicker")->currentData().toString(), entry("alpha"));
    EXPECT_TRUE(toastText().startsWith("„Öffnen mit“ ließ sich nicht ändern: ")) << toastText().toStdString();
    // The default entry takes the file's own choice away.
    section.chooseApp(entry("zeta"));
    EXPECT_EQ(FileOps::openWithOverride(file), std::nullopt);
    // A locked file refuses it: said as such (where this account may lock it).
    const int dir = ::open(QFile::encodeName(QFileInfo(file).path()).constData(), O_PATH | O_DIRECTORY);
    struct stat st {};
    if (::lstat(QFile::encodeName(file).constData(), &st) == 0 &&
        FileFlags::setImmutable(dir, "choice.c", st, true) == 0) {
        section.chooseApp(entry("alpha"));
        FileFlags::setImmutable(dir, "choice.c", st, false);
        EXPECT_EQ(toastText(), "„choice.c“ ist geschützt: „Öffnen mit“ lässt sich erst ändern, wenn "
                               "„Geschützt“ ausgeschaltet ist.");
        EXPECT_EQ(section.openWith(), entry("zeta"));
    }
    ::close(dir);
}

TEST_F(AppsViewsTest, ChangeAllOfTypeClaimsSuccessOnlyWhenTheSystemNamesTheApp) {
    const QString c = doc("all.c");
    {
        FileInfoAppSection section(app->toasts(), app->services(), c);
        QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
        section.chooseApp(entry("alpha"));
        scripted.answers.push_back(AlertRole::cancel);
        section.changeAllOfType();
        EXPECT_EQ(AppRegistry::defaultFor("text/x-csrc"), entry("zeta"));
        scripted.answers.push_back(AlertRole::confirm);
        section.changeAllOfType();
        EXPECT_EQ(AppRegistry::defaultFor("text/x-csrc"), entry("alpha"));
        EXPECT_EQ(toastText(), "„Alpha“ öffnet jetzt alle Dateien dieser Art.");
        ASSERT_EQ(AppRegistry::setDefaultFor(entry("zeta"), "text/x-csrc"), std::nullopt);
    }
    // Java's default comes from the desktop's own list, which a change of the general list can't beat.
    const QString java = doc("All.java", "class All {}\n");
    FileInfoAppSection section(app->toasts(), app->services(), java);
    QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
    section.chooseApp(entry("alpha"));
    scripted.answers.push_back(AlertRole::confirm);
    section.changeAllOfType();
    EXPECT_EQ(toastText(),
              "Das Standardprogramm ließ sich nicht ändern: Das System nennt weiterhin ein anderes "
              "Programm.");
    EXPECT_TRUE(app->toast() && app->toast()->isError);
}

TEST_F(AppsViewsTest, PickersFollowTheFormsRenameAndRefuseAnotherItemUnderItsName) {
    if (Xattr::set(doc("probe.c"), QStringLiteral("user.probe"), "1") != 0) GTEST_SKIP() << "no user xattrs";
    auto mode = [](const QString &path) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    };
    const QString old = doc("old.c");
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0640), 0);
    FileInfoState form(app->sides(), app->items(), app->toasts(), old, 0);
    FileInfoAppSection section(app->toasts(), app->services(), &form);
    QSignalSpy loads(&section, &FileInfoAppSection::loaded);
    QTRY_VERIFY_WITH_TIMEOUT(section.isLoaded(), 5000);
    form.setNameText("new.c");
    form.rename();
    const QString renamed = root() + "/views/new.c";
    ASSERT_EQ(form.path(), renamed);
    EXPECT_EQ(section.path(), renamed);
    QTRY_VERIFY_WITH_TIMEOUT(loads.size() >= 2, 5000);

    // A new file takes the old name: the pickers change the renamed one, never it.
    doc("old.c");
    ASSERT_EQ(::chmod(QFile::encodeName(old).constData(), 0600), 0);
    section.setAccess(4, 0);
    EXPECT_EQ(mode(renamed), mode_t(0644));
    EXPECT_EQ(mode(old), mode_t(0600));
    section.chooseApp(entry("alpha"));
    EXPECT_EQ(FileOps::openWithOverride(renamed), entry("alpha"));
    EXPECT_EQ(FileOps::openWithOverride(old), std::nullopt);

    // Replaced under its name behind the form's back: nothing is changed on the stranger.
    const QString other = doc("other.c");
    ASSERT_EQ(::chmod(QFile::encodeName(other).constData(), 0600), 0);
    ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(renamed).constData()), 0);
    section.setAccess(6, 0);
    EXPECT_EQ(mode(renamed), mode_t(0600));
    EXPECT_TRUE(app->toast() && app->toast()->isError);
    EXPECT_TRUE(toastText().contains("new.c")) << toastText().toStdString();
    section.chooseApp(entry("beta"));
    EXPECT_EQ(FileOps::openWithOverride(renamed), std::nullopt);
    EXPECT_EQ(section.openWith(), entry("alpha"));
}
