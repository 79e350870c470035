#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/SidebarModel.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/style/ButtonStyles.h"
#include "ui/window/MainWindow.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PaneView.h"
#include "ui/window/pane/PlacesMenu.h"
#include "ui/window/PaneArea.h"

#include <QFileInfo>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMimeData>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <tuple>

using TestUtil::LanguageScope;

namespace {

class SidebarViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        QDir(FileLoader::mainTrash()).removeRecursively();
        QDir(TrashRoots::homeTrash() + "/info").removeRecursively();
    }
    Services services(std::vector<Volume> volumes = {}) {
        Services s;
        s.sidebar.watchMounts = false;
        s.sidebar.volumes = [volumes] { return volumes; };
        s.timings.jobQuietMs = 10;
        s.timings.jobPeriodMs = 10;
        s.desktop.eject = [this](const QByteArray &path) -> std::optional<QString> {
            ejected << path;
            return std::nullopt;
        };
        return s;
    }
    static std::unique_ptr<QMimeData> urls(const QStringList &paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> list;
        for (const QString &p : paths)
            list << QUrl::fromLocalFile(p);
        data->setUrls(list);
        return data;
    }
    static void waitIdle(AppState &app) {
        QTRY_VERIFY(!app.sidebar().building());
        QTRY_VERIFY(!app.jobs().busy());
    }
    QTemporaryDir dir;
    QList<QByteArray> ejected;
};

} // namespace

TEST_F(SidebarViewTest, FilesDroppedOnTheTrashRowGoThroughTheTrashWithTheirRecord) {
    TestUtil::writeFile(dir.path() + "/old.txt", "old");
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(FileLoader::mainTrash()) != nullptr);
    auto data = urls({dir.path() + "/old.txt"});
    EXPECT_TRUE(view.row(FileLoader::mainTrash())->drop(data.get(), false));
    waitIdle(app);
    EXPECT_FALSE(TestUtil::exists(dir.path() + "/old.txt"));
    EXPECT_TRUE(TestUtil::exists(FileLoader::mainTrash() + "/old.txt"));
    // The record that lets it be put back.
    const QByteArray info = TestUtil::readFile(TrashRoots::homeTrash() + "/info/old.txt.trashinfo");
    EXPECT_TRUE(info.contains("Path=" + QUrl::toPercentEncoding(dir.path() + "/old.txt", "/")));
}

TEST_F(SidebarViewTest, FilesDroppedOnAFolderRowMoveOnTheSameVolumeAndCopyWithTheCopyKeyOrFromAnother) {
    QDir().mkpath(dir.path() + "/inbox");
    TestUtil::writeFile(dir.path() + "/a.txt", "a");
    TestUtil::writeFile(dir.path() + "/b.txt", "b");
    Defaults::setValue("userFavorites", QStringList{dir.path() + "/inbox"});
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(dir.path() + "/inbox") != nullptr);
    SidebarRow *row = view.row(dir.path() + "/inbox");

    auto a = urls({dir.path() + "/a.txt"});
    EXPECT_TRUE(row->drop(a.get(), false));
    QTRY_VERIFY(TestUtil::exists(dir.path() + "/inbox/a.txt"));
    waitIdle(app);
    EXPECT_FALSE(TestUtil::exists(dir.path() + "/a.txt"));

    auto b = urls({dir.path() + "/b.txt"});
    EXPECT_TRUE(row->drop(b.get(), true));
    QTRY_VERIFY(TestUtil::exists(dir.path() + "/inbox/b.txt"));
    waitIdle(app);
    EXPECT_TRUE(TestUtil::exists(dir.path() + "/b.txt"));

    TestUtil::TmpfsMount other;
    if (!other.valid()) return; // the other-volume case needs root
    TestUtil::writeFile(other.path() + "/c.txt", "c");
    auto c = urls({other.path() + "/c.txt"});
    EXPECT_TRUE(row->drop(c.get(), false));
    QTRY_VERIFY(TestUtil::exists(dir.path() + "/inbox/c.txt"));
    waitIdle(app);
    EXPECT_TRUE(TestUtil::exists(other.path() + "/c.txt"));
}

// A sidebar row follows the drop rule of the pane views: only what the source offers is done, the source
// hears what was done, and web links alone are refused rather than "accepted" for nothing.
TEST_F(SidebarViewTest, RowsDoOnlyWhatTheSourceOffersAndRefuseWebLinks) {
    QDir().mkpath(dir.path() + "/inbox");
    TestUtil::writeFile(dir.path() + "/copy.txt", "c");
    TestUtil::writeFile(dir.path() + "/move.txt", "m");
    Defaults::setValue("userFavorites", QStringList{dir.path() + "/inbox"});
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(dir.path() + "/inbox") != nullptr);
    SidebarRow *row = view.row(dir.path() + "/inbox");
    auto send = [&](QWidget *w, const QMimeData *data, Qt::DropActions offered) {
        QDragEnterEvent enter(QPoint(5, 5), offered, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(w, &enter);
        QDropEvent drop(QPointF(5, 5), offered, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(w, &drop);
        return std::make_tuple(enter.isAccepted(), drop.isAccepted(),
                               drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction);
    };

    // A source that offers only a copy (a toolbar application, another program) keeps its file.
    auto copyOnly = urls({dir.path() + "/copy.txt"});
    EXPECT_EQ(send(row, copyOnly.get(), Qt::CopyAction), std::make_tuple(true, true, Qt::CopyAction));
    QTRY_VERIFY(TestUtil::exists(dir.path() + "/inbox/copy.txt"));
    waitIdle(app);
    EXPECT_TRUE(TestUtil::exists(dir.path() + "/copy.txt"));
    // One that offers a move on the same volume is told it was moved.
    auto movable = urls({dir.path() + "/move.txt"});
    EXPECT_EQ(send(row, movable.get(), Qt::CopyAction | Qt::MoveAction),
              std::make_tuple(true, true, Qt::MoveAction));
    QTRY_VERIFY(TestUtil::exists(dir.path() + "/inbox/move.txt"));
    waitIdle(app);
    EXPECT_FALSE(TestUtil::exists(dir.path() + "/move.txt"));
    // The Trash row trashes, which a copy-only source does not allow.
    SidebarRow *trash = view.row(FileLoader::mainTrash());
    ASSERT_NE(trash, nullptr);
    EXPECT_EQ(std::get<1>(send(trash, copyOnly.get(), Qt::CopyAction)), false);
    EXPECT_TRUE(TestUtil::exists(dir.path() + "/copy.txt"));

    QMimeData web;
    web.setUrls({QUrl("https://example.org/bild.png")});
    for (SidebarRow *r : {row, trash}) {
        EXPECT_EQ(send(r, &web, Qt::CopyAction | Qt::MoveAction),
                  std::make_tuple(false, false, Qt::IgnoreAction));
        EXPECT_FALSE(r->drop(&web, false));
    }
}

// Whether a drop would stay on one volume is asked off the window's thread: over a row on a mount that hangs
// the drag goes on at once, proposing a copy.
TEST_F(SidebarViewTest, HoveringARowNeverWaitsForItsVolume) {
    QDir().mkpath(dir.path() + "/inbox");
    TestUtil::writeFile(dir.path() + "/a.txt", "a");
    Defaults::setValue("userFavorites", QStringList{dir.path() + "/inbox"});
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(dir.path() + "/inbox") != nullptr);
    auto gate = std::make_shared<QSemaphore>();
    FolderDropTarget::setVolumeCheck([gate](const QStringList &, const QString &) {
        gate->tryAcquire(1, 5000); // as a dead mount would, until released
        return true;
    });
    auto data = urls({dir.path() + "/a.txt"});
    QElapsedTimer clock;
    clock.start();
    QDragEnterEvent move(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(view.row(dir.path() + "/inbox"), &move);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);
    gate->release(10);
    FolderDropTarget::setVolumeCheck({});
}

TEST_F(SidebarViewTest, RowsOpenTheirFolderAndOfferOnlyTheEntriesThatApply) {
    LanguageScope german(AppLanguage::de);
    QTemporaryDir stick;
    QDir().mkpath(dir.path() + "/mine");
    Defaults::setValue("userFavorites", QStringList{dir.path() + "/mine"});
    AppState app(services({{stick.path(), "/dev/sdz1", "vfat", true}}));
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(stick.path()) && view.row(dir.path() + "/mine"));

    // A click opens the entry in the active pane, which then draws it as current.
    SidebarRow *mine = view.row(dir.path() + "/mine");
    QTest::mouseClick(mine, Qt::LeftButton);
    EXPECT_EQ(app.activePane()->currentPath(), dir.path() + "/mine");
    EXPECT_TRUE(mine->isCurrent());

    auto names = [](QMenu *m) {
        QStringList out;
        for (QAction *a : m->actions())
            out << a->objectName();
        delete m;
        return out;
    };
    EXPECT_EQ(names(view.row(stick.path())->makeMenu(nullptr)), (QStringList{"newTab", "eject"}));
    EXPECT_EQ(names(mine->makeMenu(nullptr)), (QStringList{"newTab", "removeFavorite"}));
    EXPECT_EQ(names(view.row(FileLoader::mainTrash())->makeMenu(nullptr)), QStringList{"newTab"});
    EXPECT_EQ(mine->ejectButton(), nullptr);
    ASSERT_NE(view.row(stick.path())->ejectButton(), nullptr);

    // Eject goes through the application's eject; removal through the model, which stores it.
    view.row(stick.path())->ejectButton()->click();
    QTRY_COMPARE(ejected, QList<QByteArray>{QFile::encodeName(stick.path())});
    QMenu *menu = mine->makeMenu(nullptr);
    menu->actions().last()->trigger();
    delete menu;
    QTRY_VERIFY(view.row(dir.path() + "/mine") == nullptr);
    EXPECT_TRUE(app.sidebar().userFavorites().isEmpty());
}

// A mount point whose name is not UTF-8 is never acted on under its shown text, which is another path: its
// eject gets the name's own bytes, and a new tab is refused with the reason, as a click is.
TEST_F(SidebarViewTest, AMountPointThatIsNotUtf8IsEjectedByItsBytesAndNeverOpened) {
    LanguageScope german(AppLanguage::de);
    const QByteArray bytes = QFile::encodeName(dir.path()) + "/caf\xe9";
    ASSERT_EQ(::mkdir(bytes.constData(), 0700), 0);
    const QString shown = Volumes::pathText(bytes);
    AppState app(services({{shown, "/dev/sdz1", "vfat", true, bytes}}));
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(shown));
    const auto trigger = [&](const QString &name) {
        QMenu *menu = view.row(shown)->makeMenu(nullptr);
        for (QAction *a : menu->actions())
            if (a->objectName() == name) a->trigger();
        delete menu;
    };
    TabGroup *tabs = app.sides().tabs(app.sides().active());
    const qsizetype before = tabs->tabs().size();
    trigger("newTab");
    EXPECT_EQ(tabs->tabs().size(), before);
    ASSERT_TRUE(app.toasts().toast());
    EXPECT_EQ(app.toasts().toast()->text, FileLoader::describeUnrepresentable({"caf\\xE9"}));
    trigger("eject");
    QTRY_COMPARE(ejected, QList<QByteArray>{bytes});
    QTRY_VERIFY(view.row(shown));
    view.row(shown)->ejectButton()->click();
    QTRY_COMPARE(ejected, (QList<QByteArray>{bytes, bytes}));
    // The places menu has no path to go to for it either.
    PlacesMenu places(app.activePane(), app.items(), app.services().sidebar.volumes);
    for (const PlacesMenu::Place &p : places.places())
        EXPECT_NE(p.name, "caf\\xE9") << p.path.toStdString();
}

// The current row is drawn anew when the active pane's folder changes: by navigation, or by another tab
// coming to the front.
TEST_F(SidebarViewTest, TheCurrentRowIsRedrawnWhenTheShownFolderChanges) {
    struct Paints : QObject {
        int n = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            n += e->type() == QEvent::Paint;
            return false;
        }
    } paints;
    const QString mine = dir.path() + "/mine";
    QDir().mkpath(mine);
    Defaults::setValue("userFavorites", QStringList{mine});
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    view.resize(220, 600);
    view.show();
    QTRY_VERIFY(view.row(mine));
    view.row(mine)->installEventFilter(&paints);
    TabGroup *tabs = app.sides().tabs(app.sides().active());
    tabs->newTab(dir.path());
    for (const auto &change : std::initializer_list<std::function<void()>>{
             [&] { app.activePane()->go(mine); }, [&] { tabs->close(tabs->index()); }}) {
        QTest::qWait(50); // the paints of what came before
        paints.n = 0;
        change();
        QTRY_VERIFY(paints.n > 0);
    }
}

TEST_F(SidebarViewTest, TheWindowShowsTheSidebarOrThePlacesMenuNeverBoth) {
    AppState app(services({Volume{"/media/u/STICK", "/dev/sdz1", "vfat", true}}));
    MainWindow window(&app);
    window.show();
    ASSERT_NE(qobject_cast<SidebarView *>(window.sidebarColumn()), nullptr);
    auto *pane = window.paneArea()->findChild<PaneHeader *>();
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(window.sidebarColumn()->isVisible());
    EXPECT_FALSE(pane->placesMenu()->isVisible());
    app.settings().setShowSidebar(false);
    EXPECT_FALSE(window.sidebarColumn()->isVisible());
    EXPECT_TRUE(pane->placesMenu()->isVisible());
    // The menu lists the volumes the sidebar lists, not those of this machine.
    pane->placesMenu()->fill();
    QStringList listed;
    for (const QAction *a : pane->placesMenu()->menu()->actions())
        listed << a->objectName();
    EXPECT_TRUE(listed.contains("/media/u/STICK")) << listed.join(", ").toStdString();
}

TEST_F(SidebarViewTest, PlacesAreNamedInTheAppLanguageAndLeaveOutWhatIsNotThere) {
    const QString home = dir.path() + "/home";
    QDir().mkpath(home + "/Library/CloudStorage/Dropbox");
    QDir().mkpath(home + "/Library/CloudStorage/.hidden");
    QDir().mkpath(home + "/Dropbox");
    auto names = [](const QList<PlacesMenu::Place> &places) {
        QStringList out;
        for (const PlacesMenu::Place &p : places)
            out << p.name;
        return out;
    };
    auto pathsOf = [](const QList<PlacesMenu::Place> &places) {
        QStringList out;
        for (const PlacesMenu::Place &p : places)
            out << p.path;
        return out;
    };
    // No iCloud, no Applications here: home, the cloud folder (which stands for the home Dropbox), "/",
    // the volume once.
    const QList<PlacesMenu::Place> bare = PlacesMenu::places(home, {"/media/u/STICK", "/media/u/STICK", "/"});
    EXPECT_EQ(pathsOf(bare),
              (QStringList{home, home + "/Library/CloudStorage/Dropbox", "/", "/media/u/STICK"}));

    const QString desktop =
        FileLoader::norm(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    QDir().mkpath(desktop);
    // The desktop folder goes by its name on disk in every language.
    for (const AppLanguage lang : {AppLanguage::th, AppLanguage::de}) {
        LanguageScope scope(lang);
        EXPECT_TRUE(names(PlacesMenu::places(home, {})).contains(QFileInfo(desktop).fileName()));
    }
    QDir(desktop).removeRecursively();

    AppState app(services());
    PlacesMenu menu(app.activePane(), app.items(), app.services().sidebar.volumes);
    menu.fill();
    const QList<QAction *> actions = menu.menu()->actions();
    ASSERT_GE(actions.size(), 4);
    EXPECT_EQ(actions[0]->objectName(), "goToFolder");
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->objectName(), FileLoader::norm(QDir::homePath()));
    QAction *root = nullptr;
    for (QAction *a : actions)
        if (a->objectName() == u"/") root = a;
    ASSERT_NE(root, nullptr);
    root->trigger();
    EXPECT_EQ(app.activePane()->currentPath(), "/");
}

// A folder goes by its name on disk in every language, even where that name is one of the interface's own
// German texts; only the Trash is named in the interface's language.
TEST_F(SidebarViewTest, FoldersKeepTheirNamesOnDiskAndOnlyTheTrashIsTranslated) {
    LanguageScope thai(AppLanguage::th);
    QDir().mkpath(dir.path() + "/Schreibtisch");
    Defaults::setValue("userFavorites", QStringList{dir.path() + "/Schreibtisch"});
    AppState app(services());
    SidebarView view(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts());
    QTRY_VERIFY(view.row(dir.path() + "/Schreibtisch") && view.row(FileLoader::mainTrash()));
    EXPECT_EQ(view.row(dir.path() + "/Schreibtisch")->accessibleName(), "Schreibtisch");
    EXPECT_EQ(view.row(FileLoader::mainTrash())->accessibleName(), L("Papierkorb"));
    EXPECT_NE(L("Papierkorb"), "Papierkorb");
}
