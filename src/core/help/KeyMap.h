#pragma once

#include "core/help/KbLayout.h"

#include <QSet>
#include <QStringList>
#include <Qt>

// Which key caps of the drawn keyboard light up: for the modifiers held and for the tokens of a written
// shortcut ("⌘", "⇧", "C", "["), on the layout drawn.
namespace KeyMap {

// Ctrl stands for ⌘, Alt for ⌥, Meta for ⌃ (the keys on Linux); there is no fn modifier to read.
QSet<QString> tokens(Qt::KeyboardModifiers modifiers);
// The key caps of one token in the order they are pressed, modifier first. Every layout but de takes the
// US positions.
QStringList ids(const QString &token, KbLayout layout);
QSet<QString> ids(const QStringList &tokens, KbLayout layout);

} // namespace KeyMap
