#pragma once

#include <QString>

#include <array>
#include <optional>

enum class ViewMode { icons, list, columns };

namespace ViewModes {
inline constexpr std::array<ViewMode, 3> allCases{ViewMode::icons, ViewMode::list, ViewMode::columns};
}

QString rawValue(ViewMode m);
std::optional<ViewMode> viewModeFromRaw(const QString &raw);
QString title(ViewMode m);
QString symbol(ViewMode m);
