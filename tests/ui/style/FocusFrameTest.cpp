// Controls that paint themselves show the keyboard focus, as the style's own controls do.
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/settings/SettingsParts.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/style/AppTheme.h"
#include "ui/style/ButtonStyles.h"
#include "ui/window/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>

TEST(FocusFrameTest, ControlsThatPaintThemselvesShowTheFocus) {
    AppState app;
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    auto *start = new QLineEdit(&host);
    auto *tags = new TagPicker(&host);
    auto *section = new InspectorSection(K("Allgemein"), &host);
    auto *chip = new ChoiceChip(
        QStringLiteral("Hell"), [] { return false; }, [] {}, &host);
    auto *icon = new IconButton(QStringLiteral("gearshape"), false, 12, &host);
    auto *themes = new ThemeGrid(app.settings(), &host);
    auto *sidebar =
        new SidebarView(app.sidebar(), app.sides(), app.items(), app.trash(), app.toasts(), &host);
    for (QWidget *w : std::initializer_list<QWidget *>{start, sidebar, tags, section, chip, icon, themes})
        column->addWidget(w);
    sidebar->setMinimumHeight(300);
    host.resize(500, 1200);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    QTRY_VERIFY_WITH_TIMEOUT(!sidebar->rows().isEmpty() && sidebar->rows().constFirst()->isVisible(), 5000);

    const QList<QWidget *> controls{
        tags->findChildren<QAbstractButton *>().value(0),   section->header(),       chip, icon,
        themes->findChildren<QAbstractButton *>().value(0), sidebar->rows().value(0)};
    for (QWidget *control : controls) {
        ASSERT_TRUE(control);
        SCOPED_TRACE(control->metaObject()->className());
        start->setFocus();
        const QImage plain = control->grab().toImage();
        // Reached with the Tab key, as a keyboard user reaches it.
        for (int i = 0; i < 100 && !control->hasFocus(); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_TRUE(control->hasFocus());
        EXPECT_FALSE(control->grab().toImage() == plain) << "no focus mark";
    }
}

// On a checked button, filled in the accent colour, the focus stands out from the fill.
TEST(FocusFrameTest, TheFocusShowsOnACheckedButton) {
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    auto *start = new QLineEdit(&host);
    auto *checked = new IconButton(QStringLiteral("list.bullet"), true, 14, &host);
    column->addWidget(start);
    column->addWidget(checked);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    start->setFocus();
    const QImage plain = checked->grab().toImage();
    QTest::keyClick(start, Qt::Key_Tab);
    ASSERT_TRUE(checked->hasFocus());
    const QImage focused = checked->grab().toImage();
    ASSERT_EQ(focused.size(), plain.size());
    // The strongest change a pixel went through: the frame's contrast with what it is drawn on.
    int strongest = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QColor a = plain.pixelColor(x, y), b = focused.pixelColor(x, y);
            strongest = std::max({strongest, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                  std::abs(a.blue() - b.blue())});
        }
    EXPECT_GT(strongest, 120);
}

// The ring on a settings chip that is not chosen stands out from the chip and the page by 3:1 at least,
// in the light scheme and the dark one.
TEST(FocusFrameTest, TheRingOnAChipShowsInBothSchemes) {
    TestUtil::freshSettings();
    const TestUtil::LanguageScope en(AppLanguage::en);
    AppState app;
    app.settings().setLanguage(AppLanguage::en);
    MainWindow main(&app); // it puts the scheme in force
    for (const char *scheme : {"light", "dark"}) {
        SCOPED_TRACE(scheme);
        app.settings().setAppearance(QString::fromLatin1(scheme));
        QPointer<SettingsWindow> settings = SettingsWindow::open(&app);
        ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
        // The keys enter the row at the chosen chip; the ring is looked at on one that is not chosen.
        auto *chosen = qobject_cast<ChoiceChip *>(QApplication::focusWidget());
        ASSERT_TRUE(chosen && chosen->selected());
        ChoiceChip *chip = nullptr;
        for (ChoiceChip *c : chosen->parentWidget()->findChildren<ChoiceChip *>())
            if (!c->selected() && c->isVisible()) chip = c;
        ASSERT_TRUE(chip);
        chip->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(chip->hasFocus());
        const QImage focused = chip->grab().toImage();
        chip->clearFocus();
        const QImage plain = chip->grab().toImage();
        ASSERT_EQ(focused.size(), plain.size());
        double strongest = 1;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                strongest =
                    std::max(strongest, AppTheme::contrast(focused.pixelColor(x, y), plain.pixelColor(x, y)));
        EXPECT_GE(strongest, 3.0);
        settings->close();
        QTRY_VERIFY(!settings);
    }
    app.settings().setAppearance(QStringLiteral("system"));
}
