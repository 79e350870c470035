#include "ui/style/DesktopAppIcon.h"

#include "core/model/OpenWithApp.h"
#include "ui/style/Symbols.h"

#include <QFileInfo>

QIcon desktopAppIcon(const QString &iconField) {
    QIcon icon;
    if (iconField.startsWith(u'/')) {
        if (QFileInfo(iconField).isFile()) icon = QIcon(iconField);
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
