#pragma once

#include <QDateTime>
#include <QString>

// The application's fixed facts, read by the About panel, the settings pages, the settings backup and
// the feedback mail.
namespace AppInfo {
inline const QString name = QStringLiteral("Kestrin");
inline const QString version = QStringLiteral("1.04");
inline const QString serial = QStringLiteral("KS-104-261105");
// The developer's name in the interface language.
QString developer();
// The release date: 5 November 2026, 12:00 in the local time zone.
QDateTime date();
// The release date in the long style of the current interface language; follows a language change.
QString dateText();
} // namespace AppInfo
