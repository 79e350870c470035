#include "common/HeldJob.h"
#include "common/ScriptedDialogs.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

// A worker that runs until it is cancelled, then tidies up for a moment and ends the job.
std::thread fakeWorker(AppState &app, HeldJob &busy, std::shared_ptr<TransferProgress> progress,
                       std::atomic<bool> &cleaned) {
    return std::thread([&app, &busy, progress, &cleaned] {
        while (!progress->isCancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cleaned = true;
        QMetaObject::invokeMethod(
            &app, [&busy] { busy.end(); }, Qt::QueuedConnection);
    });
}

} // namespace

TEST(QuitDuringJob, ConfirmedQuitCancelsAndClosesAfterTheCleanUpDeclinedOneDoesNot) {
    ScriptedDialogs script;
    script.answers = {AlertRole::destructive};
    AppState app(script.dialogs());
    MainWindow window(&app);
    EXPECT_TRUE(window.mayClose()); // no job: no question
    EXPECT_TRUE(script.alerts.isEmpty());

    // Confirmed: the job is cancelled, the window stays until its clean-up is over, then closes unasked.
    window.show();
    HeldJob busy;
    auto progress = busy.begin(app.jobs(), "Kopiere");
    std::atomic<bool> cleaned = false;
    std::thread worker = fakeWorker(app, busy, progress, cleaned);
    EXPECT_FALSE(window.close());
    EXPECT_EQ(script.alerts.size(), 1);
    // Return (the first, default button) keeps working; quitting is the red one.
    ASSERT_EQ(script.alerts[0].buttons.size(), 2);
    EXPECT_EQ(script.alerts[0].buttons.first().role, AlertRole::cancel);
    EXPECT_EQ(script.alerts[0].buttons.last().role, AlertRole::destructive);
    EXPECT_TRUE(progress->isCancelled());
    EXPECT_TRUE(window.isVisible());
    // The window says at once that it is stopping, also before the banner's quiet start is over.
    ASSERT_TRUE(app.toast());
    EXPECT_EQ(app.toast()->text, L("Kestrin wird beendet, sobald der Vorgang abgebrochen ist."));
    EXPECT_EQ(app.toast()->kind, ToastKind::warning);
    ASSERT_TRUE(app.jobs().status());
    EXPECT_TRUE(app.jobs().status()->cancelling);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
    EXPECT_TRUE(cleaned);
    EXPECT_EQ(script.alerts.size(), 1);
    worker.join();

    // Declined: the job runs on and the window stays.
    script.answers = {AlertRole::cancel};
    window.show();
    progress = busy.begin(app.jobs(), "Kopiere");
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(progress->isCancelled());
    busy.end();
    QCoreApplication::processEvents(); // a queued close would come now
    EXPECT_TRUE(window.isVisible());

    // While the question is up a second close asks no second time; the job that ended meanwhile
    // leaves nothing to wait for.
    script.hold = true;
    script.answers = {AlertRole::destructive};
    progress = busy.begin(app.jobs(), "Kopiere");
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.close());
    EXPECT_EQ(script.alerts.size(), 3);
    busy.end();
    script.answerHeld();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
}
