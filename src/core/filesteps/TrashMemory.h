#pragma once

// Where the items we moved to a Trash came from, so that they can be put back.
// Kept in the settings under "trashOrigins"; safe from any thread.

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace TrashMemory {

constexpr int limit = 3000;

void remember(const QString &original, const QString &inTrash);
// The same for many items with one write of the settings: {original, inTrash} pairs in order.
void rememberAll(const QList<QPair<QString, QString>> &pairs);
std::optional<QString> origin(const QString &inTrash);
void forget(const QString &inTrash);

} // namespace TrashMemory
