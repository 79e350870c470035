// Checks the translation data against itself and against every key the sources use.
#include "core/localisation/Translations.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList placeholders(const QString &text) {
    static const QRegularExpression re(QStringLiteral("%[@d]"));
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();)
        out << it.next().captured();
    return out;
}

// Every L("…"), LF("…", LP("…" and K("…") literal under src/, with the file that uses it. Adjacent literals
// ("a " "b") are one key, as the compiler sees them; escapes are undone.
// With plural, only the keys of LP, whose forms follow a count.
QHash<QString, QString> keysInSources(bool plural = false) {
    static const QRegularExpression call(
        QStringLiteral(R"re((?<![A-Za-z0-9_])(L|LF|LP|K)\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+))re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QHash<QString, QString> keys;
    QDirIterator it(QStringLiteral(KESTRIN_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(f.readAll());
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const auto match = m.next();
            if (plural && match.captured(1) != u"LP") continue;
            QString key;
            for (auto l = literal.globalMatch(match.captured(2)); l.hasNext();) {
                const QString lit = l.next().captured(1);
                for (qsizetype i = 0; i < lit.size(); ++i) {
                    QChar c = lit[i];
                    if (c == u'\\' && i + 1 < lit.size())
                        c = lit[++i] == u'n' ? QChar(u'\n') : lit[i] == u't' ? QChar(u'\t') : lit[i];
                    key += c;
                }
            }
            if (!key.isEmpty()) keys.insert(key, path.mid(QStringLiteral(KESTRIN_SOURCE_DIR).size() + 1));
        }
    }
    return keys;
}

// "%d Unterschied|%d Unterschiede": a key whose forms follow a count.
bool isPlural(const QString &key) {
    static const QHash<QString, QString> plurals = keysInSources(true);
    return plurals.contains(key);
}

} // namespace

TEST(TranslationData, RowsAreCompleteWithMatchingPlaceholders) {
    ASSERT_FALSE(Translations::rows().empty());
    for (const auto &row : Translations::rows()) {
        const std::string where = (row.source + ": " + row.key).toStdString();
        EXPECT_FALSE(row.en.isEmpty()) << "no English for " << where;
        EXPECT_FALSE(row.pl.isEmpty()) << "no Polish for " << where;
        EXPECT_FALSE(row.th.isEmpty()) << "no Thai for " << where;
        if (isPlural(row.key)) continue; // checked form by form below
        const QStringList want = placeholders(row.key);
        EXPECT_EQ(placeholders(row.en), want) << "English placeholders of " << where;
        EXPECT_EQ(placeholders(row.pl), want) << "Polish placeholders of " << where;
        EXPECT_EQ(placeholders(row.th), want) << "Thai placeholders of " << where;
    }
}

// A text that follows a count has one form per plural form of its language, each with the placeholders of
// the German singular.
TEST(TranslationData, PluralRowsHaveEveryFormOfTheirLanguage) {
    int plurals = 0;
    for (const auto &row : Translations::rows()) {
        if (!isPlural(row.key)) continue;
        ++plurals;
        const std::string where = (row.source + ": " + row.key).toStdString();
        const QStringList want = placeholders(row.key.section(u'|', 0, 0));
        const std::pair<const QString &, int> langs[] = {{row.key, 2}, {row.en, 2}, {row.pl, 3}, {row.th, 1}};
        for (const auto &[text, forms] : langs) {
            const QStringList parts = text.split(u'|');
            if (forms == 3 && parts.size() == 1) continue; // one form can serve every count
            EXPECT_EQ(parts.size(), forms) << "forms of " << text.toStdString() << " in " << where;
            for (const QString &part : parts)
                EXPECT_EQ(placeholders(part), want)
                    << "placeholders of " << part.toStdString() << " in " << where;
        }
    }
    EXPECT_GT(plurals, 3);
}

// Thai's one form serves a single item as well as many, so it says neither "these" nor "those".
TEST(TranslationData, ThaiFormsOfCountsNameNoPlural) {
    for (const auto &row : Translations::rows()) {
        if (!isPlural(row.key)) continue;
        for (const char *many : {"เหล่านี้", "เหล่านั้น"})
            EXPECT_FALSE(row.th.contains(QString::fromUtf8(many)))
                << row.th.toStdString() << " in " << (row.source + ": " + row.key).toStdString();
    }
}

TEST(TranslationData, RepeatedKeysAgree) {
    QHash<QString, const Translations::Row *> seen;
    for (const auto &row : Translations::rows()) {
        if (const auto *first = seen.value(row.key)) {
            EXPECT_TRUE(first->en == row.en && first->pl == row.pl && first->th == row.th)
                << "key translated twice, differently: " << row.key.toStdString() << " in "
                << first->source.toStdString() << " and " << row.source.toStdString();
        } else {
            seen.insert(row.key, &row);
        }
    }
}

TEST(TranslationData, EveryKeyInTheSourcesHasARow) {
    const auto used = keysInSources();
    for (auto it = used.cbegin(); it != used.cend(); ++it)
        EXPECT_TRUE(Translations::en().contains(it.key()))
            << "no translation row for \"" << it.key().toStdString() << "\" (" << it.value().toStdString()
            << ")";
}

TEST(TranslationData, EscapesInTheDataFiles) {
    EXPECT_EQ(Translations::unescape(u"a\\nb\\tc\\\\d"), "a\nb\tc\\d");
}
