#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The user's terminal program: $TERMINAL, else x-terminal-emulator, else the first installed of a known list.
namespace Terminal {

// The programs tried after $TERMINAL, in order.
QStringList knownTerminals();
// The executable to start, or nothing when no terminal is installed.
std::optional<QString> find();
// Starts the terminal with `folder` as its working folder; nothing on success, else the reason.
std::optional<QString> openIn(const QString &terminal, const QString &folder);

} // namespace Terminal
