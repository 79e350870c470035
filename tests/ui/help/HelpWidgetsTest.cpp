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
#include <QVBoxLayout>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;
using Request = std::pair<std::optional<int>, int>;

namespace {

class HelpWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        app = std::make_unique<AppState>();
        app->settings().setLanguage(AppLanguage::de);
    }
    void TearDown() override { ManualChapters::setFolder({}); }

    // The visible entries' titles, "-" for a divider.
    static QStringList titles(QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }
    static void trigger(QMenu *menu, int index) {
        QList<QAction *> visible;
        for (QAction *a : menu->actions())
            if (a->isVisible()) visible << a;
        visible.at(index)->trigger();
    }
    // Right-clicks w and chooses the one entry of its context menu, which must be "Hilfe dazu".
    static void chooseHelpOnThis(QWidget *w) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w, &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(titles(menu), QStringList({"Hilfe dazu"}));
        trigger(menu, 0);
        menu->close();
    }
    // The chapter of the last request and how many requests reached the application.
    Request request() const { return {app->requests().manualSection(), app->requests().manualRequest()}; }

    LanguageScope german{AppLanguage::de};
    std::unique_ptr<AppState> app;
};

} // namespace

TEST_F(HelpWidgetsTest, ChapterMenuOpensTheManualOrAChapterAndFollowsTheLanguage) {
    HelpChaptersMenu button(app->requests(), app->settings());
    QMenu *menu = button.menu();
    emit menu->aboutToShow();
    QStringList got = titles(menu);
    ASSERT_EQ(got.size(), 15);
    EXPECT_EQ(got.mid(0, 3), QStringList({"Handbuch öffnen", "-", "1. Zwei Fenster nebeneinander"}));
    EXPECT_EQ(got[14], "13. Feedback");

    trigger(menu, 4);
    EXPECT_EQ(request(), Request(3, 1));
    trigger(menu, 4);
    EXPECT_EQ(request(), Request(3, 2)) << "a repeated chapter is a new request";
    trigger(menu, 0);
    EXPECT_EQ(request(), Request(std::nullopt, 3));

    app->settings().setLanguage(AppLanguage::en);
    LanguageScope en(AppLanguage::en);
    emit menu->aboutToShow();
    got = titles(menu);
    EXPECT_EQ(got.size(), 15) << "entries of the last opening were left behind";
    EXPECT_EQ(got.mid(0, 3), QStringList({"Open Manual", "-", "1. Two panes side by side"}));
    // Its name for assistive tools is in the language it was made in, like the rest of the toolbar.
    EXPECT_EQ(button.accessibleName(), "Hilfekapitel");
    LanguageScope thai(AppLanguage::th);
    EXPECT_EQ(HelpChaptersMenu(app->requests(), app->settings()).accessibleName(), "บทของวิธีใช้");
}

// Also in the menu bar's help menu, among entries of its own, which keep their places.
TEST_F(HelpWidgetsTest, WithoutAManualFileTheMenuOffersOnlyOpeningIt) {
    QTemporaryDir folder;
    ManualChapters::setFolder(folder.path());
    QMenu menu;
    menu.addAction("Davor");
    addHelpChapters(&menu, app->requests(), app->settings());
    menu.addAction("Danach");
    emit menu.aboutToShow();
    EXPECT_EQ(titles(&menu), QStringList({"Davor", "Handbuch öffnen", "Danach"}));

    // A file that appears later shows at the next opening; "&" stays a character.
    ASSERT_TRUE(TestUtil::writeFile(folder.filePath("manual.de.md"), "## 2. Kopieren & Verschieben\n"));
    emit menu.aboutToShow();
    EXPECT_EQ(titles(&menu),
              QStringList({"Davor", "Handbuch öffnen", "-", "2. Kopieren && Verschieben", "Danach"}));
}

TEST_F(HelpWidgetsTest, HelpButtonAndContextItemOpenTheirChapter) {
    HelpButton button(&app->requests(), 8);
    button.click();
    EXPECT_EQ(request(), Request(8, 1));

    QWidget view;
    helpContext(&view, &app->requests(), 9);
    helpContext(&view, &app->requests(), 10);
    chooseHelpOnThis(&view);
    EXPECT_EQ(request(), Request(10, 2)) << "the second call did not change the chapter";
}

namespace {

class HelpCardTest : public HelpWidgetsTest {
protected:
    void SetUp() override {
        HelpWidgetsTest::SetUp();
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(control);
        layout->addWidget(other);
        help = new ToolHelp(
            control, &app->requests(), [this] { return text; }, 5, &clock);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    static void hover(QWidget *w, bool enter) {
        QEnterEvent in(QPointF(1, 1), QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)));
        QEvent out(QEvent::Leave);
        QApplication::sendEvent(w, enter ? static_cast<QEvent *>(&in) : &out);
    }
    HelpCard *card() const { return help->anchor()->card(); }
    HelpCard *openCard() {
        hover(control, false);
        hover(control, true);
        clock.advance(ToolHelpModifier::showDelayMs);
        return card();
    }

    FakeHelpClock clock;
    QWidget window;
    QPushButton *control = new QPushButton("Steuerung", &window);
    QPushButton *other = new QPushButton("Anderes", &window);
    ToolHelp *help = nullptr;
    QString text = QStringLiteral("Papierkorb");
};

} // namespace

TEST_F(HelpCardTest, ItIsAFramelessToolWindowBelowTheControlAndThePointerCanRestOnIt) {
    HelpCard *shown = openCard();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->windowType(), Qt::Tool);
    EXPECT_TRUE(shown->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(shown->text(), "Papierkorb");
    EXPECT_GE(shown->geometry().top(), control->mapToGlobal(QPoint(0, control->height())).y());
    hover(control, false);
    hover(shown, true);
    clock.advance(2 * ToolHelpModifier::autoHideMs);
    EXPECT_EQ(card(), shown);
}

// Measured, not estimated from the character count: Thai, line breaks and large fonts all fit.
TEST_F(HelpCardTest, TheCardIsAsHighAsItsText) {
    text = QString::fromUtf8("ย้ายรายการที่เลือกไปที่ถังขยะ หรือลบทิ้งอย่างถาวรเมื่ออยู่ในถังขยะแล้ว\n"
                             "บรรทัดที่สอง\nบรรทัดที่สาม\nบรรทัดที่สี่\nบรรทัดที่ห้า\nบรรทัดที่หก");
    ASSERT_NE(openCard(), nullptr);
    QLabel *label = card()->label();
    const int needed = label->heightForWidth(label->width());
    EXPECT_GE(label->height(), needed) << "the text is clipped";
    EXPECT_GE(card()->link()->geometry().top(), label->geometry().top() + needed);
    EXPECT_LE(card()->link()->geometry().bottom(), card()->height());
}

TEST_F(HelpCardTest, ClicksOutsideCloseItClicksInsideDoNotAndTheLinkOpensTheChapter) {
    HelpCard *shown = openCard();
    ASSERT_NE(shown, nullptr);
    QTest::mouseClick(shown->label(), Qt::LeftButton);
    QTest::qWait(10);
    EXPECT_EQ(card(), shown) << "a click inside the card closed it";
    QTest::mouseClick(other, Qt::LeftButton);
    QTRY_VERIFY(card() == nullptr);

    ASSERT_NE(openCard(), nullptr);
    QTest::mouseClick(card()->link(), Qt::LeftButton);
    EXPECT_EQ(card(), nullptr);
    EXPECT_EQ(request(), Request(5, 1));
}

TEST_F(HelpCardTest, LosingTheApplicationAClickOnTheControlOrARightClickCloseIt) {
    ASSERT_NE(openCard(), nullptr);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(card(), nullptr);

    ASSERT_NE(openCard(), nullptr);
    QTest::mouseClick(control, Qt::LeftButton);
    EXPECT_EQ(card(), nullptr);

    ASSERT_NE(openCard(), nullptr);
    QTest::mousePress(control, Qt::RightButton);
    chooseHelpOnThis(control);
    QTRY_VERIFY(card() == nullptr);
    EXPECT_EQ(request(), Request(5, 1));
}
