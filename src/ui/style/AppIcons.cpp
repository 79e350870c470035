#include "ui/style/AppIcons.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The icon lives in a static library, so its resource must be registered by hand.
static void registerAppResource() {
    Q_INIT_RESOURCE(app);
}

namespace AppIcons {

QIcon appIcon() {
    static const QIcon made = [] {
        registerAppResource();
        QIcon icon;
        QSvgRenderer svg(QStringLiteral(":/app/kestrin.svg"));
        if (!svg.isValid()) return icon;
        // Drawn at each size rather than scaled, so the small ones stay sharp.
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            svg.render(&p);
            p.end();
            icon.addPixmap(pixmap);
        }
        return icon;
    }();
    return made;
}

void install() {
    if (qApp) QApplication::setWindowIcon(appIcon());
}

QIcon titleSymbolFrom(const QString &resource) {
    QImageReader reader(resource);
    const QImage image = reader.canRead() ? reader.read() : QImage();
    if (!image.isNull()) return QIcon(QPixmap::fromImage(image));
    const QIcon window = QApplication::windowIcon();
    return window.isNull() ? appIcon() : window;
}

QIcon titleSymbol() {
    static const QIcon made = titleSymbolFrom(QStringLiteral(":/TitleSymbol.png"));
    return made;
}

} // namespace AppIcons
