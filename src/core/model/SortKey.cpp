#include "core/model/SortKey.h"

#include "core/localisation/Lang.h"

QString rawValue(SortKey k) {
    switch (k) {
    case SortKey::name:
        return QStringLiteral("name");
    case SortKey::type:
        return QStringLiteral("type");
    case SortKey::date:
        return QStringLiteral("date");
    case SortKey::size:
        return QStringLiteral("size");
    case SortKey::created:
        return QStringLiteral("created");
    case SortKey::lastOpened:
        return QStringLiteral("lastOpened");
    }
    return {};
}

std::optional<SortKey> sortKeyFromRaw(const QString &raw) {
    for (SortKey k : SortKeys::allCases)
        if (rawValue(k) == raw) return k;
    return std::nullopt;
}

QString title(SortKey k) {
    switch (k) {
    case SortKey::name:
        return L("Name");
    case SortKey::type:
        return L("Typ");
    case SortKey::date:
        return L("Datum");
    case SortKey::size:
        return L("Größe");
    case SortKey::created:
        return L("Erstelldatum");
    case SortKey::lastOpened:
        return L("Zuletzt geöffnet");
    }
    return {};
}

bool startsAscending(SortKey k) {
    return k == SortKey::name || k == SortKey::type;
}
