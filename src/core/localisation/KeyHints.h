#pragma once

#include "core/localisation/AppLanguage.h"

#include <QString>

namespace KeyHints {
// Writes macOS key glyphs (⌘ ⌥ ⇧ ⌃ ⌫ …) with the Linux key names of the language: "⌘⇧N" becomes
// "Strg+Umschalt+N" in German and "Ctrl+Shift+N" elsewhere. Text without glyphs comes back as it is.
QString linuxize(const QString &text, AppLanguage lang);
} // namespace KeyHints
