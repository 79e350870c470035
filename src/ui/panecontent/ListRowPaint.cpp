#include "ui/panecontent/ListRowPaint.h"

#include "core/model/Tags.h"

#include <QFileIconProvider>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

namespace {

QColor tagColor(int number) {
    switch (number) {
    case 1:
        return QColor(142, 142, 147);
    case 2:
        return QColor(52, 199, 89);
    case 3:
        return QColor(175, 82, 222);
    case 4:
        return QColor(0, 122, 255);
    case 5:
        return QColor(255, 204, 0);
    case 6:
        return QColor(255, 59, 48);
    case 7:
        return QColor(255, 149, 0);
    default:
        return {};
    }
}

QList<QColor> dotColors(const QStringList &tags) {
    QList<QColor> out;
    for (const QString &t : tags) {
        const QColor c = tagColor(FileOps::colorNumber(t));
        if (c.isValid() && out.size() < 3) out << c;
    }
    return out;
}

constexpr double dot = 8, overlap = 3;

} // namespace

namespace ListRowPaint {

void background(QPainter &p, const QRectF &rect, const AppTheme &theme, bool selected, bool hovering,
                bool targeted) {
    QPainterPath shape;
    shape.addRoundedRect(rect, 6, 6);
    if (selected || targeted)
        p.fillPath(shape, theme.gradient(rect, targeted ? 0.45 : 0.85));
    else if (hovering)
        p.fillPath(shape, QColor(127, 127, 127, 30));
}

double tagDotsWidth(const QStringList &tags) {
    const qsizetype n = tags.isEmpty() ? 0 : dotColors(tags).size();
    return n == 0 ? 0 : dot + (n - 1) * (dot - overlap);
}

double tagDots(QPainter &p, double x, double centerY, const QStringList &tags) {
    if (tags.isEmpty()) return 0;
    const QList<QColor> colors = dotColors(tags);
    double at = x;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (const QColor &c : colors) {
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(c);
        p.drawEllipse(QRectF(at, centerY - dot / 2, dot, dot));
        at += dot - overlap;
    }
    p.restore();
    return colors.isEmpty() ? 0 : at - x + overlap;
}

QPixmap icon(const FileItem &item, int px, qreal dpr) {
    // One icon per content type (by extension), so a large folder costs a few lookups only.
    static QHash<QString, QIcon> byKind;
    static QFileIconProvider provider;
    static const QMimeDatabase db;
    QString key;
    if (item.isDirectory)
        key = QStringLiteral("folder");
    else
        key = db.mimeTypeForFile(item.name, QMimeDatabase::MatchExtension).name();
    auto it = byKind.find(key);
    if (it == byKind.end()) {
        QIcon ic;
        if (item.isDirectory) {
            ic = provider.icon(QFileIconProvider::Folder);
        } else {
            const QMimeType mt = db.mimeTypeForName(key);
            ic = QIcon::fromTheme(mt.iconName(), QIcon::fromTheme(mt.genericIconName()));
            if (ic.isNull()) ic = provider.icon(QFileIconProvider::File);
        }
        it = byKind.insert(key, ic);
    }
    return it->pixmap(QSize(px, px), dpr);
}

} // namespace ListRowPaint
