#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using Fill = ButtonLook::Fill;

namespace {

const AppTheme &nebula() {
    return AppTheme::all().front();
}

ButtonState st(bool enabled, bool hover, bool pressed, bool flash = false) {
    ButtonState s;
    s.enabled = enabled;
    s.hover = hover;
    s.pressed = pressed;
    s.flash = flash;
    return s;
}

} // namespace

// Pressed and flashing look alike (gradient, shrunk); disabled ignores both; links never shrink.
TEST(ButtonStyleTest, ActiveLooksAndDisabledOnes) {
    const QPalette pal;
    for (ButtonState active : {st(true, false, true), st(true, false, false, true)}) {
        const ButtonLook bar = BarButtonStyle::look(active, false, nebula(), pal);
        EXPECT_EQ(bar.fill, Fill::gradient);
        EXPECT_LT(bar.scale, 1);
        EXPECT_EQ(bar.foreground, nebula().onAccent());
        EXPECT_LT(IconButtonStyle::look(active, false, nebula(), pal).scale, 1);
    }
    const ButtonLook disabled = BarButtonStyle::look(st(false, true, true, true), false, nebula(), pal);
    EXPECT_EQ(disabled.fill, Fill::primary);
    EXPECT_DOUBLE_EQ(disabled.scale, 1);
    EXPECT_LT(disabled.opacity, 1);
    EXPECT_DOUBLE_EQ(LinkButtonStyle::look(st(true, false, false, true), nebula(), pal).scale, 1);
    EXPECT_LT(LinkButtonStyle::look(st(true, true, true), nebula(), pal).scale, 1);
}

TEST(ButtonWidgetTest, QuickClickKeepsTheActiveLookForTheFlash) {
    StyledButton::setFlashDuration(std::chrono::milliseconds(60));
    BarButton bar(QStringLiteral("OK"));
    IconButton icon(QStringLiteral("plus"));
    LinkButton link(QStringLiteral("OK"));
    for (StyledButton *b : std::initializer_list<StyledButton *>{&bar, &icon, &link}) {
        b->resize(b->sizeHint());
        b->show();
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        QTest::mouseClick(b, Qt::LeftButton);
        EXPECT_EQ(clicked.count(), 1);
        const bool flashes = b != &link;
        EXPECT_EQ(b->state().flash, flashes);
        EXPECT_EQ(b->look().scale < 1, flashes);
        EXPECT_TRUE(QTest::qWaitFor([b] { return !b->state().flash; }));
        EXPECT_DOUBLE_EQ(b->look().scale, 1);
    }

    // Disabling during the flash ends it.
    QTest::mouseClick(&bar, Qt::LeftButton);
    EXPECT_TRUE(bar.state().flash);
    bar.setEnabled(false);
    EXPECT_FALSE(bar.state().flash);
    StyledButton::setFlashDuration(std::chrono::milliseconds(350));
}

TEST(ButtonWidgetTest, SelectedIconButtonGradientAndScaledSize) {
    QWidget root;
    EnvironmentValues::install(&root)->setAppTheme(AppTheme::named("burgund"));
    root.setAutoFillBackground(true);
    QPalette pal = root.palette();
    pal.setColor(QPalette::Window, QColor(246, 246, 246));
    root.setPalette(pal);
    auto *selected = new IconButton(QStringLiteral("plus"), true, 12, &root);
    auto *plain = new IconButton(QStringLiteral("plus"), false, 12, &root);
    selected->setGeometry(0, 0, 26, 24);
    plain->setGeometry(40, 0, 26, 24);
    root.resize(80, 30);
    root.show();

    const QImage img = root.grab().toImage();
    const AppTheme &t = AppTheme::named("burgund");
    // Left middle of the selected button, away from the symbol: the gradient about a third of the
    // way from a to b, at 0.9 over the window colour.
    const double s = (4.0 * 26 + 12.0 * 24) / (26.0 * 26 + 24.0 * 24);
    const auto expect = [&](double ca, double cb, double bg) {
        return ((ca * (1 - s) + cb * s) * 0.9 + bg * 0.1) * 255;
    };
    const QColor got = img.pixelColor(4, 12);
    EXPECT_NEAR(got.red(), expect(t.a.redF(), t.b.redF(), 246 / 255.0), 14);
    EXPECT_NEAR(got.green(), expect(t.a.greenF(), t.b.greenF(), 246 / 255.0), 14);
    EXPECT_NEAR(got.blue(), expect(t.a.blueF(), t.b.blueF(), 246 / 255.0), 14);
    EXPECT_EQ(img.pixelColor(44, 12), QColor(246, 246, 246)); // the plain one at rest: transparent
    // The symbol is drawn in white (onAccent of burgund) at the centre of the selected one.
    bool white = false;
    for (int x = 9; x < 17 && !white; ++x)
        white = img.pixelColor(x, 12).lightness() > 230;
    EXPECT_TRUE(white);
    // Bar buttons grow with the text size.
    auto *bar = new BarButton(QStringLiteral("Abbrechen"), true, &root);
    const QSize small = bar->sizeHint();
    EnvironmentValues::of(&root)->setUi(UIScale{18, true});
    EXPECT_GT(bar->sizeHint().height(), small.height());
    EXPECT_GT(bar->sizeHint().width(), small.width());
}

// A click leaves the keys in a field; but it takes them from another button, whose ring the next Space
// would act on.
TEST(ButtonWidgetTest, AClickTakesTheKeysFromAnotherButtonOnly) {
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    auto *field = new QLineEdit(&host);
    auto *first = new IconButton(QStringLiteral("gearshape"), false, 12, &host);
    auto *second = new IconButton(QStringLiteral("gearshape"), false, 12, &host);
    for (QWidget *w : std::initializer_list<QWidget *>{field, first, second})
        column->addWidget(w);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    field->setFocus();
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClick(field, Qt::Key_Tab);
    ASSERT_TRUE(first->hasFocus());
    QSignalSpy clicked(first, &QAbstractButton::clicked);
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_TRUE(second->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(clicked.size(), 0);
}
