#include "platform/PlistFormat.h"

#include "platform/Plist.h"

#include <QIODevice>

namespace PlistFormat {

bool read(QIODevice &device, QSettings::SettingsMap &map) {
    // A file beyond the bound is unreadable without loading it whole.
    if (device.size() > Plist::kMaxBytes) return false;
    const QByteArray data = device.readAll();
    if (data.trimmed().isEmpty()) return true;
    const auto root = Plist::parse(data);
    if (!root || root->typeId() != QMetaType::QVariantMap) return false;
    const QVariantMap dict = root->toMap();
    for (auto it = dict.cbegin(); it != dict.cend(); ++it)
        map.insert(it.key(), it.value());
    return true;
}

bool write(QIODevice &device, const QSettings::SettingsMap &map) {
    QVariantMap dict;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        dict.insert(it.key(), it.value());
    const QByteArray xml = Plist::toXml(dict);
    return !xml.isEmpty() && device.write(xml) == xml.size();
}

QSettings::Format format() {
    static const QSettings::Format f = QSettings::registerFormat(QStringLiteral("plist"), read, write);
    return f;
}

} // namespace PlistFormat
