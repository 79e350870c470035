#include "PaneTestUtil.h"

#include <QMimeData>

using namespace PaneTest;

namespace {
class PaneDragDrop : public PaneFixture {
protected:
    void SetUp() override {
        PaneFixture::SetUp();
        for (const char *n : {"a", "b", "c", "d"})
            touch(root + QStringLiteral("/src/") + QString::fromLatin1(n));
        dest = mkdir(QStringLiteral("dest"));
    }
    QString src(const char *n) const { return root + QStringLiteral("/src/") + QString::fromLatin1(n); }
    std::unique_ptr<PaneModel> sourcePane(ViewMode mode) {
        auto pane = openPane(root + QStringLiteral("/src"));
        pane->setApp(&rec.hooks);
        pane->setViewMode(mode);
        return pane;
    }
    static QMimeData *foreign(const QStringList &paths) {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &p : paths)
            urls << QUrl::fromLocalFile(p);
        data->setUrls(urls);
        return data;
    }
    // Drops data on dest through a pane and returns the transfers it started.
    void drop(PaneModel &target, const QMimeData *data, std::optional<bool> copy = std::nullopt) {
        EXPECT_TRUE(target.handleDrop(data, dest, copy));
        QCoreApplication::processEvents();
    }
    RecordingHooks rec;
    QString dest;
};
} // namespace

TEST_F(PaneDragDrop, DragCarriesTheWholeSelection) {
    auto pane = sourcePane(ViewMode::list);
    const QList<FileItem> items = pane->items();
    pane->setSelection({src("a"), src("b"), src("c")});
    std::unique_ptr<QMimeData> data(pane->dragProvider(items[1]));
    EXPECT_EQ(rec.activated, QList<Side>{Side::left});
    EXPECT_EQ(DragState::shared().paths, (QStringList{src("a"), src("b"), src("c")}));
    EXPECT_EQ(data->urls().value(2), QUrl::fromLocalFile(src("c")));
    EXPECT_TRUE(data->hasFormat(DragState::mimeType));

    // Not selected: it becomes the only selected item, and a second drag replaces the first entirely.
    std::unique_ptr<QMimeData> second(pane->dragProvider(items[3]));
    EXPECT_EQ(pane->selection(), QSet<QString>{src("d")});
    EXPECT_EQ(DragState::shared().paths, QStringList{src("d")});
    // The end of the first drag no longer touches the record of the second.
    DragState::shared().endDrag(data.get());
    EXPECT_EQ(DragState::shared().paths, QStringList{src("d")});
    DragState::shared().endDrag(second.get());
    EXPECT_TRUE(DragState::shared().paths.isEmpty());

    // Columns drag an unselected item alone and keep the selection.
    pane->setViewMode(ViewMode::columns);
    pane->setSelection({src("a"), src("b")});
    std::unique_ptr<QMimeData> third(pane->dragProvider(items[2]));
    EXPECT_EQ(pane->selection(), (QSet<QString>{src("a"), src("b")}));
    EXPECT_EQ(DragState::shared().paths, QStringList{src("c")});
}

TEST_F(PaneDragDrop, SameVolumeMovesCopyKeyCopies) {
    auto pane = sourcePane(ViewMode::list);
    auto target = openPane(dest, Side::right);
    target->setApp(&rec.hooks);
    pane->setSelection({src("a"), src("b"), src("c")});
    std::unique_ptr<QMimeData> data(pane->dragProvider(pane->items()[0]));
    EXPECT_TRUE(DragState::shared().proposesMove(data.get(), dest, false));
    drop(*target, data.get());
    ASSERT_EQ(rec.transfers.size(), 1);
    EXPECT_EQ(rec.transfers[0].paths, (QStringList{src("a"), src("b"), src("c")}));
    EXPECT_EQ(rec.transfers[0].to, dest);
    EXPECT_TRUE(rec.transfers[0].move);
    EXPECT_TRUE(DragState::shared().paths.isEmpty());

    // Ctrl held (asked of the core when the view does not say) copies, and the proposal says so too.
    data.reset(pane->dragProvider(pane->items()[0]));
    rec.held = Qt::ControlModifier;
    EXPECT_FALSE(DragState::shared().proposesMove(data.get(), dest, true));
    drop(*target, data.get());
    ASSERT_EQ(rec.transfers.size(), 2);
    EXPECT_FALSE(rec.transfers[1].move);
    rec.held = {};
    data.reset(pane->dragProvider(pane->items()[0]));
    drop(*target, data.get(), true);
    EXPECT_FALSE(rec.transfers[2].move);
}

TEST_F(PaneDragDrop, ForeignDropsAreTakenAsReceived) {
    auto pane = sourcePane(ViewMode::list);
    auto target = openPane(dest, Side::right);
    target->setApp(&rec.hooks);
    pane->setSelection({src("a"), src("b")});
    std::unique_ptr<QMimeData> ours(pane->dragProvider(pane->items()[0]));
    // Another program drops one of the dragged files: only that file goes.
    std::unique_ptr<QMimeData> theirs(foreign({src("a")}));
    drop(*target, theirs.get());
    ASSERT_EQ(rec.transfers.size(), 1);
    EXPECT_EQ(rec.transfers[0].paths, QStringList{src("a")});

    // A drop of our own drag that lost URLs on the way still moves the whole set.
    std::unique_ptr<QMimeData> ours2(pane->dragProvider(pane->items()[0]));
    auto *partial = foreign({src("a")});
    partial->setData(DragState::mimeType, ours2->data(DragState::mimeType));
    std::unique_ptr<QMimeData> partialOwner(partial);
    drop(*target, partial);
    ASSERT_EQ(rec.transfers.size(), 2);
    EXPECT_EQ(rec.transfers[1].paths, (QStringList{src("a"), src("b")}));
    EXPECT_TRUE(DragState::shared().paths.isEmpty());
}

TEST_F(PaneDragDrop, EmptyAndUrlLessDrops) {
    auto target = openPane(dest, Side::right);
    target->setApp(&rec.hooks);
    EXPECT_FALSE(target->handleDrop(nullptr, dest));
    QMimeData web;
    EXPECT_FALSE(target->handleDrop(&web, dest));
    web.setUrls({QUrl(QStringLiteral("https://example.org/x"))});
    EXPECT_TRUE(target->handleDrop(&web, dest));
    QCoreApplication::processEvents();
    EXPECT_TRUE(rec.transfers.isEmpty());

    // Without a core a drop does nothing, and a pane closed right after the drop starts nothing.
    std::unique_ptr<QMimeData> data(foreign({src("a")}));
    target->setApp(nullptr);
    EXPECT_TRUE(target->handleDrop(data.get(), dest));
    target->setApp(&rec.hooks);
    EXPECT_TRUE(target->handleDrop(data.get(), dest));
    target.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(rec.transfers.isEmpty());
}

TEST_F(PaneDragDrop, OtherVolumeCopiesWhenAnySourceIsElsewhere) {
    TestUtil::TmpfsMount other;
    if (!other.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    const QString far = other.path() + QStringLiteral("/far.txt");
    touch(far);
    auto target = openPane(dest, Side::right);
    target->setApp(&rec.hooks);

    std::unique_ptr<QMimeData> farOnly(foreign({far}));
    EXPECT_FALSE(DragState::shared().proposesMove(farOnly.get(), dest, false));
    drop(*target, farOnly.get(), false);
    // The first source is local, a later one is not: still a copy, never a half move.
    std::unique_ptr<QMimeData> mixed(foreign({src("a"), far}));
    EXPECT_FALSE(DragState::shared().proposesMove(mixed.get(), dest, false));
    drop(*target, mixed.get(), false);
    ASSERT_EQ(rec.transfers.size(), 2);
    EXPECT_FALSE(rec.transfers[0].move);
    EXPECT_FALSE(rec.transfers[1].move);
    EXPECT_TRUE(DragState::movesOnDrop({src("a"), src("b")}, dest, false));
}

// A drop on the Trash's own folder goes through the trash operation, never a plain move into it.
TEST_F(PaneDragDrop, ADropIntoTheTrashFolderTrashes) {
    const QString trash = FileLoader::mainTrash();
    ASSERT_TRUE(QDir().mkpath(trash));
    auto target = openPane(root);
    target->setApp(&rec.hooks);
    std::unique_ptr<QMimeData> data(foreign({src("a"), src("b")}));
    EXPECT_TRUE(target->handleDrop(data.get(), trash, false));
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.trashed, (QStringList{src("a"), src("b")}));
    EXPECT_TRUE(rec.transfers.isEmpty());
}
