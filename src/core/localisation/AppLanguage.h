#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The four interface languages, in picker order.
enum class AppLanguage { de, en, pl, th };

namespace AppLanguages {

inline constexpr std::array<AppLanguage, 4> allCases{AppLanguage::de, AppLanguage::en, AppLanguage::pl,
                                                     AppLanguage::th};

QString rawValue(AppLanguage lang);
// Accepts exactly "de", "en", "pl" or "th".
std::optional<AppLanguage> fromRaw(const QString &raw);
QString nativeName(AppLanguage lang);
QLocale locale(AppLanguage lang);

// The first preferred language whose first two characters name one of ours; English otherwise.
AppLanguage fromPreferred(const QStringList &preferred);
// The system's ordered list of preferred interface languages ($LANGUAGE first, then the locale).
QStringList systemPreferred();
// Computed on every call.
AppLanguage system();

} // namespace AppLanguages
