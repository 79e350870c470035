#include "core/base/Defaults.h"

#include "platform/PlistFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <memory>
#include <mutex>

namespace Defaults {
namespace {

std::recursive_mutex g_mutex;
std::unique_ptr<QSettings> g_store;
QString g_setAside;

QSettings &store() {
    if (!g_store) {
        const QString path = filePath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        g_store = std::make_unique<QSettings>(path, PlistFormat::format());
        if (g_store->status() == QSettings::FormatError) {
            // Keep the unreadable file for the user instead of overwriting it with defaults.
            g_store.reset();
            g_setAside = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            QFile::rename(path, g_setAside);
            g_store = std::make_unique<QSettings>(path, PlistFormat::format());
        }
    }
    return *g_store;
}

} // namespace

QString filePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrin/settings.plist");
}

QString setAsidePath() {
    std::lock_guard lock(g_mutex);
    store();
    return g_setAside;
}

QVariant value(const QString &key) {
    std::lock_guard lock(g_mutex);
    return store().value(key);
}

void setValue(const QString &key, const QVariant &v) {
    std::lock_guard lock(g_mutex);
    store().setValue(key, v);
    store().sync();
}

void remove(const QString &key) {
    std::lock_guard lock(g_mutex);
    store().remove(key);
    store().sync();
}

bool contains(const QString &key) {
    std::lock_guard lock(g_mutex);
    return store().contains(key);
}

std::optional<QString> stringValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString) return v.toString();
    return std::nullopt;
}

std::optional<bool> boolValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    return std::nullopt;
}

std::optional<qint64> intValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toLongLong();
    default:
        return std::nullopt;
    }
}

std::optional<double> doubleValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toDouble();
    default:
        return std::nullopt;
    }
}

void resetForTests() {
    std::lock_guard lock(g_mutex);
    g_store.reset();
    g_setAside.clear();
}

} // namespace Defaults
