#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "ui/app/Commands.h"
#include "ui/help/FeedbackSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class FeedbackSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        app->services().pasteboard.writeText = [this](const QString &text) { clipboard = text; };
        saved = FeedbackSheet::opener();
        FeedbackSheet::opener() = [this](const QUrl &url) {
            opened << url;
            return handlerAnswers;
        };
    }
    void TearDown() override { FeedbackSheet::opener() = saved; }

    QPushButton *button(FeedbackSheet &sheet, const char *key) {
        for (QPushButton *b : sheet.findChildren<QPushButton *>())
            if (b->text() == L(key)) return b;
        return nullptr;
    }

    std::unique_ptr<AppState> app;
    QString clipboard;
    QList<QUrl> opened;
    bool handlerAnswers = false;
    std::function<bool(const QUrl &)> saved;
};

} // namespace

TEST_F(FeedbackSheetTest, TheMainWindowRegistersTheSheetSoTheCommandIsAvailable) {
    MainWindow window(app.get());
    EXPECT_TRUE(window.sheets()->canShow(SheetPresenter::Sheet::feedback));
    QAction *command = window.commands().action(Cmd::feedback);
    ASSERT_TRUE(command);
    EXPECT_TRUE(command->isEnabled());
    command->trigger();
    QTRY_VERIFY(qobject_cast<FeedbackSheet *>(window.sheets()->current()));
}

// A desktop without a mail program still takes the link and says nothing; the draft must not be lost.
TEST_F(FeedbackSheetTest, WithoutAMailProgramTheDraftIsCopiedAndTheErrorSaysSo) {
    const LanguageScope de(AppLanguage::de);
    app->requests().setFeedbackKind(FeedbackKind::bug);
    app->requests().setFeedbackText(QStringLiteral("  Absturz\n"));
    FeedbackSheet sheet(app->requests(), app->services().pasteboard, app->toasts());
    sheet.show();
    sheet.openDraft();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].toEncoded().contains("body=Absturz%0D%0A%0D%0A%E2%80%94"));
    const QString expected = FeedbackMail::address + "\n" + FeedbackMail::subject(FeedbackKind::bug) +
                             "\n\n" + FeedbackMail::body("Absturz", sheet.options());
    EXPECT_EQ(clipboard, expected);
    ASSERT_TRUE(app->toast());
    EXPECT_TRUE(app->toast()->isError);
    EXPECT_EQ(app->toast()->text, "Kein Mail-Programm gefunden. Der Text liegt in der Zwischenablage.");
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.result(), 0);

    handlerAnswers = true;
    clipboard.clear();
    sheet.openDraft();
    EXPECT_EQ(app->toast()->text, "E-Mail-Entwurf geöffnet. Prüfe ihn und sende ihn selbst ab.");
    EXPECT_FALSE(app->toast()->isError);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_TRUE(clipboard.isEmpty());
    EXPECT_EQ(app->requests().feedbackText(), "  Absturz\n") << "the message stays for the next time";
}

TEST_F(FeedbackSheetTest, ADraftTooLongForALinkIsCopiedInsteadOfCutOnTheWay) {
    app->requests().setFeedbackText(QString::fromUtf8("ä").repeated(FeedbackMail::maxUrlBytes / 6));
    handlerAnswers = true;
    FeedbackSheet sheet(app->requests(), app->services().pasteboard, app->toasts());
    sheet.openDraft();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(clipboard.contains(app->requests().feedbackText()));
    ASSERT_TRUE(app->toast());
    EXPECT_TRUE(app->toast()->isError);
    EXPECT_EQ(app->toast()->text,
              L("Der Entwurf ist zu lang für einen Mail-Link. Der Text liegt in der Zwischenablage."));
}

TEST_F(FeedbackSheetTest, BlankMessageDisablesTheActionsAndThePreviewFollowsKindAndSwitches) {
    const LanguageScope de(AppLanguage::de);
    app->requests().setFeedbackText(QStringLiteral(" \n\t"));
    handlerAnswers = true;
    FeedbackSheet sheet(app->requests(), app->services().pasteboard, app->toasts());
    for (const char *key : {"Text löschen", "Kopieren", "E-Mail-Entwurf öffnen"}) {
        ASSERT_TRUE(button(sheet, key)) << key;
        EXPECT_FALSE(button(sheet, key)->isEnabled()) << key;
    }
    sheet.openDraft();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(sheet.previewText().contains("(Hier steht dein Text.)\n\n"));

    app->requests().setFeedbackKind(FeedbackKind::question);
    EXPECT_TRUE(sheet.previewText().contains("Feedback (Question)\n\n"));
    for (QCheckBox *box : sheet.findChildren<QCheckBox *>())
        box->setChecked(false);
    EXPECT_TRUE(sheet.previewText().endsWith("(Hier steht dein Text.)"));

    sheet.findChild<QPlainTextEdit *>()->setPlainText("Idee");
    EXPECT_EQ(app->requests().feedbackText(), "Idee");
    EXPECT_TRUE(button(sheet, "E-Mail-Entwurf öffnen")->isEnabled());
    button(sheet, "Text löschen")->click();
    EXPECT_TRUE(app->requests().feedbackText().isEmpty());
}

// The kind lives in the window requests, so a sheet opened again (or the help menu) finds it as left.
TEST_F(FeedbackSheetTest, KindButtonsAndTheStoredKindFollowEachOther) {
    app->requests().setFeedbackKind(FeedbackKind::bug);
    FeedbackSheet sheet(app->requests(), app->services().pasteboard, app->toasts());
    QPushButton *question = button(sheet, FeedbackKinds::title(FeedbackKind::question));
    QPushButton *idea = button(sheet, FeedbackKinds::title(FeedbackKind::idea));
    ASSERT_TRUE(question && idea);
    EXPECT_TRUE(button(sheet, FeedbackKinds::title(FeedbackKind::bug))->isChecked());
    question->click();
    EXPECT_EQ(app->requests().feedbackKind(), FeedbackKind::question);
    app->requests().setFeedbackKind(FeedbackKind::idea);
    EXPECT_TRUE(idea->isChecked());
}

// At the largest size, in Polish, every button shows its text whole with room to its frame.
TEST_F(FeedbackSheetTest, ButtonsShowTheirTextsWholeAtTheLargestSize) {
    const LanguageScope pl(AppLanguage::pl);
    app->settings().setFontSize(18);
    app->requests().setFeedbackText("Tekst");
    MainWindow window(app.get());
    window.show();
    window.commands().action(Cmd::feedback)->trigger();
    auto *sheet = qobject_cast<FeedbackSheet *>(window.sheets()->current());
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    ASSERT_TRUE(button(*sheet, "E-Mail-Entwurf öffnen"));
    for (QPushButton *b : sheet->findChildren<QPushButton *>()) {
        if (!b->isVisible() || b->text().isEmpty()) continue;
        const int text = QFontMetrics(b->font()).horizontalAdvance(b->text());
        EXPECT_GE(b->width() - text, 18) << b->text().toStdString();
    }
}
