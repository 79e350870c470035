#include "ui/help/KeyboardGraphic.h"

#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

namespace {

constexpr double unit = 40;
constexpr double gap = 4;
constexpr double pad = 10;

struct KeyDef {
    const char *id;
    const char *label;
    const char *sub = nullptr;
    double width = 1;
    double fontScale = 1;
};

QList<QList<KeyDef>> rowsOf(KbLayout layout) {
    QList<QList<KeyDef>> rows;
    QList<KeyDef> fkeys{{"esc", "esc", nullptr, 1.5, 0.7}};
    static const char *const fnames[] = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                         "F7", "F8", "F9", "F10", "F11", "F12"};
    for (const char *f : fnames)
        fkeys.append(KeyDef{f, f, nullptr, 1, 0.7});
    rows << fkeys;
    auto chars = [](const char *const *list, int n) {
        QList<KeyDef> out;
        for (int i = 0; i < n; ++i)
            out.append(KeyDef{list[i], list[i]});
        return out;
    };
    const KeyDef shiftKey{"shift", "⇧", K("Umschalt")};
    if (layout == KbLayout::de) {
        static const char *const r1[] = {"^", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "ß", "´"};
        static const char *const r2[] = {"Q", "W", "E", "R", "T", "Z", "U", "I", "O", "P", "Ü", "+"};
        static const char *const r3[] = {"A", "S", "D", "F", "G", "H", "J", "K", "L", "Ö", "Ä", "#"};
        static const char *const r4[] = {"<", "Y", "X", "C", "V", "B", "N", "M", ",", ".", "-"};
        rows << (chars(r1, 13) << KeyDef{"delete", "⌫", nullptr, 2});
        rows << (QList<KeyDef>{{"tab", "⇥", nullptr, 1.5}} << chars(r2, 12)
                                                           << KeyDef{"sp1", "", nullptr, 1.5});
        rows << (QList<KeyDef>{{"caps", "⇪", nullptr, 1.75}} << chars(r3, 12)
                                                             << KeyDef{"return", "↩", nullptr, 1.5});
        KeyDef left = shiftKey, right = shiftKey;
        left.width = 1.25;
        right.width = 2.5;
        rows << (QList<KeyDef>{left} << chars(r4, 11) << right);
    } else {
        static const char *const r1[] = {"`", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "-", "="};
        static const char *const r2[] = {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "[", "]", "\\"};
        static const char *const r3[] = {"A", "S", "D", "F", "G", "H", "J", "K", "L", ";", "'"};
        static const char *const r4[] = {"Z", "X", "C", "V", "B", "N", "M", ",", ".", "/"};
        rows << (chars(r1, 13) << KeyDef{"delete", "⌫", nullptr, 2});
        rows << (QList<KeyDef>{{"tab", "⇥", nullptr, 1.5}} << chars(r2, 13));
        rows << (QList<KeyDef>{{"caps", "⇪", nullptr, 1.75}} << chars(r3, 11)
                                                             << KeyDef{"return", "↩", nullptr, 2.25});
        KeyDef left = shiftKey, right = shiftKey;
        left.width = 2.25;
        right.width = 2.75;
        rows << (QList<KeyDef>{left} << chars(r4, 10) << right);
    }
    rows << QList<KeyDef>{{"fn", "fn", nullptr, 1, 0.8},
                          {"ctrl", "⌃", "control", 1.1},
                          {"opt", "⌥", K("wahl"), 1.1},
                          {"cmd", "⌘", K("befehl"), 1.4},
                          {"space", "", nullptr, 4.6},
                          {"cmd", "⌘", K("befehl"), 1.4},
                          {"opt", "⌥", K("wahl"), 1.1},
                          {"←", "←"},
                          {"↑", "↑"},
                          {"↓", "↓"},
                          {"→", "→"}};
    return rows;
}

// Thai vowel and tone marks sit on a dotted circle so that they show on their own.
bool combining(const QString &s) {
    static const QString marks = QStringLiteral("\u0E38\u0E36\u0E31\u0E35\u0E33\u0E49\u0E48\u0E34\u0E37");
    return s.size() == 1 && marks.contains(s[0]);
}

double keyHeight(const KeyboardGraphic::Key &k) {
    if (k.isSpacer()) return unit * 0.9;
    return k.fontScale < 1 && k.id != QLatin1String("fn") ? unit * 0.7 : unit * 0.9;
}

QFont sized(QFont f, double pixels, QFont::Weight weight = QFont::Normal) {
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setWeight(weight);
    return f;
}

} // namespace

bool KeyboardGraphic::Key::isSpacer() const {
    if (id.size() < 3 || !id.startsWith(QLatin1String("sp"))) return false;
    for (qsizetype i = 2; i < id.size(); ++i)
        if (!id[i].isDigit()) return false;
    return true;
}

double KeyboardGraphic::Key::subSize(KbLayout layout) const {
    return layout == KbLayout::th && id.size() == 1 ? 11 : 7;
}

QList<KeyboardGraphic::Key> KeyboardGraphic::keys(KbLayout layout) {
    QList<Key> out;
    const QList<QList<KeyDef>> rows = rowsOf(layout);
    double y = pad;
    for (int r = 0; r < rows.size(); ++r) {
        QList<Key> row;
        double rowHeight = 0;
        for (const KeyDef &s : rows[r]) {
            Key k;
            k.id = QString::fromUtf8(s.id);
            k.label = QString::fromUtf8(s.label);
            k.sub = s.sub ? QString::fromUtf8(s.sub) : QString();
            k.width = s.width;
            k.fontScale = s.fontScale;
            k.row = r;
            // The character keys of rows 1 to 4 carry their Thai letter.
            if (layout == KbLayout::th && r >= 1 && r <= 4 && k.id.size() == 1 && k.id == k.label) {
                const QString thai = KbLayouts::thai().value(k.id);
                if (!thai.isEmpty()) k.sub = combining(thai) ? QStringLiteral("◌") + thai : thai;
            }
            rowHeight = std::max(rowHeight, keyHeight(k));
            row << k;
        }
        double x = pad;
        for (Key &k : row) {
            const double w = k.isSpacer() ? unit * k.width : unit * k.width + gap * (k.width - 1);
            const double h = keyHeight(k);
            k.rect = QRectF(x, y + (rowHeight - h) / 2, w, h);
            x += w + gap;
        }
        out << row;
        y += rowHeight + gap;
    }
    return out;
}

QSizeF KeyboardGraphic::naturalSize() {
    double right = 0, bottom = 0;
    for (const Key &k : keys(KbLayout::us)) {
        right = std::max(right, k.rect.right());
        bottom = std::max(bottom, k.rect.bottom());
    }
    return {right + pad, bottom + pad};
}

KeyboardGraphic::KeyboardGraphic(QWidget *parent) : KeyboardGraphic({}, KbLayout::us, parent) {}

KeyboardGraphic::KeyboardGraphic(const QSet<QString> &lit, KbLayout layout, QWidget *parent)
    : QWidget(parent), m_lit(lit), m_before(lit), m_layout(layout) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    m_animation = new QVariantAnimation(this);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(120);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(m_animation, &QVariantAnimation::finished, this, [this] { m_before = m_lit; });
    EnvironmentValues::follow(this, [this] { update(); });
}

void KeyboardGraphic::setLit(const QSet<QString> &lit) {
    if (lit == m_lit) return;
    m_animation->stop();
    m_before = m_lit;
    m_lit = lit;
    m_animation->start();
    update();
}

void KeyboardGraphic::setKeyboardLayout(KbLayout layout) {
    if (layout == m_layout) return;
    m_layout = layout;
    update();
}

double KeyboardGraphic::litAmount(const QString &id) const {
    const bool now = m_lit.contains(id);
    const bool before = m_before.contains(id);
    if (now == before || m_animation->state() != QAbstractAnimation::Running) return now ? 1 : 0;
    const double t = m_animation->currentValue().toDouble();
    return now ? t : 1 - t;
}

double KeyboardGraphic::drawScale() const {
    return std::min(1.0, width() / naturalSize().width());
}

QSize KeyboardGraphic::sizeHint() const {
    return naturalSize().toSize() + QSize(1, 1);
}

QSize KeyboardGraphic::minimumSizeHint() const {
    return {240, heightForWidth(240)};
}

int KeyboardGraphic::heightForWidth(int w) const {
    const QSizeF n = naturalSize();
    return int(std::ceil(n.height() * std::min(1.0, w / n.width())));
}

void KeyboardGraphic::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const double s = drawScale();
    p.scale(s, s);
    QColor plate = palette().color(QPalette::WindowText);
    plate.setAlphaF(0.05);
    QPainterPath platePath;
    platePath.addRoundedRect(QRectF(QPointF(0, 0), naturalSize()), 12, 12);
    p.fillPath(platePath, plate);
    const AppTheme theme = EnvironmentValues::appTheme(this);
    for (const Key &k : keys(m_layout)) {
        if (k.isSpacer()) continue;
        p.save();
        paintKey(p, k, litAmount(k.id), theme);
        p.restore();
    }
}

void KeyboardGraphic::paintKey(QPainter &p, const Key &k, double amount, const AppTheme &theme) const {
    const QColor primary = palette().color(QPalette::WindowText);
    const QRectF r = k.rect;
    if (amount > 0) {
        // Lit keys grow a little about their centre and glow in the theme's first colour.
        const double grow = 1 + 0.04 * amount;
        const QPointF c = r.center();
        p.translate(c);
        p.scale(grow, grow);
        p.translate(-c);
        for (int i = 4; i >= 1; --i) {
            QColor glow = theme.a;
            glow.setAlphaF(0.5 * amount * (5 - i) / 10.0);
            QPainterPath halo;
            halo.addRoundedRect(r.adjusted(-i, -i, i, i), 6 + i, 6 + i);
            p.fillPath(halo, glow);
        }
    }
    QPainterPath shape;
    shape.addRoundedRect(r, 6, 6);
    p.fillPath(shape, palette().color(QPalette::Base));
    if (amount > 0) {
        p.setOpacity(amount);
        p.fillPath(shape, theme.gradient(r));
        p.setOpacity(1);
    }
    QColor border = primary;
    border.setAlphaF(0.18 * (1 - amount));
    if (border.alphaF() > 0) {
        p.setPen(QPen(border, 1));
        QPainterPath inner;
        inner.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
        p.drawPath(inner);
    }
    p.setPen(amount >= 0.5 ? theme.onAccent() : primary);
    paintLabels(p, k);
}

void KeyboardGraphic::paintLabels(QPainter &p, const Key &k) const {
    const QRectF r = k.rect;
    const QFont labelFont = sized(font(), 14 * k.fontScale, QFont::Medium);
    const QFontMetricsF lm(labelFont);
    const QString sub = k.sub.isEmpty() ? QString() : L(k.sub);
    QFont subFont = sized(font(), k.subSize(m_layout));
    const QFontMetricsF sm(subFont);
    const double labelHeight = k.label.isEmpty() ? 0 : lm.height();
    const double subHeight = sub.isEmpty() ? 0 : sm.height();
    double y = r.center().y() - (labelHeight + subHeight) / 2;
    if (labelHeight > 0) {
        p.setFont(labelFont);
        p.drawText(QRectF(r.left(), y, r.width(), labelHeight), Qt::AlignCenter, k.label);
        y += labelHeight;
    }
    if (subHeight > 0) {
        p.setFont(subFont);
        p.drawText(QRectF(r.left() - 4, y, r.width() + 8, subHeight), Qt::AlignCenter, sub);
    }
}
