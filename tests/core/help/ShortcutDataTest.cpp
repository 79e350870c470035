#include "common/TestUtil.h"
#include "core/help/ShortcutData.h"

#include <gtest/gtest.h>

namespace {

QList<QStringList> alternativesOf(const QString &keys) {
    return ShortcutItem(keys, "x").alternatives();
}
QSet<QString> modifiersOf(const QString &keys) {
    return ShortcutItem(keys, "x").modifiers();
}

} // namespace

TEST(ShortcutItemTest, AlternativesSplitAtSpacedSlashesOnly) {
    EXPECT_EQ(alternativesOf("⇧ ⌘ Z"), (QList<QStringList>{{"⇧", "⌘", "Z"}}));
    EXPECT_EQ(alternativesOf("⌘ Mission Control / fn H / fn F11"),
              (QList<QStringList>{{"⌘", "Mission", "Control"}, {"fn", "H"}, {"fn", "F11"}}));
    EXPECT_EQ(alternativesOf("⌥ Klick auf Dreieck"), (QList<QStringList>{{"⌥", "Klick", "auf", "Dreieck"}}));
    EXPECT_EQ(alternativesOf("⇧ ⌘ |"), (QList<QStringList>{{"⇧", "⌘", "|"}}));
    EXPECT_EQ(alternativesOf("⌘ /"), (QList<QStringList>{{"⌘", "/"}}));
    // Runs of blanks and blanks at the ends give no tokens; an empty piece is an empty list.
    EXPECT_EQ(alternativesOf("  ⌘   C "), (QList<QStringList>{{"⌘", "C"}}));
    EXPECT_EQ(alternativesOf(""), (QList<QStringList>{{}}));
    EXPECT_EQ(alternativesOf("⌘ C /  / fn"), (QList<QStringList>{{"⌘", "C"}, {}, {"fn"}}));
}

TEST(ShortcutItemTest, ModifiersComeFromTheFirstAlternativeOnly) {
    EXPECT_EQ(modifiersOf("⇧ ⌘ Z"), (QSet<QString>{"⇧", "⌘"}));
    EXPECT_EQ(modifiersOf("⌘ Mission Control / fn H / fn F11"), QSet<QString>{"⌘"});
    EXPECT_EQ(modifiersOf("⌃ D / fn ⌫"), QSet<QString>{"⌃"});
    EXPECT_EQ(modifiersOf("⌘ ⌘"), QSet<QString>{"⌘"});
    EXPECT_EQ(modifiersOf("fn fn"), QSet<QString>{"fn"});
    EXPECT_TRUE(modifiersOf("␣").isEmpty());
    EXPECT_TRUE(modifiersOf("→").isEmpty());
    EXPECT_EQ(modifiersOf("⌥ Klick auf Dreieck"), QSet<QString>{"⌥"});
    // Whole tokens only: a word that merely contains a modifier's letters is none.
    EXPECT_TRUE(modifiersOf("fnx F").isEmpty());
    EXPECT_TRUE(modifiersOf("").isEmpty());
}

TEST(ShortcutDataTest, TableSizesOrderAndEnds) {
    const QList<ShortcutGroup> &groups = ShortcutData::groups();
    const std::pair<const char *, int> expected[] = {{"Häufig verwendet", 19},
                                                     {"Apps und Fenster", 17},
                                                     {"Suche, Siri und Eingabe", 12},
                                                     {"Finder: Ordner öffnen", 12},
                                                     {"Finder: Dateien und Ansicht", 27},
                                                     {"Finder: Fensterleisten", 8},
                                                     {"Maus und Taste zusammen", 9},
                                                     {"Tasten für Display, Ton und Tastatur", 9},
                                                     {"Sperren, Abmelden, Ausschalten", 10},
                                                     {"Text bearbeiten", 46},
                                                     {"Bedienungshilfen und Tastaturfokus", 17}};
    ASSERT_EQ(groups.size(), 11);
    int total = 0;
    QSet<QUuid> ids;
    for (int g = 0; g < 11; ++g) {
        EXPECT_EQ(groups[g].title, QString::fromUtf8(expected[g].first));
        EXPECT_EQ(groups[g].items.size(), expected[g].second) << expected[g].first;
        total += int(groups[g].items.size());
        ids << groups[g].id;
        for (const ShortcutItem &item : groups[g].items) {
            ids << item.id;
            EXPECT_FALSE(item.keys.isEmpty());
            EXPECT_FALSE(item.text.isEmpty());
        }
    }
    EXPECT_EQ(total, 186);
    EXPECT_EQ(ids.size(), 186 + 11); // every record has its own id
    EXPECT_EQ(groups.first().items.first().keys, "⌘ X");
    EXPECT_EQ(groups.first().items.first().text, "Ausschneiden");
    EXPECT_EQ(groups.last().items.last().keys, "⌃ ⇧ ⇥");
    EXPECT_EQ(groups.last().items.last().text, "Vorige Gruppe von Steuerelementen");
    // A few inner rows, where a slip in the table would show.
    EXPECT_EQ(groups[2].items[2].keys, "⌃ ⌘ ␣ / fn E");
    EXPECT_EQ(groups[7].items[5].keys, "⌘ Mission Control / fn H / fn F11");
    EXPECT_EQ(groups[9].items[45].keys, "⇧ ⌘ –");
    // Built once: the same records, ids included, on every read.
    EXPECT_EQ(&ShortcutData::groups(), &groups);
    EXPECT_EQ(ShortcutData::groups().first().items.first().id, groups.first().items.first().id);
    EXPECT_TRUE(ShortcutData::sourceText().startsWith("Quelle: Apple Support"));
}

// The descriptions speak of the other system's keys: its symbols stay as written in every language.
TEST(ShortcutDataTest, TextsKeepTheKeySymbols) {
    const QString cut = QStringLiteral("Mit ⌃K Ausgeschnittenes einfügen");
    {
        const TestUtil::LanguageScope de(AppLanguage::de);
        EXPECT_EQ(ShortcutData::text(cut), cut);
    }
    const TestUtil::LanguageScope en(AppLanguage::en);
    EXPECT_EQ(ShortcutData::text(cut), "Paste what ⌃K cut");
    EXPECT_EQ(ShortcutData::text("Kein Schlüssel"), "Kein Schlüssel");
}
