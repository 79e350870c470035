#include "core/app/AppInfo.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"

#include <QLocale>
#include <QRegularExpression>

namespace AppInfo {

QDateTime date() {
    static const QDateTime made = [] {
        const QDateTime d(QDate(2026, 11, 5), QTime(12, 0), Qt::LocalTime);
        return d.isValid() ? d : QDateTime::currentDateTime();
    }();
    return made;
}

QString dateText() {
    const QLocale locale = AppLanguages::locale(Lang::current());
    // Qt's long format names the weekday as well; the long style is day, month name and year.
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,\\s]*|[,\\s]*d{4}"));
    format.remove(weekday);
    return locale.toString(date().date(), format.trimmed());
}

} // namespace AppInfo
