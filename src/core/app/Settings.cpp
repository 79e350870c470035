#include "core/app/Settings.h"

#include "core/base/Defaults.h"

#include <cmath>

const Settings::Row &Settings::row(Key key) {
    return rows()[size_t(key)];
}

const Settings::Row *Settings::rowNamed(const QString &name) {
    for (const Row &r : rows())
        if (name == QLatin1String(r.name)) return &r;
    return nullptr;
}

QVariant Settings::stored(Key key) {
    const Row &r = row(key);
    QVariant v = r.read(QString::fromLatin1(r.name));
    if (v.isValid() && r.bound) v = r.bound(v, r.fallback);
    return v.isValid() ? v : r.fallback;
}

Settings::Settings(int saveDelayMs, QObject *parent) : QObject(parent) {
    for (const Row &r : rows()) {
        Q_ASSERT(&row(r.key) == &r); // the table is in the order of the keys
        m_values << stored(r.key);
    }
    m_save.setSingleShot(true);
    m_save.setInterval(saveDelayMs);
    connect(&m_save, &QTimer::timeout, this, &Settings::save);
}

Settings::~Settings() {
    save();
}

bool Settings::set(Key key, const QVariant &value) {
    const Row &r = row(key);
    QVariant v = value;
    if (r.fallback.typeId() == QMetaType::Double) {
        // Any number will do, but only a finite one.
        bool ok = false;
        const double d =
            v.typeId() == QMetaType::Bool || v.typeId() == QMetaType::QString ? 0 : v.toDouble(&ok);
        if (!ok || !std::isfinite(d)) return false;
        v = d;
    } else if (v.typeId() != r.fallback.typeId()) {
        return false;
    }
    m_values[int(key)] = v;
    if (!m_frozen) {
        m_pending.insert(int(key));
        m_save.start();
    }
    emit changed(key);
    return true;
}

bool Settings::set(const QString &name, const QVariant &value) {
    const Row *r = rowNamed(name);
    return r && set(r->key, value);
}

void Settings::remove(Key key) {
    const Row &r = row(key);
    m_pending.remove(int(key));
    if (!m_frozen) Defaults::remove(QString::fromLatin1(r.name));
    m_values[int(key)] = r.fallback;
    emit changed(key);
}

void Settings::reset(Reset group) {
    if (group == Reset::none) return;
    for (const Row &r : rows()) {
        if (r.reset != group) continue;
        if (!r.resetValue)
            set(r.key, r.fallback);
        else if (const QVariant v = r.resetValue(); v.isValid())
            set(r.key, v);
        else
            remove(r.key);
    }
}

void Settings::freeze() {
    m_frozen = true;
    m_save.stop();
    m_pending.clear();
}

void Settings::save() {
    m_save.stop();
    const QSet<int> pending = std::exchange(m_pending, {});
    if (m_frozen) return;
    for (const Row &r : rows())
        if (pending.contains(int(r.key)))
            Defaults::setValue(QString::fromLatin1(r.name), m_values[int(r.key)]);
}

AppLanguage Settings::language() const {
    return AppLanguages::fromRaw(value(Key::language).toString()).value_or(AppLanguage::en);
}

std::optional<ColorScheme> Settings::scheme() const {
    const QString appearance = this->appearance();
    if (appearance == u"light") return ColorScheme::light;
    if (appearance == u"dark") return ColorScheme::dark;
    return std::nullopt;
}
