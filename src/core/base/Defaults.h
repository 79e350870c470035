#pragma once

#include <QString>
#include <QVariant>
#include <optional>

// The user settings: one property-list file under the XDG config folder, written on every change.
// Values keep their types, so typed readers can treat a value of the wrong type as absent.
// Safe to call from any thread.
namespace Defaults {

QVariant value(const QString &key);
void setValue(const QString &key, const QVariant &value);
void remove(const QString &key);
bool contains(const QString &key);

std::optional<QString> stringValue(const QString &key);
std::optional<bool> boolValue(const QString &key);
std::optional<qint64> intValue(const QString &key);
// Finite numbers only: NaN and infinities read as absent.
std::optional<double> doubleValue(const QString &key);

QString filePath();
// Where an unparsable settings file was put aside at start, or empty.
QString setAsidePath();
// Whether a settings file is there that could not be read (no rights, or a link of another account on its
// way): then it is left untouched and the defaults are in use.
bool unreadable();

// Closes the store so the next call opens it again from the current environment (tests only).
void resetForTests();

} // namespace Defaults
