#pragma once

#include <QKeySequence>

// What the command groups share to write their keys briefly.
namespace CommandKeys {
inline constexpr Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
inline constexpr Qt::KeyboardModifiers shift = Qt::ShiftModifier;
inline constexpr Qt::KeyboardModifiers alt = Qt::AltModifier;

inline QKeySequence keys(QKeyCombination combination) {
    return QKeySequence(combination);
}
} // namespace CommandKeys
