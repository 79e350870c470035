#include "core/app/AppInfo.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"

#include <QLocale>

namespace AppInfo {

QString developer() {
    return L("Kestrin-Projekt");
}

QDateTime date() {
    static const QDateTime made = [] {
        const QDateTime d(QDate(2026, 11, 5), QTime(12, 0), Qt::LocalTime);
        return d.isValid() ? d : QDateTime::currentDateTime();
    }();
    return made;
}

QString dateText() {
    // Qt's long format names the weekday as well; the long style is day, month name and year.
    const AppLanguage lang = Lang::current();
    QString format;
    switch (lang) {
    case AppLanguage::de:
        format = QStringLiteral("d. MMMM yyyy");
        break;
    case AppLanguage::en:
        format = QStringLiteral("MMMM d, yyyy");
        break;
    case AppLanguage::pl:
    case AppLanguage::th:
        format = QStringLiteral("d MMMM yyyy");
        break;
    }
    return AppLanguages::locale(lang).toString(date().date(), format);
}

} // namespace AppInfo
