#include "common/TestUtil.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtPasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
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

TEST(QtDialogs, TextQuestionGivesTheTypedTextOnlyWhenConfirmed) {
    Dialogs dialogs = makeQtDialogs(nullptr);
    TextQuestion q;
    q.message = "Umbenennen";
    q.text = "old.txt";
    q.buttons = {"Umbenennen", "Abbrechen"};
    auto answerWith = [](bool confirm) {
        QTimer::singleShot(50, [confirm] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<QDialog *>(w);
                if (!dialog || !dialog->isVisible()) continue;
                auto *field = dialog->findChild<QLineEdit *>();
                EXPECT_EQ(field->text(), "old.txt");
                field->setText("new.txt");
                for (QPushButton *b : dialog->findChildren<QPushButton *>())
                    if (b->text() == (confirm ? "Umbenennen" : "Abbrechen")) b->click();
            }
        });
    };
    answerWith(true);
    EXPECT_EQ(dialogs.text(q), "new.txt");
    answerWith(false);
    EXPECT_FALSE(dialogs.text(q));

    // A gated alert: the update reaches the open box and enables its button.
    Alert alert;
    alert.message = "Papierkorb leeren?";
    alert.buttons = {"Abbrechen", "Papierkorb leeren"};
    alert.destructiveButton = 1;
    alert.disabledButton = 1;
    std::function<void(const QString &, bool)> update;
    alert.onShown = [&](std::function<void(const QString &, bool)> u) { update = std::move(u); };
    bool wasDisabled = false;
    QTimer::singleShot(50, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                QPushButton *red = nullptr;
                for (QPushButton *b : box->findChildren<QPushButton *>())
                    if (b->text() == "Papierkorb leeren") red = b;
                wasDisabled = red && !red->isEnabled();
                update("3 Objekte", true);
                EXPECT_EQ(box->informativeText(), "3 Objekte");
                if (red) red->click();
            }
    });
    EXPECT_EQ(dialogs.ask(alert).button, 1);
    EXPECT_TRUE(wasDisabled);
    update("later", false); // the box is gone: nothing happens
}
