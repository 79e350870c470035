// The smallest window with the sidebar and the inspector open at the largest text: the active pane's
// folder shows whole, a toast leaves the path bars and the folder's name free, and the inspector's texts
// wrap or end visibly within its column.
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/inspector/InspectorView.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ToastView.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PaneView.h"
#include "ui/window/pane/PathBar.h"
#include "ui/window/pane/PlainLinkButton.h"
#include "ui/window/pane/SortMenus.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class CrowdedWindowTest : public ::testing::TestWithParam<AppLanguage> {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        folder = home.path() + "/Dokumente";
        QDir().mkpath(folder);
        file = folder + "/Nebenkostenabrechnung_Hausverwaltung_2026.txt";
        TestUtil::writeFile(file, "Sehr geehrte Damen und Herren,\n");
        TestUtil::writeFile(folder + "/Notizen.txt", "x");
    }

    // The window at its smallest with both columns open, the left pane active in the folder with the
    // file selected.
    void open(MainWindow &w, AppState &app) {
        app.settings().setFontSize(18);
        app.settings().setShowSidebar(true);
        app.settings().setShowInspector(true);
        app.left()->go(folder);
        QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 2, 20000);
        app.sides().setActive(Side::left);
        app.left()->setSelection({file});
        w.resize(MainWindow::kMinimumSize);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(200); // layouts and the crumbs' scrolling settle through posted events
        ASSERT_EQ(w.size(), MainWindow::kMinimumSize);
    }

    QTemporaryDir home;
    QString folder, file;
};

QRect inRoot(const QWidget *w, const QWidget *root) {
    return QRect(w->mapTo(root, QPoint(0, 0)), w->size());
}

PaneHeader *activeHeader(MainWindow &w) {
    for (PaneHeader *h : w.findChildren<PaneHeader *>())
        if (h->isActive()) return h;
    return nullptr;
}

TEST_P(CrowdedWindowTest, ActivePaneShowsItsFolderWhole) {
    const LanguageScope lang(GetParam());
    AppState app;
    MainWindow w(&app);
    open(w, app);
    PaneHeader *header = activeHeader(w);
    ASSERT_TRUE(header);
    Breadcrumbs *crumbs = header->breadcrumbs();
    PlainLinkButton *last = crumbs->buttons().last();
    EXPECT_EQ(last->plainText(), "Dokumente");
    const QRect shown = QRect(last->mapTo(crumbs->viewport(), QPoint(0, 0)), last->size());
    EXPECT_TRUE(crumbs->viewport()->rect().contains(shown)) << "the folder's name is out of view";
    // The buttons that gave way left the ones kept clear of each other and of the trail.
    QList<QWidget *> row;
    for (QWidget *c : header->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (c->isVisible() && c != header->statusLabel()) row << c;
    for (QWidget *a : row) {
        EXPECT_TRUE(header->rect().contains(a->geometry())) << a->metaObject()->className();
        for (QWidget *b : row)
            EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry())) << a->metaObject()->className();
    }
    EXPECT_FALSE(header->goToButton()->isVisible());
    EXPECT_TRUE(header->upButton()->isVisible()) << "more gave way than the name needs";
    // Where there is room, every button is back.
    w.resize(1600, 700);
    QTRY_VERIFY_WITH_TIMEOUT(header->goToButton()->isVisible(), 2000);
    EXPECT_TRUE(header->newTabButton()->isVisible());
    EXPECT_TRUE(header->homeButton()->isVisible());
    EXPECT_TRUE(header->sortMenu()->isVisible());
}

TEST_P(CrowdedWindowTest, ToastLeavesPathBarsAndFolderFree) {
    const LanguageScope lang(GetParam());
    AppState app;
    MainWindow w(&app);
    open(w, app);
    app.show(QString("Pfad kopiert: ") + file + " " + file); // three lines
    QTRY_VERIFY_WITH_TIMEOUT(w.toastView()->isVisible(), 2000);
    const QWidget *root = w.centralWidget();
    const QRect toast = w.toastView()->geometry();
    ASSERT_GT(toast.height(), 3 * QFontMetrics(w.toastView()->font()).height());
    const auto bars = w.findChildren<PathBar *>();
    ASSERT_FALSE(bars.isEmpty());
    for (PathBar *bar : bars)
        EXPECT_FALSE(toast.intersects(inRoot(bar, root))) << "the toast covers a path bar";
    for (PaneHeader *h : w.findChildren<PaneHeader *>())
        EXPECT_FALSE(toast.intersects(inRoot(h->breadcrumbs(), root))) << "the toast covers a folder's name";
    EXPECT_TRUE(root->rect().contains(toast));
    // A taller window moves the path bars down, and the toast with them.
    w.resize(1000, 640);
    QTest::qWait(100);
    for (PathBar *bar : bars)
        EXPECT_EQ(w.toastView()->geometry().bottom() + 1, inRoot(bar, root).top()) << "left behind";
}

TEST_P(CrowdedWindowTest, InspectorTextsWrapOrEndVisibly) {
    const LanguageScope lang(GetParam());
    AppState app;
    MainWindow w(&app);
    open(w, app);
    auto *inspector = qobject_cast<QScrollArea *>(w.inspectorColumn());
    ASSERT_TRUE(inspector && inspector->widget());
    const QWidget *view = inspector->viewport();
    QTRY_VERIFY_WITH_TIMEOUT(inspector->findChild<InspectorRow *>(), 2000);
    QTest::qWait(100);
    EXPECT_LE(inspector->widget()->width(), view->width()) << "the inspector's content is cut at its edge";
    int rows = 0;
    for (QLabel *label : inspector->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull()) continue;
        const QRect at = inRoot(label, view);
        EXPECT_LE(at.right(), view->width()) << qPrintable(label->text());
        const QFontMetrics fm(label->font());
        const int room = label->contentsRect().width();
        if (auto *wrapping = dynamic_cast<WrappingLabel *>(label)) {
            // Wrapped whole, or shortened visibly with the whole text in the tooltip.
            if (label->text() != wrapping->fullText()) {
                EXPECT_TRUE(label->text().contains(u'…'));
                EXPECT_EQ(label->toolTip(), wrapping->fullText());
            }
            for (const QString &word : label->text().split(u' '))
                EXPECT_LE(fm.horizontalAdvance(word), room) << qPrintable(label->text());
            rows += label->parentWidget()->inherits("InspectorRow");
        } else if (!dynamic_cast<ElidedLabel *>(label)) {
            const QStringList parts =
                label->wordWrap() ? label->text().split(u' ') : QStringList{label->text()};
            for (const QString &part : parts)
                EXPECT_LE(fm.horizontalAdvance(part), room) << "cut: " << qPrintable(label->text());
        }
    }
    EXPECT_GE(rows, 3);
    // The file's kind wraps at its space and shows whole; its long name ends visibly.
    auto *kind = inspector->findChild<InspectorRow *>(QStringLiteral("Art"));
    ASSERT_TRUE(kind);
    auto *kindText = dynamic_cast<WrappingLabel *>(kind->valueLabel());
    ASSERT_TRUE(kindText);
    EXPECT_EQ(kindText->text(), kindText->fullText());
    // The facts are in the window's text size, and follow it.
    auto factSize = [&w] { return int(std::lround(EnvironmentValues::ui(&w).small() + 0.5)); };
    EXPECT_EQ(kindText->font().pixelSize(), factSize());
    for (InspectorSection *section : inspector->findChildren<InspectorSection *>())
        EXPECT_EQ(section->header()->findChild<QLabel *>()->font().pixelSize(), 18)
            << qPrintable(section->objectName());
    app.settings().setFontSize(10);
    QTRY_VERIFY_WITH_TIMEOUT(
        inspector->findChild<InspectorRow *>(QStringLiteral("Art")) &&
            inspector->findChild<InspectorRow *>(QStringLiteral("Art"))->valueLabel()->font().pixelSize() ==
                factSize(),
        2000);
    app.settings().setFontSize(18);
    QTRY_VERIFY_WITH_TIMEOUT(inspector->findChild<InspectorRow *>(QStringLiteral("Art")), 2000);
    bool nameCut = false;
    for (auto *label : inspector->findChildren<WrappingLabel *>()) {
        // Found by its type, not by the label type it shares with the other texts.
        ASSERT_TRUE(dynamic_cast<WrappingLabel *>(static_cast<QObject *>(label)))
            << label->metaObject()->className();
        nameCut |= label->fullText() == QFileInfo(file).fileName() && label->toolTip() == label->fullText();
    }
    EXPECT_TRUE(nameCut);

    // A row too narrow for its label beside the value's words puts the value under the label, whole,
    // rather than ending each word with "…" or asking the column for more; a wide one keeps them side by
    // side.
    InspectorRow row("Geändert", QStringLiteral("Mittwoch, 9. Dezember 2026, 20:39"));
    auto *label = row.findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_TRUE(label && label != row.valueLabel());
    const int words = QFontMetrics(row.valueLabel()->font()).horizontalAdvance(QStringLiteral("Dezember"));
    for (const int width : {label->sizeHint().width() + words / 2, label->sizeHint().width() + 3 * words}) {
        row.resize(width, row.heightForWidth(width));
        row.show();
        QTest::qWait(20);
        const bool narrow = width < label->sizeHint().width() + words;
        EXPECT_EQ(row.stacked(), narrow) << width;
        EXPECT_LE(row.minimumSizeHint().width(), width);
        auto *value = dynamic_cast<WrappingLabel *>(row.valueLabel());
        EXPECT_EQ(value->text(), value->fullText()) << width;
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, CrowdedWindowTest,
                         ::testing::Values(AppLanguage::de, AppLanguage::pl, AppLanguage::th),
                         [](const auto &info) { return AppLanguages::rawValue(info.param).toStdString(); });

} // namespace
