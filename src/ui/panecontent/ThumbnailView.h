#pragma once

#include "core/model/FileItem.h"
#include "ui/panecontent/Thumbs.h"
#include "ui/style/AppTheme.h"
#include "ui/style/UIScale.h"

#include <QImage>
#include <QRectF>
#include <QWidget>

#include <optional>

class QPainter;

// The picture of an item at a square size: its thumbnail once loaded, else its icon, with a soft shadow.
// Delegates call paint() with the image they hold; the widget below does the same for a single item.
namespace ThumbnailPicture {
inline constexpr double glyphScale = 0.8;
// thumb may be null: the icon is drawn in its place.
void paint(QPainter *painter, const QRectF &rect, const FileItem &item, const QImage &thumb,
           const AppTheme &theme, const UIScale &ui);
} // namespace ThumbnailPicture

// One item's picture that loads its thumbnail in the background (preview column, inspector, Get Info).
// A new item starts a new load; a result for an earlier item or file version is dropped.
class ThumbnailView : public QWidget {
    Q_OBJECT
public:
    explicit ThumbnailView(double size = 64, QWidget *parent = nullptr);

    void setItem(const std::optional<FileItem> &item);
    const std::optional<FileItem> &item() const { return m_item; }
    void setEdge(double size);
    double edge() const { return m_size; }
    // The thumbnail shown now (null while loading or when the file has none).
    const QImage &image() const { return m_image; }

    QSize sizeHint() const override;

signals:
    // A thumbnail arrived for the current item.
    void imageChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void load();
    std::optional<FileItem> m_item;
    std::optional<Thumbs::Key> m_key;
    double m_size;
    QImage m_image;
};
