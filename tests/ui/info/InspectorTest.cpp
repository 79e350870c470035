#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/FileInfoState.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/SizeWalk.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "platform/Xattr.h"
#include "ui/inspector/FileInfoAppSection.h"
#include "ui/inspector/FileInfoForm.h"
#include "ui/inspector/InfoSheet.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/inspector/InspectorView.h"
#include "ui/inspector/MultiInspector.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/SheetPresenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <atomic>
#include <ctime>
#include <gtest/gtest.h>

namespace {

class Inspector : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            ASSERT_TRUE(TestUtil::writeFile(at(name), "12345"));
        QDir().mkpath(at("sub"));
        pane()->go(dir.path(), false);
        QTRY_VERIFY(pane()->items().size() == 4);
    }
    void TearDown() override {
        QTRY_VERIFY(SizeWalk::runningNow() == 0);
        SizeWalk::setCountForTests({});
        FileInfoForm::setSectionProvider({});
        app.reset();
    }
    QString at(const char *name) const { return dir.path() + u'/' + QString::fromUtf8(name); }
    PaneModel *pane() const { return app->activePane(); }

    QTemporaryDir dir;
    std::unique_ptr<AppState> app;
};

// A count that runs until it is cancelled (or two seconds pass). Its counters outlive the test, since a
// cancelled walk may still be returning when the test ends.
struct BlockingCount {
    struct Counters {
        std::atomic<int> started{0}, sawCancel{0}, running{0}, most{0};
    };
    std::shared_ptr<Counters> c = std::make_shared<Counters>();
    std::atomic<int> &started = c->started;
    std::atomic<int> &sawCancel = c->sawCancel;
    // Walks of this count at once, at most: another object's walk of a folder shown earlier may still be
    // winding down on a busy machine and is no concern of the selection's.
    int most() const { return c->most; }
    SizeWalk::Count fn() {
        return [c = c](const QStringList &, const CancelFlag &cancel) {
            ++c->started;
            const int now = ++c->running;
            for (int seen = c->most; now > seen && !c->most.compare_exchange_weak(seen, now);) {
            }
            for (int i = 0; i < 1000 && !cancel.cancelled(); ++i)
                QThread::msleep(2);
            if (cancel.cancelled()) ++c->sawCancel;
            --c->running;
            return FileOps::SelectionSize{1, 1, false, cancel.cancelled()};
        };
    }
};

} // namespace

TEST_F(Inspector, FollowsTheActivePaneAndKeepsItsViewOnRefresh) {
    InspectorView view(app->sides(), app->items(), app->toasts());
    ASSERT_TRUE(view.form());
    EXPECT_EQ(view.form()->state()->path(), dir.path());

    pane()->setSelection({at("a.txt")});
    ASSERT_TRUE(view.form());
    FileInfoForm *form = view.form();
    EXPECT_EQ(form->state()->path(), at("a.txt"));
    pane()->refresh();
    QTRY_VERIFY(form->state()->refresh() == pane()->refreshToken());
    EXPECT_EQ(view.form(), form);

    BlockingCount count;
    SizeWalk::setCountForTests(count.fn());
    pane()->setSelection({at("b.txt"), at("a.txt"), at("sub")});
    ASSERT_TRUE(view.multi());
    MultiInspector *multi = view.multi();
    EXPECT_EQ(multi->total(), L("Wird berechnet …"));
    QTRY_VERIFY(multi->summary().has_value());
    EXPECT_EQ(multi->paths(), (QStringList{at("a.txt"), at("b.txt"), at("sub")}));
    EXPECT_EQ(multi->summary()->folders, 1);
    QTRY_VERIFY(count.started == 1);
    // A refresh of the busy folder keeps the summary and starts no further walk.
    for (int i = 0; i < 3; ++i)
        pane()->refresh();
    QTest::qWait(50);
    EXPECT_EQ(view.multi(), multi);
    EXPECT_EQ(count.started, 1);
    // Another selection stops the walk of the old one before its own starts.
    pane()->setSelection({at("b.txt"), at("c.txt")});
    QTRY_VERIFY(count.started == 2);
    EXPECT_EQ(count.sawCancel, 1);
    EXPECT_EQ(count.most(), 1);

    // Switched off, the column reads nothing; shown again, it catches up.
    view.hide();
    pane()->setSelection({at("c.txt")});
    EXPECT_TRUE(view.multi());
    view.show();
    ASSERT_TRUE(view.form());
    EXPECT_EQ(view.form()->state()->path(), at("c.txt"));
}

// The column reads the active pane's selection, folder and shown tab, and nothing else of it: a cursor move
// or another sort leaves what it shows alone; a closed tab brings the one behind it.
TEST_F(Inspector, ReadsOnlyWhatItShows) {
    InspectorView view(app->sides(), app->items(), app->toasts());
    auto *shown = new QWidget; // any reading of the pane replaces it
    view.setWidget(shown);
    pane()->setCursor(at("a.txt"));
    pane()->setSortReversed(!pane()->sortReversed());
    EXPECT_EQ(view.widget(), shown);

    TabGroup *tabs = app->sides().tabs(app->sides().active());
    tabs->newTab(at("sub"));
    ASSERT_TRUE(view.form());
    EXPECT_EQ(view.form()->state()->path(), at("sub"));
    tabs->close(tabs->index());
    ASSERT_TRUE(view.form());
    EXPECT_EQ(view.form()->state()->path(), dir.path());
}

// Ordering a hundred thousand selected paths takes longer than a frame: the window's thread must not do it.
TEST_F(Inspector, LargeSelectionIsOrderedOffTheWindowThread) {
    InspectorView view(app->sides(), app->items(), app->toasts());
    QSet<QString> many, fewer;
    for (int i = 0; i < 100000; ++i)
        many.insert(dir.path() + QStringLiteral("/Datei %1.txt").arg(i * 7919 % 100000));
    fewer = many;
    fewer.remove(dir.path() + QStringLiteral("/Datei 5.txt"));
    double longest = 0;
    for (const QSet<QString> *selection : {&many, &fewer}) {
        timespec before{}, after{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        pane()->setSelection(*selection);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        longest =
            std::max(longest, (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6);
        ASSERT_TRUE(view.multi());
        QTRY_VERIFY_WITH_TIMEOUT(view.multi()->summary().has_value(), 20000);
    }
    // The sort alone takes several hundred milliseconds of the thread that runs it.
    EXPECT_LT(longest, 100.0);
    const QStringList &paths = view.multi()->paths();
    ASSERT_EQ(paths.size(), fewer.size());
    EXPECT_FALSE(paths.contains(dir.path() + QStringLiteral("/Datei 5.txt")));
    EXPECT_LT(paths.indexOf(dir.path() + QStringLiteral("/Datei 10.txt")),
              paths.indexOf(dir.path() + QStringLiteral("/Datei 100.txt")));
    EXPECT_LT(paths.indexOf(dir.path() + QStringLiteral("/Datei 9.txt")),
              paths.indexOf(dir.path() + QStringLiteral("/Datei 10.txt")));
}

TEST_F(Inspector, KindsRowShowsFourKindsAndTheRest) {
    const QList<MultiSummary::Kind> six{{"A", 3}, {"B", 2}, {"C", 2}, {"D", 1}, {"E", 1}, {"F", 1}};
    const auto [label, text] = MultiInspector::kindsRow(six);
    EXPECT_EQ(label, QStringLiteral("Arten"));
    EXPECT_EQ(text, QStringLiteral("A: 3\nB: 2\nC: 2\nD: 1\n") + LF("… und %d weitere Arten", 2));
    EXPECT_EQ(MultiInspector::kindsRow({{"A", 7}}), qMakePair(QStringLiteral("Art"), QStringLiteral("A")));
}

TEST_F(Inspector, ManyItemsAreCountedAsTheLanguageWritesNumbers) {
    TestUtil::LanguageScope english{AppLanguage::en};
    MultiInspector multi(2000);
    QStringList texts;
    for (QLabel *label : multi.findChildren<QLabel *>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("2,000 items selected")) << qPrintable(texts.join(" | "));
    EXPECT_EQ(MultiInspector::kindsRow({{"A", 1500}, {"B", 500}}).second, "A: 1,500\nB: 500");
}

TEST_F(Inspector, FormOfferNoExtensionControlAndLeavesPlacesForOtherSections) {
    int asked = 0;
    FileInfoForm::setSectionProvider([&asked](FileInfoForm *form, FileInfoForm::Slot slot) -> QWidget * {
        ++asked;
        auto *w = new QLabel(form);
        w->setObjectName(slot == FileInfoForm::Slot::openWith ? "apps" : "rights");
        return w;
    });
    FileInfoForm folder(app->sides(), app->items(), app->toasts(), at("sub"), 0);
    folder.show();
    EXPECT_EQ(asked, 2);
    QTRY_VERIFY(folder.state()->loaded());
    EXPECT_FALSE(folder.slotWidget(FileInfoForm::Slot::openWith)->isVisible());
    EXPECT_TRUE(folder.slotWidget(FileInfoForm::Slot::permissions)->isVisible());
    for (QCheckBox *box : folder.findChildren<QCheckBox *>())
        EXPECT_NE(box->text(), L("Suffix ausblenden"));
    EXPECT_EQ(folder.lockBox()->toolTip().isEmpty(), FileInfoState::canChangeLock());

    FileInfoForm file(app->sides(), app->items(), app->toasts(), at("a.txt"), 0);
    file.show();
    QTRY_VERIFY(file.state()->loaded());
    EXPECT_TRUE(file.slotWidget(FileInfoForm::Slot::openWith)->isVisible());
    // Both parts fold like the form's own sections.
    for (const auto &[slot, title] :
         {std::pair{FileInfoForm::Slot::openWith, "Öffnen mit"},
          std::pair{FileInfoForm::Slot::permissions, "Teilen & Zugriffsrechte"}}) {
        InspectorSection *section = nullptr;
        for (InspectorSection *s : file.findChildren<InspectorSection *>())
            if (s->isAncestorOf(file.slotWidget(slot))) section = s;
        ASSERT_TRUE(section) << title;
        EXPECT_EQ(section->header()->accessibleName(), L(title));
        section->setOpen(false);
        QTRY_VERIFY_WITH_TIMEOUT(!file.slotWidget(slot)->isVisible(), 2000);
        section->setOpen(true);
        QTRY_VERIFY_WITH_TIMEOUT(file.slotWidget(slot)->isVisible(), 2000);
    }
}

TEST_F(Inspector, TypedNameSurvivesReloads) {
    FileInfoForm form(app->sides(), app->items(), app->toasts(), at("a.txt"), 0);
    form.show();
    QTRY_VERIFY(form.state()->loaded());
    EXPECT_EQ(form.nameField()->text(), QStringLiteral("a.txt"));
    form.nameField()->setFocus();
    QTest::keyClicks(form.nameField(), QStringLiteral("x"));
    const QString typed = form.nameField()->text();
    form.setRefresh(1);
    QTest::qWait(150);
    EXPECT_EQ(form.nameField()->text(), typed);
    QTest::keyClick(form.nameField(), Qt::Key_Return);
    QTRY_VERIFY(form.state()->path().endsWith(typed));

    // A name the rename changed shows as it was made, though the field keeps the keys.
    form.nameField()->selectAll();
    QTest::keyClicks(form.nameField(), QStringLiteral("p/q.txt"));
    QTest::keyClick(form.nameField(), Qt::Key_Return);
    QTRY_COMPARE(form.state()->path(), at("p:q.txt"));
    EXPECT_EQ(form.nameField()->text(), QStringLiteral("p:q.txt"));

    // Escape takes back what was typed and ends the edit.
    QSignalSpy ended(&form, &FileInfoForm::editEnded);
    QTest::keyClicks(form.nameField(), QStringLiteral("zz"));
    QTest::keyClick(form.nameField(), Qt::Key_Escape);
    EXPECT_EQ(form.nameField()->text(), QStringLiteral("p:q.txt"));
    EXPECT_EQ(form.state()->nameText(), QStringLiteral("p:q.txt"));
    EXPECT_EQ(ended.size(), 1);
    QTest::keyClick(form.nameField(), Qt::Key_Return);
    EXPECT_EQ(ended.size(), 2);
    EXPECT_TRUE(QFileInfo::exists(at("p:q.txt")));
}

// The column renames from its own field while the panes follow the rename and it follows their
// selection: the same form goes on with the new name, and the undo brings the old one back. A name typed
// and left by Tab is applied as by Enter; one left unconfirmed when the form goes is said.
TEST_F(Inspector, RenamesFromItsOwnFieldWhileThePanesFollow) {
    InspectorView view(app->sides(), app->items(), app->toasts());
    view.show();
    pane()->setSelection({at("a.txt")});
    FileInfoForm *form = view.form();
    QTRY_VERIFY(form->state()->loaded());
    form->nameField()->selectAll();
    QTest::keyClicks(form->nameField(), QStringLiteral("d.txt"));
    QTest::keyClick(form->nameField(), Qt::Key_Return);
    EXPECT_TRUE(QFileInfo::exists(at("d.txt")));
    EXPECT_EQ(pane()->selection(), QSet<QString>{at("d.txt")});
    ASSERT_EQ(view.form(), form);
    QTRY_COMPARE(form->nameField()->text(), QStringLiteral("d.txt"));
    app->fileActions().undoLast();
    QTRY_VERIFY(QFileInfo::exists(at("a.txt")) && !app->jobs().progress());
    QTRY_COMPARE(view.form()->state()->path(), at("a.txt"));

    form = view.form();
    QTRY_VERIFY(form->state()->loaded());
    emit form->nameField()->textEdited(QStringLiteral("e.txt"));
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(form->nameField(), &tab);
    EXPECT_TRUE(QFileInfo::exists(at("e.txt")));
    EXPECT_EQ(view.form()->state()->path(), at("e.txt"));

    // Left by a click elsewhere: applied as by Tab.
    view.resize(320, 500);
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    form = view.form();
    QTRY_VERIFY(form->state()->loaded());
    form->nameField()->setFocus(Qt::OtherFocusReason);
    form->nameField()->selectAll();
    QTest::keyClicks(form->nameField(), QStringLiteral("g.txt"));
    view.ensureWidgetVisible(form->commentEditor());
    QTest::mouseClick(form->commentEditor()->viewport(), Qt::LeftButton);
    ASSERT_TRUE(form->commentEditor()->hasFocus());
    EXPECT_TRUE(QFileInfo::exists(at("g.txt")));
    EXPECT_EQ(view.form()->state()->path(), at("g.txt"));

    // Tags typed and left by Tab are written as by Enter.
    if (Xattr::set(at("c.txt"), QStringLiteral("user.probe"), "1") == 0) {
        form->tagsField()->setFocus(Qt::OtherFocusReason);
        QTest::keyClicks(form->tagsField(), QStringLiteral("Blau"));
        QTest::keyClick(form->tagsField(), Qt::Key_Tab);
        EXPECT_FALSE(form->tagsField()->hasFocus());
        EXPECT_EQ(FileOps::tags(at("g.txt")), QStringList{"Blau"});
    }

    // What is left typed when another item is shown is said.
    emit view.form()->nameField()->textEdited(QStringLiteral("f.txt"));
    pane()->setSelection({at("b.txt")});
    QTRY_VERIFY(app->toast() &&
                app->toast()->text == LF("Der neue Name „%@“ wurde nicht übernommen.", "f.txt"));
    EXPECT_FALSE(QFileInfo::exists(at("f.txt")));
    QTRY_VERIFY(view.form()->state()->loaded());
    emit view.form()->tagsField()->textEdited(QStringLiteral("Grün"));
    pane()->setSelection({at("c.txt")});
    QTRY_VERIFY(app->toast() && app->toast()->text == LF("Die Tags „%@“ wurden nicht übernommen.", "Grün"));

    // A field that takes the keys in a short inspector is scrolled into sight, whichever way it lies.
    view.resize(320, 120);
    QTRY_VERIFY(view.form() && view.form()->state()->loaded());
    form = view.form();
    const auto inSight = [&](QWidget *field) {
        // Its first line at least: the comment field may be taller than the view.
        const QRect at(field->mapTo(view.viewport(), QPoint()), QSize(field->width(), 24));
        return view.viewport()->rect().contains(at);
    };
    for (const bool fromBelow : {true, false}) {
        QScrollBar *bar = view.verticalScrollBar();
        bar->setValue(fromBelow ? bar->maximum() : bar->minimum());
        QWidget *field = fromBelow ? static_cast<QWidget *>(form->tagsField()) : form->commentEditor();
        ASSERT_FALSE(inSight(field)) << fromBelow;
        field->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(inSight(field)) << fromBelow;
    }
}

TEST_F(Inspector, SheetForOneItemHoldsItsForm) {
    InfoSheet sheet(app->sides(), app->items(), app->toasts(), app->requests(), {at("a.txt")});
    ASSERT_TRUE(sheet.form());
    EXPECT_EQ(sheet.form()->state()->path(), at("a.txt"));
    EXPECT_FALSE(sheet.sizeLabel());
    EXPECT_EQ(sheet.width(), 440);
    QPushButton *done = nullptr;
    for (QPushButton *b : sheet.findChildren<QPushButton *>())
        if (b->text() == L("Fertig")) done = b;
    ASSERT_TRUE(done);
    EXPECT_TRUE(done->isDefault());

    // Escape in the name field takes back a typed name and leaves the sheet open; with nothing typed it
    // closes the sheet.
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    QTRY_VERIFY(sheet.form()->state()->loaded());
    QLineEdit *name = sheet.form()->nameField();
    name->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(name, QStringLiteral("zz"));
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(name->text(), QStringLiteral("a.txt"));
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_TRUE(QFileInfo::exists(at("a.txt")));
}

// Opened over a window at the largest text size, the sheet's form is built at that size.
TEST_F(Inspector, SheetFormTakesTheWindowsTextSize) {
    QWidget window;
    UIScale large;
    large.font = 18;
    EnvironmentValues::install(&window)->setUi(large);
    InfoSheet sheet(app->sides(), app->items(), app->toasts(), app->requests(), {at("a.txt")}, &window);
    ASSERT_TRUE(sheet.form());
    int titles = 0;
    for (QLabel *l : sheet.form()->findChildren<QLabel *>())
        if (l->text() == "a.txt") {
            ++titles;
            EXPECT_EQ(QFontInfo(l->font()).pixelSize(), 19);
        }
    EXPECT_GE(titles, 1);
}

// In the Information window Tab goes forwards from the comment field through the sections below it to
// "Fertig", typing no tab on the way; the first Tab lands on a stop that shows it.
TEST_F(Inspector, TabLeavesTheCommentFieldForTheSectionsBelow) {
    FileInfoForm::setSectionProvider([this](FileInfoForm *form, FileInfoForm::Slot slot) -> QWidget * {
        auto *section = form->findChild<FileInfoAppSection *>(QString(), Qt::FindDirectChildrenOnly);
        if (!section) {
            section = new FileInfoAppSection(app->toasts(), app->services(), form->state(), form);
            section->hide();
        }
        return slot == FileInfoForm::Slot::openWith ? section->openWithPart() : section->accessPart();
    });
    InfoSheet sheet(app->sides(), app->items(), app->toasts(), app->requests(), {at("a.txt")});
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    QTRY_VERIFY(sheet.form()->state()->loaded());
    QPushButton *done = nullptr;
    for (QPushButton *b : sheet.findChildren<QPushButton *>())
        if (b->text() == L("Fertig")) done = b;
    ASSERT_TRUE(done);
    auto tab = [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); };
    ASSERT_TRUE(QApplication::focusWidget());
    tab();
    EXPECT_TRUE(sheet.form()->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == done)
        << QApplication::focusWidget()->metaObject()->className();

    QPlainTextEdit *comment = sheet.form()->commentEditor();
    comment->setFocus(Qt::TabFocusReason);
    QStringList passed;
    QWidgetList stops;
    for (int i = 0; i < 30 && !done->hasFocus(); ++i) {
        tab();
        passed << QApplication::focusWidget()->accessibleName();
        stops << QApplication::focusWidget();
    }
    EXPECT_TRUE(done->hasFocus()) << passed.join(", ").toStdString();
    for (const char *section : {"Öffnen mit", "Vorschau", "Teilen & Zugriffsrechte"})
        EXPECT_TRUE(passed.contains(L(section))) << section << ": " << passed.join(", ").toStdString();
    // Each section's header comes before the menus and buttons below it.
    for (InspectorSection *section : sheet.form()->findChildren<InspectorSection *>()) {
        const qsizetype header = stops.indexOf(section->header());
        for (qsizetype i = 0; i < stops.size(); ++i)
            if (section->isAncestorOf(stops[i]) && stops[i] != section->header()) {
                EXPECT_LT(header, i) << qPrintable(section->objectName()) << ": " << qPrintable(passed[i]);
            }
    }
    EXPECT_EQ(comment->toPlainText(), QString());
    EXPECT_EQ(sheet.form()->state()->comment(), QString());
}

TEST_F(Inspector, SheetCountsSeveralItemsAndStopsWhenClosed) {
    EXPECT_EQ(InfoSheet::totalText(5, 1), FileFmt::size(5));
    EXPECT_EQ(InfoSheet::totalText(10, 2), FileFmt::size(10) + " (" + LF("%d Dateien", 2) + ")");
    {
        InfoSheet sheet(app->sides(), app->items(), app->toasts(), app->requests(),
                        {at("a.txt"), at("b.txt"), at("a.txt")});
        QTRY_COMPARE(sheet.sizeLabel()->text(), InfoSheet::totalText(10, 2));
    }

    BlockingCount count;
    SizeWalk::setCountForTests(count.fn());
    InfoSheet sheet(app->sides(), app->items(), app->toasts(), app->requests(), {at("a.txt"), at("b.txt")});
    sheet.open();
    QTRY_VERIFY(count.started == 1);
    sheet.reject();
    QTRY_VERIFY(count.sawCancel == 1);
    QTest::qWait(50);
    EXPECT_EQ(sheet.sizeLabel()->text(), L("Wird berechnet …"));

    // A new target replaces the sheet; the old one's count stops.
    QWidget window;
    SheetPresenter presenter(app->requests(), &window);
    InfoSheet::registerWith(&presenter, app->sides(), app->items(), app->toasts(), app->requests());
    app->items().showInfo({at("a.txt"), at("b.txt")});
    presenter.sync();
    QTRY_VERIFY(count.started == 2);
    app->items().showInfo({at("b.txt"), at("c.txt")});
    presenter.sync();
    QTRY_VERIFY(count.sawCancel == 2);
    QTRY_VERIFY(count.started == 3);
    ASSERT_TRUE(qobject_cast<InfoSheet *>(presenter.current()));
}

TEST(InspectorParts, SectionFoldsAndPickerReportsClicks) {
    InspectorSection section(K("Allgemein"));
    section.body()->addWidget(new QLabel(QStringLiteral("Inhalt")));
    section.show();
    QWidget *content = section.body()->parentWidget();
    QTest::mouseClick(section.header(), Qt::LeftButton);
    EXPECT_FALSE(section.isOpen());
    QTRY_VERIFY(!content->isVisible());
    QTest::mouseClick(section.header(), Qt::LeftButton);
    EXPECT_TRUE(section.isOpen());
    QTRY_VERIFY(content->isVisible() && content->maximumHeight() == QWIDGETSIZE_MAX);

    TagPicker picker;
    QStringList clicked;
    QObject::connect(&picker, &TagPicker::toggled, [&](const QString &t) { clicked << t; });
    picker.setSet({QStringLiteral("Blau")});
    QTest::mouseClick(picker.button(QStringLiteral("Rot")), Qt::LeftButton);
    EXPECT_EQ(clicked, QStringList{"Rot"});
    // The stored name stays German (the click reports it); what the button says is in the language.
    {
        TestUtil::LanguageScope en(AppLanguage::en);
        TagPicker english;
        EXPECT_EQ(english.button(QStringLiteral("Rot"))->toolTip(), "Red");
        EXPECT_EQ(english.button(QStringLiteral("Rot"))->accessibleName(), "Red");
    }
}
