#include "common/TestCommands.h"
#include "PaneViewFixture.h"

#include "core/model/FileLoader.h"
#include "ui/app/Commands.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PaneMessages.h"
#include "ui/window/pane/PathBar.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

using namespace PaneViewTest;
using Kind = PaneContent::Decision::Kind;

namespace {
class ChromeTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        touch(QStringLiteral("top/a.txt"), "abc");
        mkdir(QStringLiteral("top/empty"));
        open(app->left(), root + QStringLiteral("/top"));
        pane = app->left();
    }
    PaneModel *pane = nullptr;
};

// Listings served without the file system, so every state of the content switch can be set up.
struct FakeBackend {
    FakeBackend(std::function<FileLoader::Listing(const QString &)> list) {
        PaneModel::Backend b;
        b.list = std::move(list);
        PaneModel::setBackend(b);
    }
    ~FakeBackend() { PaneModel::setBackend({}); }
};
} // namespace

TEST_F(ChromeTest, MessagesPerState) {
    PaneView *v = view(Side::left);
    const PaneContent *content = v->content();
    EXPECT_EQ(content->decision().kind, Kind::list);

    open(pane, root + QStringLiteral("/top/empty"));
    EXPECT_EQ(content->decision(),
              (PaneContent::Decision{Kind::message, "folder", "Dieser Ordner ist leer.", false}));
    EXPECT_EQ(content->currentWidget(), content->messageView());
    pane->setViewMode(ViewMode::columns); // an empty folder is an empty column
    EXPECT_EQ(content->decision().kind, Kind::columns);
    EXPECT_EQ(content->currentWidget(), content->columns());

    // A search with nothing found keeps the text as typed; blanks alone give the plain sentence.
    pane->setSearchText(QStringLiteral(" zzz "));
    QTRY_VERIFY_WITH_TIMEOUT(pane->searchResults().has_value(), 5000);
    EXPECT_EQ(content->decision().text, "Nichts gefunden für „ zzz “.");
}

TEST_F(ChromeTest, UnreadableFolderAndEmptyTrash) {
    const QString locked = root + QStringLiteral("/locked");
    const QString trash = FileLoader::mainTrash();
    FakeBackend fake([&](const QString &path) {
        FileLoader::Listing l;
        if (path == locked) l.error = FileLoader::Error{EACCES, path};
        return l;
    });
    PaneView *v = view(Side::left);
    pane->go(locked, true);
    QTRY_VERIFY_WITH_TIMEOUT(pane->errorText().has_value(), 3000);
    EXPECT_EQ(v->content()->decision().kind, Kind::access);
    EXPECT_EQ(v->content()->decision().text, *pane->errorText());
    EXPECT_EQ(v->content()->currentWidget(), v->content()->accessMessage());

    pane->go(trash, true);
    QTRY_VERIFY_WITH_TIMEOUT(!pane->errorText() && pane->currentPath() == trash, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(v->content()->decision().symbol, QString("trash"), 3000);
    // The listing went through: an empty Trash says it is empty, without a hint at permissions.
    EXPECT_EQ(v->content()->decision().kind, Kind::message);
    EXPECT_EQ(v->content()->decision().text, L("Der Papierkorb ist leer."));
    EXPECT_EQ(v->content()->currentWidget(), v->content()->messageView());
    // In the Trash the header offers put back and empty Trash.
    EXPECT_FALSE(v->header()->putBackButton()->isHidden());
    EXPECT_FALSE(v->header()->emptyTrashButton()->isHidden());
    // Both are the registry's commands, with its help texts, run on this side.
    QAction *putBack = testCommands(app.get()).action(Cmd::putBack);
    EXPECT_EQ(v->header()->putBackButton()->toolTip(), putBack->toolTip());
    EXPECT_EQ(v->header()->emptyTrashButton()->toolTip(),
              testCommands(app.get()).action(Cmd::emptyTrash)->toolTip());
    QSignalSpy putBackRuns(putBack, &QAction::triggered);
    app->sides().setActive(Side::right);
    pane->setSelection({trash + QStringLiteral("/gone")});
    QTest::mouseClick(v->header()->putBackButton(), Qt::LeftButton);
    EXPECT_EQ(app->sides().active(), Side::left);
    EXPECT_EQ(putBackRuns.count(), 1);
    pane->go(root, true);
    QTRY_VERIFY_WITH_TIMEOUT(v->header()->putBackButton()->isHidden(), 3000);
}

TEST_F(ChromeTest, HeaderFollowsSideTabsAndFolder) {
    PaneView *l = view(Side::left);
    PaneView *r = view(Side::right);
    app->sides().setActive(Side::left);
    QTest::mouseClick(r->header()->indicator(), Qt::LeftButton);
    EXPECT_EQ(app->sides().active(), Side::right);
    EXPECT_FALSE(l->header()->indicator()->isOn());
    // A click anywhere in a pane activates it, also on the path bar.
    QTest::mouseClick(l->pathBar(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(l->header()->indicator()->isOn());

    // One tab: plus button, no tab bar. Two tabs: tab bar, no plus button.
    QTest::mouseClick(l->header()->newTabButton(), Qt::LeftButton);
    EXPECT_EQ(app->sides().leftTabs()->tabs().size(), 2);
    EXPECT_TRUE(l->header()->newTabButton()->isHidden());
    EXPECT_NE(l->tabBar(), nullptr);
    app->sides().leftTabs()->close(1);
    EXPECT_EQ(l->tabBar(), nullptr);

    // The parent button is off at "/".
    pane->go(QStringLiteral("/"), true);
    QTRY_VERIFY_WITH_TIMEOUT(!l->header()->upButton()->isEnabled(), 3000);
    QTest::mouseClick(l->header()->homeButton(), Qt::LeftButton);
    EXPECT_EQ(pane->currentPath(), QDir::homePath());
}

TEST_F(ChromeTest, BreadcrumbsOpenParentsAndKeepNamesPlain) {
    // A folder named like a German key is shown under its own name.
    const QString odd = mkdir(QStringLiteral("top/Abbrechen & Co"));
    open(pane, odd);
    PaneView *v = view(Side::left);
    Breadcrumbs *crumbs = v->header()->breadcrumbs();
    TestUtil::LanguageScope english(AppLanguage::en);
    const auto &buttons = crumbs->buttons();
    ASSERT_EQ(buttons.size(), pane->crumbs().size());
    EXPECT_EQ(buttons.last()->plainText(), "Abbrechen & Co");
    QTest::mouseClick(buttons[buttons.size() - 2], Qt::LeftButton);
    EXPECT_EQ(pane->backStack().last(), odd);
    QTRY_COMPARE_WITH_TIMEOUT(crumbs->buttons().last()->plainText(), QString("top"), 3000);
}

// In a narrow header the current folder's name is shortened in the middle, never cut at its start,
// and a screen reader still hears it whole.
TEST_F(ChromeTest, ANarrowTrailShortensTheCurrentFolderInTheMiddle) {
    const QString name = QStringLiteral("Dokumente-Beispiel mit einem langen Namen");
    open(pane, mkdir("top/" + name));
    Breadcrumbs *crumbs = view(Side::left)->header()->breadcrumbs();
    crumbs->resize(140, crumbs->height());
    QTRY_VERIFY(crumbs->buttons().last()->plainText().contains(u'…'));
    const QString shown = crumbs->buttons().last()->plainText();
    EXPECT_TRUE(shown.startsWith("Dok")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("Namen")) << shown.toStdString();
    EXPECT_LE(crumbs->buttons().last()->sizeHint().width(), crumbs->viewport()->width());
    EXPECT_EQ(crumbs->buttons().last()->accessibleName(), name);
    crumbs->resize(2000, crumbs->height());
    QTRY_COMPARE(crumbs->buttons().last()->plainText(), name);
}

// Crumbs that step out of a narrow trail leave "…" before the first one shown, as the path bar marks a cut
// start, and never a chevron that leads from nothing.
TEST_F(ChromeTest, ANarrowTrailMarksWhereItsStartSteppedOut) {
    QString deep = QStringLiteral("top");
    for (int i = 0; i < 6; ++i)
        deep += QStringLiteral("/Ordner-%1").arg(i);
    open(pane, mkdir(deep));
    Breadcrumbs *crumbs = view(Side::left)->header()->breadcrumbs();
    int marked = 0;
    for (int width = 200; width < 420; width += 3) {
        crumbs->resize(width, crumbs->height());
        QCoreApplication::processEvents();
        if (crumbs->buttons().first()->isVisible()) continue;
        QList<QWidget *> shown;
        for (QObject *child : crumbs->widget()->children())
            if (auto *w = qobject_cast<QWidget *>(child); w && w->isVisible() && w->width() > 1) shown << w;
        std::sort(shown.begin(), shown.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
        ASSERT_GE(shown.size(), 2);
        // Left to right: the mark and a chevron to the first crumb shown, or a crumb that ends in "…".
        auto *first = qobject_cast<PlainLinkButton *>(shown[0]);
        if (shown[0] == crumbs->cutMark()) {
            ++marked;
            EXPECT_EQ(crumbs->cutMark()->text(), "…");
            ASSERT_GE(shown.size(), 3);
            EXPECT_FALSE(qobject_cast<PlainLinkButton *>(shown[1]))
                << "no chevron after the mark at " << width;
            EXPECT_TRUE(qobject_cast<PlainLinkButton *>(shown[2]))
                << "two chevrons after the mark at " << width;
        } else {
            ASSERT_TRUE(first) << "the trail starts with a chevron at " << width;
            EXPECT_TRUE(first->plainText().endsWith(u'…')) << qPrintable(first->plainText());
        }
    }
    EXPECT_GT(marked, 0);
    crumbs->resize(2000, crumbs->height());
    QTRY_VERIFY(crumbs->buttons().first()->isVisible());
    EXPECT_FALSE(crumbs->cutMark()->isVisible());
}

// The status line is shortened at its end where the header is narrow, never cut off in a letter.
TEST_F(ChromeTest, TheStatusLineEndsInAnEllipsisWhenNarrow) {
    auto *status = dynamic_cast<ElidedLabel *>(view(Side::left)->header()->statusLabel());
    ASSERT_TRUE(status);
    status->setText("1 von 7 ausgewählt · 12 KB · Frei: 11,51 GB");
    status->resize(120, status->height());
    EXPECT_TRUE(status->shownText().endsWith(u'…')) << status->shownText().toStdString();
    EXPECT_TRUE(status->shownText().startsWith("1 von"));
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->shownText()), status->contentsRect().width());
    EXPECT_EQ(status->text(), "1 von 7 ausgewählt · 12 KB · Frei: 11,51 GB");
    status->resize(2000, status->height());
    EXPECT_EQ(status->shownText(), status->text());
}

TEST_F(ChromeTest, PathBarAndAccessibleNames) {
    PaneView *v = view(Side::left);
    PathBar *bar = v->pathBar();
    const QString a = root + QStringLiteral("/top/a.txt");
    pane->setSelection({a});
    EXPECT_EQ(bar->pathLabel()->text(), a);
    pane->setSelection({a, root + QStringLiteral("/top/empty")});
    EXPECT_EQ(bar->pathLabel()->text(), pane->currentPath());
    pane->setSelection({a});
    QTest::mouseClick(bar->copyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), a);

    // Every control has an accessible name.
    for (QWidget *w : v->findChildren<QWidget *>()) {
        if (!qobject_cast<QAbstractButton *>(w) || w->isHidden()) continue;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
    EXPECT_FALSE(v->accessibleName().isEmpty());
    EXPECT_FALSE(listView(v)->accessibleName().isEmpty());
}

// A path too long for the bar shows its end, with "…" where its start is cut; a short one shows whole.
TEST_F(ChromeTest, PathBarMarksACutStart) {
    PaneView *v = view(Side::left);
    PathBar *bar = v->pathBar();
    QString deep = root + QStringLiteral("/top");
    for (int i = 0; i < 12; ++i)
        deep += QStringLiteral("/ein-ziemlich-langer-ordnername-%1").arg(i);
    ASSERT_TRUE(QDir().mkpath(deep));
    open(pane, deep);
    QScrollBar *scroll = bar->scroller()->horizontalScrollBar();
    QTRY_VERIFY_WITH_TIMEOUT(scroll->maximum() > 0 && scroll->value() == scroll->maximum(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(bar->cutMark()->isVisible(), 3000);
    EXPECT_EQ(bar->cutMark()->text(), "…");
    EXPECT_LT(bar->cutMark()->geometry().right(), bar->scroller()->geometry().left());
    QApplication::processEvents();
    EXPECT_EQ(scroll->value(), scroll->maximum()); // the mark takes room, the end stays in sight
    // A pane too narrow for its footer gives up the path's room, never the mark's.
    bar->setFixedWidth(bar->minimumSizeHint().width() / 2);
    QTRY_VERIFY_WITH_TIMEOUT(bar->cutMark()->width() > 0 && bar->cutMark()->isVisible(), 3000);
    bar->setMinimumWidth(0);
    bar->setMaximumWidth(QWIDGETSIZE_MAX);

    open(pane, root + QStringLiteral("/top"));
    QTRY_VERIFY_WITH_TIMEOUT(!bar->cutMark()->isVisible(), 3000);
    EXPECT_EQ(scroll->value(), 0);
}

TEST_F(ChromeTest, PaneOverASideFollowsItsCurrentTab) {
    PaneView side(app->sides().leftTabs(), *parts);
    side.resize(600, 400);
    side.show();
    app->sides().leftTabs()->newTab(root + QStringLiteral("/top/empty"));
    EXPECT_EQ(side.model(), app->sides().leftTabs()->current());
    EXPECT_NE(side.tabBar(), nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(side.content()->decision().text, QString("Dieser Ordner ist leer."), 3000);
    app->sides().leftTabs()->close(1);
    EXPECT_EQ(side.model(), app->left());
    EXPECT_EQ(side.content()->decision().kind, Kind::list);
}

// However little the path overflows, even by less than the room the "…" takes, its end shows whole; a
// path that fits without the mark shows without it.
TEST_F(ChromeTest, PathBarShowsTheFolderNameWholeWhateverTheOverflow) {
    PaneView *v = view(Side::left);
    PathBar *bar = v->pathBar();
    QScrollArea *scroller = bar->scroller();
    QLabel *path = bar->pathLabel();
    const QString a = root + QStringLiteral("/top/a.txt");
    QTRY_VERIFY_WITH_TIMEOUT(!bar->cutMark()->isVisible() && scroller->width() > 0, 3000);
    // The bar's width at which the file's path just fits, the mark hidden.
    pane->setSelection({a});
    const int fits = bar->width() - scroller->viewport()->width() + path->sizeHint().width();
    pane->setSelection({});
    const int mark = bar->cutMark()->width() + bar->layout()->spacing();
    for (int over : {-1, 0, 1, 2, mark / 2, mark - 1, mark, mark + 1, mark + 4}) {
        SCOPED_TRACE(over);
        bar->setFixedWidth(fits - over);
        QTest::qWait(10);
        pane->setSelection({a});
        QTest::qWait(30);
        const int end = path->mapTo(scroller->viewport(), QPoint(path->width(), 0)).x();
        EXPECT_LE(end, scroller->viewport()->width()) << "the end is cut";
        EXPECT_EQ(bar->cutMark()->isVisible(), over > 0);
        pane->setSelection({});
        QTest::qWait(30);
        EXPECT_FALSE(bar->cutMark()->isVisible());
    }
}

// At the largest text size too, whatever the width, the path in sight starts at a character's edge (no
// letter cut in half after the "…") and its end shows whole.
TEST_F(ChromeTest, PathBarCutsBetweenCharacters) {
    PaneView v(app->left(), *parts);
    UIScale large;
    large.font = 18;
    EnvironmentValues::install(&v)->setUi(large);
    v.resize(700, 500);
    v.show();
    PathBar *bar = v.pathBar();
    QString deep = root + QStringLiteral("/top");
    for (int i = 0; i < 6; ++i)
        deep += QStringLiteral("/Ordner mit Namen Nr. %1").arg(i);
    ASSERT_TRUE(QDir().mkpath(deep));
    open(pane, deep);
    QLabel *path = bar->pathLabel();
    ASSERT_EQ(path->font().pixelSize(), qRound(large.small()));
    QScrollBar *scroll = bar->scroller()->horizontalScrollBar();
    const QFontMetrics fm(path->font());
    for (int width : {400, 413, 427, 431, 446, 458, 502, 517}) {
        SCOPED_TRACE(width);
        bar->setFixedWidth(width);
        QTest::qWait(30);
        QTRY_VERIFY_WITH_TIMEOUT(scroll->value() > 0 && scroll->value() == scroll->maximum(), 3000);
        QApplication::processEvents();
        QList<int> edges;
        for (qsizetype k = 0; k <= path->text().size(); ++k)
            edges << fm.horizontalAdvance(path->text().left(k));
        EXPECT_TRUE(edges.contains(scroll->value())) << scroll->value();
        const int end = path->mapTo(bar->scroller()->viewport(), QPoint(edges.last(), 0)).x();
        EXPECT_LE(end, bar->scroller()->viewport()->width());
    }
}

// The pane header's buttons are named in one style of capitals per language: all in title case in
// English ("Home Folder", "Enclosing Folder"), all in sentence case in Polish.
TEST_F(ChromeTest, HeaderButtonsAreCapitalisedAlike) {
    const QSet<QString> small = {"to", "of", "the", "a", "an", "in", "on", "for", "and", "do", "w", "z"};
    for (AppLanguage lang : {AppLanguage::en, AppLanguage::pl}) {
        TestUtil::LanguageScope scope(lang);
        QSet<QString> styles;
        for (IconButton *b : view(Side::left)->header()->findChildren<IconButton *>()) {
            if (b->helpKey().isEmpty()) continue;
            QString name = L(b->helpKey());
            name = name.section(u'(', 0, 0).remove(u'…').simplified();
            const QStringList words = name.split(u' ', Qt::SkipEmptyParts);
            if (words.size() < 2) continue;
            bool title = true, sentence = true;
            for (qsizetype i = 1; i < words.size(); ++i) {
                if (small.contains(words[i])) continue;
                (words[i][0].isUpper() ? sentence : title) = false;
            }
            if (title != sentence) styles.insert(title ? "title" : "sentence");
        }
        EXPECT_EQ(styles.size(), 1) << int(lang) << " "
                                    << QStringList(styles.begin(), styles.end()).join(u',').toStdString();
    }
}
