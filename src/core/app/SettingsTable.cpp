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
// 10 to 18 is read as stored (a size the window does not offer selects no chip); further out, the default.
QVariant fontBound(const QVariant &v, const QVariant &fallback) {
    const double d = v.toDouble();
    return d >= 10 && d <= 18 ? v : fallback;
}

// Stored data: the cleanup rules are kept as JSON bytes.
QVariant data(const QString &key) {
    const QVariant v = Defaults::value(key);
    return v.typeId() == QMetaType::QByteArray ? v : QVariant();
}

// The language a reset returns to: the system's choice, not the table's default.
QVariant systemLanguage() {
    return AppLanguages::rawValue(AppLanguages::system());
}
// A reset that removes the key, so that its reader's default applies again.
QVariant removed() {
    return {};
}

using K = Settings::Key;
using R = Settings::Reset;
using B = Settings::Backup;

const Settings::Row table[] = {
    {K::dualPane, "dualPane", true, exactBool, nullptr, R::window, B::boolean},
    {K::showSidebar, "showSidebar", true, exactBool, nullptr, R::window, B::boolean},
    {K::showInspector, "showInspector", false, exactBool, nullptr, R::window, B::boolean},
    {K::splitFraction, "splitFraction", 0.5, number, splitBound, R::window, B::number},
    {K::inspectorWidth, "inspectorWidth", 290.0, number, inspectorBound, R::window, B::number},
    {K::toolbarCompact, "toolbarCompact", true, exactBool, nullptr, R::toolbarLook, B::boolean},
    {K::toolbarApps, "toolbarApps", QStringList(), stringList, nullptr, R::toolbarApps, B::textList},
    {K::quickFavorites, "quickFavorites", QStringList(), stringList, nullptr, R::none, B::textList},
    {K::rulesAuto, "rulesAuto", false, lenientBool, nullptr, R::file, B::boolean},
    {K::themeID, "theme", QStringLiteral("nebula"), text, nullptr, R::appearance, B::text},
    {K::fontSize, "fontSize", 13.0, number, fontBound, R::appearance, B::number},
    {K::folderIcons, "folderIcons", QStringLiteral("finder"), text, nullptr, R::appearance, B::text},
    {K::language, "language", QStringLiteral("en"), language, nullptr, R::general, B::text, systemLanguage},
    {K::appearance, "appearance", QStringLiteral("system"), text, nullptr, R::appearance, B::text},
    {K::showHidden, "showHidden", false, hiddenFiles, nullptr, R::file, B::boolean},
    {K::startFolder, "startFolder", QStringLiteral("last"), text, nullptr, R::general, B::text, removed},
    {K::keyboardLayout, "keyboardLayout", QStringLiteral("auto"), text, nullptr, R::general, B::text,
     removed},
    {K::userFavorites, "userFavorites", QStringList(), stringList, nullptr, R::none, B::textList},
    {K::hiddenFavorites, "hiddenFavorites", QStringList(), stringList, nullptr, R::none, B::textList},
    {K::cleanRules, "cleanRules", QByteArray(), data, nullptr, R::none, B::rules},
    {K::viewLeft, "view.left", QStringLiteral("columns"), text, nullptr, R::none, B::text},
    {K::viewRight, "view.right", QStringLiteral("columns"), text, nullptr, R::none, B::text},
    {K::sortLeft, "sort.left", QStringLiteral("name"), text, nullptr, R::none, B::text},
    {K::sortRight, "sort.right", QStringLiteral("name"), text, nullptr, R::none, B::text},
};

} // namespace

std::span<const Settings::Row> Settings::rows() {
    return table;
}
