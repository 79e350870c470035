#pragma once

#include <QString>

#include <array>
#include <optional>

enum class SortKey { name, type, date, size, created, lastOpened };

namespace SortKeys {
inline constexpr std::array<SortKey, 6> allCases{SortKey::name, SortKey::type,    SortKey::date,
                                                 SortKey::size, SortKey::created, SortKey::lastOpened};
}

QString rawValue(SortKey k);
std::optional<SortKey> sortKeyFromRaw(const QString &raw);
QString title(SortKey k);
// Name and type list A to Z naturally; the others list the largest or newest first.
bool startsAscending(SortKey k);
