#include "common/FakeHelpClock.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/help/ManualChapters.h"
#include "core/help/ToolHelpModifier.h"
#include "ui/help/HelpButton.h"
#include "ui/help/HelpCardAnchor.h"
#include "ui/help/HelpChaptersMenu.h"
#include "ui/help/HelpContext.h"
#include "ui/help/ToolHelp.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class HelpWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        app->setLanguage(AppLanguage::de);
    }
    void TearDown() override { ManualChapters::setFolder({}); }

    // The entries' titles, "-" for a divider.
    static QStringList titles(QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    static QAction *entry(QMenu *menu, const QString &title) {
        for (QAction *a : menu->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
    // The request that reached the application: chapter and how many requests so far.
    std::pair<std::optional<int>, int> request() const {
        return {app->manualSection(), app->manualRequest()};
    }

    LanguageScope german{AppLanguage::de};
    std::unique_ptr<AppState> app;
};

} // namespace

TEST_F(HelpWidgetsTest, ChapterMenuOpensTheManualOrAChapterAndFollowsTheLanguage) {
    HelpChaptersMenu button(app.get());
    QMenu *menu = button.menu();
    emit menu->aboutToShow();
    const QStringList got = titles(menu);
    ASSERT_EQ(got.size(), 15);
    EXPECT_EQ(got[0], "Handbuch öffnen");
    EXPECT_EQ(got[1], "-");
    EXPECT_EQ(got[2], "1. Zwei Fenster nebeneinander");
    EXPECT_EQ(got[14], "13. Feedback");

    entry(menu, got[4])->trigger();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(3), 1));
    entry(menu, got[4])->trigger();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(3), 2)) << "a repeated chapter is a new request";
    entry(menu, got[0])->trigger();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(), 3));

    app->setLanguage(AppLanguage::en);
    LanguageScope en(AppLanguage::en);
    emit menu->aboutToShow();
    EXPECT_EQ(titles(menu).value(0), "Open the Manual");
    EXPECT_EQ(titles(menu).value(2), "1. Two panes side by side");
    EXPECT_EQ(titles(menu).size(), 15) << "entries of the last opening were left behind";
}

TEST_F(HelpWidgetsTest, WithoutAManualFileTheMenuOffersOnlyOpeningIt) {
    QTemporaryDir empty;
    ManualChapters::setFolder(empty.path());
    QMenu menu;
    addHelpChapters(&menu, app.get());
    emit menu.aboutToShow();
    EXPECT_EQ(titles(&menu), QStringList({"Handbuch öffnen"}));

    // A file that appears later shows at the next opening; "&" stays a character.
    ASSERT_TRUE(TestUtil::writeFile(empty.filePath("manual.de.md"), "## 2. Kopieren & Verschieben\n"));
    emit menu.aboutToShow();
    EXPECT_EQ(titles(&menu), QStringList({"Handbuch öffnen", "-", "2. Kopieren && Verschieben"}));
}

// The menu bar's help menu holds other entries too; refreshing ours leaves them where they are.
TEST_F(HelpWidgetsTest, HelpEntriesKeepTheirPlaceAmongOtherEntries) {
    QMenu menu;
    menu.addAction("Davor");
    HelpChapterEntries *entries = addHelpChapters(&menu, app.get());
    menu.addAction("Danach");
    emit menu.aboutToShow();
    emit menu.aboutToShow();
    const QStringList got = titles(&menu);
    ASSERT_EQ(got.size(), 17);
    EXPECT_EQ(got.first(), "Davor");
    EXPECT_EQ(got[1], "Handbuch öffnen");
    EXPECT_EQ(got.last(), "Danach");
    EXPECT_EQ(entries->entries().size(), 15);
}

TEST_F(HelpWidgetsTest, HelpButtonAndContextItemOpenTheirChapter) {
    HelpButton button(app.get(), 8);
    button.click();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(8), 1));

    QWidget view;
    helpContext(&view, app.get(), 9);
    helpContext(&view, app.get(), 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), QPoint(2, 2));
    QApplication::sendEvent(&view, &event);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(titles(menu), QStringList({"Hilfe dazu"}));
    menu->actions().first()->trigger();
    menu->close();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(10), 2))
        << "the second call did not change the chapter";
}

namespace {

class HelpCardTest : public HelpWidgetsTest {
protected:
    void SetUp() override {
        HelpWidgetsTest::SetUp();
        auto *layout = new QVBoxLayout(&window);
        control = new QPushButton("Steuerung", &window);
        other = new QPushButton("Anderes", &window);
        layout->addWidget(control);
        layout->addWidget(other);
        help = new ToolHelp(
            control, app.get(), [this] { return text; }, 5, &clock);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    void TearDown() override {
        window.hide();
        QTest::qWait(0);
        HelpWidgetsTest::TearDown();
    }
    static void hover(QWidget *w, bool enter) {
        if (enter) {
            QEnterEvent event(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
            QApplication::sendEvent(w, &event);
        } else {
            QEvent event(QEvent::Leave);
            QApplication::sendEvent(w, &event);
        }
    }
    HelpCard *openCard() {
        hover(control, true);
        clock.advance(ToolHelpModifier::showDelayMs);
        return help->anchor()->card();
    }

    FakeHelpClock clock;
    QWidget window;
    QPushButton *control = nullptr;
    QPushButton *other = nullptr;
    ToolHelp *help = nullptr;
    QString text = QStringLiteral("Papierkorb");
};

} // namespace

TEST_F(HelpCardTest, RestingOpensAFramelessToolWindowBelowTheControlThatFollowsThePointer) {
    hover(control, true);
    clock.advance(ToolHelpModifier::showDelayMs - 1);
    EXPECT_EQ(help->anchor()->card(), nullptr);
    clock.advance(1);
    HelpCard *card = help->anchor()->card();
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(card->isVisible());
    EXPECT_TRUE(card->isWindow());
    EXPECT_TRUE(card->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(card->windowType(), Qt::Tool);
    EXPECT_EQ(card->text(), "Papierkorb");
    EXPECT_EQ(card->width(), HelpCard::cardWidth);
    EXPECT_GE(card->geometry().top(), control->mapToGlobal(QPoint(0, control->height())).y());

    // Over the card it stays beyond the automatic hide; leaving both closes it.
    hover(control, false);
    hover(card, true);
    clock.advance(2 * ToolHelpModifier::autoHideMs);
    ASSERT_EQ(help->anchor()->card(), card);
    hover(card, false);
    clock.advance(ToolHelpModifier::leaveDelayMs);
    EXPECT_EQ(help->anchor()->card(), nullptr);
}

TEST_F(HelpCardTest, TheCardIsAsHighAsItsText) {
    text = QString::fromUtf8("ย้ายรายการที่เลือกไปที่ถังขยะ หรือลบทิ้งอย่างถาวรเมื่ออยู่ในถังขยะแล้ว\n"
                             "บรรทัดที่สอง\nบรรทัดที่สาม\nบรรทัดที่สี่\nบรรทัดที่ห้า\nบรรทัดที่หก");
    HelpCard *card = openCard();
    ASSERT_NE(card, nullptr);
    QLabel *label = card->label();
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "the text is clipped";
    EXPECT_LE(card->link()->geometry().bottom(), card->height());
    EXPECT_GT(card->link()->geometry().top(),
              label->geometry().top() + label->heightForWidth(label->width()) - 1);
}

TEST_F(HelpCardTest, ClicksOutsideCloseItClicksInsideDoNotAndTheLinkOpensTheChapter) {
    HelpCard *card = openCard();
    ASSERT_NE(card, nullptr);
    QTest::mouseClick(card->label(), Qt::LeftButton);
    QTest::qWait(10);
    EXPECT_EQ(help->anchor()->card(), card) << "a click inside the card closed it";

    QTest::mouseClick(other, Qt::LeftButton);
    QTRY_VERIFY(help->anchor()->card() == nullptr);

    card = openCard();
    ASSERT_NE(card, nullptr);
    hover(control, false);
    hover(card, true);
    QTest::mouseClick(card->link(), Qt::LeftButton);
    EXPECT_EQ(help->anchor()->card(), nullptr);
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(5), 1));
}

TEST_F(HelpCardTest, LosingTheApplicationOrAClickOnTheControlClosesIt) {
    ASSERT_NE(openCard(), nullptr);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(help->anchor()->card(), nullptr);

    hover(control, false);
    ASSERT_NE(openCard(), nullptr);
    QTest::mouseClick(control, Qt::LeftButton);
    EXPECT_EQ(help->anchor()->card(), nullptr);
}

TEST_F(HelpCardTest, RightClickOffersHelpOnTheChapterAndClosesTheCard) {
    ASSERT_NE(openCard(), nullptr);
    QTest::mousePress(control, Qt::RightButton);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), control->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(control, &event);
    QTRY_VERIFY(help->anchor()->card() == nullptr);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(titles(menu), QStringList({"Hilfe dazu"}));
    menu->actions().first()->trigger();
    menu->close();
    EXPECT_EQ(request(), std::make_pair(std::optional<int>(5), 1));
}

TEST_F(HelpCardTest, ASecondAttachReplacesTextAndChapter) {
    EXPECT_EQ(toolHelp(control, app.get(), QStringLiteral("Hilfe dazu"), 7), help);
    LanguageScope en(AppLanguage::en);
    HelpCard *card = openCard();
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(card->text(), "Help on This");
    EXPECT_EQ(help->section(), 7);
}
