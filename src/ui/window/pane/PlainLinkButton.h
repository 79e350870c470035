#pragma once

#include "ui/panecontent/FolderDropTarget.h"
#include "ui/style/ButtonStyles.h"

#include <functional>

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
    // Files dropped onto the button go where the target made by make says; it lights up while they hover.
    void setDropTarget(std::function<FolderDropTarget()> make);
    bool isDropTargeted() const { return m_dropTargeted; }
    ButtonLook look() const override;

signals:
    // Files were dropped onto the button.
    void dropped();

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    FolderDropTarget dropTarget();
    void setDropTargeted(bool on);
    std::function<FolderDropTarget()> m_makeDrop;
    bool m_dropTargeted = false;
    QString m_text;
    Qt::Alignment m_align = Qt::AlignCenter;
};
