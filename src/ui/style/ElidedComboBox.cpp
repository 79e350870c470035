#include "ui/style/ElidedComboBox.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

QString ElidedComboBox::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return shortened(option);
}

QString ElidedComboBox::shortened(const QStyleOptionComboBox &option) const {
    // The room the style gives the label: its field, less the icon and a pixel on either side.
    int room =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width() - 2;
    if (!option.currentIcon.isNull()) room -= option.iconSize.width() + 4;
    const QFontMetrics fm = fontMetrics();
    // (elidedText alone would also shorten a text that fits but for a fraction of a pixel)
    if (fm.horizontalAdvance(option.currentText) <= room) return option.currentText;
    return fm.elidedText(option.currentText, Qt::ElideRight, std::max(0, room));
}

void ElidedComboBox::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (!isEditable()) option.currentText = shortened(option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
