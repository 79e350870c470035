#include "common/TestUtil.h"
#include "core/help/KbLayout.h"
#include "core/help/KeyMap.h"

#include <gtest/gtest.h>

using TestUtil::LanguageScope;

TEST(KbLayoutTest, RawValuesAndTheAutomaticChoice) {
    EXPECT_EQ(KbLayouts::fromRaw("th"), KbLayout::th);
    EXPECT_EQ(KbLayouts::fromRaw(""), std::nullopt);
    EXPECT_EQ(KbLayouts::fromRaw("DE"), std::nullopt);
    EXPECT_EQ(KbLayouts::fromStored("DE"), KbLayout::automatic);
    for (KbLayout l : KbLayouts::allCases)
        EXPECT_EQ(KbLayouts::fromRaw(KbLayouts::rawValue(l)), l);
    const std::pair<AppLanguage, KbLayout> byLanguage[] = {{AppLanguage::de, KbLayout::de},
                                                           {AppLanguage::en, KbLayout::us},
                                                           {AppLanguage::pl, KbLayout::us},
                                                           {AppLanguage::th, KbLayout::th}};
    for (const auto &[lang, layout] : byLanguage) {
        LanguageScope scope(lang);
        EXPECT_EQ(KbLayouts::resolved(KbLayout::automatic), layout);
        EXPECT_EQ(KbLayouts::resolved(KbLayout::de), KbLayout::de);
    }
    EXPECT_EQ(KbLayouts::thai().size(), 47);
    EXPECT_EQ(KbLayouts::thai().value("\\"), QString(QChar(0x0E03)));
    EXPECT_EQ(KbLayouts::thai().value("`"), "_");
}

TEST(KeyMapTest, ModifierTokens) {
    EXPECT_EQ(KeyMap::tokens(Qt::ControlModifier | Qt::ShiftModifier | Qt::KeypadModifier),
              (QSet<QString>{"⌘", "⇧"}));
    EXPECT_EQ(KeyMap::tokens(Qt::AltModifier | Qt::MetaModifier), (QSet<QString>{"⌥", "⌃"}));
    EXPECT_TRUE(KeyMap::tokens(Qt::KeypadModifier | Qt::GroupSwitchModifier).isEmpty());
}

TEST(KeyMapTest, KeysOfTokensByLayout) {
    EXPECT_EQ(KeyMap::ids("?", KbLayout::de), (QStringList{"shift", "ß"}));
    EXPECT_EQ(KeyMap::ids("?", KbLayout::us), (QStringList{"shift", "/"}));
    EXPECT_EQ(KeyMap::ids("?", KbLayout::th), KeyMap::ids("?", KbLayout::us));
    EXPECT_EQ(KeyMap::ids("[", KbLayout::de), (QStringList{"opt", "5"}));
    EXPECT_EQ(KeyMap::ids("|", KbLayout::us), (QStringList{"shift", "\\"}));
    EXPECT_EQ(KeyMap::ids("+", KbLayout::automatic), (QStringList{"shift", "="}));
    EXPECT_EQ(KeyMap::ids("ß", KbLayout::us), QStringList{"SS"}); // no rule: upper case
    for (KbLayout l : KbLayouts::allCases) {
        EXPECT_EQ(KeyMap::ids("–", l), QStringList{"-"});
        EXPECT_TRUE(KeyMap::ids("⏻", l).isEmpty());
        EXPECT_TRUE(KeyMap::ids("Helligkeit±", l).isEmpty());
    }
    EXPECT_EQ(KeyMap::ids("c", KbLayout::de), QStringList{"C"});
    EXPECT_EQ(KeyMap::ids("F5", KbLayout::de), QStringList{"F5"});
    EXPECT_EQ(KeyMap::ids(QStringList{"⇧", "⌘", "Z"}, KbLayout::us), (QSet<QString>{"shift", "cmd", "Z"}));
    EXPECT_EQ(KeyMap::ids(QStringList{"⇧", "⌘", "Z"}, KbLayout::de), (QSet<QString>{"shift", "cmd", "Z"}));
    EXPECT_TRUE(KeyMap::ids(QStringList{}, KbLayout::de).isEmpty());
    EXPECT_EQ(KeyMap::ids(QStringList{"Klick", "Ziehen"}, KbLayout::de), (QSet<QString>{"KLICK", "ZIEHEN"}));
}
