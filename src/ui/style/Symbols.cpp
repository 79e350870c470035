#include "ui/style/Symbols.h"

#include <QFile>
#include <QHash>
#include <QPainter>

// The bundled SVGs live in a static library, so their resource must be registered by hand.
static void registerBundledIcons() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(done);
}

namespace Symbols {

void registerBundled() {
    registerBundledIcons();
}

namespace {

struct Entry {
    const char *symbol;
    const char *theme;
};

// One table from symbol names to freedesktop icon names; "" where the naming has none.
constexpr Entry table[] = {
    {"archivebox", "package-x-generic"},
    {"arrow.clockwise", "view-refresh"},
    {"arrow.counterclockwise", "edit-undo"},
    {"arrow.down.circle", "go-down"},
    {"arrow.left", "go-previous"},
    {"arrow.left.circle", "go-previous"},
    {"arrow.left.square", "go-previous"},
    {"arrow.right", "go-next"},
    {"arrow.right.circle", "go-next"},
    {"arrow.right.square", "go-next"},
    {"arrow.right.to.line", "go-last"},
    {"arrow.triangle.2.circlepath", "view-refresh"},
    {"arrow.turn.up.right", "emblem-symbolic-link"},
    {"arrow.up", "go-up"},
    {"arrow.up.arrow.down", "view-sort-ascending"},
    {"arrow.up.bin", "edit-undo"},
    {"arrow.up.forward.app", "document-open"},
    {"arrow.uturn.backward", "edit-undo"},
    {"book", "help-contents"},
    {"chart.pie", "drive-harddisk"},
    {"checkmark", "object-select"},
    {"checkmark.circle", "object-select"},
    {"checkmark.circle.fill", "object-select"},
    {"chevron.down", "go-down"},
    {"chevron.left", "go-previous"},
    {"chevron.right", "go-next"},
    {"chevron.right.2", "go-last"},
    {"chevron.up", "go-up"},
    {"cloud", "folder-remote"},
    {"doc", "text-x-generic"},
    {"doc.badge.plus", "document-new"},
    {"doc.on.clipboard", "edit-paste"},
    {"doc.on.doc", "edit-copy"},
    {"eject.fill", "media-eject"},
    {"eject", "media-eject"},
    {"film", "video-x-generic"},
    {"menubar.dock.rectangle", "user-desktop"},
    {"menubar.rectangle", ""},
    {"photo", "image-x-generic"},
    {"ellipsis.circle", "view-more"},
    {"exclamationmark.circle.fill", ""},
    {"exclamationmark.triangle.fill", "dialog-warning"},
    {"externaldrive", "drive-removable-media"},
    {"eye", "view-reveal"},
    {"eye.slash", "view-conceal"},
    {"folder", "folder"},
    {"folder.badge.plus", "folder-new"},
    {"folder.fill", "folder"},
    {"gearshape", "preferences-system"},
    {"globe", "applications-internet"},
    {"house", "user-home"},
    {"icloud", "folder-remote"},
    {"info.circle", "dialog-information"},
    {"internaldrive", "drive-harddisk"},
    {"keyboard", "input-keyboard"},
    {"line.3.horizontal.decrease.circle", "view-filter"},
    {"line.3.horizontal.decrease.circle.fill", "view-filter"},
    {"link", "insert-link"},
    {"list.bullet", "view-list"},
    {"lock.fill", "changes-prevent"},
    {"magnifyingglass", "edit-find"},
    {"minus", "list-remove"},
    {"minus.circle", "list-remove"},
    {"music.note", "audio-x-generic"},
    {"paintpalette", ""},
    {"pencil", "document-edit"},
    {"plus", "list-add"},
    {"plus.app", ""},
    {"plus.square.on.square", "edit-copy"},
    {"questionmark.circle", "help-browser"},
    {"rectangle.lefthalf.inset.filled", ""},
    {"rectangle.righthalf.inset.filled", ""},
    {"rectangle.split.2x1", ""},
    {"rectangle.split.2x1.fill", ""},
    {"rectangle.split.3x1", ""},
    {"scissors", "edit-cut"},
    {"sidebar.left", ""},
    {"sidebar.right", ""},
    {"square.and.arrow.up", "document-send"},
    {"square.and.arrow.up.on.square", "document-open"},
    {"square.grid.2x2", "view-grid"},
    {"square.stack.3d.up", ""},
    {"square.on.square", "edit-copy"},
    {"star", "non-starred"},
    {"star.fill", "starred"},
    {"star.slash", "non-starred"},
    {"tag", ""},
    {"terminal", "utilities-terminal"},
    {"trash", "user-trash"},
    {"trash.slash", ""},
    {"xmark", "window-close"},
    {"xmark.circle.fill", "edit-clear"},
};

const QHash<QString, QString> &names() {
    static const QHash<QString, QString> map = [] {
        QHash<QString, QString> m;
        for (const Entry &e : table)
            m.insert(QString::fromLatin1(e.symbol), QString::fromLatin1(e.theme));
        return m;
    }();
    return map;
}

} // namespace

QStringList known() {
    QStringList out;
    for (const Entry &e : table)
        out << QString::fromLatin1(e.symbol);
    return out;
}

QString themeName(const QString &symbol) {
    return names().value(symbol);
}

QString bundledPath(const QString &symbol) {
    registerBundledIcons();
    const QString path = QStringLiteral(":/icons/%1.svg").arg(symbol);
    return QFile::exists(path) ? path : QString();
}

QIcon icon(const QString &symbol) {
    const QString name = themeName(symbol);
    if (!name.isEmpty()) {
        // Symbolic variants are single-coloured, which suits tinting.
        QIcon themed = QIcon::fromTheme(name + QStringLiteral("-symbolic"));
        if (themed.isNull()) themed = QIcon::fromTheme(name);
        if (!themed.isNull()) return themed;
    }
    const QString bundled = bundledPath(symbol);
    return bundled.isEmpty() ? QIcon() : QIcon(bundled);
}

QPixmap pixmap(const QString &symbol, int px, const QColor &color, qreal dpr) {
    if (px <= 0 || symbol.isEmpty()) return {};
    const QString cacheKey = QStringLiteral("%1|%2|%3|%4").arg(symbol).arg(px).arg(color.rgba()).arg(dpr);
    static QHash<QString, QPixmap> cache;
    if (auto it = cache.constFind(cacheKey); it != cache.constEnd()) return *it;
    const QIcon ic = icon(symbol);
    QPixmap out;
    if (!ic.isNull()) {
        QImage img =
            ic.pixmap(QSize(px, px), dpr).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!img.isNull()) {
            // Keep the icon's shape, paint it in the requested colour.
            QPainter p(&img);
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(img.rect(), color);
            p.end();
            out = QPixmap::fromImage(img);
        }
    }
    cache.insert(cacheKey, out);
    return out;
}

} // namespace Symbols
