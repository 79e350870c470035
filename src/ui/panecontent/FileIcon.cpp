#include "ui/panecontent/FileIcon.h"

#include "ui/panecontent/IconCache.h"
#include "ui/panecontent/TagDots.h"
#include "ui/style/Symbols.h"

#include <QHash>
#include <QPainter>

#include <cmath>

namespace FileIcon {

namespace {

struct GlyphKey {
    QString theme;
    int tint; // 0: theme gradient
    int px;
    int dpr;
    bool operator==(const GlyphKey &) const = default;
};

size_t qHash(const GlyphKey &k, size_t seed = 0) {
    return qHashMulti(seed, k.theme, k.tint, k.px, k.dpr);
}

int pixels(double edge) {
    if (!std::isfinite(edge) || edge < 1) return 0;
    return int(std::lround(std::min(edge, 4096.0)));
}

} // namespace

Choice choose(const FileItem &item, const UIScale &ui) {
    if (item.isDirectory && !ui.finderFolders && !item.iconPath()) return Choice::themeGlyph;
    if (item.iconPath()) return Choice::appFolder;
    if (item.isDirectory && item.folderTint()) return Choice::tintedFolder;
    return Choice::typeIcon;
}

QPixmap image(const FileItem &item, const UIScale &ui, int px, qreal dpr) {
    switch (choose(item, ui)) {
    case Choice::themeGlyph:
        return {};
    case Choice::appFolder:
        return IconCache::appFolderPixmap(*item.iconPath(), px, dpr);
    case Choice::tintedFolder:
        return IconCache::tintedFolderPixmap(item, *item.folderTint(), px, dpr);
    case Choice::typeIcon:
        break;
    }
    return IconCache::iconPixmap(item, px, dpr);
}

QPixmap glyph(const AppTheme &theme, std::optional<int> tint, int px, qreal dpr) {
    if (px <= 0 || !(dpr > 0)) return {};
    static QHash<GlyphKey, QPixmap> cache;
    const GlyphKey key{theme.id + theme.a.name() + theme.b.name(), tint.value_or(0), px,
                       int(dpr * 100 + 0.5)};
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    const QPixmap mask = Symbols::pixmap(QStringLiteral("folder.fill"), px, Qt::white, dpr);
    QPixmap out;
    if (!mask.isNull()) {
        QImage img = mask.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        const QRectF r(0, 0, img.width(), img.height());
        if (tint)
            p.fillRect(r, TagColors::color(*tint));
        else
            p.fillRect(r, theme.gradient(r, 1.0));
        p.end();
        img.setDevicePixelRatio(mask.devicePixelRatio());
        out = QPixmap::fromImage(img);
    }
    if (cache.size() > 512) cache.clear();
    cache.insert(key, out);
    return out;
}

void paint(QPainter *painter, const QRectF &rect, const FileItem &item, const AppTheme &theme,
           const UIScale &ui, double glyphShare) {
    const double edge = std::min(rect.width(), rect.height());
    if (!std::isfinite(edge) || edge < 1) return;
    const QRectF square(rect.center().x() - edge / 2, rect.center().y() - edge / 2, edge, edge);
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const bool isGlyph = choose(item, ui) == Choice::themeGlyph;
    const QPixmap pm = isGlyph ? glyph(theme, item.folderTint(), pixels(edge * glyphShare), dpr)
                               : image(item, ui, pixels(edge), dpr);
    if (pm.isNull()) return;
    QSizeF s = QSizeF(pm.size()) / pm.devicePixelRatio();
    // Images fill the square with their aspect kept; the glyph keeps its own share of it.
    if (!isGlyph) s.scale(edge, edge, Qt::KeepAspectRatio);
    const QRectF target(square.center().x() - s.width() / 2, square.center().y() - s.height() / 2, s.width(),
                        s.height());
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(target, pm, QRectF(pm.rect()));
    painter->restore();
}

} // namespace FileIcon
