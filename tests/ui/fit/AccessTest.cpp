// What a screen reader gets: the list's selection through its accessible table, toasts as alerts,
// and a name on every button.
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ToastView.h"
#include "ui/window/TransferBanner.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        for (const char *name : {"/a.txt", "/b.txt", "/c.txt"})
            TestUtil::writeFile(dir.path() + name, "x");
        app.left()->setViewMode(ViewMode::list);
        app.left()->go(dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 3, 5000);
        app.sides().setActive(Side::right);
    }
    QTemporaryDir dir;
    AppState app;
};

QAccessibleInterface *leftList(MainWindow &w) {
    for (ListContent *list : w.findChildren<ListContent *>())
        if (list->view()->paneModel()->side() == Side::left)
            return QAccessible::queryAccessibleInterface(list->view());
    return nullptr;
}

TEST_F(AccessTest, ListSelectionGoesThroughTheAccessibleTable) {
    MainWindow w(&app);
    w.show();
    QAccessibleInterface *list = leftList(w);
    ASSERT_TRUE(list);
    QAccessibleTableInterface *table = list->tableInterface();
    ASSERT_TRUE(table);
    ASSERT_EQ(table->rowCount(), 3);

    // Selecting a row selects the item in the pane and makes the pane active.
    ASSERT_TRUE(table->selectRow(1));
    EXPECT_EQ(app.left()->selection(), QSet<QString>{dir.path() + "/b.txt"});
    EXPECT_EQ(app.sides().active(), Side::left);
    QAccessibleInterface *b = table->cellAt(1, 0);
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->state().selectable);
    EXPECT_TRUE(b->state().selected);
    EXPECT_EQ(b->text(QAccessible::Name), "b.txt");

    // A selection made elsewhere is reported on the rows.
    app.left()->setSelection({dir.path() + "/a.txt", dir.path() + "/c.txt"});
    EXPECT_TRUE(table->cellAt(0, 0)->state().selected);
    EXPECT_FALSE(table->cellAt(1, 0)->state().selected);
    EXPECT_EQ(table->selectedRowCount(), 2);

    // The row's own toggle action deselects it, and the pane model hears of it.
    QAccessibleInterface *c = table->cellAt(2, 0);
    ASSERT_TRUE(c->actionInterface());
    c->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(app.left()->selection(), QSet<QString>{dir.path() + "/a.txt"});
    ASSERT_TRUE(table->unselectRow(0));
    EXPECT_TRUE(app.left()->selection().isEmpty());
}

TEST_F(AccessTest, ToastsAreAlertsWithTheirText) {
    MainWindow w(&app);
    w.show();
    app.show(QStringLiteral("Fertig."));
    ToastView *toast = w.toastView();
    QTRY_VERIFY_WITH_TIMEOUT(toast->isVisible(), 2000);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(toast);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::AlertMessage);
    EXPECT_EQ(iface->text(QAccessible::Name), "Fertig.");
    app.show(QStringLiteral("Noch einmal.")); // replaces the toast shown
    QTRY_COMPARE_WITH_TIMEOUT(iface->text(QAccessible::Name), QStringLiteral("Noch einmal."), 2000);
}

TEST_F(AccessTest, EveryButtonHasANameInTheLanguage) {
    const LanguageScope en(AppLanguage::en);
    MainWindow w(&app);
    w.show();
    QApplication::processEvents();
    // (the search field's clear button and the toolbar's overflow button belong to the toolbar)
    for (QAbstractButton *button : w.centralWidget()->findChildren<QAbstractButton *>()) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(button);
        ASSERT_TRUE(iface);
        EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty())
            << button->metaObject()->className() << " in "
            << button->parentWidget()->metaObject()->className() << " (" << qPrintable(button->toolTip())
            << ")";
    }
    // The banner's cancel button, hidden until a job runs, speaks the language too.
    auto *banner = w.findChild<TransferBanner *>();
    ASSERT_TRUE(banner);
    QStringList names;
    for (QAbstractButton *button : banner->findChildren<QAbstractButton *>())
        names << button->accessibleName();
    EXPECT_EQ(names, QStringList{"Cancel"});
}

} // namespace
