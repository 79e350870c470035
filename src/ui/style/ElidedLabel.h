#pragma once

#include <QLabel>

// One line of plain text, shortened where it does not fit (in the middle for paths, so both ends stay
// readable). text() keeps the whole text, which screen readers and tooltips use.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(const QString &text = {}, QWidget *parent = nullptr,
                         Qt::TextElideMode mode = Qt::ElideMiddle);
    // What the label draws at its present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode m_mode;
};
