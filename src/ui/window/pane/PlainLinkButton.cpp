#include "ui/window/pane/PlainLinkButton.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QPainter>

#include <algorithm>

PlainLinkButton::PlainLinkButton(const QString &text, QWidget *parent) : LinkButton({}, parent) {
    setPlainText(text);
}

void PlainLinkButton::setPlainText(const QString &text) {
    m_text = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void PlainLinkButton::setLabelAlignment(Qt::Alignment align) {
    m_align = align;
    update();
}

QSize PlainLinkButton::sizeHint() const {
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(m_text) + 2 * LinkButtonStyle::padX, fm.height());
}

void PlainLinkButton::paintLabel(QPainter &p, const QRectF &r, const QColor &fg) {
    p.setFont(font());
    p.setPen(fg);
    const QRectF inner = r.adjusted(LinkButtonStyle::padX, 0, -LinkButtonStyle::padX, 0);
    // Shortened rather than cut where the room is smaller than the text.
    // (elidedText alone would also shorten a text that fits but for a fraction of a pixel)
    const int room = qMax(0, int(inner.width()));
    const QString text = p.fontMetrics().horizontalAdvance(m_text) <= room
                             ? m_text
                             : p.fontMetrics().elidedText(m_text, Qt::ElideRight, room);
    p.drawText(inner, int(m_align | Qt::AlignVCenter) | Qt::TextSingleLine, text);
}

void PlainLinkButton::setDropTarget(std::function<FolderDropTarget()> make) {
    m_makeDrop = std::move(make);
    setAcceptDrops(bool(m_makeDrop));
}

ButtonLook PlainLinkButton::look() const {
    ButtonLook l = LinkButton::look();
    if (m_dropTargeted) {
        // As a folder row that takes a drop: tinted, with the theme's border.
        l.fill = ButtonLook::Fill::primary;
        l.fillOpacity = std::max(l.fillOpacity, 0.08);
        l.border = true;
    }
    return l;
}

FolderDropTarget PlainLinkButton::dropTarget() {
    FolderDropTarget t = m_makeDrop ? m_makeDrop() : FolderDropTarget{};
    // Called back before the target's call returns.
    t.targeted = [this](bool on) { setDropTargeted(on); };
    return t;
}

void PlainLinkButton::setDropTargeted(bool on) {
    if (on == m_dropTargeted) return;
    m_dropTargeted = on;
    update();
}

void PlainLinkButton::dragEnterEvent(QDragEnterEvent *event) {
    dragMoveEvent(event);
}

void PlainLinkButton::dragMoveEvent(QDragMoveEvent *event) {
    const FolderDropTarget t = dropTarget();
    if (!t.perform || !t.dragMove(event)) {
        event->ignore();
        setDropTargeted(false);
    }
}

void PlainLinkButton::dragLeaveEvent(QDragLeaveEvent *) {
    dropTarget().dragLeave();
}

void PlainLinkButton::dropEvent(QDropEvent *event) {
    const FolderDropTarget t = dropTarget();
    if (!t.perform) {
        event->ignore();
        setDropTargeted(false);
        return;
    }
    if (t.drop(event)) emit dropped();
}
