#include "ui/window/PaneSplit.h"

#include <algorithm>
#include <cmath>

namespace PaneSplit {

PaneWidths widths(int area, double fraction, Side active) {
    const int avail = std::max(area - handleWidth, 0);
    if (avail >= 2 * paneMinimum) {
        const int wanted = int(std::lround(avail * fraction));
        const int left = std::min(std::max(wanted, paneMinimum), avail - paneMinimum);
        return {left, avail - left};
    }
    const int kept = std::min(paneMinimum, avail);
    return active == Side::left ? PaneWidths{kept, avail - kept} : PaneWidths{avail - kept, kept};
}

} // namespace PaneSplit
