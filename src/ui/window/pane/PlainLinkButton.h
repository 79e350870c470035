#pragma once

#include "ui/style/ButtonStyles.h"

// A link-styled button whose text is shown as it is: file names and texts already translated, never
// looked up again (a folder may be named like a German key) and never read as a mnemonic.
class PlainLinkButton : public LinkButton {
    Q_OBJECT
public:
    explicit PlainLinkButton(const QString &text = {}, QWidget *parent = nullptr);
    void setPlainText(const QString &text);
    QString plainText() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    void setLabelAlignment(Qt::Alignment align);

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;

private:
    QString m_text;
    Qt::Alignment m_align = Qt::AlignCenter;
};
