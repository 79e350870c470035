#pragma once

#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// The user settings: one property-list file under the XDG config folder. A change is seen at once and
// written soon after on a thread of its own, changes that come together in one write, so no caller waits
// for the disk or for another running copy's lock. Values keep their types, so typed readers can treat a
// value of the wrong type as absent.
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

// Writes what waits now, waiting at most waitMs for another running copy's lock; the keys still unwritten.
QStringList flush(int waitMs);
// Writes `values` over the stored ones in one write, all of them or none (then nothing of them stays); an
// invalid value removes its key.
// 0, or why not as an errno (EWOULDBLOCK: another running copy holds the lock; EFBIG: too large).
int writeAll(const QVariantMap &values, int waitMs);
// At quit: what waits is written within about waitMs; what still can't be is kept beside the file for the
// next start (`kept` tells whether that worked). The keys that are not in the file.
QStringList finish(int waitMs, bool *kept = nullptr);
// Told, on the writer's thread, when a write in the background failed (errno) after one went well, and
// when one goes well again (0). Nothing clears it but another call.
void onWriteTrouble(std::function<void(int error)> report);

// How long changes are gathered and how soon a failed write is tried again (tests only).
void setTimingForTests(int gatherMs, int retryMs);
// Closes the store so the next call opens it again from the current environment (tests only).
void resetForTests();

} // namespace Defaults
