#include "ui/style/DesktopAppIcon.h"

#include "core/model/OpenWithApp.h"
#include "platform/DisplayFile.h"
#include "platform/Posix.h"
#include "ui/style/Symbols.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

QImage iconPicture(const QString &path, int edge) {
    constexpr qint64 kBytes = 4 << 20;
    const Posix::DisplayFile file(path, true); // icons are often links into a theme
    if (!file.isOpen() || file.size() > kBytes) return {};
    QByteArray bytes = file.read(kBytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(64);
    const QSize size = reader.size();
    // Drawings are made at the full edge, pictures only ever made smaller.
    const bool vector = reader.format().startsWith("svg");
    if (size.isValid() && !size.isEmpty() && (vector || size.width() > edge || size.height() > edge))
        reader.setScaledSize(size.scaled(edge, edge, Qt::KeepAspectRatio));
    return reader.read();
}

QIcon desktopAppIcon(const QString &iconField) {
    QIcon icon;
    if (iconField.startsWith(u'/')) {
        const QImage image = iconPicture(iconField, 256);
        if (!image.isNull()) icon = QIcon(QPixmap::fromImage(image));
    } else if (!iconField.isEmpty() && !iconField.contains(u'/')) {
        icon = QIcon::fromTheme(iconField);
    }
    if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (icon.isNull()) icon = Symbols::icon(QStringLiteral("arrow.up.forward.app"));
    return icon;
}

QPixmap toolbarAppIcon(const QString &desktopFile, int size) {
    const auto app = OpenWithApp::of(desktopFile);
    return desktopAppIcon(app ? app->icon : QString()).pixmap(size, size);
}
