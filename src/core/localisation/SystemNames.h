#pragma once

#include <QString>
#include <optional>

namespace SystemNames {
// The name of a well-known folder in the interface language, or nothing for any other path.
std::optional<QString> name(const QString &path);
// The folder key of a well-known folder ("Desktop", "Library" …), or nothing.
std::optional<QString> folderKey(const QString &path);
// Forgets the known-folder table so it is built again from the current home (tests only).
void resetForTests();
} // namespace SystemNames

// The display name of a path: a well-known folder's localised name, else the last path component
// ("/" for the root). Callable from any thread.
QString localName(const QString &path);
