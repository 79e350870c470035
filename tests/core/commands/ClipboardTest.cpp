#include "CommandFixture.h"

using TestUtil::LanguageScope;

TEST_F(CommandTest, CopyAndCutWriteTheClipboardAndToast) {
    LanguageScope de(AppLanguage::de);
    app->clipboard().copy({});
    EXPECT_TRUE(toasts.isEmpty());
    EXPECT_EQ(clipboard.changes, 0);

    app->clipboard().cut({});
    EXPECT_EQ(lastToast(), "Nichts ausgewählt.");
    EXPECT_FALSE(lastIsError());
    EXPECT_EQ(clipboard.changes, 0);

    const QString a = make("a.txt"), b = make("b.txt");
    app->clipboard().cut({a, b});
    EXPECT_EQ(clipboard.files, (QStringList{a, b}));
    EXPECT_TRUE(clipboard.cut);
    EXPECT_EQ(app->clipboard().cutPaths(), (QSet<QString>{a, b}));
    EXPECT_EQ(app->clipboard().cutChangeCount(), clipboard.changes);
    EXPECT_TRUE(lastToast().startsWith("2 Objekte ausgeschnitten."));

    app->clipboard().copy({b});
    EXPECT_FALSE(clipboard.cut);
    EXPECT_TRUE(app->clipboard().cutPaths().isEmpty());
    EXPECT_FALSE(app->clipboard().cutChangeCount());
    EXPECT_EQ(lastToast(), "1 Objekt kopiert. Im Zielordner mit „Einsetzen“ (Strg+V) ablegen.");
    // One item is "it".
    LanguageScope en(AppLanguage::en);
    app->clipboard().copy({b});
    EXPECT_EQ(lastToast(), "1 item copied. Use “Paste” (Ctrl+V) in the destination folder to place it.");
}

TEST_F(CommandTest, PasteMovesOnlyWhileTheCutIsInForce) {
    const QString src = make("src/"), dst = make("dst/");
    const QString a = make("src/a.txt", "A"), b = make("src/b.txt", "B");

    // The same clipboard, the same set: a move, and the cut is used up.
    app->clipboard().cut({b, a});
    EXPECT_TRUE(app->clipboard().cutInForce({a, b}));
    EXPECT_FALSE(app->clipboard().cutInForce({a}));
    app->clipboard().paste(dst);
    EXPECT_TRUE(app->clipboard().cutPaths().isEmpty());
    EXPECT_FALSE(app->clipboard().cutChangeCount());
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/a.txt") && exists(dst + "/b.txt") && !app->jobs().progress(),
                             5000);
    EXPECT_FALSE(exists(a));
    EXPECT_FALSE(exists(b));

    // Something else changed the clipboard since the cut: a copy.
    const QString c = make("src/c.txt");
    app->clipboard().cut({c});
    clipboard.cut = false;
    ++clipboard.changes;
    app->clipboard().paste(dst);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/c.txt") && !app->jobs().progress(), 5000);
    EXPECT_TRUE(exists(c));
    EXPECT_EQ(app->clipboard().cutPaths(), QSet<QString>{c}); // a copy leaves the pending cut alone

    // A name taken there and skipped: what was done is said, not just "done".
    LanguageScope de(AppLanguage::de);
    const QString e = make("src/e.txt");
    answers = {AlertRole::skip};
    app->clipboard().copy({c, e});
    app->clipboard().paste(dst);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/e.txt") && !app->jobs().progress(), 5000);
    EXPECT_EQ(lastToast(), "1 Objekt kopiert, 1 Objekt übersprungen.");
}

TEST_F(CommandTest, PasteOfAnotherSetCopiesAndEmptyClipboardSaysSo) {
    LanguageScope de(AppLanguage::de);
    const QString dst = make("dst/");
    app->clipboard().paste(dst);
    EXPECT_EQ(lastToast(), "In der Zwischenablage liegen keine Dateien.");
    EXPECT_FALSE(lastIsError());

    const QString a = make("a.txt"), b = make("b.txt");
    app->clipboard().cut({a});
    // Another program put other files there without our count changing (the set differs).
    clipboard.files = {a, b};
    clipboard.cut = false;
    app->clipboard().paste(dst);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/a.txt") && exists(dst + "/b.txt") && !app->jobs().progress(),
                             5000);
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(exists(b));
    clipboard.hooks().writeFiles({make("c.txt")}, true); // another program's cut, or ours before a restart
    app->clipboard().paste(dst);
    QTRY_VERIFY_WITH_TIMEOUT(exists(dst + "/c.txt") && !app->jobs().progress(), 5000);
    EXPECT_FALSE(exists(root + "/c.txt"));
    app->clipboard().paste(dst); // and the clipboard emptied
    EXPECT_EQ(lastToast(), "In der Zwischenablage liegen keine Dateien.");
}

TEST_F(CommandTest, PasteOfTheSelectedCopiedFolderLandsBesideIt) {
    const QString folder = make("parent/folder/");
    make("parent/folder/inner.txt");
    show(app->left(), root + "/parent");
    app->left()->setSelection({folder});
    app->clipboard().copy({folder});
    // The copy conflicts with the folder itself: keep both.
    answers = {AlertRole::confirm};
    app->clipboard().paste(app->left()->targetFolder());
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && toasts.size() >= 2, 5000);
    const QStringList names = QDir(root + "/parent").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_EQ(names.size(), 2) << names.join(",").toStdString();
    EXPECT_FALSE(exists(folder + "/folder"));
}

TEST_F(CommandTest, CopyPathPutsLinesAndForgetsTheCutRows) {
    LanguageScope de(AppLanguage::de);
    app->clipboard().copyPath({});
    EXPECT_TRUE(toasts.isEmpty());
    const QString a = make("a"), b = make("b"), c = make("c");
    app->clipboard().cut({a});
    const auto count = app->clipboard().cutChangeCount();
    app->clipboard().copyPath({a, b, c});
    EXPECT_EQ(clipboard.text, a + "\n" + b + "\n" + c);
    EXPECT_EQ(lastToast(), "3 Pfade kopiert.");
    EXPECT_TRUE(app->clipboard().cutPaths().isEmpty());
    EXPECT_EQ(app->clipboard().cutChangeCount(), count);
    app->clipboard().copyPath({a});
    EXPECT_EQ(lastToast(), "Pfad kopiert: " + a);
}
