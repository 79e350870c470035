#include "core/app/SettingsBackup.h"

#include "core/app/AppInfo.h"
#include "core/app/Settings.h"
#include "core/base/Defaults.h"
#include "platform/AppRegistry.h"
#include "platform/Plist.h"
#include "platform/Posix.h"

#include <QDir>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace SettingsBackup {

QStringList keys() {
    QStringList out;
    for (const Settings::Row &r : Settings::rows())
        if (r.backup != Settings::Backup::none) out << QString::fromLatin1(r.name);
    return out;
}

QString fileName(const QDate &day) {
    return QStringLiteral("Kestrin-Sicherung-") + QLocale::c().toString(day, QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".plist");
}

QVariantMap collect() {
    QVariantMap out;
    for (const QString &key : keys()) {
        QVariant v = Defaults::value(key);
        if (!v.isValid()) continue;
        if (v.typeId() == QMetaType::QStringList) v = v.toList();
        out.insert(key, v);
    }
    return out;
}

QByteArray encode(const QDateTime &now) {
    QVariantMap root;
    root.insert(QStringLiteral("app"), AppInfo::name);
    root.insert(QStringLiteral("format"), qint64(format));
    root.insert(QStringLiteral("created"), now);
    root.insert(QStringLiteral("version"), AppInfo::version);
    root.insert(QStringLiteral("settings"), collect());
    return Plist::toXml(root);
}

namespace {

bool isInteger(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool isMap(const QVariant &v) {
    return v.typeId() == QMetaType::QVariantMap;
}

} // namespace

namespace {

// No name, path or choice of a setting is longer (a path's limit), no rules larger; what would still make
// the file too large for its reader, the writer refuses.
constexpr qsizetype maxText = 4096, maxRulesBytes = 1024 * 1024;

bool hasControl(const QString &text) {
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// A favourite opens with a click: a folder or a file by its absolute path. A desktop entry counts only
// when it is an application entry; whatever else sits at the path (a device, a FIFO) is no favourite.
bool isFavorite(const QString &path) {
    if (!path.startsWith(u'/') || hasControl(path) || QDir::cleanPath(path) != path) return false;
    struct stat st {};
    const bool there = Posix::statPath(path, st);
    if (there && S_ISDIR(st.st_mode)) return true;
    if (path.endsWith(QLatin1String(".desktop"))) return AppRegistry::isApplicationEntry(path);
    return !there || S_ISREG(st.st_mode);
}

} // namespace

std::optional<QVariant> accepted(const QString &key, const QVariant &value) {
    const Settings::Row *row = Settings::rowNamed(key);
    if (!row) return std::nullopt;
    switch (row->backup) {
    case Settings::Backup::none:
        return std::nullopt;
    case Settings::Backup::boolean:
        if (value.typeId() == QMetaType::Bool) return value;
        return std::nullopt;
    case Settings::Backup::number:
        if (!isInteger(value) && (value.typeId() != QMetaType::Double || !std::isfinite(value.toDouble())))
            return std::nullopt;
        return row->bound ? row->bound(value, row->fallback) : value;
    case Settings::Backup::text:
        if (value.typeId() == QMetaType::QString && value.toString().size() <= maxText) return value;
        return std::nullopt;
    case Settings::Backup::textList: {
        if (value.typeId() != QMetaType::QVariantList) return std::nullopt;
        QStringList out;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString || item.toString().size() > maxText) return std::nullopt;
            // Launched or opened by a click: never a program or script of the file's choosing.
            if (row->key == Settings::Key::toolbarApps && !AppRegistry::isApplicationEntry(item.toString()))
                continue;
            if ((row->key == Settings::Key::quickFavorites || row->key == Settings::Key::userFavorites) &&
                !isFavorite(item.toString()))
                continue;
            out << item.toString();
        }
        return out;
    }
    case Settings::Backup::rules:
        if (value.typeId() == QMetaType::QByteArray && value.toByteArray().size() <= maxRulesBytes &&
            RulesEngine::decode(value.toByteArray()))
            return value;
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<Contents> decode(const QByteArray &bytes) {
    const std::optional<QVariant> parsed = Plist::parse(bytes);
    if (!parsed || !isMap(*parsed)) return std::nullopt;
    const QVariantMap root = parsed->toMap();
    const QVariant app = root.value(QStringLiteral("app"));
    if (app.typeId() != QMetaType::QString) return std::nullopt;
    if (app.toString() != AppInfo::name && app.toString() != olderName) return std::nullopt;
    const QVariant fmt = root.value(QStringLiteral("format"));
    if (!isInteger(fmt)) return std::nullopt;
    // Negative numbers pass; any number beyond the signed range is a newer format.
    if (fmt.typeId() == QMetaType::ULongLong ? fmt.toULongLong() >= 2 : fmt.toLongLong() >= 2)
        return std::nullopt;
    const QVariant settings = root.value(QStringLiteral("settings"));
    if (!isMap(settings)) return std::nullopt;

    Contents out;
    const QVariant created = root.value(QStringLiteral("created"));
    out.created = created.typeId() == QMetaType::QDateTime ? created.toDateTime()
                                                           : QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    const QVariant version = root.value(QStringLiteral("version"));
    if (version.typeId() == QMetaType::QString) out.appVersion = version.toString();
    const QStringList known = keys();
    const QVariantMap entries = settings.toMap();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (!known.contains(it.key())) continue;
        if (const std::optional<QVariant> v = accepted(it.key(), it.value()))
            out.settings.insert(it.key(), *v);
        else
            ++out.dropped;
    }
    return out;
}

void guardRules(Contents &contents, const QList<CleanRule> &current) {
    const QString key = QString::fromLatin1(RulesEngine::storeKey);
    if (!contents.settings.contains(key)) return;
    const auto brought = RulesEngine::decode(contents.settings.value(key).toByteArray());
    contents.stopsAutoCleanup = !brought || *brought != current;
    if (contents.stopsAutoCleanup && contents.settings.contains(QStringLiteral("rulesAuto")))
        contents.settings.insert(QStringLiteral("rulesAuto"), false);
}

int apply(const Contents &contents, int waitMs) {
    QVariantMap values = contents.settings;
    if (contents.stopsAutoCleanup) values.insert(QStringLiteral("rulesAuto"), false);
    // What the backup does not name was at its default when it was written.
    for (const QString &key : keys())
        if (!values.contains(key)) values.insert(key, QVariant());
    return Defaults::writeAll(values, waitMs);
}

} // namespace SettingsBackup
