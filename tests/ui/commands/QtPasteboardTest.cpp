#include "common/TestUtil.h"
#include "ui/app/QtPasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

TEST(QtPasteboard, FilesCarryTheCutMarkAndTheCountFollowsEveryChange) {
    Pasteboard board = makeQtPasteboard();
    const qint64 start = board.count();
    board.setFiles({"/tmp/a b", "/tmp/c"}, true);
    const qint64 afterCut = board.count();
    EXPECT_EQ(afterCut, start + 1); // our own write counts once
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile("/tmp/a b"), QUrl::fromLocalFile("/tmp/c")}));
    EXPECT_EQ(data->data("x-special/gnome-copied-files"),
              QByteArray("cut\nfile:///tmp/a%20b\nfile:///tmp/c"));
    EXPECT_EQ(board.files(), (QStringList{"/tmp/a b", "/tmp/c"}));

    // Someone else writes: the count moves on and no files are left.
    QGuiApplication::clipboard()->setText("hello");
    EXPECT_GT(board.count(), afterCut);
    EXPECT_FALSE(board.files());

    board.setText("/x\n/y");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/x\n/y");
    EXPECT_EQ(copiedFilesMarker({"/a"}, false), QByteArray("copy\nfile:///a"));
}
