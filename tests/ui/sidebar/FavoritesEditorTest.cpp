#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/Favorites.h"
#include "ui/sidebar/FavoritesEditorSheet.h"
#include "ui/style/ButtonStyles.h"

#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSemaphore>
#include <QThread>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using TestUtil::LanguageScope;

namespace {

class FavoritesEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        for (const char *n : {"a", "b", "c", "d", "e", "f", "g"})
            TestUtil::writeFile(p(n), "x");
    }
    static Services services() {
        Services s;
        s.sidebar.watchMounts = false;
        s.sidebar.volumes = [] { return std::vector<Volume>(); };
        return s;
    }
    QString p(const char *n) const { return dir.path() + u'/' + QLatin1String(n); }
    static IconButton *button(FavoritesEditorSheet &sheet, int row, const char *name) {
        return sheet.rowWidget(row)->findChild<IconButton *>(QLatin1String(name));
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(FavoritesEditorTest, DraggingARowStoresTheNewOrder) {
    AppState app(services());
    app.favorites().setList({p("a"), p("b"), p("c"), p("d")});
    FavoritesEditorSheet sheet(app.favorites());
    // The first row dragged below the third.
    ASSERT_TRUE(sheet.list()->model()->moveRow(QModelIndex(), 0, QModelIndex(), 3));
    QTRY_COMPARE(app.favorites().list(), (QStringList{p("b"), p("c"), p("a"), p("d")}));
    ASSERT_EQ(sheet.list()->count(), 4);
    EXPECT_EQ(sheet.list()->item(2)->data(Qt::UserRole).toString(), p("a"));
}

TEST_F(FavoritesEditorTest, TheRowsMoveRemoveAndMarkWhatIsGone) {
    LanguageScope german(AppLanguage::de);
    AppState app(services());
    FavoritesEditorSheet sheet(app.favorites());
    EXPECT_TRUE(sheet.showsEmptyBox());

    app.favorites().setList({p("a"), p("b"), p("gone")});
    EXPECT_FALSE(sheet.showsEmptyBox());
    ASSERT_EQ(sheet.list()->count(), 3);
    EXPECT_FALSE(button(sheet, 0, "up")->isEnabled());
    EXPECT_TRUE(button(sheet, 0, "down")->isEnabled());
    EXPECT_FALSE(button(sheet, 2, "down")->isEnabled());
    EXPECT_EQ(sheet.rowWidget(0)->findChild<QLabel *>("where")->text(), dir.path());
    QTRY_COMPARE(sheet.rowWidget(2)->findChild<QLabel *>("where")->text(), QString("Nicht gefunden"));

    button(sheet, 0, "down")->click();
    QTRY_COMPARE(app.favorites().list(), (QStringList{p("b"), p("a"), p("gone")}));
    button(sheet, 2, "up")->click();
    QTRY_COMPARE(app.favorites().list(), (QStringList{p("b"), p("gone"), p("a")}));
    button(sheet, 1, "remove")->click();
    QTRY_COMPARE(app.favorites().list(), (QStringList{p("b"), p("a")}));

    app.favorites().setList({p("a")});
    EXPECT_FALSE(button(sheet, 0, "up")->isEnabled());
    EXPECT_FALSE(button(sheet, 0, "down")->isEnabled());
}

// Whether the favourites are there is asked in a worker: an item on a mount that hangs holds up neither the
// opening of the editor nor the window.
TEST_F(FavoritesEditorTest, ItemsAreLookedAtOffTheWindowsThread) {
    LanguageScope german(AppLanguage::de);
    AppState app(services());
    app.favorites().setList({p("a"), p("gone")});
    auto gate = std::make_shared<QSemaphore>();
    auto onWindowThread = std::make_shared<std::atomic<bool>>(false);
    QThread *window = QThread::currentThread();
    FavoritesEditorSheet::setItemLook(
        [gate, onWindowThread, window](const QString &path) -> std::optional<bool> {
            if (QThread::currentThread() == window) *onWindowThread = true;
            gate->tryAcquire(1, 3000); // as a dead mount would, until released
            if (path.endsWith("gone")) return std::nullopt;
            return false;
        });
    QElapsedTimer clock;
    clock.start();
    FavoritesEditorSheet sheet(app.favorites());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(onWindowThread->load());
    ASSERT_EQ(sheet.list()->count(), 2);
    EXPECT_EQ(sheet.rowWidget(1)->findChild<QLabel *>("where")->text(), dir.path()); // not looked at yet
    gate->release(10);
    QTRY_COMPARE(sheet.rowWidget(1)->findChild<QLabel *>("where")->text(), QString("Nicht gefunden"));
    FavoritesEditorSheet::setItemLook({});

    // Web links alone are no favourites: the drag is refused.
    QMimeData web;
    web.setUrls({QUrl("https://example.org/a")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &web, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&sheet, &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(FavoritesEditorTest, DroppedFilesGoToTheEndInDropOrder) {
    AppState app(services());
    app.favorites().setList({p("a"), p("b"), p("c"), p("d")});
    FavoritesEditorSheet sheet(app.favorites());
    sheet.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(p("g")), QUrl::fromLocalFile(p("e")), QUrl::fromLocalFile(p("f"))});
    // A drop lands where its drag entered.
    const QPoint at = sheet.list()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&sheet, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&sheet, &drop);
    EXPECT_EQ(app.favorites().list(), (QStringList{p("a"), p("b"), p("c"), p("d"), p("g"), p("e"), p("f")}));
}
