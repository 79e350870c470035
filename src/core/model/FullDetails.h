#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The facts of one file or folder for the Get Info form. Rows the file has no source for stay empty;
// nothing is made up.
struct FullDetails {
    struct Extra {
        QString label; // a German key
        QString value;
        bool operator==(const Extra &) const = default;
    };

    QString kind;
    bool isDirectory = false;
    qint64 bytes = 0;
    qint64 onDisk = 0;
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
    int mode = 0;
    QString owner;
    QString group;
    bool locked = false;
    // No Linux meaning: always false, and the form shows no control for it.
    bool hiddenExtension = false;
    QString comment;
    QStringList tags;
    QList<Extra> extra;
    std::optional<QString> openWithPath;

    bool operator==(const FullDetails &) const = default;

    // Never fails; safe off the main thread.
    static FullDetails load(const QString &path);
    // The same without the content rows (extra stays empty): quick, for showing the rest at once.
    static FullDetails loadWithoutContent(const QString &path);
    // Rows from the file's content (image size and colour space, media duration and codecs, document
    // version and pages …), read by our helper program in a process of its own (FactsHelper).
    static QList<Extra> extraInfo(const QString &path);

    // Another reader of content facts in place of the helper (tests). It must be safe to call from any
    // thread and bounded in what it reads; an empty one brings the helper back.
    using ExtraProvider = std::function<QList<Extra>(const QString &path)>;
    static void setExtraProvider(ExtraProvider provider);
};

// Printing of the form's dates, byte counts and location in the current language.
namespace InfoFmt {
// Full date with short time.
QString longDate(const QDateTime &date);
// 1234567 → "1.234.567" (German).
QString grouped(qint64 n);
QString exactBytes(qint64 bytes);
// The parent folder as display names joined by " ▸ ".
QString location(const QString &path);
} // namespace InfoFmt
