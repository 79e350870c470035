#include "core/base/Defaults.h"

#include "platform/SettingsStore.h"
#include "platform/Xdg.h"

#include <cmath>
#include <memory>
#include <mutex>

namespace Defaults {
namespace {

std::recursive_mutex g_mutex;
std::unique_ptr<SettingsStore> g_store;

SettingsStore &store() {
    if (!g_store) g_store = std::make_unique<SettingsStore>(filePath());
    return *g_store;
}

} // namespace

QString filePath() {
    return Xdg::configHome() + QStringLiteral("/kestrin/settings.plist");
}

QString setAsidePath() {
    std::lock_guard lock(g_mutex);
    return store().setAsidePath();
}

bool unreadable() {
    std::lock_guard lock(g_mutex);
    return store().unreadable();
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
    case QMetaType::ULongLong: {
        // NaN passes every comparison-based bound, so it never leaves here; nor does an infinity.
        const double d = v.toDouble();
        if (!std::isfinite(d)) return std::nullopt;
        return d;
    }
    default:
        return std::nullopt;
    }
}

void resetForTests() {
    std::lock_guard lock(g_mutex);
    g_store.reset();
}

} // namespace Defaults
