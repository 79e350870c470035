#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Unmounting and ejecting a volume through GIO (the desktop's volume monitor).
namespace Eject {

// Ejects the drive of the volume mounted at mountPoint when it can be ejected, else unmounts it.
// Blocks until done: call it off the main thread. Nothing on success, else the system's reason.
std::optional<QString> unmountAndEject(const QByteArray &mountPoint);

} // namespace Eject
