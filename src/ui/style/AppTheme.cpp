#include "ui/style/AppTheme.h"

#include "core/localisation/Lang.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

QColor colorFromHex(quint32 value) {
    return QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

const QList<AppTheme> &AppTheme::all() {
    static const QList<AppTheme> themes = {
        {"nebula", K("Nebula"), colorFromHex(0x8B5CF6), colorFromHex(0x14B8C4)},
        {"lagune", K("Lagune"), colorFromHex(0x14B8A6), colorFromHex(0x8B7CF6)},
        {"ozean", K("Ozean"), colorFromHex(0x2B9CE8), colorFromHex(0x4F6BF2)},
        {"sonnenuntergang", K("Sonnenuntergang"), colorFromHex(0xF0617A), colorFromHex(0xF59E0B)},
        {"wald", K("Wald"), colorFromHex(0x22B07D), colorFromHex(0x84CC16)},
        {"oliv", K("Oliv"), colorFromHex(0xA3AE3F), colorFromHex(0x66792A)},
        {"burgund", K("Burgund"), colorFromHex(0xB8344F), colorFromHex(0x7A1D35)},
        {"hellbraun", K("Hellbraun"), colorFromHex(0xD0A06A), colorFromHex(0x9C6A3E)},
        {"graphit", K("Graphit"), colorFromHex(0x6B7686), colorFromHex(0x9AA6B8)},
    };
    return themes;
}

const AppTheme &AppTheme::named(const QString &id) {
    const auto &themes = all();
    for (const AppTheme &t : themes)
        if (t.id == id) return t;
    return themes.front();
}

static QColor withOpacity(QColor c, double opacity) {
    c.setAlphaF(float(std::clamp(c.alphaF() * opacity, 0.0, 1.0)));
    return c;
}

QLinearGradient AppTheme::gradient(const QRectF &rect, double opacity) const {
    QLinearGradient g(rect.topLeft(), rect.bottomRight());
    g.setColorAt(0, withOpacity(a, opacity));
    g.setColorAt(1, withOpacity(b, opacity));
    return g;
}

static double linear(double x) {
    return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

static double luminanceOf(double r, double g, double b) {
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

double AppTheme::luminance(const QColor &color) {
    QColor c = color.isValid() ? color.toRgb() : QColor(Qt::gray);
    return luminanceOf(c.redF(), c.greenF(), c.blueF());
}

double AppTheme::contrastRatio(double x, double y) {
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Near-black text, a little softer than black.
static QColor darkText() {
    return QColor::fromRgbF(0, 0, 0, 0.88f);
}

QColor AppTheme::onAccent() const {
    const double white = std::min(contrast(Qt::white, a), contrast(Qt::white, b));
    const double black = std::min(contrast(darkText(), a), contrast(darkText(), b));
    return white >= black ? QColor(Qt::white) : darkText();
}

AppTheme AppTheme::forText() const {
    const QColor text = onAccent();
    const bool whiteText = text == QColor(Qt::white);
    // Well above 4.5, so the fill may be slightly see-through over a dark window.
    constexpr double wanted = 5.4;
    AppTheme t = *this;
    for (double f = 0; f <= 1.0; f += 0.02) {
        t.a = whiteText ? a.toRgb().darker(int(100 + f * 150)) : a.toRgb().lighter(int(100 + f * 60));
        t.b = whiteText ? b.toRgb().darker(int(100 + f * 150)) : b.toRgb().lighter(int(100 + f * 60));
        if (std::min(contrast(text, t.a), contrast(text, t.b)) >= wanted) return t;
    }
    return t;
}

QColor AppTheme::readable(ColorScheme scheme, double contrast) const {
    const bool dark = scheme == ColorScheme::dark;
    const double bg = dark ? 0.013 : 1.0;
    const QColor base =
        contrastRatio(luminance(a), bg) >= contrastRatio(luminance(b), bg) ? a.toRgb() : b.toRgb();
    const double target = dark ? 1.0 : 0.0;
    const double r = base.redF(), g = base.greenF(), bl = base.blueF();
    for (double t = 0; t <= 1; t += 0.04) {
        const double mr = r * (1 - t) + target * t;
        const double mg = g * (1 - t) + target * t;
        const double mb = bl * (1 - t) + target * t;
        if (contrastRatio(luminanceOf(mr, mg, mb), bg) >= contrast)
            return QColor::fromRgbF(float(mr), float(mg), float(mb));
    }
    return dark ? QColor(Qt::white) : QColor(Qt::black);
}

QColor AppTheme::over(const QColor &top, const QColor &below) {
    const QColor t = top.toRgb(), b = below.toRgb();
    const double k = t.alphaF();
    return QColor::fromRgbF(float(t.redF() * k + b.redF() * (1 - k)),
                            float(t.greenF() * k + b.greenF() * (1 - k)),
                            float(t.blueF() * k + b.blueF() * (1 - k)));
}

double AppTheme::contrast(const QColor &text, const QColor &background) {
    return contrastRatio(luminance(over(text, background)), luminance(background));
}

QColor AppTheme::secondaryText(const QColor &text, const QList<QColor> &backgrounds, double share) {
    const QColor first = backgrounds.isEmpty() ? QColor(Qt::gray) : backgrounds.front();
    for (double k = share; k < 1.0; k += 0.05) {
        QColor c = text.toRgb();
        c.setAlphaF(float(k));
        const QColor opaque = over(c, first);
        if (std::all_of(backgrounds.begin(), backgrounds.end(),
                        [&](const QColor &bg) { return contrast(opaque, bg) >= 4.5; }))
            return opaque;
    }
    QColor c = text.toRgb();
    c.setAlpha(255);
    return c;
}

QColor AppTheme::readableOn(const QColor &color, const QList<QColor> &backgrounds, double wanted) {
    const QColor first = backgrounds.isEmpty() ? QColor(Qt::white) : backgrounds.front();
    const double target = luminance(first) < 0.18 ? 1.0 : 0.0;
    const QColor c = color.toRgb();
    for (double t = 0; t <= 1.0; t += 0.02) {
        const QColor m =
            QColor::fromRgbF(float(c.redF() * (1 - t) + target * t), float(c.greenF() * (1 - t) + target * t),
                             float(c.blueF() * (1 - t) + target * t));
        if (std::all_of(backgrounds.begin(), backgrounds.end(),
                        [&](const QColor &bg) { return contrast(m, bg) >= wanted; }))
            return m;
    }
    return target > 0 ? QColor(Qt::white) : QColor(Qt::black);
}

QColor AppTheme::sectionTint(const QPalette &palette) {
    QColor fill = palette.color(QPalette::WindowText);
    fill.setAlphaF(0.05f);
    return fill;
}

ColorScheme AppTheme::schemeOf(const QPalette &palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5 ? ColorScheme::dark : ColorScheme::light;
}
