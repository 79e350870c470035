#pragma once

#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionComboBox>

// The width a menu needs to show text whole, as the style lays it out.
inline int comboWidthFor(const QComboBox *combo, const QString &text) {
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    const QFontMetrics fm(combo->font());
    return combo->style()
        ->sizeFromContents(QStyle::CT_ComboBox, &opt, QSize(fm.horizontalAdvance(text), fm.height()), combo)
        .width();
}
