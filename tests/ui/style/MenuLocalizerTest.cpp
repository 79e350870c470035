#include "common/TestUtil.h"
#include "ui/style/MenuLocalizer.h"

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
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

using TestUtil::unmarked;

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
    EXPECT_EQ(unmarked(m.view->title()), "Widok");
    EXPECT_EQ(unmarked(m.windows->title()), "Okna");
    EXPECT_EQ(unmarked(m.trash->text()), "Przenieś do Kosza");
    EXPECT_EQ(unmarked(m.foreign->text()), "Kestrin"); // no key: not translated
    // An "&" in a title is shown as itself, never taken as a mnemonic.
    EXPECT_EQ(MenuLocalizer::addAction(m.view, "Suchen & Ersetzen")->text(), "Suchen && Ersetzen");

    Lang::setCurrent(AppLanguage::en);
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(unmarked(m.trash->text()), "Move to Trash");
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return unmarked(m.windows->title()) == "หน้าต่าง"; }));
    EXPECT_EQ(unmarked(m.folder->text()), "โฟลเดอร์ใหม่");
    settleMenus();
    // The pass changed titles, which asks for one more pass; that one changes nothing and it ends.
    EXPECT_EQ(MenuLocalizer::passCount(), before + 2);

    // An item added later is titled by the pass its addition asks for.
    QAction *later = new QAction(m.view);
    later->setProperty("kestrinMenuKey", QStringLiteral("Sprache"));
    m.view->addAction(later);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unmarked(later->text()) == "ภาษา"; }));
    MenuLocalizer::setDelay(std::chrono::milliseconds(250));
}

// Every title of a menu bar and its menus gets a mnemonic no other entry of its menu has, a character of
// its own title; it stays while the title does, a title with "&" keeps showing it, and a Thai title gets a
// Latin letter after it, from its English title.
TEST(MenuLocalizerTest, MnemonicsDifferWithinTheirMenuAndStay) {
    LanguageScope de(AppLanguage::de);
    MenuFixture m;
    QAction *second = MenuLocalizer::addAction(m.view, "Neuer Tab");
    QAction *amp = MenuLocalizer::addAction(m.view, "Suchen & Ersetzen");
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(m.view->title(), "&Darstellung");
    EXPECT_EQ(m.folder->text(), "&Neuer Ordner");
    EXPECT_EQ(second->text(), "Neuer &Tab"); // N is taken: the next word's first letter
    EXPECT_EQ(m.windows->title(), "&Fenster");
    EXPECT_EQ(amp->text(), "&Suchen && Ersetzen");
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(second->text(), "Neuer &Tab");
    // Letters are handed round so that each title that can have one of its own gets it: "B" keeps its only
    // letter, "Ba" takes its second.
    QMenu *few = MenuLocalizer::addMenu(m.window.menuBar(), "Gehe zu");
    QAction *ba = MenuLocalizer::addAction(few, "Ba");
    QAction *b = MenuLocalizer::addAction(few, "B");
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(ba->text(), "B&a");
    EXPECT_EQ(b->text(), "&B");
    // A menu with more titles than letters: a title in Latin letters marks one of its own or none, never
    // one in brackets after it.
    QMenu *many = MenuLocalizer::addMenu(m.window.menuBar(), "Ansicht");
    for (int i = 0; i < 30; ++i)
        MenuLocalizer::addAction(many, "Ab");
    MenuLocalizer::walk(m.window.menuBar());
    QSet<QKeySequence> seen;
    for (QAction *a : many->actions()) {
        EXPECT_FALSE(a->text().contains(u'(')) << a->text().toStdString();
        const QKeySequence key = QKeySequence::mnemonic(a->text());
        if (key.isEmpty()) continue;
        EXPECT_FALSE(seen.contains(key)) << a->text().toStdString();
        seen.insert(key);
    }
    EXPECT_EQ(seen.size(), 2);
    Lang::setCurrent(AppLanguage::th);
    MenuLocalizer::walk(m.window.menuBar());
    EXPECT_EQ(m.trash->text(), "ย้ายไปถังขยะ (&M)");
    EXPECT_EQ(QKeySequence::mnemonic(m.view->title()), QKeySequence(Qt::ALT | Qt::Key_V));
}
