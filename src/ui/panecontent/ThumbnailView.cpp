#include "ui/panecontent/ThumbnailView.h"

#include "ui/panecontent/FileIcon.h"
#include "ui/style/EnvironmentValues.h"

#include <QCache>
#include <QPainter>

#include <cmath>

namespace {

// A soft shadow of an image's shape: its alpha, blurred by three box passes, tinted black.
QImage shadowOf(const QImage &source, int radius, double opacity) {
    const int w = source.width() + 2 * radius, h = source.height() + 2 * radius;
    std::vector<float> a(size_t(w) * h, 0.f), tmp(a.size());
    const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < src.width(); ++x)
            a[size_t(y + radius) * w + x + radius] = qAlpha(line[x]) / 255.f;
    }
    const int r = std::max(1, radius / 2);
    auto pass = [&](bool horizontal) {
        const int n = horizontal ? w : h, m = horizontal ? h : w;
        for (int j = 0; j < m; ++j) {
            auto at = [&](int i) -> float & {
                return horizontal ? a[size_t(j) * w + i] : a[size_t(i) * w + j];
            };
            auto out = [&](int i) -> float & {
                return horizontal ? tmp[size_t(j) * w + i] : tmp[size_t(i) * w + j];
            };
            float sum = 0;
            for (int i = -r; i <= r; ++i)
                sum += (i >= 0 && i < n) ? at(i) : 0.f;
            for (int i = 0; i < n; ++i) {
                out(i) = sum / float(2 * r + 1);
                const int add = i + r + 1, drop = i - r;
                if (add < n) sum += at(add);
                if (drop >= 0) sum -= at(drop);
            }
        }
        a.swap(tmp);
    };
    for (int k = 0; k < 3; ++k) {
        pass(true);
        pass(false);
    }
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(0, 0, 0, int(std::clamp(a[size_t(y) * w + x] * opacity, 0.0, 1.0) * 255 + 0.5));
    }
    return out;
}

// The picture scaled to the pixels it covers and its shadow, made once per picture and size.
struct Shadowed {
    QImage picture;
    QImage shadow;
};

Shadowed shadowed(const QImage &img, qint64 id, QSize px, int radius) {
    static QCache<QString, Shadowed> cache(32 * 1024 * 1024);
    const QString key = QString::number(id) + u'|' + QString::number(px.width()) + u'x' +
                        QString::number(px.height()) + u'|' + QString::number(radius);
    if (const Shadowed *hit = cache.object(key)) return *hit;
    Shadowed s;
    s.picture = img.size() == px ? img : img.scaled(px, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    s.shadow = shadowOf(s.picture, radius, 0.18);
    cache.insert(key, new Shadowed(s), std::max<qint64>(1, s.picture.sizeInBytes() + s.shadow.sizeInBytes()));
    return s;
}

void drawWithShadow(QPainter *p, const QRectF &target, const QImage &img, qint64 id) {
    const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    const QSize px = (target.size() * dpr).toSize().expandedTo(QSize(1, 1));
    const int radius = std::max(1, int(std::lround(3 * dpr)));
    const Shadowed s = shadowed(img, id, px, radius);
    p->save();
    p->setRenderHint(QPainter::SmoothPixmapTransform);
    // Black at 18 %, blurred by 3 points, one point down.
    const QRectF shadowRect(target.x() - radius / dpr, target.y() + 1 - radius / dpr, s.shadow.width() / dpr,
                            s.shadow.height() / dpr);
    p->drawImage(shadowRect, s.shadow);
    p->drawImage(target, s.picture);
    p->restore();
}

QRectF fitted(const QRectF &square, QSizeF s) {
    s.scale(square.size(), Qt::KeepAspectRatio);
    return QRectF(square.center().x() - s.width() / 2, square.center().y() - s.height() / 2, s.width(),
                  s.height());
}

} // namespace

namespace ThumbnailPicture {

void paint(QPainter *p, const QRectF &rect, const FileItem &item, const QImage &thumb, const AppTheme &theme,
           const UIScale &ui) {
    const double edge = std::min(rect.width(), rect.height());
    if (!std::isfinite(edge) || edge < 1) return;
    const QRectF square(rect.center().x() - edge / 2, rect.center().y() - edge / 2, edge, edge);
    if (FileIcon::choose(item, ui) == FileIcon::Choice::themeGlyph) {
        FileIcon::paint(p, square, item, theme, ui, glyphScale);
        return;
    }
    if (!thumb.isNull()) {
        drawWithShadow(p, fitted(square, thumb.size()), thumb, thumb.cacheKey());
        return;
    }
    const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    const QPixmap pm = FileIcon::image(item, ui, int(std::lround(std::min(edge, 4096.0))), dpr);
    if (pm.isNull()) return;
    const QImage img = pm.toImage();
    drawWithShadow(p, fitted(square, QSizeF(pm.size()) / pm.devicePixelRatio()), img, pm.cacheKey());
}

} // namespace ThumbnailPicture

ThumbnailView::ThumbnailView(double size, QWidget *parent) : QWidget(parent), m_size(size) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void ThumbnailView::setItem(const std::optional<FileItem> &item) {
    if (item == m_item) return;
    m_item = item;
    load();
    update();
}

void ThumbnailView::setEdge(double size) {
    if (size == m_size) return;
    m_size = size;
    updateGeometry();
    load();
    update();
}

QSize ThumbnailView::sizeHint() const {
    const int e = std::isfinite(m_size) && m_size > 0 ? int(std::ceil(std::min(m_size, 4096.0))) : 0;
    return QSize(e, e);
}

void ThumbnailView::load() {
    std::optional<Thumbs::Key> key;
    if (m_item && Thumbs::wanted(*m_item)) key = Thumbs::keyFor(*m_item, m_size);
    // Another item or a changed file never shows the earlier picture, not even while its own loads.
    if (key != m_key) {
        m_image = QImage();
        if (m_key) Thumbs::cancel(*m_key, this);
    }
    m_key = key;
    // Only a view on screen asks for its picture; showing it later starts the load.
    if (!m_key || !isVisible()) return;
    const QImage hit = Thumbs::request(*m_key, this, [this](const Thumbs::Key &key, const QImage &img) {
        // A result for an item or file version shown earlier is dropped.
        if (!m_key || key != *m_key) return;
        m_image = img;
        update();
        emit imageChanged();
    });
    if (!hit.isNull()) {
        m_image = hit;
        emit imageChanged();
    }
}

void ThumbnailView::showEvent(QShowEvent *) {
    load();
}

void ThumbnailView::hideEvent(QHideEvent *) {
    if (m_key && m_image.isNull()) Thumbs::cancel(*m_key, this);
}

void ThumbnailView::paintEvent(QPaintEvent *) {
    if (!m_item) return;
    QPainter p(this);
    ThumbnailPicture::paint(&p, rect(), *m_item, m_image, EnvironmentValues::appTheme(this),
                            EnvironmentValues::ui(this));
}
