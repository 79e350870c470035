#include "ui/style/FolderTint.h"

#include <QColor>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int N = FolderTint::side * FolderTint::side;

// A blue folder-like icon: shades of one hue at varying saturation and value, a transparent
// border and half-transparent edge pixels, stored premultiplied.
std::vector<std::uint8_t> blueIcon(double hueDeg = 210) {
    std::vector<std::uint8_t> px(std::size_t(N) * 4, 0);
    for (int y = 0; y < FolderTint::side; ++y)
        for (int x = 0; x < FolderTint::side; ++x) {
            if (x < 8 || x >= 120 || y < 16 || y >= 112) continue;
            const double alpha = (x == 8 || y == 16) ? 0.5 : 1.0;
            const QColor c = QColor::fromHsvF(float(hueDeg / 360), float(0.45 + 0.4 * y / 128.0),
                                              float(0.55 + 0.4 * x / 128.0));
            std::uint8_t *p = px.data() + (std::size_t(y) * FolderTint::side + x) * 4;
            p[0] = std::uint8_t(c.redF() * alpha * 255);
            p[1] = std::uint8_t(c.greenF() * alpha * 255);
            p[2] = std::uint8_t(c.blueF() * alpha * 255);
            p[3] = std::uint8_t(alpha * 255);
        }
    return px;
}

QColor unpremultiplied(const std::uint8_t *p) {
    const double a = p[3] / 255.0;
    return QColor::fromRgbF(float(p[0] / 255.0 / a), float(p[1] / 255.0 / a), float(p[2] / 255.0 / a));
}

double hueDistance(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 360 - d);
}

} // namespace

// Every pixel had the same hue, so every pixel lands on the target; grey (1) follows the value.
TEST(FolderTintTest, BlueFolderTurnsToEachTagColour) {
    for (int number : {1, 2, 3, 4, 5, 6, 7, 0, 8}) {
        auto px = blueIcon();
        const auto before = px;
        FolderTint::tintBuffer(px.data(), N, number);
        int checked = 0;
        for (int i = 0; i < N; ++i) {
            const std::uint8_t *p = px.data() + std::size_t(i) * 4;
            const std::uint8_t *o = before.data() + std::size_t(i) * 4;
            ASSERT_EQ(p[3], o[3]); // alpha untouched
            if (o[3] == 0) {
                ASSERT_EQ(p[0] | p[1] | p[2], 0);
            } else if (number == 1) {
                ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]);
                ASSERT_NEAR(p[0], std::max({o[0], o[1], o[2]}), 1);
            } else if (p[3] == 255) {
                ASSERT_LT(hueDistance(unpremultiplied(p).hsvHueF() * 360, FolderTint::targetHue(number)), 2.5)
                    << number << " at " << i;
                ++checked;
            }
        }
        EXPECT_GT(checked, number == 1 ? -1 : 5000);
    }
}

TEST(FolderTintTest, PaleIconRotatesByTheTargetHue) {
    // No pixel is more saturated than 0.25, so the dominant hue is 0 and the shift is the target.
    auto px = blueIcon();
    for (int i = 0; i < N; ++i) {
        std::uint8_t *p = px.data() + std::size_t(i) * 4;
        if (p[3] == 0) continue;
        const QColor c = QColor::fromHsvF(100 / 360.f, 0.2f, 0.9f);
        const double a = p[3] / 255.0;
        p[0] = std::uint8_t(c.redF() * a * 255);
        p[1] = std::uint8_t(c.greenF() * a * 255);
        p[2] = std::uint8_t(c.blueF() * a * 255);
    }
    FolderTint::tintBuffer(px.data(), N, 5);
    const std::uint8_t *p = px.data() + (std::size_t(60) * FolderTint::side + 60) * 4;
    EXPECT_LT(hueDistance(unpremultiplied(p).hsvHueF() * 360, 152), 4);
}

TEST(FolderTintTest, ImagesAreDrawnOnto128Square) {
    EXPECT_TRUE(FolderTint::tintPixels(QImage(), 4).isNull());

    QImage small(32, 16, QImage::Format_ARGB32);
    small.fill(QColor(40, 120, 220));
    const QImage out = FolderTint::tintPixels(small, 6);
    ASSERT_EQ(out.size(), QSize(128, 128));
    // Scaled over the whole square, not tiled; red now.
    const QColor c = out.pixelColor(100, 100);
    EXPECT_EQ(c.alpha(), 255);
    EXPECT_LT(hueDistance(c.hsvHueF() * 360, 0), 2);
}
