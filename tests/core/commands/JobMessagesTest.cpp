// How jobs and refusals speak to the user: the one-job rule before any question, and the look of each
// refusal.
#include "CommandFixture.h"

#include "core/app/JobRunner.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"

#include <QMimeData>
#include <QUrl>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestUtil::LanguageScope;

// Paste, copy to the other pane and a drop, each onto a name clash while a job runs: refused at once,
// nothing asked and nothing changed.
TEST_F(CommandTest, TransfersDuringAJobAreRefusedBeforeAnyQuestion) {
    LanguageScope de(AppLanguage::de);
    const QString src = make("src/"), dst = make("dst/");
    const QString a = make("src/a.txt", "new");
    const QString clash = make("dst/a.txt", "old");
    show(app->left(), src);
    show(app->right(), dst);
    app->left()->setSelection({a});
    clipboard.files = {a};
    clipboard.hasFiles = true;
    ASSERT_TRUE(busy.begin(app->jobs(), QStringLiteral("Kopiere")));

    auto refused = [&](const char *what) {
        EXPECT_TRUE(alerts.isEmpty()) << what << " asked: " << alerts.value(0).message.toStdString();
        ASSERT_FALSE(toasts.isEmpty()) << what;
        EXPECT_EQ(toasts.last().text, JobRunner::busyText) << what;
        EXPECT_EQ(toasts.last().kind, ToastKind::error) << what;
        toasts.clear();
    };
    answers = {AlertRole::replace, AlertRole::replace, AlertRole::replace};
    app->clipboard().paste(dst);
    refused("paste");
    app->transfers().transferSelection(Side::left, false);
    refused("copy to the right");
    app->transfers().transferSelection(Side::left, true);
    refused("move to the right");
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(a)});
    ASSERT_TRUE(app->right()->handleDrop(&drop, dst, true));
    QTest::qWait(20); // the drop's transfer starts once the drop has returned
    refused("drop");

    busy.end();
    QTest::qWait(50);
    EXPECT_EQ(TestUtil::readFile(clash), "old");
    EXPECT_EQ(TestUtil::readFile(a), "new");
}

// Refusals and work left undone carry the warning look, failures the error look, results the tick;
// counts are written as the language writes numbers.
TEST_F(CommandTest, EachRefusalHasTheWarningLook) {
    LanguageScope de(AppLanguage::de);
    const QString folder = make("f/");
    show(app->left(), folder);
    app->left()->setSelection({});

    struct Case {
        const char *what;
        std::function<void()> run;
    };
    const QList<Case> refusals = {
        {"paste without files", [&] { app->clipboard().paste(folder); }},
        {"cut of nothing", [&] { app->clipboard().cut({}); }},
        {"copy to the right of nothing", [&] { app->transfers().transferSelection(Side::left, false); }},
        {"trash of nothing", [&] { app->trash().trashSelection(); }},
        {"rename of nothing", [&] { app->renames().renameSelection(); }},
        {"reveal of nothing", [&] { app->items().showInFileManager({}); }},
        {"compare of one folder",
         [&] {
             show(app->right(), folder);
             app->items().openCompare();
         }},
        {"undo of nothing", [&] { app->fileActions().undoLast(); }},
        {"duplicate of nothing", [&] { app->fileActions().duplicate({}); }},
        {"put back of nothing", [&] { app->fileActions().putBack({}); }},
        {"extract of nothing", [&] { app->fileActions().extract({}); }},
    };
    for (const Case &c : refusals) {
        toasts.clear();
        c.run();
        ASSERT_FALSE(toasts.isEmpty()) << c.what;
        EXPECT_EQ(toasts.last().kind, ToastKind::warning) << c.what << ": " << lastToast().toStdString();
        EXPECT_FALSE(toasts.last().isError) << c.what;
    }

    // A question cancelled: nothing changed, and no tick for it.
    const QString a = make("src/a.txt");
    make("f/a.txt");
    answers = {AlertRole::cancel};
    toasts.clear();
    app->transfers().transfer({a}, folder, false);
    ASSERT_FALSE(toasts.isEmpty());
    EXPECT_EQ(lastToast(), "Abgebrochen. Es wurde nichts verändert.");
    EXPECT_EQ(toasts.last().kind, ToastKind::warning);

    // A result that went through keeps the tick; a failure the error look.
    app->clipboard().copy({a});
    EXPECT_EQ(toasts.last().kind, ToastKind::success);
    ASSERT_TRUE(busy.begin(app->jobs(), QStringLiteral("Kopiere")));
    app->clipboard().paste(folder);
    EXPECT_EQ(toasts.last().kind, ToastKind::error);
    busy.end();

    // Cancelled as the first of three was copied: the verb agrees with the count.
    StepHookScope cancelAtFirst([&](FileSteps::Step step, const QString &p) {
        if (step == FileSteps::Step::fileCopied && p.endsWith("/1")) app->jobs().progress()->cancel();
    });
    app->transfers().transfer({make("g/1"), make("g/2"), make("g/3")}, make("h/"), false);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
    cancelAtFirst.end();
    EXPECT_EQ(lastToast(), "Abgebrochen. 1 Objekt von 3 war schon fertig; Unvollständiges wurde entfernt.");

    // Counts with the language's digit grouping.
    QStringList many;
    for (int i = 0; i < 10000; ++i)
        many << QStringLiteral("/x/%1").arg(i);
    for (const auto &[lang, count] : {std::pair{AppLanguage::de, "10.000 Objekte"},
                                      {AppLanguage::en, "10,000 items"},
                                      {AppLanguage::pl, "10\u00a0000 obiektów"},
                                      {AppLanguage::th, "10,000 รายการ"}}) {
        LanguageScope l(lang);
        app->clipboard().copy(many);
        EXPECT_TRUE(lastToast().contains(QString::fromUtf8(count))) << lastToast().toStdString();
    }
}

// Sources renamed while the first is copied: the result names each failed item, the first few by name
// and then how many more, and never lets another item's message stand for them.
TEST_F(CommandTest, TheTransferResultNamesTheItemsThatFailed) {
    LanguageScope de(AppLanguage::de);
    const QString dst = make("dst/");
    const QString big = make("src/big", QByteArray(3 << 20, 'b'));
    QStringList queued;
    for (int i = 1; i <= 5; ++i)
        queued << make(QStringLiteral("src/q%1").arg(i));
    bool renamed = false;
    StepHookScope renameQueued([&](FileSteps::Step step, const QString &p) {
        if (step != FileSteps::Step::chunkCopied || p != big || renamed) return;
        for (const QString &q : queued)
            renamed = ::rename(QFile::encodeName(q), QFile::encodeName(q + "-renamed")) == 0;
    });
    app->transfers().transfer(QStringList{big} + queued, dst, false);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
    renameQueued.end();
    EXPECT_TRUE(renamed);
    EXPECT_EQ(lastToast(),
              "„q1“: Die Datei gibt es nicht mehr oder sie wurde verschoben. Auch nicht übertragen: "
              "„q2“, „q3“, „q4“ und 1 Objekt. 1 Objekt kopiert → dst");
    EXPECT_EQ(toasts.last().kind, ToastKind::error);

    // Dropped with the folder it is dropped on: the refusal and the move of the others are both said.
    const QString other = make("drop/Other/"), dest = make("drop/Dest/"), alpha = make("drop/alpha.txt");
    toasts.clear();
    app->transfers().transfer({dest, other, alpha}, other, true);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
    EXPECT_EQ(lastToast(), "„Other“ kann nicht in sich selbst abgelegt werden. 2 Objekte verschoben → Other");
    EXPECT_TRUE(QFile::exists(other + "/alpha.txt") && QFile::exists(other + "/Dest"));

    // A destination that is not there is said as the folder missing, not as the item gone.
    const QString normal = make("normal_file");
    toasts.clear();
    app->transfers().transfer({normal}, root + "/not_exists/", false);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
    EXPECT_EQ(lastToast(), "Den Zielordner „not_exists“ gibt es nicht.");
    EXPECT_TRUE(exists(normal) && !exists(root + "/not_exists"));
}

// Locked files moved to another volume: each copy stays whole at the destination while its original stays
// too. The result words each further item by what happened to it, apart from those not transferred at all.
TEST_F(CommandTest, TheTransferResultWordsACopyWhoseOriginalStayedApartFromAFailure) {
    LanguageScope de(AppLanguage::de);
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs and locked files";
    TestUtil::TmpfsMount other("16m");
    ASSERT_TRUE(other.valid());
    const QString first = make("src/app.log"), second = make("src/b.log"), gone = root + "/src/gone";
    // Locked (immutable): renamed and deleted by no one, root too; unlocked again for the clean-up.
    const auto lock = TestUtil::setImmutable;
    if (!lock(first, true) || !lock(second, true)) GTEST_SKIP() << "the test folder's volume takes no lock";
    std::unique_ptr<void, std::function<void(void *)>> unlock(this, [&](void *) {
        lock(first, false);
        lock(second, false);
    });
    app->transfers().transfer({first, gone, second}, other.path(), true);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
    EXPECT_TRUE(QFile::exists(other.path() + "/app.log") && QFile::exists(other.path() + "/b.log"));
    EXPECT_TRUE(QFile::exists(first) && QFile::exists(second));
    EXPECT_TRUE(lastToast().startsWith("„app.log“ wurde kopiert, aber das Original ließ sich nicht löschen."))
        << lastToast().toStdString();
    EXPECT_TRUE(
        lastToast().endsWith(" Auch nicht übertragen: „gone“. Auch kopiert, aber nicht (ganz) vom alten "
                             "Ort entfernt: „b.log“."))
        << lastToast().toStdString();
}

// A move to another volume that left part of its item behind (a pipe) is recorded though nothing went
// whole: its undo brings what went back into what stayed and says so; with a name taken at the old place
// meanwhile it says what stayed at the new place instead of calling it done.
TEST_F(CommandTest, TheUndoOfAMoveThatLeftItemsBehindBringsBackWhatWent) {
    LanguageScope de(AppLanguage::de);
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root for a tmpfs";
    TestUtil::TmpfsMount other("16m");
    ASSERT_TRUE(other.valid());
    const auto listed = [](const QString &folder) {
        return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).join(u',');
    };
    for (const bool taken : {false, true}) {
        SCOPED_TRACE(taken);
        const QString item = make("src/withfifo/f").chopped(2), moved = other.path() + "/withfifo";
        ASSERT_EQ(::mkfifo(QFile::encodeName(item + "/pipe").constData(), 0600), 0);
        toasts.clear();
        app->transfers().transfer({item}, other.path(), true);
        QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
        ASSERT_EQ(listed(item), "pipe");
        ASSERT_EQ(app->undoJournal().undoTitle().value_or(QString()), "„withfifo“ verschoben");
        if (taken) make("src/withfifo/f", "new");
        toasts.clear();
        app->fileActions().undoLast();
        QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && !toasts.isEmpty(), 10000);
        EXPECT_EQ(lastToast(), taken ? "Rückgängig: „f“ gibt es am alten Ort schon."
                                     : "Rückgängig gemacht: „withfifo“ verschoben.");
        EXPECT_EQ(listed(item), "f,pipe");
        EXPECT_EQ(listed(moved), taken ? "f" : "");
        EXPECT_EQ(exists(moved), taken);
        QDir(item).removeRecursively();
        QDir(moved).removeRecursively();
    }
}
