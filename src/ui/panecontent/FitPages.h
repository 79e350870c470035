#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QList>

// The pages of a document one below the other, each fitted whole into the visible area (a page is as high
// as the area or as wide, whichever comes first), on white paper; the area scrolls from page to page.
class FitPages : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit FitPages(QWidget *parent = nullptr);

    void setPages(const QList<QImage> &pages);
    int pageCount() const { return int(m_pages.size()); }
    // Where page i is drawn, in the coordinates of the visible area.
    QRect pageRect(int i) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void scrollContentsBy(int, int) override { viewport()->update(); }

private:
    int slotHeight() const;
    void updateRange();

    QList<QImage> m_pages;
};
