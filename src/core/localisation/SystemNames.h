#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <optional>

namespace SystemNames {
// The name in the interface language of a known folder whose name on disk is none to show (the Trash),
// or nothing: every other folder, the user folders included, goes by its name on disk.
std::optional<QString> name(const QString &path);
// The folder key of a well-known folder ("Desktop", "Library" …), or nothing.
std::optional<QString> folderKey(const QString &path);
// The user folders of $XDG_CONFIG_HOME/user-dirs.dirs, read as the desktop's own tools read it: lines
// XDG_<NAME>_DIR="$HOME/…" or "/…", a backslash taking the next character as it is. Gives folder key →
// path ("Pictures" → "/home/u/Bilder"); a folder set to the home itself maps to an empty path (switched
// off). Reads at most the first 64 KiB.
QHash<QString, QString> parseUserDirs(QByteArrayView text, const QString &home);
// Where the user keeps a desktop folder ("Desktop", "Documents", "Downloads", "Music", "Pictures",
// "Videos", "Public", "Templates"): from user-dirs.dirs, else the usual home + English name; nothing for a
// folder set to the home itself.
std::optional<QString> userDir(const QString &key);
// Forgets the known-folder table so it is built again from the current home (tests only).
void resetForTests();
} // namespace SystemNames

// The display name of a path: the Trash's name in the interface language, else the last path component
// ("/" for the root). Callable from any thread.
QString localName(const QString &path);
