#include "ui/panecontent/FileListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

QList<FileItem> itemsNamed(const QStringList &names) {
    QList<FileItem> out;
    for (const QString &name : names) {
        FileItem item;
        item.name = name.left(1);
        item.setPath(QStringLiteral("/d/") + item.name);
        item.size = name.size(); // "b2" is "b" with another size: an update in place
        out << item;
    }
    return out;
}

QStringList paths(const QList<FileItem> &items) {
    QStringList out;
    for (const FileItem &i : items)
        out << i.path();
    return out;
}

QStringList modelTestWarnings;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type != QtDebugMsg && QByteArray(context.category ? context.category : "") == "qt.modeltest")
        modelTestWarnings << text;
}

} // namespace

// Several runs removed, inserted and updated at once: Qt's model checker finds every signal consistent, a
// copy of the rows kept only from the signals ends up as the new list, and each update names its rows.
TEST(FileListModel, SeveralRunsAtOnceKeepEveryViewInStep) {
    FileListModel model;
    model.setItems(itemsNamed({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j",
                               "k", "l", "m", "n", "o", "p", "q", "r", "s", "t"}));
    modelTestWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);

    // What a view knows: the rows as the signals describe them.
    QStringList shadow = paths(model.items());
    QStringList removedPaths;
    // The records stay where they were while the rows change: no second copy of a long list.
    const FileItem *records = model.items().constData();
    int copies = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved,
                     [&](const QModelIndex &, int first, int last) {
                         for (int r = last; r >= first; --r)
                             removedPaths << shadow.takeAt(r);
                         copies += model.items().constData() != records;
                     });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                     [&] { copies += model.items().constData() != records; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) {
                         for (int r = first; r <= last; ++r)
                             shadow.insert(r, model.data(model.index(r), FileListModel::PathRole).toString());
                     });
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // Removed: b-c, f, i-j; inserted: x-y; updated in place: e and k.
    const QList<FileItem> before = model.items();
    const QList<FileItem> after =
        itemsNamed({"a", "d", "e2", "g", "h", "x", "y", "k2", "l", "m", "n", "o", "p", "q", "r", "s", "t"});
    std::optional<ItemsDiff> diff = ItemsDiff::between(before, after);
    ASSERT_TRUE(diff);
    diff->before = before;
    ASSERT_EQ(diff->removed, (QList<qsizetype>{1, 2, 5, 8, 9}));
    model.setItems(after, &*diff);

    qInstallMessageHandler(previous);
    EXPECT_EQ(copies, 0);
    EXPECT_EQ(modelTestWarnings, QStringList());
    EXPECT_EQ(paths(model.items()), paths(after));
    EXPECT_EQ(shadow, paths(after));
    removedPaths.sort();
    EXPECT_EQ(removedPaths, (QStringList{"/d/b", "/d/c", "/d/f", "/d/i", "/d/j"}));
    QList<std::pair<int, int>> updates;
    for (const QList<QVariant> &args : changed)
        updates << std::pair{args[0].toModelIndex().row(), args[1].toModelIndex().row()};
    EXPECT_EQ(updates, (QList<std::pair<int, int>>{{2, 2}, {7, 7}}));
}

// A list its owner changes where it is: the model lets go of its share (so nothing is copied) and turns each
// step into row signals that Qt's checker finds consistent; afterwards it shows the changed list.
TEST(FileListModel, FollowsAListChangedWhereItIs) {
    QList<FileItem> list = itemsNamed({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"});
    FileListModel model;
    model.setItems(list);
    modelTestWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QStringList shadow = paths(model.items());
    QObject::connect(
        &model, &QAbstractItemModel::rowsAboutToBeRemoved,
        [&](const QModelIndex &, int first, int last) { shadow.remove(first, last - first + 1); });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) {
                         for (int r = first; r <= last; ++r)
                             shadow.insert(r, model.data(model.index(r), FileListModel::PathRole).toString());
                     });

    ASSERT_TRUE(model.follow(&list));
    EXPECT_TRUE(list.isDetached());
    FileLoader::MergePlan plan;
    plan.drop = {1, 2, 5};
    plan.records = itemsNamed({"x", "y"});
    plan.rows = {3, 4};
    int copies = 0;
    const FileItem *records = list.constData();
    FileLoader::applyPlan(list, plan, [&](const FileLoader::MergeStep &step) {
        if (!step.done && !step.insert) copies += list.constData() != records;
        model.followStep(step);
    });
    model.stopFollowing();

    qInstallMessageHandler(previous);
    EXPECT_EQ(copies, 0);
    EXPECT_EQ(modelTestWarnings, QStringList());
    const QStringList want{"/d/a", "/d/d", "/d/e", "/d/x", "/d/y", "/d/g", "/d/h", "/d/i", "/d/j"};
    EXPECT_EQ(paths(list), want);
    EXPECT_EQ(shadow, want);
    EXPECT_EQ(model.items().constData(), list.constData());
    EXPECT_EQ(model.rowOf(QStringLiteral("/d/x")), 3);
    // Another list is not followed.
    QList<FileItem> other = itemsNamed({"q"});
    EXPECT_FALSE(model.follow(&other));
}
