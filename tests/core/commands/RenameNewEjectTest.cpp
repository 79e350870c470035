#include "CommandFixture.h"

#include "common/FatFuse.h"
#include "core/app/RenameCommands.h"
#include "core/model/FileLoader.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QThreadPool>
#include <array>
#include <atomic>

using TestUtil::LanguageScope;

TEST_F(CommandTest, RenameChecksTheNameAndJournalsTheChange) {
    LanguageScope de(AppLanguage::de);
    app->services().timings.renameRefreshMs = 10;
    const QString a = make("a.txt"), b = make("b.txt");
    PaneModel *pane = app->left();
    show(pane, root);

    app->renames().renameSelection();
    EXPECT_EQ(lastToast(), "Zum Umbenennen eine oder mehrere Dateien auswählen.");
    EXPECT_TRUE(textQuestions.isEmpty());

    pane->setSelection({b, a});
    app->renames().renameSelection();
    EXPECT_TRUE(textQuestions.isEmpty());
    ASSERT_TRUE(app->requests().batchRenameTarget());
    EXPECT_EQ(app->requests().batchRenameTarget()->paths, (QStringList{a, b}));

    pane->setSelection({a});
    const qsizetype journal = app->undoJournal().entries().size();
    textAnswers = {QString(" \ta.txt "), QString("   "), QString("b.txt"), std::nullopt};
    app->renames().renameSelection();
    EXPECT_EQ(textQuestions.last().text, "a.txt");
    EXPECT_EQ(textQuestions.last().selected, 1); // "a", the extension left as it is
    EXPECT_EQ(textQuestions.last().informative, "Neuer Name für „a.txt“:");
    EXPECT_EQ(lastToast(), "Der Name wurde nicht geändert.");
    EXPECT_FALSE(lastIsError());
    app->renames().renameSelection();
    EXPECT_EQ(lastToast(), "Der Name darf nicht leer sein.");
    EXPECT_TRUE(lastIsError());
    app->renames().renameSelection();
    EXPECT_EQ(lastToast(), "„b.txt“ gibt es schon in diesem Ordner.");
    const qsizetype shown = toasts.size();
    app->renames().renameSelection();
    EXPECT_EQ(toasts.size(), shown);
    EXPECT_EQ(app->undoJournal().entries().size(), journal);
    EXPECT_TRUE(exists(a));

    textAnswers = {QString("  x/y.txt  ")};
    app->renames().renameSelection();
    const QString renamed = root + "/x:y.txt";
    EXPECT_TRUE(exists(renamed));
    EXPECT_FALSE(exists(a));
    EXPECT_EQ(pane->selection(), QSet<QString>{renamed});
    EXPECT_EQ(lastToast(), "„a.txt“ umbenannt in „x:y.txt“.");
    EXPECT_EQ(app->undoJournal().undoTitle(), "Umbenennen von „a.txt“");
    const qsizetype toastsBeforeUndo = toasts.size();
    app->fileActions().undoLast();
    // The undo reports when its background work is back; the test ends only then.
    waitToast(toastsBeforeUndo + 1);
    QTRY_VERIFY_WITH_TIMEOUT(exists(a) && !exists(renamed), 5000);

    // A leading dot hides the item where hidden files are not shown: said, with the way to see them.
    FileLoader::setShowHidden(false);
    show(pane, root);
    pane->setSelection({make("c.txt")});
    textAnswers = {QString(".c.txt")};
    app->renames().renameSelection();
    EXPECT_EQ(lastToast(), "„c.txt“ umbenannt in „.c.txt“. Ein Name mit Punkt am Anfang ist unsichtbar; "
                           "„Unsichtbare Dateien anzeigen“ (Strg+H) zeigt es wieder.");
}

// A case-only rename and its undo on a volume that ignores case: the pane lists what is on disk, though
// the name that went still finds the item.
TEST_F(CommandTest, ACaseOnlyRenameAndItsUndoListOnlyWhatIsOnDiskOnAVolumeThatIgnoresCase) {
    app->services().timings.renameRefreshMs = 60000; // no later refresh to hide what the watch showed
    PaneModel *pane = app->left();
    const auto settled = [&](const QString &folder) {
        QTest::qWait(PaneModel::timings().reloadDelayMs + 300); // the watch's names merged in
        const auto shown = [&] {
            QStringList names;
            for (const FileItem &i : pane->items())
                names << i.leaf;
            names.sort();
            return names;
        };
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QDir(folder).entryList(QDir::Files, QDir::Name), 3000);
    };
    int tried = 0;
    const auto check = [&](const QString &volume) {
        ++tried;
        SCOPED_TRACE(volume.toStdString());
        const QString lower = volume + "/raport.txt";
        ASSERT_TRUE(TestUtil::writeFile(lower, "r") && TestUtil::writeFile(volume + "/zeszyt.txt", "z"));
        show(pane, volume);
        pane->setSelection({lower});
        textAnswers = {QString("Raport.txt")};
        app->renames().renameSelection();
        settled(volume);
        const qsizetype before = toasts.size();
        app->fileActions().undoLast();
        waitToast(before + 1);
        ASSERT_EQ(QDir(volume).entryList(QDir::Files), QStringList({"raport.txt", "zeszyt.txt"}));
        settled(volume);
        show(pane, root); // off the volume before it goes
    };
    if (TestUtil::ExfatImage exfat; exfat.valid()) check(exfat.path());
    if (TestUtil::FatFuse stick; stick.valid()) check(stick.path());
    if (tried == 0) GTEST_SKIP() << "no volume that ignores case could be mounted";
}

// F2's field selects the name without its extension; a folder's name and a dot file's are selected whole.
TEST_F(CommandTest, RenameSelectsTheNameWithoutItsExtension) {
    for (const auto &[name, folder, stem] :
         {std::tuple{"gamma.txt", false, "gamma"}, std::tuple{"a.tar.gz", false, "a.tar"},
          std::tuple{".bashrc", false, ".bashrc"}, std::tuple{".config.old", false, ".config"},
          std::tuple{"README", false, "README"}, std::tuple{"v1.2", true, "v1.2"}}) {
        const QString n = QString::fromUtf8(name);
        EXPECT_EQ(n.left(RenameCommands::stemLength(n, folder)), QString::fromUtf8(stem)) << name;
    }
    const QString folder = root + "/v1.2";
    QDir().mkpath(folder);
    show(app->left(), root);
    app->left()->setSelection({folder});
    textAnswers = {std::nullopt};
    app->renames().renameSelection();
    ASSERT_FALSE(textQuestions.isEmpty());
    EXPECT_EQ(textQuestions.last().selected, 4);
}

// A rename selects the new name, and a listing that shows it late brings it back after an older listing
// left it out; a selection made in the meantime is not taken back by that listing.
TEST_F(CommandTest, RenamedItemComesBackSelectedUnlessAnotherWasChosen) {
    app->services().timings.renameRefreshMs = 60000; // only the listings the test lets through
    PaneModel::setTimings({60000, 250});             // and no watch-driven ones
    if (QThreadPool::globalInstance()->maxThreadCount() < 4)
        QThreadPool::globalInstance()->setMaxThreadCount(4);
    const QString a = make("a.txt"), c = make("c.txt");
    PaneModel *pane = app->left();
    show(pane, root);
    // From now on each listing reads the folder, then waits for its own gate.
    std::atomic<int> calls{0};
    std::array<QSemaphore, 8> entered, gates;
    PaneModel::setBackend({[&](const QString &path) {
                               FileLoader::Listing listing = FileLoader::list(path);
                               const int n = calls++;
                               if (n < int(gates.size())) {
                                   entered[n].release();
                                   gates[n].acquire();
                               }
                               return listing;
                           },
                           {}});
    const struct Restore {
        std::array<QSemaphore, 8> &gates;
        ~Restore() {
            for (QSemaphore &gate : gates)
                gate.release();
            QThreadPool::globalInstance()->waitForDone(5000);
            PaneModel::setBackend({});
            PaneModel::setTimings({});
        }
    } restore{gates};
    // Listing `first` read the folder before the rename, `first + 1` after it.
    const auto renameTo = [&](const QString &from, const QString &name, int first) {
        pane->reload();
        ASSERT_TRUE(entered[first].tryAcquire(1, 5000));
        pane->setSelection({from});
        textAnswers = {name};
        app->renames().renameSelection();
        ASSERT_TRUE(entered[first + 1].tryAcquire(1, 5000));
    };
    const auto let = [&](int n) {
        QSignalSpy listed(pane, &PaneModel::listed);
        gates[n].release();
        ASSERT_TRUE(listed.wait(5000));
    };

    renameTo(a, "b.txt", 0);
    const QString b = root + "/b.txt";
    EXPECT_EQ(pane->selection(), QSet<QString>{b});
    let(0); // without b: the selection loses it
    EXPECT_TRUE(pane->selection().isEmpty());
    let(1);
    EXPECT_EQ(pane->selection(), QSet<QString>{b});

    renameTo(b, "d.txt", 2);
    let(2);
    pane->setSelection({c}); // chosen before the listing that shows d.txt
    let(3);
    EXPECT_TRUE(pane->visibleRow(root + "/d.txt") >= 0);
    EXPECT_EQ(pane->selection(), QSet<QString>{c});
}

TEST_F(CommandTest, PanesFollowWhatTheProgramRenamedOrMovedUnlessIntoATrashAndSearchesRunAgain) {
    app->services().timings.renameRefreshMs = 60000; // only the changes' own refreshes
    const QString docs = make("Documents/"), now = docs + "/Briefe 2026", z = make("dst/brief-z");
    const QString sibling = make("Documents/Briefe alt/"); // named like the renamed folder, not below it
    PaneModel *left = app->left(), *right = app->right();
    show(right, sibling);
    right->go(QFileInfo(make("Documents/Briefe/2025/brief-b")).path());
    right->go(docs + "/Briefe");
    right->goBack(); // Forward leads into the folder renamed below
    QTRY_COMPARE_WITH_TIMEOUT(right->currentPath(), docs + "/Briefe/2025", 5000);
    right->setSelection({docs + "/Briefe/2025/brief-b"});

    // A rename while the search still walks and has no hits yet: the walk may have read the old name.
    QSemaphore walking, letGo;
    const auto restore = qScopeGuard([&] {
        letGo.release(100);
        PaneModel::setBackend({});
        QThreadPool::globalInstance()->waitForDone(5000);
    });
    PaneModel::setBackend(
        {{},
         [&walking, &letGo](const QString &from, const QString &query, const SearchFilter &filter,
                            const CancelFlag &flag, int limit, bool *cut, QStringList *folders) {
             QList<FileItem> hits = FileLoader::search(from, query, filter, flag, limit, cut, folders);
             walking.release();
             letGo.tryAcquire(1, 5000);
             return hits;
         }});
    show(left, docs);
    left->setSearchText("brief");
    const auto shows = [&](const QString &p) { return !left->isSearching() && left->visibleRow(p) >= 0; };
    QTRY_VERIFY_WITH_TIMEOUT(walking.tryAcquire(), 5000);
    ASSERT_FALSE(left->searchResults().has_value());
    app->sides().setActive(Side::right);
    textAnswers = {QString("brief-a")};
    app->renames().renameSelection();
    letGo.release(100);
    QTRY_VERIFY_WITH_TIMEOUT(shows(docs + "/Briefe/2025/brief-a"), 5000);
    app->sides().setActive(Side::left);

    QTRY_VERIFY_WITH_TIMEOUT(shows(docs + "/Briefe"), 5000);
    left->setSelection({docs + "/Briefe"}); // F2 on a hit
    textAnswers = {QString("Briefe 2026"), QString("brief-c")};
    app->renames().renameSelection();
    QTRY_VERIFY_WITH_TIMEOUT(shows(now + "/2025/brief-a"), 5000);
    EXPECT_EQ(left->selection(), QSet<QString>{now});
    EXPECT_EQ(right->forwardStack(), QStringList{now});
    EXPECT_TRUE(right->backStack().contains(sibling)) << right->backStack().join(u',').toStdString();
    EXPECT_EQ(right->currentPath(), now + "/2025");
    app->sides().setActive(Side::right);
    app->renames().renameSelection(); // the other side's selection went along
    QTRY_VERIFY_WITH_TIMEOUT(shows(now + "/2025/brief-c"), 5000);
    app->transfers().transfer({now}, root + "/dst", true);
    QTRY_COMPARE_WITH_TIMEOUT(right->currentPath(), root + "/dst/Briefe 2026/2025", 5000);
    app->sides().followMove(root + "/dst/Briefe 2026", FileLoader::mainTrash() + "/Briefe 2026");
    app->fileActions().undoLast(); // and back, as it did not follow into the Trash
    QTRY_VERIFY_WITH_TIMEOUT(right->currentPath() == now + "/2025" && shows(now + "/2025/brief-c"), 5000);
    app->transfers().transfer({z}, now + "/2025", false); // a copy below a search
    QTRY_VERIFY_WITH_TIMEOUT(shows(now + "/2025/brief-z"), 5000);

    // A copy of the folder a pane shows leaves the pane where it is.
    const qsizetype before = toasts.size();
    app->transfers().transfer({now}, root + "/dst", false);
    waitToast(before + 1);
    EXPECT_TRUE(exists(root + "/dst/Briefe 2026/2025/brief-z"));
    EXPECT_EQ(right->currentPath(), now + "/2025");

    // F2 on a hit another program deleted meanwhile names the item, and the hit goes.
    const QString gone = now + "/2025/brief-z";
    app->sides().setActive(Side::left);
    left->setSelection({gone});
    ASSERT_TRUE(QFile::remove(gone));
    const qsizetype asked = textQuestions.size();
    app->renames().renameSelection();
    EXPECT_EQ(textQuestions.size(), asked);
    EXPECT_EQ(lastToast(), "“brief-z”: The file no longer exists or has been moved.");
    EXPECT_LT(left->visibleRow(gone), 0);
    EXPECT_TRUE(left->selection().isEmpty());
}

TEST_F(CommandTest, NewItemsTakeTheNextFreeNumberedName) {
    LanguageScope de(AppLanguage::de);
    make("Neuer Ordner/");
    make("Neuer Ordner 2/");
    PaneModel *pane = app->left();
    show(pane, root);

    app->renames().newFolder();
    const QString folder = root + "/Neuer Ordner 3";
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(pane->selection(), QSet<QString>{folder});
    EXPECT_EQ(pane->cursor(), folder); // so the list brings it into view
    EXPECT_EQ(lastToast(), "Ordner „Neuer Ordner 3“ angelegt.");
    EXPECT_EQ(app->undoJournal().undoTitle(), "Neuer Ordner");

    app->renames().newFile();
    app->renames().newFile();
    EXPECT_EQ(QFileInfo(root + "/Neue Datei.txt").size(), 0);
    EXPECT_TRUE(QFileInfo(root + "/Neue Datei 2.txt").isFile());
    EXPECT_EQ(lastToast(), "Datei „Neue Datei 2.txt“ angelegt.");
    EXPECT_EQ(app->undoJournal().undoTitle(), "Neue Datei");

    // Undo puts the new item into the Trash.
    const qsizetype toastsBeforeUndo = toasts.size();
    app->fileActions().undoLast();
    // The undo reports when its background work is back; the test ends only then.
    waitToast(toastsBeforeUndo + 1);
    QTRY_VERIFY_WITH_TIMEOUT(!exists(root + "/Neue Datei 2.txt"), 5000);
}

TEST_F(CommandTest, NewItemsElsewhereKeepTheSelectionAndFailuresSaySo) {
    const QString other = make("other/");
    const QString a = make("a");
    PaneModel *pane = app->left();
    show(pane, root);
    pane->setSelection({a});
    {
        LanguageScope en(AppLanguage::en);
        app->renames().newFolder(other);
        app->renames().newFile(other);
    }
    EXPECT_TRUE(QFileInfo(other + "/New Folder").isDir());
    EXPECT_TRUE(QFileInfo(other + "/New File.txt").isFile());
    EXPECT_EQ(pane->selection(), QSet<QString>{a});

    LanguageScope de(AppLanguage::de);
    const qsizetype journal = app->undoJournal().entries().size();
    app->renames().newFile(root + "/missing");
    EXPECT_EQ(lastToast(), "Die Datei ließ sich hier nicht anlegen.");
    EXPECT_TRUE(lastIsError());
    app->renames().newFolder(root + "/missing");
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(app->undoJournal().entries().size(), journal);
}

TEST_F(CommandTest, EjectSendsEveryTabOnTheVolumeHome) {
    LanguageScope de(AppLanguage::de);
    const QString volume = make("vol/"), inside = make("vol/deep/"), sibling = make("vol2/");
    show(app->left(), inside);
    app->sides().leftTabs()->newTab(volume);
    app->sides().leftTabs()->select(1);
    show(app->right(), sibling);
    PaneModel *background = app->sides().leftTabs()->tabs().at(0);

    int rebuilt = 0;
    QString asked;
    QObject::connect(&app->items(), &ItemCommands::devicesChanged, [&] { ++rebuilt; });
    app->services().desktop.eject = [&](const QByteArray &path) {
        asked = QFile::decodeName(path);
        return std::optional<QString>("Das Gerät ist beschäftigt.");
    };
    app->items().eject(volume, "Stick");
    EXPECT_EQ(background->currentPath(), QDir::homePath());
    EXPECT_EQ(app->left()->currentPath(), QDir::homePath());
    EXPECT_EQ(app->right()->currentPath(), sibling);
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 1, 5000);
    EXPECT_EQ(asked, volume);
    EXPECT_EQ(lastToast(),
              "„Stick“ ließ sich nicht auswerfen: Das Gerät ist beschäftigt. Vielleicht ist noch eine "
              "Datei oder ein Programm darauf geöffnet.");
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(background->currentPath(), QDir::homePath());

    app->services().desktop.eject = [](const QByteArray &) { return std::optional<QString>(); };
    app->items().eject(volume, "Stick");
    QTRY_COMPARE_WITH_TIMEOUT(rebuilt, 2, 5000);
    EXPECT_EQ(lastToast(), "„Stick“ wurde ausgeworfen.");
    EXPECT_FALSE(lastIsError());
}
