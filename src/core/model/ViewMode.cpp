#include "core/model/ViewMode.h"

#include "core/localisation/Lang.h"

QString rawValue(ViewMode m) {
    switch (m) {
    case ViewMode::icons:
        return QStringLiteral("icons");
    case ViewMode::list:
        return QStringLiteral("list");
    case ViewMode::columns:
        return QStringLiteral("columns");
    }
    return {};
}

std::optional<ViewMode> viewModeFromRaw(const QString &raw) {
    for (ViewMode m : ViewModes::allCases)
        if (rawValue(m) == raw) return m;
    return std::nullopt;
}

QString title(ViewMode m) {
    switch (m) {
    case ViewMode::icons:
        return L("Symbole");
    case ViewMode::list:
        return L("Liste");
    case ViewMode::columns:
        return L("Spalten");
    }
    return {};
}

QString symbol(ViewMode m) {
    switch (m) {
    case ViewMode::icons:
        return QStringLiteral("square.grid.2x2");
    case ViewMode::list:
        return QStringLiteral("list.bullet");
    case ViewMode::columns:
        return QStringLiteral("rectangle.split.3x1");
    }
    return {};
}
