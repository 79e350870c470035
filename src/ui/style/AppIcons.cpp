#include "ui/style/AppIcons.h"

#include <QApplication>
#include <QImageReader>
#include <QPixmap>

namespace AppIcons {

QIcon titleSymbolFrom(const QString &resource) {
    QImageReader reader(resource);
    const QImage image = reader.canRead() ? reader.read() : QImage();
    if (!image.isNull()) return QIcon(QPixmap::fromImage(image));
    return QApplication::windowIcon();
}

QIcon titleSymbol() {
    static const QIcon made = titleSymbolFrom(QStringLiteral(":/TitleSymbol.png"));
    return made;
}

} // namespace AppIcons
