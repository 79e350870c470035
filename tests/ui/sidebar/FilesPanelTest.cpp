#include "common/TestUtil.h"
#include "ui/app/FilesPanel.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QDir>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The favourites' chooser takes folders and files together, several at once, and a chosen folder is taken
// as it is, not entered.
TEST(FilesPanelTest, TakesFoldersAndFilesTogether) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/Ordner");
    TestUtil::writeFile(dir.path() + "/Datei.txt", "x");
    FilesQuestion q;
    q.directory = dir.path();
    std::optional<QStringList> answer;
    FilesPanel *panel =
        FilesPanel::open(nullptr, q, [&](std::optional<QStringList> paths) { answer = paths; });
    QAbstractItemView *view = panel->findChild<QAbstractItemView *>("listView");
    ASSERT_NE(view, nullptr);
    auto *model = panel->findChild<QFileSystemModel *>();
    ASSERT_NE(model, nullptr);
    QTRY_VERIFY(model->index(dir.path() + "/Datei.txt").isValid() &&
                model->rowCount(model->index(dir.path())) == 2);
    for (const char *name : {"Ordner", "Datei.txt"}) {
        QModelIndex index = model->index(dir.path() + "/" + name);
        if (auto *proxy = qobject_cast<QAbstractProxyModel *>(view->model()))
            index = proxy->mapFromSource(index);
        view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    EXPECT_EQ(panel->chosen().size(), 2);
    panel->accept();
    ASSERT_TRUE(answer.has_value());
    QStringList got = *answer;
    got.sort();
    EXPECT_EQ(got, (QStringList{dir.path() + "/Datei.txt", dir.path() + "/Ordner"}));
}
