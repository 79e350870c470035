#include "core/localisation/Lang.h"

#include "core/base/Defaults.h"
#include "core/localisation/KeyHints.h"
#include "core/localisation/Translations.h"

#include <QLocale>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace Lang {
namespace {
constexpr int kUnset = -1;
std::atomic<int> g_current{kUnset};
std::mutex g_initMutex;

// Qt's own localised texts (the kinds of the shared MIME database among them) follow the default locale,
// so it speaks the interface language rather than the system's.
void followLocale(AppLanguage lang) {
    QLocale::setDefault(AppLanguages::locale(lang));
}

AppLanguage initial() {
    if (auto stored = Defaults::stringValue(QStringLiteral("language")))
        if (auto lang = AppLanguages::fromRaw(*stored)) return *lang;
    return AppLanguages::system();
}
} // namespace

AppLanguage current() {
    int v = g_current.load(std::memory_order_acquire);
    if (v == kUnset) {
        std::lock_guard lock(g_initMutex);
        v = g_current.load(std::memory_order_acquire);
        if (v == kUnset) {
            v = int(initial());
            followLocale(AppLanguage(v));
            g_current.store(v, std::memory_order_release);
        }
    }
    return AppLanguage(v);
}

void setCurrent(AppLanguage lang) {
    std::lock_guard lock(g_initMutex);
    followLocale(lang);
    g_current.store(int(lang), std::memory_order_release);
}

void resetForTests() {
    std::lock_guard lock(g_initMutex);
    g_current.store(kUnset, std::memory_order_release);
}
} // namespace Lang

QString L(const QString &key) {
    return LIn(Lang::current(), key);
}

QString LIn(AppLanguage lang, const QString &key) {
    if (key.isEmpty()) return key;
    if (lang == AppLanguage::de) return KeyHints::linuxize(key, lang);
    const QHash<QString, QString> &table = lang == AppLanguage::en   ? Translations::en()
                                           : lang == AppLanguage::pl ? Translations::pl()
                                                                     : Translations::th();
    const auto it = table.constFind(key);
    return KeyHints::linuxize(it != table.constEnd() ? *it : key, lang);
}

QString L(const char *key) {
    return L(QString::fromUtf8(key));
}

int pluralForm(AppLanguage lang, qint64 n) {
    // (a negative count, never meant, takes the general plural)
    switch (lang) {
    case AppLanguage::de:
    case AppLanguage::en:
        return n == 1 ? 0 : 1;
    case AppLanguage::pl: {
        if (n == 1) return 0;
        const qint64 m10 = n % 10, m100 = n % 100;
        return n > 0 && m10 >= 2 && m10 <= 4 && !(m100 >= 12 && m100 <= 14) ? 1 : 2;
    }
    case AppLanguage::th:
        return 0;
    }
    return 0;
}

QString pluralPick(const QString &forms, qint64 n, AppLanguage lang) {
    const QList<QStringView> parts = QStringView(forms).split(u'|');
    const qsizetype form = std::min<qsizetype>(pluralForm(lang, n), parts.size() - 1);
    return parts[form].toString();
}

QString localNumber(qint64 n) {
    const QLocale locale = AppLanguages::locale(Lang::current());
    if (locale.language() != QLocale::Polish) return locale.toString(n);
    // Polish groups only from five digits on, and then every group; Qt 6.4 leaves the first group
    // whole ("1234 567"), so the digits are grouped with a locale that always groups.
    if (n > -10000 && n < 10000) return QString::number(n);
    QLocale always(QLocale::German);
    return always.toString(n).replace(always.groupSeparator(), locale.groupSeparator());
}

QString formatKey(const QString &format, std::initializer_list<FmtArg> args) {
    QString out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            const QChar kind = format[i + 1];
            if (kind == u'@' || kind == u'd') {
                if (next != args.end()) out += (next++)->text();
                ++i;
                continue;
            }
            if (kind == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
