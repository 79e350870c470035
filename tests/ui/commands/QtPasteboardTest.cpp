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

// Every question opens without waiting and answers when it closes.
TEST(QtDialogs, TextQuestionGivesTheTypedTextOnlyWhenConfirmed) {
    Dialogs dialogs = makeQtDialogs(nullptr);
    TextQuestion q;
    q.message = "Umbenennen";
    q.text = "old.txt";
    q.buttons = {"Umbenennen", "Abbrechen"};
    for (const bool confirm : {true, false}) {
        std::optional<std::optional<QString>> answer;
        dialogs.text(q, [&](std::optional<QString> a) { answer = a; });
        EXPECT_FALSE(answer);
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto *field = dialog->findChild<QLineEdit *>();
        EXPECT_EQ(field->text(), "old.txt");
        field->setText("new.txt");
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            if (b->text() == (confirm ? "Umbenennen" : "Abbrechen")) b->click();
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, confirm ? std::optional<QString>("new.txt") : std::nullopt);
    }

    // A gated alert: the update reaches the open box and enables its button.
    Alert alert;
    alert.message = "Papierkorb leeren?";
    alert.buttons = {{"Abbrechen", AlertRole::cancel}, {"Papierkorb leeren", AlertRole::destructive}};
    alert.disabled = AlertRole::destructive;
    std::function<void(const QString &, bool)> update;
    alert.onShown = [&](std::function<void(const QString &, bool)> u) { update = std::move(u); };
    AlertRole role = AlertRole::closed;
    dialogs.ask(alert, [&](AlertAnswer a) { role = a.role; });
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box && update);
    QPushButton *red = nullptr;
    for (QPushButton *b : box->findChildren<QPushButton *>())
        if (b->text() == "Papierkorb leeren") red = b;
    ASSERT_TRUE(red);
    EXPECT_FALSE(red->isEnabled());
    update("3 Objekte", true);
    EXPECT_EQ(box->informativeText(), "3 Objekte");
    red->click();
    EXPECT_EQ(role, AlertRole::destructive);
    update("later", false); // the box is gone: nothing happens
}
