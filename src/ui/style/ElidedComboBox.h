#pragma once

#include <QComboBox>

class QStyleOptionComboBox;

// A menu that shows its choice shortened with "…" where it is narrower than the choice, rather than cut
// off; the open list shows every entry whole.
class ElidedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    // What the menu draws at its present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString shortened(const QStyleOptionComboBox &option) const;
};
