#pragma once

#include <QSettings>

// A QSettings file format that stores the settings as one XML property-list dictionary, keeping value types.
namespace PlistFormat {
QSettings::Format format();
}
