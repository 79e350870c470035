// The table of stored settings: a setting added later is one row here (and a getter if it is read often).
#include "core/app/Settings.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <algorithm>
#include <cmath>

namespace {

// A Boolean stored as a Boolean or as the number 0 or 1; anything else is absent.
QVariant exactBool(const QString &key) {
    const QVariant v = Defaults::value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (auto n = Defaults::intValue(key); n && (*n == 0 || *n == 1)) return *n == 1;
    if (v.typeId() == QMetaType::Double && (v.toDouble() == 0.0 || v.toDouble() == 1.0))
        return v.toDouble() == 1.0;
    return {};
}

// The lenient Boolean reading: numbers and the texts "true"/"yes"/"1" count too; absent is false.
QVariant lenientBool(const QString &key) {
    const QVariant v = Defaults::value(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::QString: {
        const QString s = v.toString().trimmed().toLower();
        return s == u"true" || s == u"yes" || s.toLongLong() != 0;
    }
    default: {
        // NaN and infinities are no numbers to read: absent.
        const double d = v.toDouble();
        return v.isValid() && std::isfinite(d) && d != 0.0;
    }
    }
}

// Finite numbers only.
QVariant number(const QString &key) {
    const auto d = Defaults::doubleValue(key);
    return d ? QVariant(*d) : QVariant();
}

QVariant text(const QString &key) {
    const auto s = Defaults::stringValue(key);
    return s ? QVariant(*s) : QVariant();
}

// A list of texts only: one item of another kind makes the whole list absent.
QVariant stringList(const QString &key) {
    const QVariant v = Defaults::value(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList) return {};
    QStringList out;
    for (const QVariant &item : v.toList()) {
        if (item.typeId() != QMetaType::QString) return {};
        out << item.toString();
    }
    return out;
}

// The language and the hidden files are read by their own subsystems, which may have started before.
QVariant language(const QString &) {
    return AppLanguages::rawValue(Lang::current());
}
QVariant hiddenFiles(const QString &) {
    return FileLoader::showHidden();
}

QVariant splitBound(const QVariant &v, const QVariant &) {
    return std::clamp(v.toDouble(), 0.2, 0.8);
}
QVariant inspectorBound(const QVariant &v, const QVariant &) {
    return std::clamp(v.toDouble(), 220.0, 520.0);
}
// Outside the sizes the window offers, the default.
QVariant fontBound(const QVariant &v, const QVariant &fallback) {
    const double d = v.toDouble();
    return d >= 10 && d <= 18 ? v : fallback;
}

using K = Settings::Key;

const Settings::Row table[] = {
    {K::dualPane, "dualPane", true, exactBool},
    {K::showSidebar, "showSidebar", true, exactBool},
    {K::showInspector, "showInspector", false, exactBool},
    {K::splitFraction, "splitFraction", 0.5, number, splitBound},
    {K::inspectorWidth, "inspectorWidth", 290.0, number, inspectorBound},
    {K::toolbarCompact, "toolbarCompact", true, exactBool},
    {K::toolbarApps, "toolbarApps", QStringList(), stringList},
    {K::quickFavorites, "quickFavorites", QStringList(), stringList},
    {K::rulesAuto, "rulesAuto", false, lenientBool},
    {K::themeID, "theme", QStringLiteral("nebula"), text},
    {K::fontSize, "fontSize", 13.0, number, fontBound},
    {K::folderIcons, "folderIcons", QStringLiteral("finder"), text},
    {K::language, "language", QStringLiteral("en"), language},
    {K::appearance, "appearance", QStringLiteral("system"), text},
    {K::showHidden, "showHidden", false, hiddenFiles},
    {K::userFavorites, "userFavorites", QStringList(), stringList},
    {K::hiddenFavorites, "hiddenFavorites", QStringList(), stringList},
};

} // namespace

std::span<const Settings::Row> Settings::rows() {
    return table;
}
