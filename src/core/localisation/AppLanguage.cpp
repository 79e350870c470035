#include "core/localisation/AppLanguage.h"

namespace AppLanguages {

QString rawValue(AppLanguage lang) {
    switch (lang) {
    case AppLanguage::de:
        return QStringLiteral("de");
    case AppLanguage::en:
        return QStringLiteral("en");
    case AppLanguage::pl:
        return QStringLiteral("pl");
    case AppLanguage::th:
        return QStringLiteral("th");
    }
    return QStringLiteral("en");
}

std::optional<AppLanguage> fromRaw(const QString &raw) {
    for (AppLanguage lang : allCases)
        if (rawValue(lang) == raw) return lang;
    return std::nullopt;
}

QString nativeName(AppLanguage lang) {
    switch (lang) {
    case AppLanguage::de:
        return QStringLiteral("Deutsch");
    case AppLanguage::en:
        return QStringLiteral("English");
    case AppLanguage::pl:
        return QStringLiteral("Polski");
    case AppLanguage::th:
        return QStringLiteral("ไทย");
    }
    return {};
}

QLocale locale(AppLanguage lang) {
    // Made once and kept: QLocale::setDefault drops its reference to the old default while other threads may
    // be copying it (a listing's dates), so no default may ever lose its last reference.
    static const std::array<QLocale, 4> kept{QLocale(QStringLiteral("de")), QLocale(QStringLiteral("en")),
                                             QLocale(QStringLiteral("pl")), QLocale(QStringLiteral("th"))};
    return kept[size_t(lang)];
}

AppLanguage fromPreferred(const QStringList &preferred) {
    for (const QString &entry : preferred)
        if (auto lang = fromRaw(entry.left(2))) return *lang;
    return AppLanguage::en;
}

QStringList systemPreferred() {
    // $LANGUAGE is the user's ordered list on Linux desktops; Qt's uiLanguages covers the locale variables.
    QStringList list;
    const QString language = qEnvironmentVariable("LANGUAGE");
    for (const QString &part : language.split(u':', Qt::SkipEmptyParts))
        list << part;
    const QString lcAll = qEnvironmentVariable("LC_ALL");
    const QString lcMessages = qEnvironmentVariable("LC_MESSAGES");
    const QString lang = qEnvironmentVariable("LANG");
    for (const QString &v : {lcAll, lcMessages, lang}) {
        if (!v.isEmpty() && v != u"C" && !v.startsWith(u"C.") && v != u"POSIX") {
            list << v;
            break;
        }
    }
    return list;
}

AppLanguage system() {
    return fromPreferred(systemPreferred());
}

} // namespace AppLanguages
