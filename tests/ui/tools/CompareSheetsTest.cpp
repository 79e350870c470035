#include "../../core/commands/CommandFixture.h"

#include "core/app/JobRunner.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TrashMemory.h"
#include "core/localisation/FileFmt.h"
#include "core/tools/FolderSync.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/tools/CompareSheet.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QTableView>
#include <QLineEdit>
#include <QSpinBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <atomic>
#include <fcntl.h>
#include <unistd.h>

namespace {

class CompareSheets : public CommandTest {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QList<SyncStep> plan(const QString &l, const QString &r, SyncMode mode, bool deleteExtra) {
        QList<SyncStep> steps;
        for (const CompareRow &row : FolderCompare::scan(l, r, [] { return false; }).rows)
            if (FolderCompare::action(row, mode, deleteExtra) != SyncAction::none)
                steps << SyncStep{row, FolderCompare::action(row, mode, deleteExtra)};
        return steps;
    }
    // The visible controls of a sheet whose text is smaller than least pixels.
    static QStringList smallerThan(QWidget *sheet, int least) {
        QStringList small;
        for (QWidget *w : sheet->findChildren<QWidget *>()) {
            const bool text = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLabel *>(w) ||
                              qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractSpinBox *>(w) ||
                              qobject_cast<QComboBox *>(w);
            if (text && w->isVisibleTo(sheet) && QFontInfo(w->font()).pixelSize() < least)
                small << QString::fromLatin1(w->metaObject()->className()) + u' ' +
                             w->property("text").toString();
        }
        return small;
    }
    static QPushButton *button(QWidget *w, const QString &key) {
        for (QPushButton *b : w->findChildren<QPushButton *>())
            if (b->text() == L(key)) return b;
        return nullptr;
    }
};

} // namespace

TEST_F(CompareSheets, SyncAsksBeforeItTrashesAndRunsAsOneJob) {
    const QString l = make("L/"), r = make("R/");
    make("L/new.txt", "new");
    make("R/extra.txt", "extra");
    const QList<SyncStep> steps = plan(l, r, SyncMode::leftToRight, true);
    ASSERT_EQ(steps.size(), 2);
    int completions = 0;

    // An empty plan and a refused answer do nothing.
    app->transfers().runSync(l, r, {}, [&] { ++completions; });
    answers.push_back(AlertRole::cancel);
    app->transfers().runSync(l, r, steps, [&] { ++completions; });
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts[0].buttons[0].role, AlertRole::destructive);
    // The question names the copies it makes too, each count in its own form.
    EXPECT_EQ(alerts[0].informative, "1 Objekt wird kopiert. 1 Objekt kommt in den Papierkorb.");
    EXPECT_TRUE(exists(r + "/extra.txt"));

    // Another job running: only its refusal.
    HeldJob busy;
    auto other = busy.begin(app->jobs(), K("Kopiere"));
    app->transfers().runSync(l, r, steps, [&] { ++completions; });
    EXPECT_EQ(alerts.size(), 1);
    EXPECT_TRUE(lastIsError() || !lastToast().isEmpty());
    busy.end();

    answers.push_back(AlertRole::destructive);
    app->transfers().runSync(l, r, steps, [&] { ++completions; });
    QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 5000);
    EXPECT_EQ(lastToast(), "Synchronisiert: 2 Schritte. Überschriebenes und Gelöschtes liegt im Papierkorb.");
    EXPECT_TRUE(exists(r + "/new.txt"));
    EXPECT_FALSE(exists(r + "/extra.txt"));
    QTest::qWait(50);
    EXPECT_EQ(completions, 1);

    // A row no step acts on is named in the outcome, never passed over as synced.
    make("L/more.txt", "more");
    const int fd =
        ::open((QFile::encodeName(l) + "/bad\xff").constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    CompareSheet sheet(app.get(), l, r);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.loading(), 5000);
    button(&sheet, "Synchronisieren")->click();
    QTRY_VERIFY_WITH_TIMEOUT(exists(r + "/more.txt") && lastToast().startsWith("Synchronisiert: 1"), 5000);
    EXPECT_EQ(lastToast(), "Synchronisiert: 1 Schritt. Überschriebenes und Gelöschtes liegt im Papierkorb. "
                           "Ausgelassen: 1 Zeile, die sich nicht synchronisieren lässt: „bad\\xFF“.");

    // Cancelled while the second of three steps copies: the verb agrees with the count.
    ::unlink((QFile::encodeName(l) + "/bad\xff").constData());
    for (const char *name : {"L/c1.txt", "L/c2.txt", "L/c3.txt"})
        make(name, "c");
    const QList<SyncStep> three = plan(l, r, SyncMode::leftToRight, true);
    ASSERT_EQ(three.size(), 3);
    FolderSync::setGroupStepsForTests(1);
    std::atomic<int> copied = 0;
    FileSteps::setStepHook([&](FileSteps::Step step, const QString &) {
        if (step == FileSteps::Step::fileCopied && ++copied == 2) app->jobs().progress()->cancel();
    });
    answers.push_back(AlertRole::destructive);
    app->transfers().runSync(l, r, three, [&] { ++completions; });
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress() && lastToast().startsWith("Abgebrochen"), 5000);
    FileSteps::setStepHook({});
    FolderSync::setGroupStepsForTests(0);
    EXPECT_EQ(lastToast(), "Abgebrochen. 1 von 3 Schritten war schon erledigt.");
}

TEST_F(CompareSheets, CompareSheetShowsStepsByModeAndKeepsUnticked) {
    const QString l = make("L/"), r = make("R/");
    {
        CompareSheet same(app.get(), l, r);
        QTRY_VERIFY_WITH_TIMEOUT(!same.loading(), 5000);
        EXPECT_EQ(same.summary(), "0 Unterschiede · 0 Schritte ausgewählt");
        EXPECT_FALSE(button(&same, "Synchronisieren")->isEnabled());
    }
    make("L/a.txt", "a");
    make("L/b.txt", "b");
    make("R/c.txt", "c");
    CompareSheet sheet(app.get(), l, r);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.loading(), 5000);
    CompareRowsModel *m = sheet.model();
    ASSERT_EQ(m->rows().size(), 3);
    EXPECT_EQ(sheet.summary(), "3 Unterschiede · 2 Schritte ausgewählt");
    // c.txt exists only on the right: nothing without mirroring, disabled box.
    EXPECT_EQ(m->flags(m->index(2, CompareRowsModel::check)) & Qt::ItemIsEnabled, 0);
    m->setData(m->index(0, CompareRowsModel::check), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(sheet.summary(), "3 Unterschiede · 1 Schritt ausgewählt");
    sheet.findChild<QCheckBox *>()->setChecked(true);
    EXPECT_EQ(m->actionOf(m->rows()[2]), SyncAction::trashRight);
    EXPECT_EQ(sheet.summary(), "3 Unterschiede · 2 Schritte ausgewählt");
    // Both ways: the toggle hides, the unticked row stays unticked.
    QList<QPushButton *> modes;
    for (QPushButton *b : sheet.findChildren<QPushButton *>())
        if (b->isCheckable()) modes << b;
    ASSERT_EQ(modes.size(), 3);
    modes[1]->click();
    EXPECT_EQ(m->actionOf(m->rows()[2]), SyncAction::toLeft);
    EXPECT_EQ(m->data(m->index(0, CompareRowsModel::check), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    modes[0]->click();
    EXPECT_EQ(m->data(m->index(0, CompareRowsModel::check), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(CompareRowsModel::info(std::nullopt, QDateTime::currentDateTime()), "—");
    EXPECT_EQ(CompareRowsModel::info(1000, std::nullopt), FileFmt::size(1000));
    // A file newer on a one-way sync's target is left alone, and its row says why.
    CompareRowsModel newer;
    newer.setRows({CompareRow{"d.txt", false, CompareRow::Status::rightNewer, {}, {}, {}, {}, {}, {}, {}}});
    newer.setMode(SyncMode::leftToRight, true);
    EXPECT_EQ(newer.data(newer.index(0, CompareRowsModel::name), Qt::DisplayRole).toString(),
              "d.txt — Auf dem Ziel neuer – bleibt, wie es ist");
    newer.setMode(SyncMode::rightToLeft, true);
    EXPECT_EQ(newer.data(newer.index(0, CompareRowsModel::name), Qt::DisplayRole).toString(), "d.txt");

    // After a sync the sheet compares again with every row ticked.
    answers.push_back(AlertRole::destructive);
    sheet.sync();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && !sheet.loading() && m->rows().size() == 1, 5000);
    EXPECT_EQ(m->rows()[0].id, "a.txt");
    EXPECT_EQ(sheet.summary(), "1 Unterschied · 1 Schritt ausgewählt");
}

TEST_F(CompareSheets, CompareStopsWhenReplacedOrClosed) {
    const QString l = make("L/"), r = make("R/");
    CompareSheet sheet(app.get(), l, r);
    sheet.scan();
    const CancelFlagPtr first = sheet.scanFlag();
    sheet.scan();
    EXPECT_TRUE(first->cancelled());
    const CancelFlagPtr second = sheet.scanFlag();
    EXPECT_FALSE(second->cancelled());
    sheet.reject();
    EXPECT_TRUE(second->cancelled());
}

TEST_F(CompareSheets, CompareErrorIsShownNotEqual) {
    const QString l = make("L/");
    make("L/in/");
    CompareSheet sheet(app.get(), l, l + "/in");
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.loading(), 5000);
    EXPECT_FALSE(button(&sheet, "Synchronisieren")->isEnabled());
    bool shown = false;
    for (QLabel *label : sheet.findChildren<QLabel *>())
        shown = shown || label->text() == "Ein Ordner liegt im anderen.";
    EXPECT_TRUE(shown);
}

// The sheet hands the roots it compared to the sync: a volume that went meanwhile is not written beneath.
TEST_F(CompareSheets, SyncRefusesARootThatIsNoLongerTheComparedFolder) {
    const QString l = make("L/");
    make("L/a.txt", "a");
    TestUtil::TmpfsMount vol;
    const QString r = vol.valid() ? vol.path() : make("R/");
    CompareSheet sheet(app.get(), l, r);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.loading(), 5000);
    ASSERT_EQ(sheet.model()->steps().size(), 1);
    // The volume goes and leaves its mount point; without root, another folder takes the name.
    if (vol.valid()) {
        ASSERT_EQ(QProcess::execute("umount", {"-l", r}), 0);
    } else {
        ASSERT_TRUE(QDir().rename(r, l + "/../R.before"));
        make("R/");
    }
    sheet.sync();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && !toasts.isEmpty(), 5000);
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(lastToast(),
              QString("„%1“ ist nicht mehr der Ordner des Vergleichs. Bitte erneut vergleichen.").arg(r));
    EXPECT_TRUE(TestUtil::names(r).isEmpty());
}

TEST_F(CompareSheets, BatchRenameRenamesSelectsRecordsAndUndoes) {
    const QString f = make("f/");
    const QString one = make("f/1.txt", "one"), two = make("f/2.txt", "two");
    show(app->activePane(), f);
    BatchRenameSheet sheet(app.get(), {two, one});
    EXPECT_FALSE(button(&sheet, "Umbenennen")->isEnabled());
    BatchRename::Settings s;
    s.pattern = "[Z]";
    s.start = 2;
    s.digits = 1;
    sheet.setSettings(s);
    EXPECT_EQ(sheet.status(), "2 von 2 Namen ändern sich.");
    ASSERT_TRUE(button(&sheet, "Umbenennen")->isEnabled());
    button(&sheet, "Umbenennen")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && !toasts.isEmpty(), 5000);
    EXPECT_EQ(lastToast(), "2 Objekte umbenannt.");
    EXPECT_FALSE(lastIsError());
    EXPECT_EQ(TestUtil::readFile(f + "/2.txt"), "one");
    EXPECT_EQ(TestUtil::readFile(f + "/3.txt"), "two");
    EXPECT_EQ(app->activePane()->selection(), (QSet<QString>{f + "/2.txt", f + "/3.txt"}));
    EXPECT_EQ(app->undoJournal().undoTitle(), "2 Objekte umbenannt");
    // Each item as the rename left it: its undo finds it only there.
    const QList<ShownItem> renamedAs = app->undoJournal().entries().last().action.renamedAs;
    ASSERT_EQ(renamedAs.size(), 2);
    for (const ShownItem &as : renamedAs) {
        EXPECT_EQ(as.folder.ino, quint64(TestUtil::lstatOf(f).st_ino));
        EXPECT_EQ(as.item.ino, quint64(TestUtil::lstatOf(as.path).st_ino));
    }
    app->fileActions().undoLast();
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && TestUtil::readFile(f + "/1.txt") == "one", 5000);
    EXPECT_EQ(TestUtil::readFile(f + "/2.txt"), "two");
    EXPECT_FALSE(exists(f + "/3.txt"));

    // Names that a leading dot hides: said, with the way to see them again.
    FileLoader::setShowHidden(false);
    s.pattern = ".[Z]";
    ASSERT_TRUE(BatchRenameSheet::apply(app.get(), BatchRename::rows(s, {one})));
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && exists(f + "/.2.txt"), 5000);
    EXPECT_EQ(lastToast(),
              "1 Objekt umbenannt. Namen mit Punkt am Anfang sind unsichtbar; „Unsichtbare Dateien "
              "anzeigen“ (Strg+H) zeigt sie wieder.");
}

// Its counts are written as the language writes numbers, in the title as in the status.
TEST_F(CompareSheets, BatchRenameWritesItsCountsForTheLanguage) {
    TestUtil::LanguageScope english{AppLanguage::en};
    make("f/");
    QStringList paths;
    for (int i = 0; i < 1200; ++i)
        paths << make(QStringLiteral("f/%1.txt").arg(i));
    BatchRenameSheet sheet(app.get(), paths);
    EXPECT_EQ(sheet.windowTitle(), "Rename 1,200 Items");
    EXPECT_TRUE(sheet.findChild<QLabel *>() && sheet.findChild<QLabel *>()->text() == "Rename 1,200 Items");
    EXPECT_TRUE(sheet.status().contains("1,200")) << qPrintable(sheet.status());
}

TEST_F(CompareSheets, BatchRenameKeys) {
    const QString f = make("f/");
    const QString a = make("f/a.txt", "A"), b = make("f/b.txt", "B");
    show(app->activePane(), f);
    BatchRename::Settings s;
    s.pattern = "x[Z]";
    {
        BatchRenameSheet sheet(app.get(), {a, b});
        sheet.setSettings(s);
        sheet.show();
        QTest::keyClick(&sheet, Qt::Key_Escape);
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
        EXPECT_TRUE(exists(a));
    }
    BatchRenameSheet sheet(app.get(), {a, b});
    sheet.show();
    // Nothing changes yet: Return does nothing.
    QTest::keyClick(&sheet, Qt::Key_Return);
    EXPECT_TRUE(sheet.isVisible());
    sheet.setSettings(s);
    QTest::keyClick(&sheet, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy() && exists(f + "/x01.txt") && exists(f + "/x02.txt"), 5000);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
}

// Every field of the sheet has a name a screen reader can say, in the interface language.
TEST_F(CompareSheets, BatchRenameFieldsHaveAccessibleNames) {
    const QString a = make("n/a.txt", "A"), b = make("n/b.txt", "B");
    TestUtil::LanguageScope polish(AppLanguage::pl);
    BatchRenameSheet sheet(app.get(), {a, b});
    sheet.show();
    const QList<QWidget *> fields = sheet.findChildren<QWidget *>();
    int checked = 0;
    for (QWidget *w : fields) {
        if (!qobject_cast<QLineEdit *>(w) && !qobject_cast<QAbstractSpinBox *>(w)) continue;
        if (qobject_cast<QLineEdit *>(w) && qobject_cast<QAbstractSpinBox *>(w->parentWidget())) continue;
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        ASSERT_TRUE(face);
        const QString name = face->text(QAccessible::Name);
        EXPECT_FALSE(name.isEmpty() || name.startsWith(u'['))
            << w->metaObject()->className() << " " << name.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 5); // pattern, find, replace, start, digits
    QStringList names;
    for (QAbstractSpinBox *box : sheet.findChildren<QAbstractSpinBox *>())
        names << box->accessibleName();
    EXPECT_EQ(names, (QStringList{"Licznik: początek", "Licznik: cyfry"}));
}

TEST_F(CompareSheets, BatchRenameFailuresAndRefusal) {
    const QString f = make("f/");
    const QString a = make("f/a", "A"), b = make("f/b", "B");
    show(app->activePane(), f);
    BatchRename::Settings s;
    s.pattern = "[N]-x";
    const QList<BatchRename::Row> rows = BatchRename::rows(s, {a, b});

    HeldJob busy;
    auto other = busy.begin(app->jobs(), K("Kopiere"));
    EXPECT_FALSE(BatchRenameSheet::apply(app.get(), rows));
    busy.end();

    // An item put in the place of the one the pane lists keeps its name.
    const QString c = make("f/c", "C");
    show(app->activePane(), f);
    make("f/c2", "theirs"); // made while c is there: another inode
    ASSERT_TRUE(QFile::remove(c));
    ASSERT_TRUE(QDir().rename(f + "/c2", c));
    bool done = false;
    ASSERT_TRUE(BatchRenameSheet::apply(app.get(), BatchRename::rows(s, {c}), [&] { done = true; }));
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    EXPECT_TRUE(lastIsError());
    EXPECT_EQ(TestUtil::readFile(c), "theirs");
    EXPECT_FALSE(exists(f + "/c-x"));

    QFile::remove(a);
    QFile::remove(b);
    bool ended = false;
    ASSERT_TRUE(BatchRenameSheet::apply(app.get(), rows, [&] { ended = true; }));
    QTRY_VERIFY_WITH_TIMEOUT(ended, 5000);
    EXPECT_TRUE(lastIsError());
    EXPECT_TRUE(lastToast().endsWith(" (+1 weitere)")) << lastToast().toStdString();
    EXPECT_FALSE(app->undoJournal().undoTitle());
    EXPECT_TRUE(app->activePane()->selection().isEmpty());
}

TEST_F(CompareSheets, ACancelledBatchRenameSaysSoWithWhatWasDone) {
    const QString f = make("f/");
    const QString a = make("f/a", "A"), b = make("f/b", "B");
    show(app->activePane(), f);
    FileOps::TwoPhaseReport report;
    report.done = {{a, f + "/a1"}, {b, f + "/b1"}};
    report.cancelled = true;
    BatchRenameSheet::finish(app.get(), app->activePane(), report);
    EXPECT_EQ(lastToast(), "Abgebrochen. " + FileFmt::count(2) + " umbenannt.");
    EXPECT_FALSE(lastIsError());
}

// Tab goes from the list on to the buttons, as in every other sheet, and the row the keys act on is
// ringed while the list has the focus.
TEST_F(CompareSheets, TabLeavesTheCompareListWhoseCurrentRowIsRinged) {
    const QString l = make("L/"), r = make("R/");
    make("L/a.txt");
    make("L/b.txt");
    CompareSheet sheet(app.get(), l, r);
    sheet.show();
    QApplication::setActiveWindow(&sheet);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet.loading(), 5000);
    auto *table = sheet.findChild<QTableView *>();
    ASSERT_TRUE(table);
    table->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(table->hasFocus());
    ASSERT_EQ(table->currentIndex().row(), 0);

    // The ring spans the row: with the focus the row's band differs across nearly all of its width.
    const QImage ringed = table->viewport()->grab().toImage();
    table->clearFocus();
    const QImage plain = table->viewport()->grab().toImage();
    const int top = table->rowViewportPosition(0), height = table->rowHeight(0);
    int columns = 0;
    for (int x = 0; x < plain.width(); ++x)
        for (int y = top; y < top + height; ++y)
            if (ringed.pixel(x, y) != plain.pixel(x, y)) {
                ++columns;
                break;
            }
    EXPECT_GT(columns, plain.width() * 9 / 10);

    table->setFocus(Qt::TabFocusReason);
    QPushButton *again = button(&sheet, "Neu vergleichen");
    ASSERT_TRUE(again);
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_FALSE(table->hasFocus());
    for (int i = 0; i < 5 && QApplication::focusWidget() != again; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), again);
}

// At the largest text size every control of the compare and batch rename sheets has it, the compare
// list's dates are whole, and a folder shows no size of its own.
TEST_F(CompareSheets, SheetsFollowTheTextSizeAndShowWholeDates) {
    const QString l = make("L/"), r = make("R/");
    make("L/new.txt", QByteArray(70000, 'x'));
    make("L/sub/");
    make("L/sub/inner.txt");
    app->settings().setFontSize(18);
    MainWindow w(app.get());
    w.show();
    app->requests().setCompareRequest(CompareRequest({l, r}));
    auto *sheet = qobject_cast<CompareSheet *>(w.sheets()->current());
    ASSERT_TRUE(sheet);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->loading(), 5000);
    EXPECT_EQ(smallerThan(sheet, 16), QStringList());

    auto *table = sheet->findChild<QTableView *>();
    ASSERT_TRUE(table);
    const QFontMetrics fm(table->font());
    const CompareRowsModel *model = sheet->model();
    ASSERT_EQ(model->rows().size(), 2);
    for (int row = 0; row < 2; ++row)
        for (int column : {int(CompareRowsModel::leftInfo), int(CompareRowsModel::rightInfo)}) {
            const QString text = model->index(row, column).data().toString();
            EXPECT_GE(table->horizontalHeader()->sectionSize(column), fm.horizontalAdvance(text) + 8)
                << text.toStdString();
        }
    for (int row = 0; row < 2; ++row) {
        const CompareRow &item = model->rows()[row];
        const QString left = model->index(row, CompareRowsModel::leftInfo).data().toString();
        EXPECT_EQ(left.contains(FileFmt::size(*item.leftSize)), !item.isDir) << left.toStdString();
        EXPECT_TRUE(left.contains(FileFmt::date().string(*item.leftDate))) << left.toStdString();
    }
    sheet->reject();

    // The error message, in its own colour, too.
    make("L/sub/inner/");
    app->requests().setCompareRequest(CompareRequest({l, l + "/sub/inner"}));
    sheet = qobject_cast<CompareSheet *>(w.sheets()->current());
    ASSERT_TRUE(sheet);
    QTRY_VERIFY_WITH_TIMEOUT(!sheet->loading(), 5000);
    QTest::qWait(20);
    EXPECT_EQ(smallerThan(sheet, 16), QStringList());
    sheet->reject();

    app->requests().setBatchRenameTarget(InfoTarget({l + "/new.txt"}));
    QDialog *rename = w.sheets()->current();
    ASSERT_TRUE(qobject_cast<BatchRenameSheet *>(rename));
    EXPECT_EQ(smallerThan(rename, 16), QStringList());
    // "with" between the search fields keeps a clear gap to both.
    rename->show();
    QApplication::processEvents();
    const auto fields = rename->findChildren<QLineEdit *>();
    QLineEdit *find = nullptr, *replace = nullptr;
    for (QLineEdit *f : fields) {
        if (f->accessibleName() == L("Text im Namen")) find = f;
        if (f->accessibleName() == L("Ersatz")) replace = f;
    }
    ASSERT_TRUE(find && replace);
    for (QLabel *with : rename->findChildren<QLabel *>())
        if (with->text() == L("durch")) {
            const int textRight = with->x() + QFontMetrics(with->font()).horizontalAdvance(with->text());
            EXPECT_GE(with->x() - (find->x() + find->width()), 9);
            EXPECT_GE(replace->x() - textRight, 9);
        }
    rename->reject();
}
