#pragma once

#include <QString>

enum class Side { left, right };

inline Side other(Side s) {
    return s == Side::left ? Side::right : Side::left;
}

// Per-side settings keys end in ".left" or ".right".
inline QString rawValue(Side s) {
    return s == Side::left ? QStringLiteral("left") : QStringLiteral("right");
}
