#pragma once

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Sizes, item counts and dates in the interface language.
namespace FileFmt {

// Decimal units (1 KB = 1000 bytes): "512 B", "1 KB", "1,5 MB" (German), "1.23 GB" (English).
QString size(qint64 bytes);
// "1 Objekt", "3 obiekty", "5 obiektów", "2 รายการ" …
QString count(qint64 n);
// Names of a list in a sentence, each in the language's quotes: "„a“, „b“"; Thai sets them apart by
// spaces alone.
QString quotedList(const QStringList &names);

// The first three names in the language's quotes, then how many more of `total` (-1: all are in names):
// "„a“, „b“, „c“ und 2 Objekte".
QString firstNamed(const QStringList &names, qsizetype total = -1);
// The same where the names stand for items of one kind: the rest is "and 3 more", never "and 3 items".
QString firstNamedAndMore(const QStringList &names, qsizetype total);

// A short date with time (four-digit year, 24-hour clock) for one language.
class DateFormatter {
public:
    explicit DateFormatter(QLocale locale, QString pattern)
        : m_locale(std::move(locale)), m_pattern(std::move(pattern)) {}
    QString string(const QDateTime &dt) const { return m_locale.toString(dt.toLocalTime(), m_pattern); }
    // The date alone, for narrow columns: the pattern up to its time.
    QString dateString(const QDateTime &dt) const {
        QString pattern = m_pattern.left(m_pattern.indexOf(QRegularExpression(QStringLiteral("[Hh]"))));
        while (pattern.endsWith(u' ') || pattern.endsWith(u','))
            pattern.chop(1);
        return m_locale.toString(dt.toLocalTime(), pattern.isEmpty() ? m_pattern : pattern);
    }
    const QString &pattern() const { return m_pattern; }

private:
    QLocale m_locale;
    QString m_pattern;
};

// The formatter of the current language, made once per language and kept.
const DateFormatter &date();

} // namespace FileFmt
