#pragma once

#include <QSettings>

// A QSettings file format that stores the settings as one XML property-list dictionary, keeping value types.
// Earlier builds kept their settings through QSettings in it; SettingsStore reads and writes the same.
namespace PlistFormat {
QSettings::Format format();
// The format's reader and writer themselves, for a store that reads and writes its file on its own. A
// device beyond Plist::kMaxBytes or holding no dictionary is unreadable; empty data reads as no values.
bool read(QIODevice &device, QSettings::SettingsMap &map);
bool write(QIODevice &device, const QSettings::SettingsMap &map);
} // namespace PlistFormat
