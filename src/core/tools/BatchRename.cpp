#include "core/tools/BatchRename.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/Posix.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>

#include <sys/stat.h>

namespace BatchRename {

const char *const caseModes[4] = {K("Unverändert"), K("klein"), K("GROSS"), K("Erster Buchstabe groß")};

namespace {

QDateTime modified(const QString &path) {
    struct stat st;
    if (!Posix::lstatPath(path, st)) return QDateTime::currentDateTime();
    return QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1'000'000);
}

QString applyCase(const QString &text, int mode) {
    switch (mode) {
    case 1:
        return text.toLower();
    case 2:
        return text.toUpper();
    case 3: {
        if (text.isEmpty()) return text;
        const qsizetype first = text.at(0).isHighSurrogate() && text.size() > 1 ? 2 : 1;
        return text.left(first).toUpper() + text.mid(first);
    }
    default:
        return text;
    }
}

// Whitespace without line breaks: the space separators and the tab.
bool isBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

QStringList ordered(const QStringList &paths) {
    QCollator collator{AppLanguages::locale(Lang::current())};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        QString path;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(paths.size()));
    for (const QString &p : paths)
        keyed.push_back({collator.sortKey(Posix::lastComponent(p)), p});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed &a, const Keyed &b) { return a.key.compare(b.key) < 0; });
    QStringList out;
    out.reserve(paths.size());
    for (const Keyed &k : keyed)
        out << k.path;
    return out;
}

QString extension(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0 || dot == name.size() - 1) return {};
    return name.mid(dot + 1);
}

QString newName(const Settings &s, const QString &path, int index, const QDateTime &date) {
    const QString name = Posix::lastComponent(path);
    const QString ext = extension(name);
    const bool split = s.keepExtension && !ext.isEmpty();
    QString part = split ? name.left(name.size() - ext.size() - 1) : name;
    if (!s.find.isEmpty()) part.replace(s.find, s.replace, Qt::CaseInsensitive);

    const int width = std::max(1, s.digits);
    const QString counter = QStringLiteral("%1").arg(qlonglong(s.start) + index, width, 10, QChar(u'0'));

    QString text = s.pattern;
    text.replace(QLatin1String("[N]"), part);
    text.replace(QLatin1String("[Z]"), counter);
    text.replace(QLatin1String("[D]"), date.toString(QStringLiteral("yyyy-MM-dd")));
    text.replace(QLatin1String("[U]"), date.toString(QStringLiteral("HH.mm.ss")));
    text = applyCase(text, s.caseMode);
    text.replace(u'/', u':');
    if (split) text += u'.' + ext;
    return text;
}

QString newName(const Settings &settings, const QString &path, int index) {
    return newName(settings, path, index, modified(path));
}

std::optional<const char *> invalid(const QString &name) {
    if (name == QLatin1String(".") || name == QLatin1String("..") || name.contains(u'/') ||
        name.contains(QChar(0)) || name.contains(u'\n') || name.contains(u'\r') ||
        name.contains(QChar(0x2028)) || name.contains(QChar(0x2029)))
        return K("Name ist ungültig");
    const std::optional<QByteArray> bytes = Posix::encode(name);
    if (!bytes) return K("Name ist ungültig");
    if (bytes->size() > 255) return K("Name ist zu lang");
    return std::nullopt;
}

QList<Row> rows(const Settings &settings, const QStringList &paths) {
    const QStringList order = ordered(paths);
    QStringList names;
    names.reserve(order.size());
    QHash<QString, int> counts;
    for (int i = 0; i < order.size(); ++i) {
        names << newName(settings, order[i], i);
        ++counts[names.last().toLower()];
    }
    const QSet<QString> batch(order.begin(), order.end());
    QList<Row> out;
    out.reserve(order.size());
    for (int i = 0; i < order.size(); ++i) {
        Row row{order[i], Posix::lastComponent(order[i]), names[i], std::nullopt};
        const QString &n = row.newName;
        const bool blank = std::all_of(n.begin(), n.end(), isBlank);
        if (blank) {
            row.problem = L("Name ist leer");
        } else if (counts.value(n.toLower()) >= 2) {
            row.problem = L("Name kommt mehrfach vor");
        } else if (!row.changed()) {
            // Left alone by the rename.
        } else if (const auto bad = invalid(n)) {
            row.problem = L(*bad);
        } else {
            const QString dest = Posix::childPath(Posix::parentOf(row.id), n);
            struct stat st;
            // lstat: a dangling link holds its name too.
            if (Posix::lstatPath(dest, st) && !batch.contains(FileLoader::norm(dest)))
                row.problem = L("Gibt es schon");
        }
        out << row;
    }
    return out;
}

} // namespace BatchRename
