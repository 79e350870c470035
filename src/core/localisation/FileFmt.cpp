#include "core/localisation/FileFmt.h"

#include "core/localisation/Lang.h"

#include <QHash>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace FileFmt {

QString size(qint64 bytes) {
    if (bytes <= 999) return QString::number(bytes) + QStringLiteral(" B");
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    static const int decimals[] = {0, 1, 2, 2};
    double v = double(bytes) / 1000.0;
    int unit = 0;
    // Step up when the value as printed would reach 1000, so 999,999 bytes read "1.0 MB", not "1000 KB".
    auto rounded = [&](double x) {
        const double scale = std::pow(10.0, decimals[unit]);
        return std::round(x * scale) / scale;
    };
    while (rounded(v) >= 1000.0 && unit < 3) {
        v /= 1000.0;
        ++unit;
    }
    QLocale locale = AppLanguages::locale(Lang::current());
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(v, 'f', decimals[unit]) + u' ' + QLatin1String(units[unit]);
}

QString count(qint64 n) {
    const QString num = localNumber(n);
    const AppLanguage lang = Lang::current();
    static const char *const forms[] = {"%1 Objekt|%1 Objekte", "%1 item|%1 items",
                                        "%1 obiekt|%1 obiekty|%1 obiektów", "%1 รายการ"};
    return pluralPick(QString::fromUtf8(forms[int(lang)]), n, lang).arg(num);
}

QString quotedList(const QStringList &names) {
    QStringList quoted;
    for (const QString &name : names)
        quoted << LF("„%@“", name);
    return quoted.join(Lang::current() == AppLanguage::th ? QStringLiteral(" ") : QStringLiteral(", "));
}

QString firstNamed(const QStringList &names, qsizetype total) {
    constexpr qsizetype named = 3;
    if (total < 0) total = names.size();
    QStringList shown;
    for (const QString &name : names.mid(0, named))
        shown << LF("„%@“", name);
    QString list = shown.join(QStringLiteral(", "));
    if (total > shown.size()) list += LF(" und %@", count(total - shown.size()));
    return list;
}

QString firstNamedAndMore(const QStringList &names, qsizetype total) {
    const QStringList first = names.mid(0, 3);
    QString list = firstNamed(first);
    if (const qsizetype rest = total - first.size(); rest > 0)
        list += LP(" und %d weiteres| und %d weitere", rest, rest);
    return list;
}

namespace {
// Day, month, four-digit year, 24-hour time, in each language's own order and separators.
QString patternFor(AppLanguage lang) {
    switch (lang) {
    case AppLanguage::de:
        return QStringLiteral("dd.MM.yyyy, HH:mm");
    case AppLanguage::en:
        return QStringLiteral("MM/dd/yyyy, HH:mm");
    case AppLanguage::pl:
        return QStringLiteral("dd.MM.yyyy, HH:mm");
    case AppLanguage::th:
        return QStringLiteral("dd/MM/yyyy HH:mm");
    }
    return QStringLiteral("yyyy-MM-dd HH:mm");
}
} // namespace

const DateFormatter &date() {
    static std::mutex mutex;
    static std::map<AppLanguage, std::unique_ptr<DateFormatter>> cache;
    const AppLanguage lang = Lang::current();
    std::lock_guard lock(mutex);
    auto &slot = cache[lang];
    if (!slot) slot = std::make_unique<DateFormatter>(AppLanguages::locale(lang), patternFor(lang));
    return *slot;
}

} // namespace FileFmt
