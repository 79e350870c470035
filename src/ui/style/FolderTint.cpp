#include "ui/style/FolderTint.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace FolderTint {

namespace {

struct Hsv {
    double h = 0, s = 0, v = 0;
};

Hsv toHsv(double r, double g, double b) {
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    const double d = mx - mn;
    Hsv out;
    out.v = mx;
    if (d > 0) {
        double h;
        if (mx == r)
            h = std::fmod((g - b) / d, 6.0);
        else if (mx == g)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        h /= 6;
        if (h < 0) h += 1;
        out.h = h;
    }
    out.s = mx == 0 ? 0 : d / mx;
    return out;
}

void toRgb(double h, double s, double v, double &r, double &g, double &b) {
    const double chroma = v * s;
    const double hx = h * 6;
    const double x = chroma * (1 - std::fabs((hx - 2 * std::trunc(hx / 2)) - 1));
    const double m = v - chroma;
    switch (static_cast<long long>(hx) % 6) {
    case 0:
        r = chroma, g = x, b = 0;
        break;
    case 1:
        r = x, g = chroma, b = 0;
        break;
    case 2:
        r = 0, g = chroma, b = x;
        break;
    case 3:
        r = 0, g = x, b = chroma;
        break;
    case 4:
        r = x, g = 0, b = chroma;
        break;
    default:
        r = chroma, g = 0, b = x;
        break;
    }
    r += m, g += m, b += m;
}

std::uint8_t toByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
}

} // namespace

double targetHue(int number) {
    switch (number) {
    case 2:
        return 135;
    case 3:
        return 285;
    case 4:
        return 215;
    case 5:
        return 52;
    case 6:
        return 0;
    default:
        return 28;
    }
}

void tintBuffer(std::uint8_t *px, std::size_t count, int number) {
    constexpr double twoPi = 2 * std::numbers::pi;
    auto read = [px](std::size_t i, double &a) {
        const std::uint8_t *p = px + i * 4;
        a = p[3] / 255.0;
        return toHsv(p[0] / 255.0 / a, p[1] / 255.0 / a, p[2] / 255.0 / a);
    };

    double sx = 0, sy = 0;
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (px[i * 4 + 3] == 0) continue;
        double a;
        const Hsv c = read(i, a);
        if (c.s > 0.25) {
            sx += c.s * std::cos(twoPi * c.h);
            sy += c.s * std::sin(twoPi * c.h);
            any = true;
        }
    }
    double dominant = any ? std::atan2(sy, sx) / twoPi : 0;
    if (dominant < 0) dominant += 1;
    const double shift = targetHue(number) / 360 - dominant;

    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t *p = px + i * 4;
        if (p[3] == 0) continue;
        double a;
        const Hsv c = read(i, a);
        double h = c.h, s = c.s;
        if (number == 1) {
            s = 0;
        } else {
            h = std::fmod(c.h + shift, 1.0);
            if (h < 0) h += 1;
        }
        double r, g, b;
        toRgb(h, s, c.v, r, g, b);
        p[0] = toByte(a * r * 255);
        p[1] = toByte(a * g * 255);
        p[2] = toByte(a * b * 255);
    }
}

QImage tintPixels(const QImage &image, int number) {
    if (image.isNull()) return {};
    QImage surface(side, side, QImage::Format_RGBA8888_Premultiplied);
    if (surface.isNull()) return {};
    surface.fill(Qt::transparent);
    {
        QPainter p(&surface);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(0, 0, side, side), image);
    }
    // Rows of a 128-pixel RGBA image are exactly 512 bytes, so the buffer is contiguous.
    tintBuffer(surface.bits(), std::size_t(side) * side, number);
    return surface;
}

} // namespace FolderTint
