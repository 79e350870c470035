#include "CommandFixture.h"

#include "core/model/FileLoader.h"

#include <pwd.h>

using TestUtil::LanguageScope;

TEST_F(CommandTest, GoToFolderReadsTildeRelativeAndQuotedPaths) {
    LanguageScope de(AppLanguage::de);
    const QString home = QDir::homePath();
    const QString below = home + "/goto-" + QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(below);
    make("sub/");
    const QString file = make("sub/file.txt");
    PaneModel *pane = app->right();
    show(pane, root);

    textAnswers = {"  ~/" + below.section('/', -1) + "\n"};
    app->items().goToFolder(pane);
    EXPECT_EQ(app->sides().active(), Side::right);
    EXPECT_EQ(textQuestions.last().text, root);
    EXPECT_EQ(pane->currentPath(), below);

    textAnswers = {"~root"};
    app->items().goToFolder(pane);
    EXPECT_EQ(pane->currentPath(), FileLoader::norm(QString::fromLocal8Bit(getpwnam("root")->pw_dir)));

    show(pane, root);
    textAnswers = {"sub"};
    app->items().goToFolder(pane);
    EXPECT_EQ(pane->currentPath(), root + "/sub");

    show(pane, root);
    textAnswers = {QString::fromUtf8("„") + file + QString::fromUtf8("“")};
    app->items().goToFolder(pane);
    EXPECT_EQ(pane->currentPath(), root + "/sub");
    EXPECT_EQ(pane->selection(), QSet<QString>{file});
    EXPECT_EQ(pane->backStack().last(), root);

    // Quotes only as a matching pair around the whole text; what is inside is not trimmed again.
    textAnswers = {"\"" + root + "/sub'"};
    app->items().goToFolder(pane);
    EXPECT_EQ(lastToast(), "Diesen Ordner gibt es nicht: " + root + "/sub/\"" + root + "/sub'");
    EXPECT_TRUE(lastIsError());
    textAnswers = {"\" " + root + "\""};
    app->items().goToFolder(pane);
    EXPECT_TRUE(lastToast().startsWith("Diesen Ordner gibt es nicht: "));

    // Cancelled or empty: nothing.
    const qsizetype before = toasts.size();
    textAnswers = {std::nullopt, QString("   "), QString("\"\"")};
    app->items().goToFolder(pane);
    app->items().goToFolder(pane);
    app->items().goToFolder(pane);
    EXPECT_EQ(toasts.size(), before);
    QDir(below).removeRecursively();
}

TEST_F(CommandTest, OpenSelectionOpensFilesAndEntersOneFolder) {
    const QString a = make("a.txt"), b = make("b.txt"), dir = make("dir/");
    make("hidden-by-search.txt");
    PaneModel *pane = app->left();
    show(pane, root);
    pane->setSelection({a, b, dir});
    app->items().openSelection();
    EXPECT_EQ(opened, (QStringList{a, b}));

    opened.clear();
    pane->setSelection({dir});
    app->items().openSelection();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(pane->currentPath(), dir);

    // Selected paths the pane does not show are not opened.
    QTRY_VERIFY_WITH_TIMEOUT(pane->items().isEmpty(), 5000);
    pane->setSelection({a});
    app->items().openSelection();
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(CommandTest, TerminalAndEditorUseTheDesktopOrSayTheyAreMissing) {
    LanguageScope de(AppLanguage::de);
    const QString a = make("b.txt"), b = make("a.txt"), dir = make("dir/");
    show(app->left(), root);
    QString terminalFolder;
    QStringList editorFiles{"unset"};
    app->services().desktop.terminal = [] { return std::optional<QString>(); };
    app->services().desktop.openTerminal = [&](const QString &, const QString &folder) {
        terminalFolder = folder;
        return std::optional<QString>();
    };
    app->services().desktop.textEditor = [] { return std::optional<QString>(); };
    app->services().desktop.openInEditor = [&](const QString &, const QStringList &files) {
        editorFiles = files;
        return std::optional<QString>("Startfehler");
    };
    app->items().openFolderInTerminal();
    EXPECT_EQ(lastToast(), "Terminal wurde nicht gefunden.");
    EXPECT_TRUE(lastIsError());
    app->items().openInTextEdit();
    EXPECT_EQ(lastToast(), "Texteditor wurde nicht gefunden.");

    app->services().desktop.terminal = [] { return std::optional<QString>("/usr/bin/term"); };
    app->services().desktop.textEditor = [] { return std::optional<QString>("editor.desktop"); };
    app->left()->setSelection({dir});
    app->items().openFolderInTerminal();
    EXPECT_EQ(terminalFolder, dir);
    app->items().openInTextEdit();
    EXPECT_TRUE(editorFiles.isEmpty()); // only a folder selected: the editor alone
    EXPECT_EQ(lastToast(), "Startfehler");
    EXPECT_TRUE(lastIsError());
    app->left()->setSelection({a, b, dir});
    app->items().openInTextEdit();
    EXPECT_EQ(editorFiles, (QStringList{b, a}));
}

// Answers may come after the tab or the whole core they were asked for has gone: they do nothing.
TEST_F(CommandTest, AnswersAfterTheirTabOrCoreClosedDoNothing) {
    const QString file = make("a.txt");
    TabGroup *group = app->sides().rightTabs();
    group->newTab(root);
    PaneModel *pane = group->current();
    show(pane, root);
    pane->setSelection({file});
    app->sides().setActive(Side::right);
    hold = true;
    textAnswers = {QString("b.txt"), QString("/")};
    app->renames().renameSelection();
    app->items().goToFolder(pane);
    ASSERT_EQ(held.size(), 2u);
    group->close(group->index());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    answerHeld();
    EXPECT_TRUE(exists(file));
    EXPECT_FALSE(exists(root + "/b.txt"));
    EXPECT_NE(app->right()->currentPath(), "/");

    answers = {AlertRole::confirm, AlertRole::destructive};
    app->trash().trashDiagnosis();
    app->trash().emptyTrash();
    ASSERT_EQ(held.size(), 2u);
    app.reset();
    answerHeld();
    EXPECT_TRUE(clipboard.text.isEmpty());
}
