#include "core/localisation/Translations.h"

namespace Translations {
extern const char *const kRawTable;

QString unescape(QStringView field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field[i];
        if (c == u'\\' && i + 1 < field.size()) {
            const QChar n = field[++i];
            if (n == u'n')
                out += u'\n';
            else if (n == u't')
                out += u'\t';
            else
                out += n;
        } else {
            out += c;
        }
    }
    return out;
}

static std::vector<Row> parse() {
    std::vector<Row> out;
    const QString text = QString::fromUtf8(kRawTable);
    QString source;
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.startsWith(u"# file ")) {
            source = line.mid(7).toString();
            continue;
        }
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const auto fields = line.split(u'\t');
        Row row;
        row.source = source;
        row.key = unescape(fields.value(0));
        row.en = fields.size() > 1 ? unescape(fields[1]) : QString();
        row.pl = fields.size() > 2 ? unescape(fields[2]) : QString();
        row.th = fields.size() > 3 ? unescape(fields[3]) : QString();
        out.push_back(std::move(row));
    }
    return out;
}

const std::vector<Row> &rows() {
    static const std::vector<Row> all = parse();
    return all;
}

template <typename Pick> static QHash<QString, QString> build(Pick pick) {
    QHash<QString, QString> table;
    table.reserve(qsizetype(rows().size()));
    for (const Row &row : rows()) {
        const QString &text = pick(row);
        // The first row of a key wins; missing translations fall back to German through L.
        if (!text.isEmpty() && !table.contains(row.key)) table.insert(row.key, text);
    }
    return table;
}

const QHash<QString, QString> &en() {
    static const QHash<QString, QString> t = build([](const Row &r) -> const QString & { return r.en; });
    return t;
}
const QHash<QString, QString> &pl() {
    static const QHash<QString, QString> t = build([](const Row &r) -> const QString & { return r.pl; });
    return t;
}
const QHash<QString, QString> &th() {
    static const QHash<QString, QString> t = build([](const Row &r) -> const QString & { return r.th; });
    return t;
}

} // namespace Translations
