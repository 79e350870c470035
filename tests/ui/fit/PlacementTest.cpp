// Where things land: the progress banner in the middle whatever its texts, and an item just renamed
// or made scrolled into view.
#include "common/HeldJob.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/filesteps/TransferProgress.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/MainWindow.h"
#include "ui/window/TransferBanner.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    static Services quick() {
        Services services;
        services.timings.jobQuietMs = 0;
        services.timings.jobPeriodMs = 10;
        return services;
    }
};

TEST_F(PlacementTest, BannerStaysCentredWhateverTheName) {
    AppState app(quick());
    MainWindow w(&app);
    w.resize(1200, 700);
    w.show();
    HeldJob busy;
    auto progress = busy.begin(app.jobs(), "Kopiere");
    progress->setTotal(100, 1);
    for (const QString &name : {QStringLiteral("a"), QString(300, u'x') + ".txt"}) {
        progress->setItem(1, name);
        progress->add(10);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.banner()->isVisible() && static_cast<TransferBanner *>(w.banner())->nameText() == name, 2000);
        w.resize(1201, 700); // placed anew
        w.resize(1200, 700);
        QApplication::processEvents();
        const QWidget *root = w.centralWidget();
        EXPECT_NEAR(w.banner()->geometry().center().x(), root->width() / 2, 1) << name.size();
        EXPECT_EQ(w.banner()->width(), TransferBanner::cardWidth);
    }
    busy.end();
}

TEST_F(PlacementTest, RenamedItemIsScrolledIntoView) {
    QTemporaryDir dir;
    for (int i = 0; i < 120; ++i)
        TestUtil::writeFile(dir.path() + QStringLiteral("/f%1.txt").arg(i, 3, 10, QChar(u'0')), "x");
    AppState app(quick());
    app.services().dialogs.askText = [](const TextQuestion &, Dialogs::TextDone done) {
        done(QString("zzz.txt"));
    };
    app.left()->setViewMode(ViewMode::list);
    app.left()->go(dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 120, 5000);
    MainWindow w(&app);
    w.resize(1200, 700);
    w.show();
    FileListView *view = nullptr;
    for (ListContent *list : w.findChildren<ListContent *>())
        if (list->view()->paneModel() == app.left()) view = list->view();
    ASSERT_TRUE(view);
    QTRY_VERIFY_WITH_TIMEOUT(view->listModel()->rowCount() == 120, 2000);
    app.sides().setActive(Side::left);
    app.left()->setSelection({dir.path() + "/f000.txt"});
    app.renames().renameSelection(); // sorts last now, far below the visible rows
    const QString renamed = dir.path() + "/zzz.txt";
    QTRY_VERIFY_WITH_TIMEOUT(view->listModel()->rowOf(renamed) == 119, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(view->viewport()->rect().contains(view->rowRect(119)), 2000);
    EXPECT_EQ(app.left()->selection(), QSet<QString>{renamed});
}

} // namespace
