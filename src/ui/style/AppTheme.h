#pragma once

#include "core/app/ColorScheme.h"

#include <QColor>
#include <QLinearGradient>
#include <QList>
#include <QString>

class QPalette;

// Opaque sRGB colour from 0xRRGGBB; the top byte is ignored.
QColor colorFromHex(quint32 value);

// One accent palette: two colours drawn as a diagonal gradient.
struct AppTheme {
    QString id;
    QString name;
    QColor a;
    QColor b;

    bool operator==(const AppTheme &) const = default;

    static const QList<AppTheme> &all();
    // Unknown or empty ids fall back to the first theme.
    static const AppTheme &named(const QString &id);

    // From the top-left to the bottom-right corner of rect, both colours at opacity.
    QLinearGradient gradient(const QRectF &rect, double opacity = 1.0) const;
    // Text and icon colour on top of the gradient: white or black, whichever reads better on both colours.
    QColor onAccent() const;
    // The theme with both colours deepened or lightened just enough that onAccent() keeps 4.5:1 on each,
    // for fills that carry text.
    AppTheme forText() const;
    // A theme colour that keeps at least `contrast` against the scheme's window background.
    QColor readable(ColorScheme scheme, double contrast = 4.5) const;

    static double luminance(const QColor &color);
    static double contrastRatio(double x, double y);
    static ColorScheme schemeOf(const QPalette &palette);
    // top drawn over an opaque below.
    static QColor over(const QColor &top, const QColor &below);
    // Contrast of a (possibly see-through) text colour drawn on an opaque background.
    static double contrast(const QColor &text, const QColor &background);
    // Secondary text: the text colour toned down towards the first background, but never below 4.5:1
    // against any of them. Opaque.
    static QColor secondaryText(const QColor &text, const QList<QColor> &backgrounds, double share = 0.6);
    // color moved towards black or white (away from the first background) until it keeps `contrast`
    // against every background.
    static QColor readableOn(const QColor &color, const QList<QColor> &backgrounds, double contrast = 4.5);
    // The see-through fill of a section of grouped controls (Get Info's), drawn over the window.
    static QColor sectionTint(const QPalette &palette);
};
