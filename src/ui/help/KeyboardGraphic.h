#pragma once

#include "core/help/KbLayout.h"

#include <QList>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QWidget>

class QPainter;
class QVariantAnimation;
struct AppTheme;

// A drawn keyboard (function row, four character rows, bottom row with arrows) in one layout, with the
// keys whose identifiers are in the lit set highlighted. Display only. It draws at its natural size and
// shrinks as a whole when it gets less width, keeping its proportions (height follows width).
class KeyboardGraphic : public QWidget {
    Q_OBJECT
public:
    explicit KeyboardGraphic(QWidget *parent = nullptr);
    KeyboardGraphic(const QSet<QString> &lit, KbLayout layout, QWidget *parent = nullptr);

    // Key-cap identifiers as KeyMap::ids gives them ("cmd", "shift", "C", "["); unknown ones light nothing.
    void setLit(const QSet<QString> &lit);
    QSet<QString> lit() const { return m_lit; }
    // Expected resolved; the automatic choice draws like us without Thai labels.
    void setKeyboardLayout(KbLayout layout);
    KbLayout keyboardLayout() const { return m_layout; }

    // One drawn key, in the widget's natural (unscaled) coordinates.
    struct Key {
        QString id; // a spacer's is "sp" and a number
        QString label;
        QString sub;          // empty: no second line; shown through L
        double width = 1;     // in key units
        double fontScale = 1; // on the 14-pixel label
        int row = 0;
        QRectF rect;
        // "sp" and a number only: the space bar ("space") is a key like any other.
        bool isSpacer() const;
        // Pixel size of the second line: the Thai character labels are larger.
        double subSize(KbLayout layout) const;
    };
    // The keys of the layout, row by row, placed at natural size.
    static QList<Key> keys(KbLayout layout);
    static QSizeF naturalSize();
    // Factor by which the drawing is shrunk at the widget's current width (at most 1).
    double drawScale() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // One key, lit by amount (0 to 1): glow, cap, border and labels.
    void paintKey(QPainter &p, const Key &k, double amount, const AppTheme &theme) const;
    void paintLabels(QPainter &p, const Key &k) const;
    // How far a key has grown into its lit state, 0 to 1.
    double litAmount(const QString &id) const;

    QSet<QString> m_lit;
    QSet<QString> m_before; // the lit set the running animation started from
    KbLayout m_layout = KbLayout::us;
    QVariantAnimation *m_animation = nullptr;
};
