#pragma once

#include "core/localisation/AppLanguage.h"

#include <QString>
#include <concepts>
#include <initializer_list>

namespace Lang {
// Read lazily from the "language" setting (or the system's preference) on first use.
AppLanguage current();
// Main thread only; the application core also stores the setting.
void setCurrent(AppLanguage lang);
// Forgets the lazily read value so the next read starts over (tests only).
void resetForTests();
} // namespace Lang

// The text of a German key in the current language; untranslated keys come back in German.
QString L(const QString &key);
QString L(const char *key);
// The same in a given language (a manual read in another language than the interface's).
QString LIn(AppLanguage lang, const QString &key);

// Marks a German key kept as data, so the key scan finds it.
constexpr const char *K(const char *key) {
    return key;
}

// A number as the current language writes it in a text, with its digit grouping.
QString localNumber(qint64 n);

// One argument of LF: a string for "%@" or an integer for "%d".
class FmtArg {
public:
    FmtArg(const QString &s) : m_text(s) {}
    FmtArg(const char *s) : m_text(QString::fromUtf8(s)) {}
    template <std::integral T> FmtArg(T n) : m_text(localNumber(static_cast<qint64>(n))), m_isNumber(true) {}
    const QString &text() const { return m_text; }
    bool isNumber() const { return m_isNumber; }

private:
    QString m_text;
    bool m_isNumber = false;
};

// Fills "%@" and "%d" in key order; integers are written for the current language.
QString formatKey(const QString &format, std::initializer_list<FmtArg> args);

// Which plural form a count takes in a language: 0 for the singular, then the language's other forms in
// order (Polish: 1 "2–4", 2 the rest; German and English: 1 the plural; Thai has one form).
int pluralForm(AppLanguage lang, qint64 n);
// The form for n of a text whose forms are separated by "|" ("%d Unterschied|%d Unterschiede"); a text
// with fewer forms than the language has uses its last.
QString pluralPick(const QString &forms, qint64 n, AppLanguage lang);

template <typename... Args> QString LF(const char *key, const Args &...args) {
    return formatKey(L(key), {FmtArg(args)...});
}
template <typename... Args> QString LF(const QString &key, const Args &...args) {
    return formatKey(L(key), {FmtArg(args)...});
}

// A text whose form follows the count n ("%d Objekt wird|%d Objekte werden ersetzt"); n is not filled in
// by itself: pass it among args where the key has its "%d".
template <typename... Args> QString LP(const char *key, qint64 n, const Args &...args) {
    return formatKey(pluralPick(L(key), n, Lang::current()), {FmtArg(args)...});
}
