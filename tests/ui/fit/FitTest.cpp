// The smallest window in the longest languages at the smallest and largest text: nothing overlaps,
// nothing draws beyond its button, the name column keeps its minimum and the columns fit their texts.
#include "common/TestCommands.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/app/ItemCommands.h"
#include "ui/app/AboutPanel.h"
#include "ui/app/QtDialogs.h"
#include "ui/app/QtTranslations.h"
#include "ui/panecontent/ListView.h"
#include "ui/tools/BatchRenameSheet.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/ActionBar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/TransferBanner.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PathBar.h"
#include "ui/window/pane/PaneView.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QTextLayout>
#include <QTreeView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

struct Case {
    AppLanguage lang;
    double pt;
};

std::string caseName(const ::testing::TestParamInfo<Case> &info) {
    return AppLanguages::rawValue(info.param.lang).toStdString() + "_" + std::to_string(int(info.param.pt));
}

QString where(const QWidget *w) {
    QString name = QString::fromLatin1(w->metaObject()->className());
    if (!w->accessibleName().isEmpty()) name += " \"" + w->accessibleName() + "\"";
    return name;
}

// The visible children of parent lie inside it and apart from each other.
void expectApart(const QWidget *parent) {
    QList<QWidget *> shown;
    for (QWidget *c : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (c->isVisible() && !c->isWindow() && c->width() > 0) shown << c;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(parent->rect().contains(shown[i]->geometry()))
            << qPrintable(where(shown[i])) << " sticks out of " << qPrintable(where(parent));
        for (qsizetype j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                << qPrintable(where(shown[i])) << " overlaps " << qPrintable(where(shown[j]));
    }
}

// Every bar button draws its label inside itself.
void expectLabelsInside(const QWidget *root) {
    for (BarButton *b : root->findChildren<BarButton *>())
        if (b->isVisible()) {
            EXPECT_LE(b->drawnWidth(), b->width())
                << qPrintable(where(b)) << " draws \"" << qPrintable(b->shownText()) << "\" beyond its width";
        }
}

class FitTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        left = home.path() + "/Dokumente-Beispiel";
        right = home.path() + "/Ziel";
        QDir().mkpath(left + "/Unterordner mit einem recht langen Namen");
        QDir().mkpath(right);
        for (const char *name : {"Bericht 2026.pdf", "Foto.jpg", "Notizen.txt"})
            TestUtil::writeFile(left + "/" + name, QByteArray(12345, 'x'));
        QFile big(left + "/Sicherung.img"); // sparse: 3.15 GB in the size column
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(3150000000));
        QDir().mkpath(FileLoader::mainTrash());
        TestUtil::writeFile(FileLoader::mainTrash() + "/Alt.txt", "x");
    }
    QTemporaryDir home;
    QString left, right;
};

TEST_P(FitTest, SmallestWindowFits) {
    const LanguageScope lang(GetParam().lang);
    const TestUtil::OnlyMounts none; // the home trash alone
    AppState app;
    app.settings().setFontSize(GetParam().pt);
    app.left()->go(left);
    app.right()->go(FileLoader::mainTrash()); // the crowded header: put back and empty Trash
    QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 5 && app.right()->items().size() == 1, 20000);
    app.left()->setSelection({left + "/Foto.jpg"});
    MainWindow w(&app);
    w.resize(MainWindow::kMinimumSize);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(200); // layouts and the crumbs' scrolling settle through posted events
    ASSERT_EQ(w.size(), MainWindow::kMinimumSize) << "the content asks for more than the smallest window";
    const UIScale ui = EnvironmentValues::ui(&w);
    ASSERT_EQ(ui.font, GetParam().pt);

    auto *bar = w.findChild<ActionBar *>();
    ASSERT_TRUE(bar);
    expectApart(bar);
    expectLabelsInside(bar);
    EXPECT_EQ(bar->height(), qMax(34, qRound(34 * ui.font / 13)));

    const auto headers = w.findChildren<PaneHeader *>();
    ASSERT_EQ(headers.size(), 2);
    for (PaneHeader *h : headers) {
        expectApart(h);
        expectLabelsInside(h);
        // The status line follows the scale from the start.
        EXPECT_EQ(h->statusLabel()->font().pixelSize(), qRound(ui.small()));
        // The current folder stays in view, whatever the crumbs before it.
        Breadcrumbs *crumbs = h->breadcrumbs();
        ASSERT_FALSE(crumbs->buttons().isEmpty());
        PlainLinkButton *last = crumbs->buttons().last();
        EXPECT_EQ(last->font().pixelSize(), qRound(ui.font));
        const QRect shown = QRect(last->mapTo(crumbs->viewport(), QPoint(0, 0)), last->size())
                                .intersected(crumbs->viewport()->rect());
        // (a name wider than the room shows its end, up to the spacing and the 1-point end mark)
        EXPECT_GE(shown.width(), qMin(last->width(), crumbs->viewport()->width() - 3))
            << "the last crumb is out of view: " << qPrintable(last->plainText());
        EXPECT_GE(crumbs->viewport()->width(), qMin(last->sizeHint().width(), qRound(ui.font * 6)));
        // The crumbs before it are never cut at the view's edge: shown whole, ending in an ellipsis, or not
        // at all.
        for (PlainLinkButton *b : crumbs->buttons()) {
            if (b == last || !b->isVisible()) continue;
            const QRect at(b->mapTo(crumbs->viewport(), QPoint(0, 0)), b->size());
            EXPECT_GE(at.left(), 0) << "a crumb is cut at the view's left edge: "
                                    << qPrintable(b->plainText());
            EXPECT_TRUE(b->plainText() == b->accessibleName() || b->plainText().endsWith(u'…'))
                << qPrintable(b->plainText());
        }
    }
    // The pane's parts stack without overlapping, and so do the path bar's.
    for (PaneView *v : w.findChildren<PaneView *>())
        expectApart(v);
    for (PathBar *p : w.findChildren<PathBar *>())
        expectApart(p);
    for (PathBar *p : w.findChildren<PathBar *>())
        for (QLabel *label : p->findChildren<QLabel *>())
            if (!label->text().isEmpty()) {
                EXPECT_EQ(label->font().pixelSize(), qRound(ui.small()));
            }

    const auto lists = w.findChildren<ListContent *>();
    ASSERT_EQ(lists.size(), 2);
    for (ListContent *list : lists) {
        if (!list->isVisible()) continue;
        PlainLinkButton *name = list->headerButton(SortKey::name);
        expectApart(name->parentWidget());
        EXPECT_GE(name->width(), FileRowDelegate::nameMinimum(ui)) << "the name column collapsed";
        FileListView *view = list->view();
        QFont smallFont = view->font();
        smallFont.setPixelSize(qRound(ui.small()));
        const QFontMetrics small(smallFont);
        for (int row = 0; row < view->listModel()->rowCount(); ++row) {
            const FileItem &item = view->listModel()->item(row);
            const QRect r(0, 0, view->viewport()->width(), qRound(ui.row()));
            const auto l = FileRowDelegate::layout(item, r, ui, view->font(), false);
            EXPECT_GE(l.date.left() - l.name.left(), l.date.width() ? FileRowDelegate::nameMinimum(ui) : 0);
            // The columns are wide enough for their texts: nothing is cut, least of all a size's digits.
            if (l.date.width() > 0) {
                EXPECT_GE(l.date.width(),
                          small.horizontalAdvance(FileRowDelegate::dateText(item, l.dateOnly)))
                    << qPrintable(item.name);
            }
            if (l.size.width() > 0) {
                EXPECT_GE(l.size.width(), small.horizontalAdvance(FileRowDelegate::sizeText(item)))
                    << qPrintable(item.name);
            }
            // The headers over them are not cut either.
            PlainLinkButton *date = list->headerButton(SortKey::date);
            if (date->isVisible() && !l.dateOnly) {
                EXPECT_GE(date->width(), date->sizeHint().width());
            }
            PlainLinkButton *size = list->headerButton(SortKey::size);
            if (size->isVisible()) {
                EXPECT_GE(size->width(), size->sizeHint().width());
            }
        }
    }
}

// Whatever the bar's width, the buttons' titles show all together, whole, or none does; in Thai and
// German, at the smallest and the largest text.
TEST(ActionBarFitTest, TitlesShowTogetherOrNotAtAll) {
    TestUtil::freshSettings();
    for (AppLanguage lang : {AppLanguage::th, AppLanguage::de})
        for (double pt : {10.0, 18.0}) {
            const LanguageScope scope(lang);
            SCOPED_TRACE(AppLanguages::rawValue(lang).toStdString() + " " + std::to_string(int(pt)));
            AppState app;
            app.settings().setFontSize(pt);
            QWidget host;
            EnvironmentValues::install(&host)->applySettings(&app.settings());
            auto *bar = new ActionBar(app.settings(), testCommands(&app), &host);
            host.show();
            const QList<LabelButton *> titled = bar->findChildren<LabelButton *>();
            ASSERT_EQ(titled.size(), 6);
            int both = 0;
            for (int width = 300; width <= 1400; width += 3) {
                bar->resize(width, bar->height());
                bar->layout()->activate();
                int shown = 0;
                for (LabelButton *b : titled)
                    if (!b->shownText().isEmpty()) ++shown;
                EXPECT_TRUE(shown == 0 || shown == titled.size()) << width << " px: " << shown << " titles";
                both += shown == titled.size();
            }
            EXPECT_GT(both, 0);
        }
}

// At the largest text Go to Folder's hint breaks between words, never inside its example paths, and the
// letter-case menu keeps a gap to "Keep extension"; Put Back's folder chooser says folder where Qt's
// Polish says "Katalog", and cuts neither the home folder's name in its side list nor a column.
TEST(QuestionFitTest, QuestionsAtTheLargestText) {
    QTemporaryDir dir;
    const QByteArray ownHome = qgetenv("HOME");
    qputenv("HOME", (dir.path() + "/małgorzata.wiśniewska").toUtf8()); // named in the side list
    const auto back = qScopeGuard([&ownHome] { qputenv("HOME", ownHome); });
    QDir().mkpath(QDir::homePath());
    for (AppLanguage lang : {AppLanguage::th, AppLanguage::pl}) {
        const LanguageScope scope(lang);
        MainWindow *w = nullptr;
        AppState app(makeQtDialogs([&w] { return w; }));
        QtTranslations::follow(&app.settings());
        const auto english = qScopeGuard([&app] { app.settings().setLanguage(AppLanguage::en); });
        app.settings().setFontSize(18);
        MainWindow window(&app);
        (w = &window)->show();
        app.items().goToFolder();
        const QLabel *hint = QApplication::activeModalWidget()->findChildren<QLabel *>().value(1);
        QTextLayout text(hint->text(), hint->font());
        text.beginLayout();
        for (QTextLine line = text.createLine(); line.isValid(); line = text.createLine()) {
            line.setLineWidth(hint->contentsRect().width());
            const QString shown = hint->text().mid(line.textStart(), line.textLength()).remove(QChar(0x2060));
            EXPECT_FALSE(shown.trimmed().endsWith(u'/')) << qPrintable(shown);
        }
        text.endLayout();
        EXPECT_GT(text.lineCount(), 1);
        QApplication::activeModalWidget()->close();
        BatchRenameSheet rename(&app, {"/tmp/a.txt"}, &window);
        rename.show();
        EXPECT_GE(rename.findChild<QCheckBox *>()->x() - rename.findChild<QComboBox *>()->geometry().right(),
                  9);
        if (lang != AppLanguage::pl || !QtTranslations::loaded()) continue;

        app.services().dialogs.folder(FolderQuestion{"?", "OK", QDir::homePath()}, [](const auto &) {});
        QWidget *chooser = QApplication::activeModalWidget();
        for (const QWidget *part : chooser->findChildren<QWidget *>()) {
            const QString text = part->property("text").toString() + part->property("currentText").toString();
            EXPECT_FALSE(part->isVisible() && text.contains("Katalog")) << qPrintable(text);
        }
        auto *side = chooser->findChild<QAbstractItemView *>("sidebar");
        EXPECT_GE(side->viewport()->width(), side->sizeHintForColumn(0)) << "the side list cuts a name";
        auto *tree = chooser->findChild<QTreeView *>("treeView");
        int columns = 0;
        for (int c = 0; c < tree->model()->columnCount(); ++c)
            columns += tree->isColumnHidden(c) ? 0 : tree->header()->sectionSize(c);
        EXPECT_LE(columns, tree->viewport()->width()) << "a column runs out of the list";
        chooser->close();
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, FitTest,
                         ::testing::Values(Case{AppLanguage::de, 10}, Case{AppLanguage::de, 18},
                                           Case{AppLanguage::pl, 10}, Case{AppLanguage::pl, 18}),
                         caseName);

} // namespace

// Menus of the menu bar, an item's menu, a drop-down list and the About panel are windows of their own:
// their texts follow the chosen size like the window's.
TEST(TextSizeTest, MenusListsAndAboutFollowTheChosenSize) {
    TestUtil::freshSettings();
    for (const int pt : {10, 18}) {
        AppState app;
        app.settings().setFontSize(pt);
        MainWindow w(&app);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        const auto menus = w.menuBar()->findChildren<QMenu *>();
        ASSERT_FALSE(menus.isEmpty());
        for (QMenu *m : menus)
            EXPECT_EQ(QFontInfo(m->font()).pixelSize(), pt) << qPrintable(m->title());
        QMenu itemMenu(w.paneArea());
        EXPECT_EQ(QFontInfo(itemMenu.font()).pixelSize(), pt);
        QComboBox list(w.centralWidget());
        list.addItem("Rot");
        EXPECT_EQ(QFontInfo(list.view()->font()).pixelSize(), pt);
        AboutPanel *about = AboutPanel::openPanel();
        auto *version = about->findChild<QLabel *>("aboutVersion");
        ASSERT_TRUE(version);
        EXPECT_EQ(QFontInfo(version->font()).pixelSize(), pt);
        EXPECT_GT(QFontInfo(about->findChild<QLabel *>("aboutName")->font()).pixelSize(), pt);
        about->close();
    }
}
