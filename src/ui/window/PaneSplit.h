#pragma once

#include "core/model/Side.h"

// The widths of the two panes in a pane area of `area` pixels with the 7-pixel split handle between them.
struct PaneWidths {
    int left = 0;
    int right = 0;
    bool operator==(const PaneWidths &) const = default;
};

namespace PaneSplit {
inline constexpr int handleWidth = 7;
inline constexpr int paneMinimum = 260;

// The left pane gets its share of the area but at least 260 pixels, and leaves the right pane 260 where
// the area allows. Where it doesn't (under 527 pixels), neither pane is wider than the area and the
// active pane keeps what it can, so it never disappears.
PaneWidths widths(int area, double fraction, Side active);
} // namespace PaneSplit
