// The command groups on the parts they are given: built without an application state, each refuses to act
// on an empty selection; put back's folder question holds its job and frees it when left unanswered.
#include "CommandFixture.h"

#include "core/app/Clipboard.h"
#include "core/app/ItemCommands.h"
#include "core/app/RenameCommands.h"
#include "core/app/Transfers.h"
#include "core/app/TrashCommands.h"
#include "platform/TrashRoots.h"

using TestUtil::LanguageScope;

TEST_F(CommandTest, GroupsBuiltOnTheirOwnPartsActOnNoEmptySelection) {
    LanguageScope de(AppLanguage::de);
    Services services(dialogs());
    int written = 0;
    services.pasteboard.writeFiles = [&](const QStringList &, bool) { ++written; };
    Toasts toasts(services.timings);
    Sides sides;
    WindowRequests requests;
    UndoJournal undo;
    JobRunner jobs([&](const QString &text) { toasts.show(text, true); });
    Transfers transfers(sides, jobs, undo, toasts, services.dialogs);
    Clipboard clipboard(sides, transfers, jobs, toasts, services.pasteboard);
    RenameCommands renames(sides, toasts, requests, undo, services);
    ItemCommands items(sides, toasts, requests, renames, services);
    TrashCommands trash(sides, jobs, undo, toasts, items, services);
    ASSERT_TRUE(sides.activePane()->selectedPaths().isEmpty());
    auto said = [&] { return toasts.toast() ? toasts.toast()->text : QString(); };

    trash.trashSelection();
    EXPECT_EQ(said(), "Nichts ausgewählt.");
    renames.renameSelection();
    EXPECT_EQ(said(), "Zum Umbenennen eine oder mehrere Dateien auswählen.");
    transfers.transferSelection(Side::right, false);
    EXPECT_EQ(said(), "Nichts ausgewählt. Wähle zuerst Dateien im rechten Fenster.");
    toasts.setToast(std::nullopt);
    clipboard.cut({});
    EXPECT_EQ(said(), "Nichts ausgewählt.");
    EXPECT_TRUE(clipboard.cutPaths().isEmpty());
    items.showInfo({});
    EXPECT_FALSE(requests.infoTarget());
    // Nothing was asked, written, started or recorded.
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_TRUE(textQuestions.isEmpty());
    EXPECT_EQ(written, 0);
    EXPECT_FALSE(jobs.busy());
    EXPECT_TRUE(undo.entries().isEmpty());
}

TEST_F(CommandTest, PutBackHoldsItsJobWhileItAsksForAFolder) {
    LanguageScope de(AppLanguage::de);
    // An item in the Trash with no description: its old place is unknown.
    const QString stray =
        TrashRoots::homeTrash() + "/files/stray-" + QUuid::createUuid().toString(QUuid::Id128);
    ASSERT_TRUE(TestUtil::writeFile(stray, "s"));
    const QString other = make("other.txt");
    hold = true;
    app->fileActions().putBack({stray});
    QTRY_VERIFY_WITH_TIMEOUT(!held.empty(), 5000);
    ASSERT_EQ(folderQuestions.size(), 1);
    EXPECT_EQ(app->jobs().state(), Job::State::waitingForAnswer);
    // No other job while the question is up.
    app->transfers().transfer({other}, make("dst/"), false);
    EXPECT_EQ(lastToast(), JobRunner::busyText);

    // No folder chosen: the job ends and the item stays in the Trash.
    answerHeld();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy(), 5000);
    EXPECT_EQ(lastToast(), "Nichts zurückgelegt.");
    EXPECT_TRUE(exists(stray));

    // The question closes without any answer: the job ends all the same.
    app->fileActions().putBack({stray});
    QTRY_VERIFY_WITH_TIMEOUT(!held.empty(), 5000);
    EXPECT_TRUE(app->jobs().busy());
    held.clear();
    EXPECT_FALSE(app->jobs().busy());
    EXPECT_TRUE(exists(stray));
    QFile::remove(stray);
}
