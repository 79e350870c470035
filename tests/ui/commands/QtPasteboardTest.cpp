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
    EXPECT_EQ(data->data("application/x-kde-cutselection"), "1");
    EXPECT_EQ(data->text(), "/tmp/a b\n/tmp/c");
    EXPECT_EQ(board.files(), (PasteboardFiles{{"/tmp/a b", "/tmp/c"}, true}));

    // Someone else writes: the count moves on and no files are left.
    QGuiApplication::clipboard()->blockSignals(true);
    QGuiApplication::clipboard()->setText("hello");
    QGuiApplication::clipboard()->blockSignals(false);
    EXPECT_GT(board.count(), afterCut);
    EXPECT_FALSE(board.files());

    board.setText("/x\n/y");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "/x\n/y");
    board.setFiles({"/a"}, false); // a copy carries no cut mark
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat("application/x-kde-cutselection"));
    EXPECT_EQ(copiedFilesMarker({"/a"}, false), QByteArray("copy\nfile:///a"));
    // Other programs' files with their marks; anything amiss refuses the whole.
    const QString uri = "text/uri-list", gnome = "x-special/gnome-copied-files",
                  kde = "application/x-kde-cutselection";
    const QByteArray many = QByteArray("file:///x\n").repeated(maxClipboardUris);
    auto read = [](QString t, QByteArray b, QString t2 = "x", QByteArray b2 = {}) {
        QMimeData data;
        data.setData(t2, b2);
        data.setData(t, b);
        return filesOnClipboard(data);
    };
    EXPECT_EQ(read(gnome, "cut\nfile://localhost/a%20b", uri, "/c"), (PasteboardFiles{{"/a b"}, true}));
    EXPECT_EQ(read(gnome, "copy\nfile:///x\n"), (PasteboardFiles{{"/x"}, false}));
    EXPECT_EQ(read(uri, many, kde, "1"), (PasteboardFiles{QStringList(maxClipboardUris, "/x"), true}));
    EXPECT_EQ(read(uri, "#c\r\nhttp://e/\r\nfile:///%C3%BC%23", kde, "0"), (PasteboardFiles{{"/ü#"}, false}));
    for (const QByteArray &refused :
         {many + "file:///y", "file:///" + QByteArray(maxClipboardBytes, 'a'),
          QByteArray("file:///x\nfile://host/x"), QByteArray("file:///%00"), QByteArray("file:///%FF"),
          QByteArray("file:///a#b"), QByteArray("file:x")})
        EXPECT_FALSE(read(uri, refused)) << refused.left(30).toStdString();
    EXPECT_FALSE(read(gnome, "move\nfile:///x", uri, "file:///x"));
}
