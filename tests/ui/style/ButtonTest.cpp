#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
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

// Waits (processing events) until pred holds, or the time is up.
template <typename Pred> bool waitFor(Pred pred, int ms = 2000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QTest::qWait(5);
    return pred();
}

} // namespace

TEST(ButtonStyleTest, BarButtonLooks) {
    const QPalette pal;
    const QColor primary = pal.color(QPalette::WindowText);

    ButtonLook disabled = BarButtonStyle::look(st(false, true, false, true), false, nebula(), pal);
    EXPECT_EQ(disabled.fill, Fill::primary);
    EXPECT_DOUBLE_EQ(disabled.fillOpacity, 0.05);
    EXPECT_DOUBLE_EQ(disabled.opacity, 0.7);
    EXPECT_FALSE(disabled.border);
    EXPECT_DOUBLE_EQ(disabled.scale, 1);
    EXPECT_LT(disabled.foreground.alphaF(), 1.0); // secondary text
    EXPECT_EQ(BarButtonStyle::look(st(false, false, false), true, nebula(), pal).fillOpacity, 0.05);

    ButtonLook rest = BarButtonStyle::look(st(true, false, false), false, nebula(), pal);
    EXPECT_EQ(rest.fill, Fill::primary);
    EXPECT_DOUBLE_EQ(rest.fillOpacity, 0.06);
    EXPECT_EQ(rest.foreground, primary);
    ButtonLook hover = BarButtonStyle::look(st(true, true, false), false, nebula(), pal);
    EXPECT_DOUBLE_EQ(hover.fillOpacity, 0.14);
    EXPECT_TRUE(hover.border);
    EXPECT_DOUBLE_EQ(hover.radius, 6);
    for (ButtonState active : {st(true, false, true), st(true, false, false, true)}) {
        ButtonLook l = BarButtonStyle::look(active, false, nebula(), pal);
        EXPECT_EQ(l.fill, Fill::gradient);
        EXPECT_DOUBLE_EQ(l.fillOpacity, 0.95);
        EXPECT_DOUBLE_EQ(l.scale, 0.94);
        EXPECT_EQ(l.foreground, nebula().onAccent());
    }

    EXPECT_DOUBLE_EQ(BarButtonStyle::look(st(true, false, false), true, nebula(), pal).fillOpacity, 0.92);
    EXPECT_DOUBLE_EQ(BarButtonStyle::look(st(true, true, false), true, nebula(), pal).fillOpacity, 1.0);
    ButtonLook pressed = BarButtonStyle::look(st(true, true, true), true, nebula(), pal);
    EXPECT_EQ(pressed.fill, Fill::gradient);
    EXPECT_DOUBLE_EQ(pressed.fillOpacity, 0.75);
    EXPECT_EQ(BarButtonStyle::look(st(true, false, false), true, nebula(), pal).foreground,
              nebula().onAccent());

    EXPECT_EQ(BarButtonStyle::font(UIScale()).pixelSize(), 12); // 11.5 + 0.5
    EXPECT_EQ(BarButtonStyle::font(UIScale{18, true}).pixelSize(), 17);
}

TEST(ButtonStyleTest, IconAndLinkLooks) {
    const QPalette pal;
    ButtonLook selected = IconButtonStyle::look(st(true, false, false), true, nebula(), pal);
    EXPECT_EQ(selected.fill, Fill::gradient);
    EXPECT_DOUBLE_EQ(selected.fillOpacity, 0.9);
    EXPECT_EQ(selected.foreground, nebula().onAccent());
    EXPECT_DOUBLE_EQ(selected.radius, 5);
    ButtonLook active = IconButtonStyle::look(st(true, false, false, true), false, nebula(), pal);
    EXPECT_DOUBLE_EQ(active.fillOpacity, 1.0);
    EXPECT_DOUBLE_EQ(active.scale, 0.9);
    EXPECT_DOUBLE_EQ(IconButtonStyle::look(st(true, true, false), false, nebula(), pal).fillOpacity, 0.14);
    EXPECT_DOUBLE_EQ(IconButtonStyle::look(st(true, false, false), false, nebula(), pal).fillOpacity, 0);
    EXPECT_FALSE(IconButtonStyle::look(st(true, true, false), false, nebula(), pal).border);
    EXPECT_DOUBLE_EQ(IconButtonStyle::look(st(false, false, false), false, nebula(), pal).opacity, 0.5);

    ButtonLook linkPressed = LinkButtonStyle::look(st(true, true, true), nebula(), pal);
    EXPECT_EQ(linkPressed.fill, Fill::gradient);
    EXPECT_DOUBLE_EQ(linkPressed.fillOpacity, 0.35);
    EXPECT_DOUBLE_EQ(linkPressed.scale, 0.96);
    EXPECT_DOUBLE_EQ(LinkButtonStyle::look(st(true, true, false), nebula(), pal).fillOpacity, 0.1);
    EXPECT_DOUBLE_EQ(LinkButtonStyle::look(st(true, false, false), nebula(), pal).fillOpacity, 0);
    // Links have no flash.
    EXPECT_DOUBLE_EQ(LinkButtonStyle::look(st(true, false, false, true), nebula(), pal).scale, 1);
}

TEST(ButtonWidgetTest, IconButtonFrames) {
    IconButton plain(QStringLiteral("plus"));
    EXPECT_EQ(plain.sizeHint(), QSize(26, 24));
    SettingsGearButton gear;
    EXPECT_EQ(gear.sizeHint(), QSize(28, 26));
    EXPECT_FALSE(gear.selected());
    EXPECT_EQ(gear.symbolSize(), 14);
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
        EXPECT_TRUE(waitFor([b] { return !b->state().flash; }));
        EXPECT_DOUBLE_EQ(b->look().scale, 1);
    }

    // Disabling during the flash ends it.
    QTest::mouseClick(&bar, Qt::LeftButton);
    EXPECT_TRUE(bar.state().flash);
    bar.setEnabled(false);
    EXPECT_FALSE(bar.state().flash);
    StyledButton::setFlashDuration(std::chrono::milliseconds(350));
}

TEST(ButtonWidgetTest, SelectedIconButtonIsFilledWithTheGradient) {
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
    // The plain one at rest is transparent: window colour.
    EXPECT_EQ(img.pixelColor(44, 12), QColor(246, 246, 246));
    // The symbol is drawn in white (onAccent of burgund) at the centre of the selected one.
    bool white = false;
    for (int x = 9; x < 17 && !white; ++x)
        white = img.pixelColor(x, 12).lightness() > 230;
    EXPECT_TRUE(white);
}

TEST(ButtonWidgetTest, BarButtonSizeFollowsTheScale) {
    QWidget root;
    EnvironmentValues *env = EnvironmentValues::install(&root);
    auto *b = new BarButton(QStringLiteral("Abbrechen"), true, &root);
    const QSize small = b->sizeHint();
    env->setUi(UIScale{18, true});
    EXPECT_GT(b->sizeHint().height(), small.height());
    EXPECT_GT(b->sizeHint().width(), small.width());
}
