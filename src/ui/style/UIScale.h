#pragma once

#include <cmath>

// The interface's base font size and the sizes derived from it, in device-independent pixels.
struct UIScale {
    double font = 13;
    bool finderFolders = true; // false: folders drawn as the theme-coloured symbol

    bool operator==(const UIScale &) const = default;

    // Secondary text: labels, captions, bar buttons.
    double small() const { return font - 1.5 <= 10 ? 10 : font - 1.5; }
    // Height of a list row and edge of a list icon; std::round rounds halves away from zero.
    double row() const { return std::round(font * 1.85); }
    double icon() const { return std::round(font * 1.4); }
};
