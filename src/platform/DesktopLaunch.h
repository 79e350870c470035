#pragma once

#include <QString>
#include <optional>

// Starting the program a desktop entry (.desktop file) describes, through GIO.
namespace DesktopLaunch {
// Whether the path names a desktop entry by its name (a regular file ending in ".desktop").
bool isDesktopEntry(const QString &path);
// Launches the entry's program; nothing on success, else why not. Anything that is no valid desktop
// entry is refused, never run.
std::optional<QString> launch(const QString &path);
} // namespace DesktopLaunch
