#include "CommandFixture.h"

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
    app->goToFolder(pane);
    EXPECT_EQ(app->active(), Side::right);
    EXPECT_EQ(textQuestions.last().text, root);
    EXPECT_EQ(pane->currentPath(), below);

    show(pane, root);
    textAnswers = {"sub"};
    app->goToFolder(pane);
    EXPECT_EQ(pane->currentPath(), root + "/sub");

    show(pane, root);
    textAnswers = {QString::fromUtf8("„") + file + QString::fromUtf8("“")};
    app->goToFolder(pane);
    EXPECT_EQ(pane->currentPath(), root + "/sub");
    EXPECT_EQ(pane->selection(), QSet<QString>{file});
    EXPECT_EQ(pane->backStack().last(), root);

    // Quotes only as a matching pair around the whole text; what is inside is not trimmed again.
    textAnswers = {"\"" + root + "/sub'"};
    app->goToFolder(pane);
    EXPECT_EQ(lastToast(), "Diesen Ordner gibt es nicht: " + root + "/sub/\"" + root + "/sub'");
    EXPECT_TRUE(lastIsError());
    textAnswers = {"\" " + root + "\""};
    app->goToFolder(pane);
    EXPECT_TRUE(lastToast().startsWith("Diesen Ordner gibt es nicht: "));

    // Cancelled or empty: nothing.
    const qsizetype before = toasts.size();
    textAnswers = {std::nullopt, QString("   "), QString("\"\"")};
    app->goToFolder(pane);
    app->goToFolder(pane);
    app->goToFolder(pane);
    EXPECT_EQ(toasts.size(), before);
    QDir(below).removeRecursively();
}

TEST_F(CommandTest, OpenSelectionOpensFilesAndEntersOneFolder) {
    const QString a = make("a.txt"), b = make("b.txt"), dir = make("dir/");
    make("hidden-by-search.txt");
    PaneModel *pane = app->left();
    show(pane, root);
    pane->setSelection({a, b, dir});
    app->openSelection();
    EXPECT_EQ(opened, (QStringList{a, b}));

    opened.clear();
    pane->setSelection({dir});
    app->openSelection();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(pane->currentPath(), dir);

    // Selected paths the pane does not show are not opened.
    QTRY_VERIFY_WITH_TIMEOUT(pane->items().isEmpty(), 5000);
    pane->setSelection({a});
    app->openSelection();
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(CommandTest, TerminalAndEditorUseTheDesktopOrSayTheyAreMissing) {
    LanguageScope de(AppLanguage::de);
    const QString a = make("b.txt"), b = make("a.txt"), dir = make("dir/");
    show(app->left(), root);
    QString terminalFolder;
    QStringList editorFiles{"unset"};
    app->desktop.terminal = [] { return std::optional<QString>(); };
    app->desktop.openTerminal = [&](const QString &, const QString &folder) {
        terminalFolder = folder;
        return std::optional<QString>();
    };
    app->desktop.textEditor = [] { return std::optional<QString>(); };
    app->desktop.openInEditor = [&](const QString &, const QStringList &files) {
        editorFiles = files;
        return std::optional<QString>("Startfehler");
    };
    app->openFolderInTerminal();
    EXPECT_EQ(lastToast(), "Terminal wurde nicht gefunden.");
    EXPECT_TRUE(lastIsError());
    app->openInTextEdit();
    EXPECT_EQ(lastToast(), "Texteditor wurde nicht gefunden.");

    app->desktop.terminal = [] { return std::optional<QString>("/usr/bin/term"); };
    app->desktop.textEditor = [] { return std::optional<QString>("editor.desktop"); };
    app->left()->setSelection({dir});
    app->openFolderInTerminal();
    EXPECT_EQ(terminalFolder, dir);
    app->openInTextEdit();
    EXPECT_TRUE(editorFiles.isEmpty()); // only a folder selected: the editor alone
    EXPECT_EQ(lastToast(), "Startfehler");
    EXPECT_TRUE(lastIsError());
    app->left()->setSelection({a, b, dir});
    app->openInTextEdit();
    EXPECT_EQ(editorFiles, (QStringList{b, a}));
}

TEST_F(CommandTest, ShareInfoAndContextPaths) {
    LanguageScope de(AppLanguage::de);
    QStringList shared;
    app->desktop.share = [&](const QStringList &paths) {
        shared = paths;
        return std::optional<QString>();
    };
    app->share({});
    EXPECT_EQ(lastToast(), "Nichts ausgewählt.");
    EXPECT_FALSE(lastIsError());
    app->showInfo({});
    EXPECT_FALSE(app->infoTarget());

    const QString a = make("a"), b = make("b"), c = make("c");
    app->share({a, b});
    EXPECT_EQ(shared, (QStringList{a, b}));
    app->showInfo({a});
    ASSERT_TRUE(app->infoTarget());
    EXPECT_EQ(app->infoTarget()->paths, QStringList{a});

    PaneModel *pane = app->right();
    show(pane, root);
    pane->setSelection({a, b});
    const auto items = pane->items();
    auto item = [&](const QString &p) {
        return *std::find_if(items.begin(), items.end(), [&](auto &i) { return i.path == p; });
    };
    EXPECT_EQ(app->contextPaths(pane, item(b)), (QStringList{a, b}));
    EXPECT_EQ(app->active(), Side::right);
    EXPECT_EQ(app->contextPaths(pane, item(c)), QStringList{c});
    EXPECT_EQ(app->pane(Side::right), pane);
    EXPECT_EQ(app->group(Side::left), app->leftTabs());
}

TEST_F(CommandTest, TagsAreWrittenAndTheIconsRedrawn) {
    const QString a = make("a.txt");
    QSignalSpy icons(app.get(), &AppState::iconsChanged);
    app->toggleTag("Rot", {});
    EXPECT_EQ(icons.count(), 0);
    app->toggleTag("Rot", {a});
    ASSERT_EQ(icons.count(), 1);
    EXPECT_EQ(icons.at(0).at(0).toStringList(), QStringList{a});
    EXPECT_FALSE(lastIsError());
    app->clearTags({a});
    EXPECT_EQ(icons.count(), 2);

    // A tag that can't be written is reported as an error.
    app->toggleTag("Rot", {root + "/missing"});
    EXPECT_TRUE(lastIsError());
}
