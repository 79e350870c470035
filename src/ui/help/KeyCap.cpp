#include "ui/help/KeyCap.h"

#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

bool isLong(const QString &token) {
    return token.size() > 3;
}

} // namespace

KeyCap::KeyCap(const QString &token, QWidget *parent) : QWidget(parent), m_token(token) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    EnvironmentValues::follow(this, [this] {
        updateGeometry();
        update();
    });
}

QString KeyCap::nameOf(const QString &token) {
    // Shown through L: "control", "esc" and "tab" read the same in every language.
    static const QList<std::pair<QString, QString>> names = {
        {"⌘", K("befehl")},   {"⌥", K("wahl")},      {"⌃", "control"},
        {"⇧", K("umschalt")}, {"⌫", K("löschen")},   {"⎋", "esc"},
        {"⇥", "tab"},         {"␣", K("Leertaste")}, {"⏻", K("Ein/Aus")},
    };
    for (const auto &[t, name] : names)
        if (t == token) return name;
    return {};
}

double KeyCap::textSize() const {
    const UIScale ui = EnvironmentValues::ui(this);
    return isLong(m_token) ? ui.small() : ui.font + 1;
}

int KeyCap::horizontalPadding() const {
    return isLong(m_token) ? 8 : 6;
}

QFont KeyCap::tokenFont() const {
    QFont f = font();
    f.setPixelSize(int(std::lround(textSize())));
    f.setWeight(QFont::Medium);
    return f;
}

QFont KeyCap::nameFont() const {
    QFont f = font();
    f.setPixelSize(7);
    return f;
}

QSize KeyCap::sizeHint() const {
    const QFontMetricsF tm(tokenFont());
    const QString name = nameOf(m_token);
    double w = tm.horizontalAdvance(m_token);
    double h = tm.height();
    if (!name.isEmpty()) {
        const QFontMetricsF nm(nameFont());
        w = std::max(w, nm.horizontalAdvance(L(name)));
        h += nm.height();
    }
    // Room below for the cap's drop shadow.
    return {std::max(28, int(std::ceil(w)) + 2 * horizontalPadding()), std::max(30, int(std::ceil(h))) + 2};
}

void KeyCap::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor primary = palette().color(QPalette::WindowText);
    const QRectF r(0.5, 0.5, width() - 1, height() - 2.5);
    QPainterPath shape;
    shape.addRoundedRect(r, 6, 6);
    p.fillPath(shape.translated(0, 1.5), QColor(0, 0, 0, 46));
    p.fillPath(shape, palette().color(QPalette::Base));
    QColor border = primary;
    border.setAlphaF(0.18);
    p.setPen(QPen(border, 1));
    p.drawPath(shape);

    const QFont tf = tokenFont();
    const QFontMetricsF tm(tf);
    const QString name = nameOf(m_token);
    const QFont nf = nameFont();
    const QFontMetricsF nm(nf);
    const double nameHeight = name.isEmpty() ? 0 : nm.height();
    double y = r.center().y() - (tm.height() + nameHeight) / 2;
    p.setPen(primary);
    p.setFont(tf);
    p.drawText(QRectF(r.left(), y, r.width(), tm.height()), Qt::AlignCenter, m_token);
    if (nameHeight > 0) {
        p.setFont(nf);
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.drawText(QRectF(r.left(), y + tm.height(), r.width(), nameHeight), Qt::AlignCenter, L(name));
    }
}
