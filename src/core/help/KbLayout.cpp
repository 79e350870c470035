#include "core/help/KbLayout.h"

#include "core/localisation/Lang.h"

namespace KbLayouts {

QString rawValue(KbLayout layout) {
    switch (layout) {
    case KbLayout::de:
        return QStringLiteral("de");
    case KbLayout::us:
        return QStringLiteral("us");
    case KbLayout::th:
        return QStringLiteral("th");
    case KbLayout::automatic:
        break;
    }
    return QStringLiteral("auto");
}

std::optional<KbLayout> fromRaw(const QString &raw) {
    for (KbLayout layout : allCases)
        if (raw == rawValue(layout)) return layout;
    return std::nullopt;
}

KbLayout fromStored(const QString &raw) {
    return fromRaw(raw).value_or(KbLayout::automatic);
}

const char *titleKey(KbLayout layout) {
    switch (layout) {
    case KbLayout::de:
        return K("Deutsch (QWERTZ)");
    case KbLayout::us:
        return K("US-Englisch (QWERTY)");
    case KbLayout::th:
        return K("Thai (Standard)");
    case KbLayout::automatic:
        break;
    }
    return K("Automatisch (nach Sprache)");
}

QString title(KbLayout layout) {
    return L(titleKey(layout));
}

KbLayout resolved(KbLayout layout) {
    if (layout != KbLayout::automatic) return layout;
    switch (Lang::current()) {
    case AppLanguage::de:
        return KbLayout::de;
    case AppLanguage::th:
        return KbLayout::th;
    case AppLanguage::en:
    case AppLanguage::pl:
        break;
    }
    return KbLayout::us;
}

const QHash<QString, QString> &thai() {
    static const QHash<QString, QString> table = [] {
        // Key identifier, then the Thai label, row by row from the digits down.
        static const char16_t *const pairs[][2] = {
            {u"`", u"_"},       {u"1", u"\u0E45"}, {u"2", u"/"},      {u"3", u"-"},      {u"4", u"\u0E20"},
            {u"5", u"\u0E16"},  {u"6", u"\u0E38"}, {u"7", u"\u0E36"}, {u"8", u"\u0E04"}, {u"9", u"\u0E15"},
            {u"0", u"\u0E08"},  {u"-", u"\u0E02"}, {u"=", u"\u0E0A"}, {u"Q", u"\u0E46"}, {u"W", u"\u0E44"},
            {u"E", u"\u0E33"},  {u"R", u"\u0E1E"}, {u"T", u"\u0E30"}, {u"Y", u"\u0E31"}, {u"U", u"\u0E35"},
            {u"I", u"\u0E23"},  {u"O", u"\u0E19"}, {u"P", u"\u0E22"}, {u"[", u"\u0E1A"}, {u"]", u"\u0E25"},
            {u"\\", u"\u0E03"}, {u"A", u"\u0E1F"}, {u"S", u"\u0E2B"}, {u"D", u"\u0E01"}, {u"F", u"\u0E14"},
            {u"G", u"\u0E40"},  {u"H", u"\u0E49"}, {u"J", u"\u0E48"}, {u"K", u"\u0E32"}, {u"L", u"\u0E2A"},
            {u";", u"\u0E27"},  {u"'", u"\u0E07"}, {u"Z", u"\u0E1C"}, {u"X", u"\u0E1B"}, {u"C", u"\u0E41"},
            {u"V", u"\u0E2D"},  {u"B", u"\u0E34"}, {u"N", u"\u0E37"}, {u"M", u"\u0E17"}, {u",", u"\u0E21"},
            {u".", u"\u0E43"},  {u"/", u"\u0E1D"},
        };
        QHash<QString, QString> out;
        for (const auto &pair : pairs)
            out.insert(QString::fromUtf16(pair[0]), QString::fromUtf16(pair[1]));
        return out;
    }();
    return table;
}

} // namespace KbLayouts
