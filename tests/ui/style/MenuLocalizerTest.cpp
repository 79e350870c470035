#include "common/TestUtil.h"
#include "ui/style/MenuLocalizer.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

struct MenuFixture {
    QMainWindow window;
    QMenu *view = nullptr;
    QMenu *windows = nullptr;
    QAction *folder = nullptr;
    QAction *trash = nullptr;
    QAction *foreign = nullptr;

    MenuFixture() {
        view = MenuLocalizer::addMenu(window.menuBar(), "Darstellung");
        folder = MenuLocalizer::addAction(view, "Neuer Ordner");
        windows = MenuLocalizer::addMenu(view, "Fenster");
        trash = windows->addAction(QString());
        MenuLocalizer::setKey(trash, "In den Papierkorb legen");
        foreign = windows->addAction(QStringLiteral("Kestrin"));
        window.show();
    }
};

// Waits until no pass has run for longer than any delay the tests use.
void settleMenus() {
    int last = -1;
    while (last != MenuLocalizer::passCount()) {
        last = MenuLocalizer::passCount();
        QTest::qWait(400);
    }
}

} // namespace

TEST(MenuLocalizerTest, PassRetitlesKeyedItemsAndSubmenus) {
    LanguageScope de(AppLanguage::de);
    MenuFixture m;
    EXPECT_EQ(m.view->title(), "Darstellung");
    Lang::setCurrent(AppLanguage::pl);
    MenuLocalizer::apply();
    EXPECT_EQ(m.view->title(), "Widok");
    EXPECT_EQ(m.windows->title(), "Okna");
    EXPECT_EQ(m.trash->text(), "Przenieś do Kosza");
    EXPECT_EQ(m.foreign->text(), "Kestrin"); // no key: left alone
    // An "&" in a title is shown as itself, never taken as a mnemonic.
    EXPECT_EQ(MenuLocalizer::addAction(m.view, "Suchen & Ersetzen")->text(), "Suchen && Ersetzen");

    Lang::setCurrent(AppLanguage::en);
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(m.trash->text(), "Move to Trash");
}

TEST(MenuLocalizerTest, BurstsOfRequestsGiveOnePass) {
    MenuLocalizer::setDelay(std::chrono::milliseconds(300));
    LanguageScope en(AppLanguage::en);
    MenuFixture m;
    settleMenus();
    const int before = MenuLocalizer::passCount();
    for (int i = 0; i < 400; ++i)
        MenuLocalizer::scheduleApply();
    EXPECT_EQ(MenuLocalizer::passCount(), before); // never synchronous
    EXPECT_TRUE(QTest::qWaitFor([&] { return MenuLocalizer::passCount() > before; }));
    QTest::qWait(400);
    EXPECT_EQ(MenuLocalizer::passCount(), before + 1);
    MenuLocalizer::setDelay(std::chrono::milliseconds(250));
}

TEST(MenuLocalizerTest, WatchedMenusFollowTheLanguageAndSettle) {
    MenuLocalizer::setDelay(std::chrono::milliseconds(20));
    MenuLocalizer::start();
    LanguageScope de(AppLanguage::de);
    MenuFixture m;
    settleMenus(); // passes raised by building the menus

    Lang::setCurrent(AppLanguage::th);
    const int before = MenuLocalizer::passCount();
    MenuLocalizer::scheduleApply();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m.windows->title() == "หน้าต่าง"; }));
    EXPECT_EQ(m.folder->text(), "โฟลเดอร์ใหม่");
    settleMenus();
    // The pass changed titles, which asks for one more pass; that one changes nothing and it ends.
    EXPECT_EQ(MenuLocalizer::passCount(), before + 2);

    // An item added later is titled by the pass its addition asks for.
    QAction *later = new QAction(m.view);
    later->setProperty("kestrinMenuKey", QStringLiteral("Sprache"));
    m.view->addAction(later);
    EXPECT_TRUE(QTest::qWaitFor([&] { return later->text() == "ภาษา"; }));
    MenuLocalizer::setDelay(std::chrono::milliseconds(250));
}
