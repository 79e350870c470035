// Commands the menu bar reaches that must never drop a request or act while a job holds the runner.
#include "CommandFixture.h"

#include "core/app/JobRunner.h"
#include "core/model/FileLoader.h"
#include "platform/TrashRoots.h"

using TestUtil::LanguageScope;

namespace {

KeyPress key(int k, Qt::KeyboardModifiers mods = {}) {
    KeyPress p;
    p.key = k;
    p.modifiers = mods;
    return p;
}

class TrashRefusalTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());
        QDir().mkpath(TrashRoots::homeTrash() + "/info");
        app->trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
    }
    // While the question with this message is up, another job takes the runner.
    void jobStartsDuring(const QString &message) {
        whileOpen = [this, message](const Alert &a) {
            if (a.message == message) {
                ASSERT_TRUE(app->beginJob(QStringLiteral("Kopiere")));
            }
        };
    }
};

} // namespace

TEST_F(CommandTest, PasteKeepsTheCutUntilItsMoveIsAdmitted) {
    LanguageScope de(AppLanguage::de);
    const QString dst = make("dst/");
    const QString a = make("src/a.txt", "A");
    make("dst/a.txt", "old");
    app->cutToClipboard({a});

    // Refused while another job runs: asked nothing, nothing moved, the cut stays.
    ASSERT_TRUE(app->beginJob(QStringLiteral("Kopiere")));
    app->paste(dst);
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_TRUE(app->cutInForce({a}));
    app->endJob();

    // Cancelled at the name conflict: the cut stays.
    answers = {AlertAnswer{AlertRole::cancel, false}};
    app->paste(dst);
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(lastToast(), "Abgebrochen. Es wurde nichts verändert.");
    EXPECT_TRUE(app->cutInForce({a}));
    EXPECT_EQ(app->cutPaths(), QSet<QString>{a});

    // Answered: the move runs and uses the cut up.
    answers = {AlertAnswer{AlertRole::keepBoth, false}};
    app->paste(dst);
    EXPECT_FALSE(app->cutInForce({a}));
    EXPECT_TRUE(app->cutPaths().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!exists(a) && !app->currentProgress(), 5000);
}

TEST_F(TrashRefusalTest, DeletingFromTheTrashIsRefusedWhenAJobBeganDuringTheQuestion) {
    LanguageScope de(AppLanguage::de);
    const QString old = FileLoader::mainTrash() + "/old";
    TestUtil::writeFile(old, "1");
    show(app->left(), FileLoader::mainTrash());
    app->left()->setSelection({old});
    jobStartsDuring("„old“ endgültig löschen?");
    answers = {AlertRole::destructive};
    app->trashSelection();
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    QTest::qWait(50);
    EXPECT_TRUE(exists(old));
    app->endJob();
}

TEST_F(TrashRefusalTest, EmptyingIsRefusedWhenAJobBeganWhileItAsked) {
    LanguageScope de(AppLanguage::de);
    const QString old = FileLoader::mainTrash() + "/old";
    TestUtil::writeFile(old, "1");
    hold = true;
    answers = {AlertRole::destructive};
    app->emptyTrash();
    // The red button is live once the count is in; then a move out of the Trash begins.
    QTRY_VERIFY_WITH_TIMEOUT(!alerts.isEmpty() && alerts.last().informative.contains("endgültig"), 5000);
    ASSERT_TRUE(app->beginJob(QStringLiteral("Lege zurück")));
    answerHeld();
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    QTest::qWait(50);
    EXPECT_TRUE(exists(old));
    app->endJob();
}

TEST_F(TrashRefusalTest, DeletingAtOnceIsRefusedWhenAJobBeganDuringItsQuestion) {
    TestUtil::TmpfsMount volume;
    if (!volume.valid()) GTEST_SKIP() << "needs root to mount a second volume";
    LanguageScope de(AppLanguage::de);
    ASSERT_TRUE(TestUtil::writeFile(volume.path() + QString("/.Trash-%1").arg(getuid()), "blocked"));
    const QString far = volume.path() + "/far";
    TestUtil::writeFile(far, "1");
    app->left()->setSelection({far});
    jobStartsDuring("„far“ sofort löschen?");
    answers = {AlertRole::confirm, AlertRole::destructive};
    app->trashSelection();
    QTRY_VERIFY_WITH_TIMEOUT(alerts.size() == 2 && !toasts.isEmpty(), 5000);
    // The refusal is what the user reads, not a report that hides it.
    EXPECT_EQ(lastToast(), JobRunner::busyText);
    QTest::qWait(50);
    EXPECT_TRUE(exists(far));
    app->endJob();
}

TEST_F(CommandTest, AFileNoApplicationOpensSaysSo) {
    LanguageScope de(AppLanguage::de);
    const QString folder = make("f/");
    const QString odd = make("f/a & b.xyz"), fine = make("f/c.txt");
    unopenable << odd;
    show(app->left(), folder);
    // Opened from the selection (Enter) and from the pane (a double click).
    app->left()->setSelection({odd});
    app->openSelection();
    EXPECT_EQ(opened, QStringList{odd});
    EXPECT_EQ(lastToast(), "„a & b.xyz“ lässt sich mit keinem Programm öffnen.");
    EXPECT_TRUE(lastIsError());
    toasts.clear();
    for (const FileItem &item : app->left()->items())
        app->left()->openItem(item);
    EXPECT_EQ(toasts.size(), 1);
    EXPECT_TRUE(opened.contains(fine));
}

TEST_F(CommandTest, ShowInFileManagerFallsBackToThePane) {
    const QString folder = make("f/");
    const QString a = make("f/a"), b = make("f/b"), elsewhere = make("g/c");
    app->showInFileManager({a, b, elsewhere});
    EXPECT_EQ(revealed, (QStringList{a, b, elsewhere}));
    QTRY_VERIFY_WITH_TIMEOUT(app->activePane()->currentPath() == folder, 5000);
    EXPECT_EQ(app->activePane()->selection(), (QSet<QString>{a, b}));

    // A file manager that answers: the pane stays where it is.
    app->desktop.showItems = [](const QStringList &) { return std::optional<QString>(); };
    app->showInFileManager({elsewhere});
    QTest::qWait(20);
    EXPECT_EQ(app->activePane()->currentPath(), folder);
}

TEST_F(CommandTest, CompareNeedsTwoFoldersAndStorageTakesTheActiveOne) {
    LanguageScope de(AppLanguage::de);
    const QString one = make("one/"), two = make("two/");
    show(app->left(), one);
    show(app->right(), one);
    app->openCompare();
    EXPECT_FALSE(app->compareRequest());
    EXPECT_EQ(toasts.last().kind, ToastKind::warning);
    show(app->right(), two);
    app->openCompare();
    ASSERT_TRUE(app->compareRequest());
    EXPECT_EQ(app->compareRequest()->paths, (QStringList{one, two}));
    app->setActive(Side::right);
    app->openStorageAnalysis();
    ASSERT_TRUE(app->storageRequest());
    EXPECT_EQ(app->storageRequest()->paths, QStringList{two});
}

// The rows of the key handling that reach the menu's commands.
TEST_F(CommandTest, KeysUndoOpenAndPreview) {
    LanguageScope de(AppLanguage::de);
    const QString folder = make("k/");
    const QString a = make("k/a.txt");
    show(app->left(), folder);

    // Enter and Ctrl+Down open the selection; with none they are left to the window.
    EXPECT_FALSE(app->keyDown(key(Qt::Key_Return)));
    app->left()->setSelection({a});
    EXPECT_TRUE(app->keyDown(key(Qt::Key_Return)));
    EXPECT_TRUE(app->keyDown(key(Qt::Key_Enter, Qt::KeypadModifier)));
    EXPECT_TRUE(app->keyDown(key(Qt::Key_Down, Qt::ControlModifier)));
    EXPECT_EQ(opened, (QStringList{a, a, a}));

    // Space previews once there is a preview; until then it goes on.
    EXPECT_FALSE(app->keyDown(key(Qt::Key_Space)));
    int previews = 0;
    app->quickLook = [&previews] { ++previews; };
    EXPECT_TRUE(app->keyDown(key(Qt::Key_Space)));
    EXPECT_EQ(previews, 1);

    // Ctrl+Z undoes the newest journal entry, but not while a text field has the focus.
    app->copyToClipboard({a});
    const QString dst = make("dst/");
    app->paste(dst);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/a.txt") && !app->currentProgress(), 5000);
    ASSERT_TRUE(app->undoTitle());
    KeyPress typing = key(Qt::Key_Z, Qt::ControlModifier);
    typing.textHasFocus = true;
    EXPECT_FALSE(app->keyDown(typing));
    EXPECT_TRUE(exists(dst + "/a.txt"));
    EXPECT_TRUE(app->keyDown(key(Qt::Key_Z, Qt::ControlModifier)));
    QTRY_VERIFY_WITH_TIMEOUT(!exists(dst + "/a.txt") && !app->currentProgress(), 5000);
    EXPECT_FALSE(app->undoTitle());
}
