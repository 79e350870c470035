#pragma once

#include <QtGlobal>
#include <functional>

// Work on one large list split over a few threads.
namespace Spread {

// How much lower (in nice steps) the helper threads run than their caller.
constexpr int kLower = 5;

// Runs fn(from, to) over [0, n) in `parts` contiguous ranges and returns when all are done. With more than
// one part every range runs on a thread of its own that yields the processor to the rest of the program:
// a large folder must not keep the window waiting for a processor.
void run(qsizetype n, int parts, const std::function<void(qsizetype, qsizetype)> &fn);

} // namespace Spread
