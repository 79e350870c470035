#pragma once

#include "core/localisation/AppLanguage.h"

#include <QList>
#include <QString>
#include <optional>

// One chapter of the manual: the number its heading begins with and the text after the number's full stop.
struct ManualChapter {
    int number = 0;
    QString title;
    bool operator==(const ManualChapter &) const = default;
};

// The chapters of the manual files ("## 3. Title" is chapter 3). Nothing is cached: every call reads the
// file again, so a language switch shows at once.
namespace ManualChapters {

// Where the manual of a language lives: the bundled ":/Handbuch/manual.<code>.md", or the folder set by
// setFolder. The bundled files are registered on the first call.
QString path(AppLanguage lang);
// The chapters of that file in file order, duplicates kept; empty when the file is missing, unreadable,
// larger than maxBytes or not UTF-8.
QList<ManualChapter> list(AppLanguage lang);
QList<ManualChapter> fromFile(const QString &file);
// The whole text of a manual file; nothing when it is missing, unreadable, too large or not UTF-8.
std::optional<QString> read(const QString &file);
// The chapters of a manual text.
QList<ManualChapter> parse(const QString &text);
// s without tabs and space separators at both ends; line breaks are not blanks.
QStringView trimBlanks(QStringView s);

// A manual is a few hundred kilobytes; anything far larger is not one.
inline constexpr qint64 maxBytes = 8 * 1024 * 1024;

// Reads the manuals from another folder (tests); an empty folder goes back to the bundled files.
void setFolder(const QString &folder);

} // namespace ManualChapters
