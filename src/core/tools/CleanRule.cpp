#include "core/tools/CleanRule.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>

namespace {

// Stored rules come from outside: a bounded value, a bounded list, bounded texts.
constexpr qsizetype maxStoredBytes = 4 * 1024 * 1024;
constexpr qsizetype maxRules = 10000;
constexpr qsizetype maxText = 64 * 1024;

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString trimmedBlanks(const QString &s) {
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QString lastComponent(QString path) {
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 || path == u"/" ? path : path.mid(slash + 1);
}

QString nfc(const QString &s) {
    return s.normalized(QString::NormalizationForm_C);
}

} // namespace

QStringList CleanRule::extensionList() const {
    QStringList out;
    QString piece;
    auto flush = [&] {
        if (piece.isEmpty()) return;
        QString p = piece.toLower();
        qsizetype b = 0, e = p.size();
        while (b < e && (p[b] == u'.' || p[b] == u' '))
            ++b;
        while (e > b && (p[e - 1] == u'.' || p[e - 1] == u' '))
            --e;
        if (e > b) out << p.mid(b, e - b);
        piece.clear();
    };
    for (const QChar c : extensions) {
        if (c == u',' || c == u';' || c == u' ')
            flush();
        else
            piece += c;
    }
    flush();
    return out;
}

bool CleanRule::hasCondition() const {
    return !trimmedBlanks(nameContains).isEmpty() || !extensionList().isEmpty() || olderThanDays > 0;
}

bool CleanRule::isValid() const {
    if (folder.isEmpty() || !hasCondition()) return false;
    if (action != u"move") return true;
    return !destination.isEmpty() && FileLoader::norm(destination) != FileLoader::norm(folder);
}

QString CleanRule::summary() const {
    QStringList phrases;
    if (!nameContains.isEmpty()) phrases << LF("Name enthält „%@“", nameContains);
    const QStringList exts = extensionList();
    if (!exts.isEmpty()) phrases << LF("Endung %@", exts.join(QStringLiteral(", ")));
    if (olderThanDays >= 1) phrases << LF("älter als %d Tage", olderThanDays);
    const QString condition = phrases.isEmpty()
                                  ? L("keine Bedingung")
                                  : phrases.join(QStringLiteral(" ") + L("und") + QStringLiteral(" "));
    const QString target =
        action == u"move" ? QStringLiteral("→ ") + lastComponent(destination) : L("→ Papierkorb");
    return lastComponent(folder) + QStringLiteral(": ") + condition + u' ' + target;
}

bool operator==(const CleanRule &a, const CleanRule &b) {
    return a.id == b.id && nfc(a.name) == nfc(b.name) && a.enabled == b.enabled &&
           nfc(a.folder) == nfc(b.folder) && nfc(a.nameContains) == nfc(b.nameContains) &&
           nfc(a.extensions) == nfc(b.extensions) && a.olderThanDays == b.olderThanDays &&
           nfc(a.action) == nfc(b.action) && nfc(a.destination) == nfc(b.destination);
}

namespace RulesEngine {

QByteArray encode(const QList<CleanRule> &rules) {
    QJsonArray array;
    for (const CleanRule &r : rules) {
        QJsonObject o;
        o.insert(QStringLiteral("id"), r.id.toString(QUuid::WithoutBraces).toUpper());
        o.insert(QStringLiteral("name"), r.name);
        o.insert(QStringLiteral("enabled"), r.enabled);
        o.insert(QStringLiteral("folder"), r.folder);
        o.insert(QStringLiteral("nameContains"), r.nameContains);
        o.insert(QStringLiteral("extensions"), r.extensions);
        o.insert(QStringLiteral("olderThanDays"), r.olderThanDays);
        o.insert(QStringLiteral("action"), r.action);
        o.insert(QStringLiteral("destination"), r.destination);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<CleanRule>> decode(const QByteArray &data) {
    if (data.size() > maxStoredBytes) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    const QJsonArray array = doc.array();
    if (array.size() > maxRules) return std::nullopt;
    QList<CleanRule> out;
    for (const QJsonValue &v : array) {
        if (!v.isObject()) return std::nullopt;
        const QJsonObject o = v.toObject();
        auto text = [&](const char *key) -> std::optional<QString> {
            const QJsonValue f = o.value(QLatin1String(key));
            if (!f.isString() || f.toString().size() > maxText) return std::nullopt;
            return f.toString();
        };
        const auto id = text("id");
        const auto name = text("name"), folder = text("folder"), contains = text("nameContains");
        const auto exts = text("extensions"), action = text("action"), dest = text("destination");
        const QJsonValue enabled = o.value(QLatin1String("enabled"));
        const QJsonValue days = o.value(QLatin1String("olderThanDays"));
        if (!id || !name || !folder || !contains || !exts || !action || !dest || !enabled.isBool() ||
            !days.isDouble())
            return std::nullopt;
        // An integer that fits 64 bits; fractions and out-of-range numbers are no day count.
        const double d = days.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < -9.2e18 || d > 9.2e18) return std::nullopt;
        if (id->size() != 36) return std::nullopt;
        const QUuid uuid = QUuid::fromString(*id);
        if (uuid.isNull() && *id != u"00000000-0000-0000-0000-000000000000") return std::nullopt;
        CleanRule r;
        r.id = uuid;
        r.name = *name;
        r.enabled = enabled.toBool();
        r.folder = *folder;
        r.nameContains = *contains;
        r.extensions = *exts;
        r.olderThanDays = qint64(d);
        r.action = *action;
        r.destination = *dest;
        out << r;
    }
    return out;
}

Loaded loadStored() {
    Loaded loaded;
    const QVariant v = Defaults::value(QLatin1String(storeKey));
    if (v.typeId() != QMetaType::QByteArray) return loaded;
    const QByteArray data = v.toByteArray();
    if (auto rules = decode(data))
        loaded.rules = *rules;
    else
        loaded.unreadable = data;
    return loaded;
}

QList<CleanRule> load() {
    return loadStored().rules;
}

void save(const QList<CleanRule> &rules, std::optional<QByteArray> *pendingUnreadable) {
    if (pendingUnreadable && *pendingUnreadable) {
        Defaults::setValue(QLatin1String(setAsideKey), **pendingUnreadable);
        pendingUnreadable->reset();
    }
    Defaults::setValue(QLatin1String(storeKey), encode(rules));
}

} // namespace RulesEngine
