#pragma once

#include "core/tools/CleanRule.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QVariantMap>
#include <optional>

// The settings backup file: an XML property list with the product name, a format number, when and by which
// version it was written, and the stored settings of every row the settings table backs up. Reading one
// treats it as hostile: each value must be of its key's kind, anything else is dropped.
namespace SettingsBackup {

constexpr int format = 1;
// The older product name, whose backups are read like ours.
inline const QString olderName = QStringLiteral("Brisvane");

// The keys a backup holds, in the order of the settings table.
QStringList keys();
// The file name offered for a backup written on that day (digits and calendar never localised).
QString fileName(const QDate &day);

// What the settings file holds now for each key of the backup; keys without a value are left out.
QVariantMap collect();
// The whole file; empty when it can't be written.
QByteArray encode(const QDateTime &now = QDateTime::currentDateTime());

struct Contents {
    QDateTime created; // the distant past when the file didn't say
    QString appVersion;
    QVariantMap settings; // only keys of the backup, each of its kind
    int dropped = 0;      // entries refused for their kind
    // The file brings cleanup rules other than the ones in use: automatic cleanup is switched off, so that
    // rules nobody has looked at never run on their own.
    bool stopsAutoCleanup = false;
};

// Nothing when the bytes are not a backup of this product (or of its older name).
std::optional<Contents> decode(const QByteArray &bytes);
// The value as the key's kind accepts it, within the setting's bounds, or nothing.
std::optional<QVariant> accepted(const QString &key, const QVariant &value);
// Compares the rules the backup brings with the ones in use (see stopsAutoCleanup).
void guardRules(Contents &contents, const QList<CleanRule> &current);
// Writes the settings into the settings file in one write, all of them or none, waiting at most waitMs
// for another running copy's lock; a key of the backup's that it lacks is removed, back to its default
// (a backup holds only what was stored). 0, or why not (an errno of Defaults::writeAll).
int apply(const Contents &contents, int waitMs);

} // namespace SettingsBackup
