#include "core/commands/CommandFixture.h"

#include "core/app/FileInfoState.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FactsHelper.h"
#include "core/model/FileLoader.h"
#include "core/model/SizeWalk.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/FileFlags.h"
#include "platform/Plist.h"
#include "platform/Posix.h"
#include "platform/Xattr.h"

#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <fcntl.h>

class InfoForm : public CommandTest {
protected:
    // The toasts are compared in German.
    std::optional<TestUtil::LanguageScope> german;
    void SetUp() override {
        german.emplace(AppLanguage::de);
        CommandTest::SetUp();
        FileInfoState::setTimings({50, 200000});
    }
    void TearDown() override {
        FileInfoState::setLoaderForTests({});
        FileInfoState::setTimings({});
        SizeWalk::setCountForTests({});
        Xattr::failWritesForTests({}, 0);
        CommandTest::TearDown();
        german.reset();
    }
    std::unique_ptr<FileInfoState> form(const QString &path, qint64 refresh = 0) {
        auto s = std::make_unique<FileInfoState>(app->sides(), app->items(), app->toasts(), path, refresh);
        s->load();
        EXPECT_TRUE(QTest::qWaitFor([&] { return s->loaded(); }, 5000));
        return s;
    }
    bool xattrs() {
        const QString probe = make("probe");
        return Xattr::set(probe, QStringLiteral("user.probe"), "1") == 0;
    }
};

TEST_F(InfoForm, RenameNeverReplacesAndRefusesBadNames) {
    const QString a = make("a.txt", "A");
    const QString b = make("b.txt", "B");
    auto s = form(a);
    s->setNameText(QStringLiteral("  b.txt\t"));
    s->rename();
    EXPECT_EQ(lastToast(), QStringLiteral("„b.txt“ gibt es schon in diesem Ordner."));
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(TestUtil::readFile(b), "B");
    EXPECT_EQ(s->path(), a);
    EXPECT_EQ(s->nameText(), QStringLiteral("a.txt"));

    const QString nul = QStringLiteral("x") + QChar(0) + QStringLiteral("y");
    for (const QString &bad : {nul, QStringLiteral("x\ny"), QStringLiteral("x\ry"), QStringLiteral("."),
                               QStringLiteral(".."), QString(256, u'n'), QString(128, QChar(0xe4))}) {
        toasts.clear();
        s->setNameText(bad);
        s->rename();
        EXPECT_EQ(lastToast(), QStringLiteral("Name ungültig")) << bad.size();
        EXPECT_EQ(s->path(), a);
        EXPECT_EQ(s->nameText(), QStringLiteral("a.txt"));
    }
    // Blanks only, or the same name: nothing happens and nothing is said.
    toasts.clear();
    for (const QString &same : {QStringLiteral("  "), QStringLiteral("a.txt")}) {
        s->setNameText(same);
        s->rename();
    }
    EXPECT_TRUE(toasts.isEmpty());

    // Taken away by another program meanwhile: said with the item's name.
    const QString gone = make("gone.txt");
    auto g = form(gone);
    ASSERT_TRUE(QFile::remove(gone));
    for (const auto &[language, said] :
         {std::pair{AppLanguage::de, "„gone.txt“: Die Datei gibt es nicht mehr oder sie wurde verschoben."},
          std::pair{AppLanguage::pl, "„gone.txt”: Plik już nie istnieje lub został przeniesiony."}}) {
        const TestUtil::LanguageScope scope(language);
        g->setNameText(QStringLiteral("neu.txt"));
        g->rename();
        EXPECT_EQ(lastToast(), QString::fromUtf8(said));
        EXPECT_TRUE(lastIsError());
        EXPECT_FALSE(exists(root + "/neu.txt"));
        EXPECT_EQ(g->nameText(), QStringLiteral("gone.txt"));
    }

    show(app->left(), root);
    s->setNameText(QString(255, u'n'));
    s->rename();
    EXPECT_EQ(s->path(), root + u'/' + QString(255, u'n'));
    EXPECT_EQ(TestUtil::readFile(s->path()), "A");
    EXPECT_EQ(app->left()->selection(), QSet<QString>{s->path()});
    // The form loads again for the new path.
    QTRY_COMPARE(s->nameText(), QString(255, u'n'));

    // Recorded as F2's rename is: after an F2 rename, the undo takes back the form's rename first; a dot
    // name that hides the item says so.
    FileLoader::setShowHidden(false);
    app->left()->setSelection({make("c.txt")});
    textAnswers = {QString("d.txt")};
    app->renames().renameSelection();
    auto d = form(root + "/d.txt");
    d->setNameText(QStringLiteral(".d.txt"));
    d->rename();
    EXPECT_EQ(lastToast(), "„d.txt“ umbenannt in „.d.txt“. Ein Name mit Punkt am Anfang ist unsichtbar; "
                           "„Unsichtbare Dateien anzeigen“ (Strg+H) zeigt es wieder.");
    EXPECT_EQ(app->undoJournal().undoTitle(), "Umbenennen von „d.txt“");
    const qsizetype said = toasts.size();
    app->fileActions().undoLast();
    waitToast(said + 1);
    QTRY_VERIFY_WITH_TIMEOUT(exists(root + "/d.txt") && !exists(root + "/.d.txt"), 5000);
    EXPECT_FALSE(exists(root + "/c.txt"));
}

// The form goes with the window too (at quit): a pending comment is written and nothing is said into a
// window that may be half gone. What was typed and never applied is said when the form is left for another
// item; only what differs from the item.
TEST_F(InfoForm, GoesWithoutAWordAndTellsWhatWasLeftWhenLeft) {
    const QString f = make("f.txt");
    const bool comments = xattrs();
    auto s = form(f);
    s->setNameText(QStringLiteral("typed"));
    s->setComment(QStringLiteral("mine"));
    toasts.clear();
    s.reset();
    EXPECT_TRUE(toasts.isEmpty()) << qPrintable(lastToast());
    if (comments) {
        EXPECT_EQ(FileOps::comment(f), QStringLiteral("mine"));
    }

    s = form(f);
    s->tellUnapplied();
    for (const char *same : {" f.txt\t", "  "}) {
        s->setNameText(QString::fromUtf8(same));
        s->tellUnapplied();
    }
    EXPECT_TRUE(toasts.isEmpty()) << qPrintable(lastToast());
    s->setNameText(QStringLiteral("typed "));
    s->tellUnapplied();
    EXPECT_EQ(lastToast(), QStringLiteral("Der neue Name „typed“ wurde nicht übernommen."));
    s->restoreName();
    EXPECT_EQ(s->nameText(), QStringLiteral("f.txt"));
    toasts.clear();
    s->setTagsText(QStringLiteral(" , "));
    s->tellUnapplied();
    EXPECT_TRUE(toasts.isEmpty()) << qPrintable(lastToast());
    s->setTagsText(QStringLiteral("Blau, Rot "));
    s->tellUnapplied();
    EXPECT_EQ(lastToast(), QStringLiteral("Die Tags „Blau, Rot“ wurden nicht übernommen."));
}

TEST_F(InfoForm, RenamingAShownFolderMovesItsTabsAlong) {
    make("dir/sub/x");
    make("other/y");
    const QString dir = root + QStringLiteral("/dir");
    show(app->left(), dir + QStringLiteral("/sub"));
    show(app->right(), dir);
    app->sides().rightTabs()->newTab(root + QStringLiteral("/other"));
    auto s = form(dir);
    s->setNameText(QStringLiteral("moved"));
    s->rename();
    const QString moved = root + QStringLiteral("/moved");
    EXPECT_EQ(app->left()->currentPath(), moved + QStringLiteral("/sub"));
    EXPECT_EQ(app->sides().rightTabs()->tabs().first()->currentPath(), moved);
    EXPECT_EQ(app->sides().rightTabs()->tabs().last()->currentPath(), root + QStringLiteral("/other"));
}

TEST_F(InfoForm, ReloadKeepsWhatIsBeingEdited) {
    if (!xattrs()) GTEST_SKIP() << "no user xattrs here";
    const QString f = make("f.txt");
    ASSERT_FALSE(FileOps::setComment(QStringLiteral("stored"), f));
    auto s = form(f);
    EXPECT_EQ(s->comment(), QStringLiteral("stored"));

    s->setNameText(QStringLiteral("typed"));
    s->setFocused(FileInfoState::Field::tags, true);
    ASSERT_FALSE(FileOps::setTagNames({QStringLiteral("Rot")}, f));
    // A pending comment is written before the reload reads the file again.
    s->setComment(QStringLiteral("mine"));
    ASSERT_TRUE(s->commentSavePending());
    s->setRefresh(1);
    EXPECT_FALSE(s->commentSavePending());
    EXPECT_EQ(FileOps::comment(f), QStringLiteral("mine"));
    QTRY_VERIFY(s->details().tags == QStringList{"Rot"});
    EXPECT_EQ(s->nameText(), QStringLiteral("typed"));
    EXPECT_EQ(s->tagsText(), QString());
    EXPECT_EQ(s->comment(), QStringLiteral("mine"));

    // Once saved and left, the fields follow the file again.
    s->setFocused(FileInfoState::Field::tags, false);
    ASSERT_FALSE(FileOps::setComment(QStringLiteral("from elsewhere"), f));
    s->setRefresh(2);
    QTRY_COMPARE(s->comment(), QStringLiteral("from elsewhere"));
    EXPECT_EQ(s->tagsText(), QStringLiteral("Rot"));
    EXPECT_EQ(s->nameText(), QStringLiteral("typed"));
}

TEST_F(InfoForm, OnlyTheNewestLoadIsApplied) {
    const QString f = make("f.txt");
    std::atomic<int> calls{0};
    FileInfoState::setLoaderForTests([&calls](const QString &) {
        const int n = ++calls;
        // The first load finishes last.
        if (n == 1) QThread::msleep(300);
        FullDetails d;
        d.kind = QStringLiteral("load %1").arg(n);
        return d;
    });
    FileInfoState s(app->sides(), app->items(), app->toasts(), f, 0);
    s.load();
    QTRY_VERIFY(calls == 1);
    s.setRefresh(1);
    QTRY_COMPARE(s.details().kind, QStringLiteral("load 2"));
    QTest::qWait(400);
    EXPECT_EQ(s.details().kind, QStringLiteral("load 2"));
}

TEST_F(InfoForm, FolderSizeTextAndSupersededWalks) {
    make("d/1", "ab");
    make("d/2", "ab");
    make("d/3", "ab");
    FileInfoState::setTimings({50, 3});
    auto s = form(root + QStringLiteral("/d"));
    QTRY_COMPARE(s->sizeText(), FileFmt::size(6));
    make("d/4", "ab");
    s->setRefresh(1);
    QTRY_COMPARE(s->sizeText(), QStringLiteral("mehr als ") + FileFmt::size(6));
    EXPECT_EQ(s->sizeLong(), s->sizeText());

    // A walk for the old path stops when a rename starts one for the new path; one runs at a time.
    std::atomic<int> started{0}, sawCancel{0};
    SizeWalk::setCountForTests([&](const QStringList &, const CancelFlag &cancel) {
        ++started;
        for (int i = 0; i < 1000 && !cancel.cancelled(); ++i)
            QThread::msleep(2);
        if (cancel.cancelled()) ++sawCancel;
        return FileOps::SelectionSize{1, 1, false, cancel.cancelled()};
    });
    SizeWalk::resetRunningMost();
    s->setRefresh(2);
    QTRY_VERIFY(started == 1);
    // A reload of the same folder leaves the running walk alone.
    s->setRefresh(3);
    QTest::qWait(100);
    EXPECT_EQ(started, 1);
    s->setNameText(QStringLiteral("e"));
    s->rename();
    QTRY_VERIFY(started == 2);
    EXPECT_EQ(sawCancel, 1);
    EXPECT_EQ(SizeWalk::runningMost(), 1);
    s.reset();
    QTRY_VERIFY(sawCancel == 2);
    // The counters live on this stack: nothing may still use them.
    QTRY_VERIFY(SizeWalk::runningNow() == 0);
}

TEST_F(InfoForm, CommentIsSavedOnceAfterTypingAndFailuresSaySo) {
    if (!xattrs()) GTEST_SKIP() << "no user xattrs here";
    const QString f = make("f.txt");
    auto s = form(f);
    for (const char *t : {"a", "ab", "abc"})
        s->setComment(QString::fromUtf8(t));
    EXPECT_TRUE(toasts.isEmpty());
    waitToast(1);
    QTest::qWait(120);
    ASSERT_EQ(toasts.size(), 1);
    EXPECT_EQ(lastToast(), QStringLiteral("Kommentar gespeichert, auch für andere Dateimanager lesbar"));
    EXPECT_FALSE(lastIsError());
    EXPECT_EQ(Xattr::get(f, QStringLiteral("user.xdg.comment")).value, QByteArray("abc"));
    EXPECT_EQ(s->details().comment, QStringLiteral("abc"));

    // Leaving the editor saves at once; the failure keeps the stored value and the typed text.
    Xattr::failWritesForTests(QStringLiteral("user.xdg.comment"), ENOSPC);
    s->setComment(QStringLiteral("neu"));
    s->setFocused(FileInfoState::Field::comment, false);
    EXPECT_TRUE(lastToast().startsWith(QStringLiteral("Der Kommentar ließ sich nicht speichern: ")));
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(s->details().comment, QStringLiteral("abc"));
    EXPECT_EQ(FileOps::comment(f), QStringLiteral("abc"));
    Xattr::failWritesForTests({}, 0);
    // A reload keeps the unsaved text (without trying again on each reload); leaving the editor does.
    s->setRefresh(5);
    QTest::qWait(100);
    EXPECT_EQ(s->comment(), QStringLiteral("neu"));
    EXPECT_EQ(FileOps::comment(f), QStringLiteral("abc"));
    s->setFocused(FileInfoState::Field::comment, false);
    EXPECT_EQ(FileOps::comment(f), QStringLiteral("neu"));

    // White space alone is no comment: it removes both attributes, as clearing does.
    s->setComment(QStringLiteral("\t\t \n"));
    s->saveComment();
    EXPECT_EQ(Xattr::get(f, QStringLiteral("user.xdg.comment")).status, Xattr::Status::absent);
    EXPECT_EQ(FileOps::comment(f), QString());
    ASSERT_EQ(FileOps::setComment(QStringLiteral("neu"), f), 0);
    s->setRefresh(6);
    QTRY_COMPARE(s->details().comment, QStringLiteral("neu"));
    s->setComment({});
    s->saveComment();
    EXPECT_EQ(Xattr::get(f, QStringLiteral("user.xdg.comment")).status, Xattr::Status::absent);
}

TEST_F(InfoForm, UnreadableAttributesStayAsTheyAre) {
    if (!xattrs()) GTEST_SKIP() << "no user xattrs here";
    const QString f = make("f.txt");
    const QString commentAttr = Xattr::userName(FileOps::commentXattr());
    const QString tagAttr = Xattr::userName(FileOps::tagXattr());
    ASSERT_EQ(Xattr::set(f, commentAttr, "bplist00garbage"), 0);
    ASSERT_EQ(Xattr::set(f, tagAttr, "not a list"), 0);
    auto s = form(f);
    s->setRefresh(1);
    QTest::qWait(150);
    EXPECT_EQ(Xattr::get(f, commentAttr).value, QByteArray("bplist00garbage"));
    // A tag edit would drop tags it can't read: refused, and the typed text stays.
    s->setTagsText(QStringLiteral("Blau"));
    s->applyTags();
    EXPECT_TRUE(lastToast().startsWith(QStringLiteral("Tags ließen sich nicht ändern: ")));
    EXPECT_EQ(Xattr::get(f, tagAttr).value, QByteArray("not a list"));
    EXPECT_EQ(s->tagsText(), QStringLiteral("Blau"));
}

TEST_F(InfoForm, CustomTagsAreStoredAsTyped) {
    if (!xattrs()) GTEST_SKIP() << "no user xattrs here";
    const QString f = make("f.txt");
    ASSERT_FALSE(FileOps::setTagNames({QStringLiteral("Rot")}, f));
    auto s = form(f);
    EXPECT_EQ(s->tagsText(), QStringLiteral("Rot"));
    s->setTagsText(QStringLiteral(" a ,b,, ,\ta"));
    s->applyTags();
    EXPECT_EQ(FileOps::tags(f), (QStringList{"a", "b", "a"}));
    QTRY_COMPARE(s->tagsText(), QStringLiteral("a, b, a"));
    s->setTagsText(QStringLiteral(" , "));
    s->applyTags();
    EXPECT_TRUE(FileOps::tags(f).isEmpty());
}

TEST_F(InfoForm, LockIsTheImmutableFlag) {
    const QString f = make("f.txt");
    if (!FileFlags::immutable(f)) GTEST_SKIP() << "no inode flags on this file system";
    auto s = form(f);
    EXPECT_FALSE(s->details().locked);
    // A link has no flags of its own: the change fails and the box keeps its state.
    const QString link = root + QStringLiteral("/link");
    ASSERT_EQ(::symlink(QFile::encodeName(f).constData(), QFile::encodeName(link).constData()), 0);
    auto l = form(link);
    l->setLocked(true);
    EXPECT_TRUE(lastToast().startsWith(QStringLiteral("Der Schutz ließ sich nicht ändern: ")));
    EXPECT_FALSE(l->details().locked);
    if (!FileInfoState::canChangeLock()) GTEST_SKIP() << "no CAP_LINUX_IMMUTABLE";
    s->setLocked(true);
    struct Unlock {
        QString path;
        ~Unlock() {
            const int dir =
                ::open(QFile::encodeName(Posix::parentOf(path)).constData(), O_PATH | O_DIRECTORY);
            const QByteArray name = QFile::encodeName(Posix::lastComponent(path));
            if (struct stat st; ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                FileFlags::setImmutable(dir, name, st, false);
            ::close(dir);
        }
    } unlock{f};
    EXPECT_TRUE(s->details().locked);
    EXPECT_EQ(FileFlags::immutable(f), true);
    EXPECT_FALSE(TestUtil::writeFile(f, "changed"));
    s->setRefresh(1);
    QTest::qWait(100);
    EXPECT_TRUE(s->details().locked);
    s->setLocked(false);
    EXPECT_EQ(FileFlags::immutable(f), false);
    EXPECT_TRUE(TestUtil::writeFile(f, "changed"));
}

// The flag goes on the item looked at, opened in its folder: another item put at the name after the look
// (a link too) gets none.
TEST_F(InfoForm, TheLockMeetsOnlyTheItemItLookedAt) {
    const QString g = make("g.txt");
    if (!FileFlags::immutable(g) || !FileInfoState::canChangeLock())
        GTEST_SKIP() << "no inode flags to change";
    const int dir = ::open(QFile::encodeName(root).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    struct stat seen {
    }, now{};
    ASSERT_EQ(::fstatat(dir, "g.txt", &seen, AT_SYMLINK_NOFOLLOW), 0);
    ASSERT_EQ(::renameat(dir, "g.txt", dir, "g.old"), 0);
    make("g.txt");
    EXPECT_EQ(FileFlags::setImmutable(dir, "g.txt", seen, true), ESTALE);
    ASSERT_EQ(::fstatat(dir, "g.txt", &now, AT_SYMLINK_NOFOLLOW), 0);
    ASSERT_EQ(::symlinkat("g.txt", dir, "h"), 0);
    EXPECT_EQ(FileFlags::setImmutable(dir, "h", now, true), ESTALE);
    EXPECT_EQ(FileFlags::immutable(g), false);
    EXPECT_EQ(FileFlags::immutable(root + "/g.old"), false);
    for (const char *name : {"g.txt", "g.old"}) // nothing stays that the folder's removal can't take
        if (struct stat st{}; ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            FileFlags::setImmutable(dir, name, st, false);
    ::close(dir);
}

// The content rows come from a helper that may hang until its limit: the rest of the form does not wait
// for it, and the rows join it when they come.
TEST_F(InfoForm, ContentRowsDoNotHoldUpTheForm) {
    const QString file = make("film.mp4", "x");
    const QString helper = make("helper");
    ASSERT_TRUE(QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    FactsHelper::setProgram(helper);
    ASSERT_TRUE(TestUtil::writeFile(helper, "#!/bin/sh\nsleep 30\n"));
    QElapsedTimer clock;
    clock.start();
    auto s = form(file);
    EXPECT_LT(clock.elapsed(), FactsHelper::kTimeoutMs / 2);
    EXPECT_EQ(s->details().bytes, 1);

    // Another file: the hanging one may still be in its exec, which refuses writes (ETXTBSY).
    const QString quick = make("quick-helper");
    ASSERT_TRUE(QFile::setPermissions(quick, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(TestUtil::writeFile(quick, "#!/bin/sh\nsleep 0.2; printf 'Dauer\\t3725\\n'\n"));
    FactsHelper::setProgram(quick);
    s->setRefresh(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s->details().extra.isEmpty(); }, 5000));
    EXPECT_EQ(s->details().extra.value(0).value, QStringLiteral("62:05"));
    FactsHelper::setProgram({});
}
