#pragma once

// Where the items we moved to a Trash came from, so that they can be put back.
// Kept in the settings under "trashOrigins"; safe from any thread.

#include <QString>

#include <optional>

namespace TrashMemory {

constexpr int limit = 3000;

void remember(const QString &original, const QString &inTrash);
std::optional<QString> origin(const QString &inTrash);
void forget(const QString &inTrash);

} // namespace TrashMemory
