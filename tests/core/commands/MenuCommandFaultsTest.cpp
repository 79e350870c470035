// Commands the menu bar reaches: none drops a request or acts while a job holds the runner.
#include "CommandFixture.h"

#include "core/app/JobRunner.h"
#include "core/model/FileLoader.h"
#include "platform/TrashRoots.h"

using TestUtil::LanguageScope;

TEST_F(CommandTest, PasteKeepsTheCutUntilItsMoveIsAdmitted) {
    LanguageScope de(AppLanguage::de);
    const QString dst = make("dst/"), a = make("src/a.txt", "A");
    make("dst/a.txt", "old");
    app->clipboard().cut({a});
    // Refused while another job runs (asking nothing), then cancelled at the name conflict: the cut stays.
    ASSERT_TRUE(busy.begin(app->jobs(), QStringLiteral("Kopiere")));
    app->clipboard().paste(dst);
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    EXPECT_TRUE(alerts.isEmpty());
    busy.end();
    answers = {AlertRole::cancel};
    app->clipboard().paste(dst);
    EXPECT_EQ(lastToast(), "Abgebrochen. Es wurde nichts verändert.");
    EXPECT_TRUE(app->clipboard().cutInForce({a}));
    // Answered: the move runs and uses the cut up.
    answers = {AlertRole::keepBoth};
    whileOpen = [this](const Alert &) { clipboard.hooks().writeText("other"); }; // stays on the clipboard
    app->clipboard().paste(dst);
    EXPECT_TRUE(app->clipboard().cutPaths().isEmpty());
    EXPECT_EQ(clipboard.text, "other");
    QTRY_VERIFY_WITH_TIMEOUT(!exists(a) && !app->jobs().progress(), 5000);
}

// A job that begins while a delete question is up (a move out of the Trash) refuses the delete.
TEST_F(CommandTest, DeletesAreRefusedWhenAJobBeganDuringTheirQuestion) {
    LanguageScope de(AppLanguage::de);
    QDir(TrashRoots::homeTrash()).removeRecursively();
    QDir().mkpath(FileLoader::mainTrash());
    app->services().trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
    const QString old = FileLoader::mainTrash() + "/old";
    TestUtil::writeFile(old, "1");
    auto refused = [&](const QString &item, std::function<void()> start) {
        start();
        QTRY_VERIFY_WITH_TIMEOUT(app->jobs().progress() && !held.empty(), 5000);
        answerHeld();
        EXPECT_EQ(lastToast(), JobRunner::busyText);
        QTest::qWait(50);
        EXPECT_TRUE(exists(item));
        busy.end();
        alerts.clear();
    };
    hold = true;
    whileOpen = [this](const Alert &a) {
        if (a.message != "Papierkorb leeren?") busy.begin(app->jobs(), QStringLiteral("Lege zurück"));
    };
    // Deleting from the Trash.
    show(app->left(), FileLoader::mainTrash());
    app->left()->setSelection({old});
    answers = {AlertRole::destructive};
    refused(old, [&] { app->trash().trashSelection(); });
    // Emptying: the job begins once the count is in and the red button is live.
    answers = {AlertRole::destructive};
    refused(old, [&] {
        app->trash().emptyTrash();
        QTRY_VERIFY_WITH_TIMEOUT(alerts.size() == 1 && alerts[0].informative.contains("endgültig"), 5000);
        busy.begin(app->jobs(), QStringLiteral("Lege zurück"));
    });
    // "sofort löschen" of what lies on a volume without a Trash: the refusal is what the user reads.
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    ASSERT_TRUE(TestUtil::writeFile(volume.path() + QString("/.Trash-%1").arg(getuid()), "blocked"));
    const QString far = volume.path() + "/far";
    TestUtil::writeFile(far, "1");
    app->left()->setSelection({far});
    answers = {AlertRole::confirm, AlertRole::destructive};
    whileOpen = [this](const Alert &a) {
        if (a.message == "„far“ sofort löschen?") busy.begin(app->jobs(), QStringLiteral("Lege zurück"));
    };
    refused(far, [&] {
        app->trash().trashSelection();
        QTRY_VERIFY_WITH_TIMEOUT(!held.empty(), 5000);
        answerHeld(); // the first question: into the Trash
    });
}

TEST_F(CommandTest, AFileNoApplicationOpensSaysSo) {
    LanguageScope de(AppLanguage::de);
    const QString folder = make("f/"), odd = make("f/a & b.xyz"), fine = make("f/c.txt");
    unopenable << odd;
    show(app->left(), folder);
    // From the selection (Enter) and from the pane (a double click).
    app->left()->setSelection({odd});
    app->items().openSelection();
    EXPECT_EQ(lastToast(), "„a & b.xyz“ lässt sich mit keinem Programm öffnen.");
    EXPECT_TRUE(lastIsError());
    toasts.clear();
    for (const FileItem &item : app->left()->items())
        app->left()->openItem(item);
    EXPECT_EQ(toasts.size(), 1);
    EXPECT_EQ(opened, (QStringList{odd, odd, fine}));
}

TEST_F(CommandTest, ShowInFileManagerFallsBackToThePane) {
    const QString folder = make("f/"), a = make("f/a"), b = make("f/b"), elsewhere = make("g/c");
    app->items().showInFileManager({a, b, elsewhere});
    EXPECT_EQ(revealed, (QStringList{a, b, elsewhere}));
    QTRY_VERIFY_WITH_TIMEOUT(app->activePane()->currentPath() == folder, 5000);
    EXPECT_EQ(app->activePane()->selection(), (QSet<QString>{a, b}));
}

TEST_F(CommandTest, CompareNeedsTwoFolders) {
    const QString one = make("one/"), two = make("two/");
    show(app->left(), one);
    show(app->right(), one);
    app->items().openCompare();
    EXPECT_FALSE(app->requests().compareRequest());
    EXPECT_EQ(toasts.last().kind, ToastKind::warning);
    show(app->right(), two);
    app->items().openCompare();
    ASSERT_TRUE(app->requests().compareRequest());
    EXPECT_EQ(app->requests().compareRequest()->paths, (QStringList{one, two}));
}
