#pragma once

// The user's base folders of the XDG Base Directory rules. A value that is no absolute path is invalid
// under those rules and is ignored as an unset one is: the default below the home folder is taken. Qt's
// own locations take a relative value as it stands, so every reader goes through here.

#include <QByteArray>
#include <QString>

namespace Xdg {

QString configHome(); // $XDG_CONFIG_HOME, else ~/.config
QString dataHome();   // $XDG_DATA_HOME, else ~/.local/share
QString stateHome();  // $XDG_STATE_HOME, else ~/.local/state
QString cacheHome();  // $XDG_CACHE_HOME, else ~/.cache

// The file: URI of an absolute path as GLib writes it, byte for byte (reserved characters such as "[" and
// "]" escaped), as the desktop's programs name the file, e.g. in the shared thumbnail cache. Empty for a
// path that is not absolute.
QByteArray fileUri(const QString &path);

} // namespace Xdg
