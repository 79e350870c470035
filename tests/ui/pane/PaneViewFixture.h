#pragma once

#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/base/Defaults.h"
#include "core/model/DragState.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/app/QtPasteboard.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QDir>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace PaneViewTest {

// A real application state whose two panes show folders of a temporary tree, each in an offscreen
// pane view of its own.
class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        PaneModel::setTimings({60, 40});
        DragState::shared().clear();
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path();
        app = std::make_unique<AppState>();
        app->services().pasteboard = makeQtPasteboard();
        app->services().timings.jobPeriodMs = 20;
        app->services().timings.jobQuietMs = 50;
        parts.emplace(testPaneParts(app.get()));
    }
    void TearDown() override {
        left.reset();
        right.reset();
        parts.reset();
        app.reset();
        PaneModel::setTimings({});
    }

    QString mkdir(const QString &rel) {
        const QString p = root + u'/' + rel;
        QDir().mkpath(p);
        return p;
    }
    QString touch(const QString &rel, const QByteArray &bytes = {}) {
        const QString p = root + u'/' + rel;
        EXPECT_TRUE(TestUtil::writeFile(p, bytes));
        return p;
    }
    // Opens path in a side's pane and waits for its listing.
    static void open(PaneModel *pane, const QString &path) {
        pane->setViewMode(ViewMode::list);
        pane->go(path, true);
        QTRY_VERIFY_WITH_TIMEOUT(pane->currentPath() == path && !pane->isSearching(), 5000);
        QTest::qWait(30);
        QTRY_VERIFY_WITH_TIMEOUT(
            pane->items().size() == QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size() ||
                pane->errorText(),
            5000);
    }
    PaneView *view(Side side) {
        auto &slot = side == Side::left ? left : right;
        if (!slot) {
            slot = std::make_unique<PaneView>(side == Side::left ? app->left() : app->right(), *parts);
            slot->resize(700, 500);
            slot->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(slot.get()));
        }
        return slot.get();
    }
    static FileListView *listView(PaneView *v) { return v->content()->list()->view(); }
    // The centre of a row in the list's viewport.
    static QPoint rowPoint(PaneView *v, int row) {
        const QRect r = listView(v)->rowRect(row);
        return QPoint(40, r.center().y());
    }
    static int rowOf(PaneView *v, const QString &path) { return listView(v)->listModel()->rowOf(path); }
    // Presses at a point of a view, moves past the drag distance and releases: the files the drag carried
    // and the image it showed.
    static QStringList dragFrom(QAbstractItemView *view, const QPoint &at, Qt::KeyboardModifiers mods = {},
                                QPixmap *image = nullptr) {
        const QPoint to = at + QPoint(0, 30);
        QTest::mousePress(view->viewport(), Qt::LeftButton, mods, at);
        QMouseEvent move(QEvent::MouseMove, to, view->viewport()->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view->viewport(), &move);
        QStringList carried;
        const QList<QDrag *> drags = view->findChildren<QDrag *>();
        for (QDrag *drag : drags.mid(drags.size() - 1)) { // the newest
            for (const QUrl &url : drag->mimeData()->urls())
                carried << url.toLocalFile();
            if (image) *image = drag->pixmap();
        }
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
        return carried;
    }

    TestUtil::LanguageScope german{AppLanguage::de};
    QTemporaryDir tmp{TestUtil::testHome() + QStringLiteral("/view-XXXXXX")};
    QString root;
    std::unique_ptr<AppState> app;
    // What the views are given; their menus share its open-with, favourites and menu builders.
    std::optional<PaneParts> parts;
    std::unique_ptr<PaneView> left, right;
};

} // namespace PaneViewTest
