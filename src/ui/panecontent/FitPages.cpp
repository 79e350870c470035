#include "ui/panecontent/FitPages.h"

#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kMargin = 12;
}

FitPages::FitPages(QWidget *parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
}

void FitPages::setPages(const QList<QImage> &pages) {
    m_pages = pages;
    verticalScrollBar()->setValue(0);
    updateRange();
    viewport()->update();
}

int FitPages::slotHeight() const {
    return std::max(1, viewport()->height());
}

void FitPages::updateRange() {
    const int total = slotHeight() * int(m_pages.size());
    verticalScrollBar()->setRange(0, std::max(0, total - viewport()->height()));
    verticalScrollBar()->setPageStep(slotHeight());
    verticalScrollBar()->setSingleStep(std::max(1, slotHeight() / 10));
}

QRect FitPages::pageRect(int i) const {
    if (i < 0 || i >= m_pages.size() || m_pages[i].isNull()) return {};
    const QRect slot(0, i * slotHeight() - verticalScrollBar()->value(), viewport()->width(), slotHeight());
    const QRect room = slot.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (room.isEmpty()) return {};
    const QSize shown = m_pages[i].size().scaled(room.size(), Qt::KeepAspectRatio);
    return QRect(QPoint(room.x() + (room.width() - shown.width()) / 2,
                        room.y() + (room.height() - shown.height()) / 2),
                 shown);
}

void FitPages::paintEvent(QPaintEvent *) {
    QPainter p(viewport());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < m_pages.size(); ++i) {
        const QRect r = pageRect(i);
        if (!r.intersects(viewport()->rect())) continue;
        p.fillRect(r, Qt::white);
        p.drawImage(r, m_pages[i]);
    }
}

void FitPages::resizeEvent(QResizeEvent *event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
}
