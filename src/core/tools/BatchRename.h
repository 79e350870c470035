#pragma once

// Batch rename: the new name of every item from a pattern, find and replace, a counter, the dates and a
// letter case, and the checks that block a rename. Reads the file system, never changes it.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace BatchRename {

struct Settings {
    QString pattern = QStringLiteral("[N]");
    QString find;
    QString replace;
    int start = 1;
    int digits = 2;
    bool keepExtension = true;
    int caseMode = 0; // 0 unchanged, 1 lower, 2 upper, 3 first letter upper
};

// The case modes' picker entries, in value order (German keys).
extern const char *const caseModes[4];

struct Row {
    QString id;  // the item's path as given
    QString old; // its current name
    QString newName;
    std::optional<QString> problem; // translated; absent when the row may go ahead
    // Canonically equivalent forms count as the same name.
    bool changed() const {
        return newName.normalized(QString::NormalizationForm_C) !=
               old.normalized(QString::NormalizationForm_C);
    }
    friend bool operator==(const Row &, const Row &) = default;
};

// The paths in preview order: by name, digits by value, stable for equal names.
QStringList ordered(const QStringList &paths);

// The extension by the usual path rule: after the last dot, none for a leading dot or a trailing one.
QString extension(const QString &name);

// The new name of one item at position index of ordered(); date is its modification time.
QString newName(const Settings &settings, const QString &path, int index, const QDateTime &date);
// The same, reading the item's modification time (now when it cannot be read).
QString newName(const Settings &settings, const QString &path, int index);

// Why a name cannot be given to an item at all (German key), or nothing.
std::optional<const char *> invalid(const QString &name);

// One row per item, in preview order, each with the first problem that blocks it.
QList<Row> rows(const Settings &settings, const QStringList &paths);

} // namespace BatchRename
