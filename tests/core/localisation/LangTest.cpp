#include "common/TestUtil.h"
#include "core/app/Defaults.h"
#include "core/localisation/KeyHints.h"
#include "core/localisation/Lang.h"

#include <gtest/gtest.h>

using TestUtil::LanguageScope;

// German returns the key itself; a missing or empty key comes back unchanged in every language.
TEST(Lookup, EachLanguageUsesItsTable) {
    const std::pair<AppLanguage, QString> cancel[] = {{AppLanguage::de, "Abbrechen"},
                                                      {AppLanguage::en, "Cancel"},
                                                      {AppLanguage::pl, "Anuluj"},
                                                      {AppLanguage::th, "ยกเลิก"}};
    for (const auto &[lang, text] : cancel) {
        LanguageScope l(lang);
        EXPECT_EQ(L("Abbrechen"), text);
        EXPECT_EQ(L("Ein Text, den es nicht gibt"), "Ein Text, den es nicht gibt");
        EXPECT_EQ(L(""), "");
        EXPECT_EQ(L(QString()), "");
    }
}

TEST(Lookup, FormatFillsPlaceholdersInKeyOrder) {
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(LF("älter als %d Tage", 30), "älter als 30 Tage");
    }
    {
        LanguageScope l(AppLanguage::en);
        EXPECT_EQ(LF("älter als %d Tage", 30), "older than 30 days");
    }
    {
        // Polish rebuilds the sentence but keeps needed before free.
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(LF("Nicht genug freier Speicherplatz auf dem Ziel: %@ nötig, %@ frei.", "5 GB", "1 GB"),
                  "Za mało wolnego miejsca w miejscu docelowym: potrzeba 5 GB, wolne 1 GB.");
    }
    {
        LanguageScope l(AppLanguage::th);
        EXPECT_EQ(LF("„%@“ ließ sich nicht umbenennen: %@ (Fehler %d)", QStringLiteral("a.txt"), "x", 13),
                  "เปลี่ยนชื่อ “a.txt” ไม่ได้: x (ข้อผิดพลาด 13)");
    }
}

TEST(Lookup, FormatUsesPlainDigitsAndLeavesOtherPercentsAlone) {
    LanguageScope l(AppLanguage::de);
    EXPECT_EQ(formatKey(QStringLiteral("%d von %d, 100%%"), {1234567, -3}), "1234567 von -3, 100%");
    EXPECT_EQ(formatKey(QStringLiteral("%@ und %@"), {QStringLiteral("a")}), "a und ");
    EXPECT_EQ(formatKey(QStringLiteral("50% %s"), {}), "50% %s");
}

TEST(Language, RawValuesAreExact) {
    EXPECT_EQ(AppLanguages::fromRaw("th"), AppLanguage::th);
    EXPECT_FALSE(AppLanguages::fromRaw("EN"));
    EXPECT_FALSE(AppLanguages::fromRaw("fr"));
    EXPECT_FALSE(AppLanguages::fromRaw(""));
    EXPECT_FALSE(AppLanguages::fromRaw("de "));
}

TEST(Language, SystemChoiceTakesFirstMatchingPreference) {
    using AppLanguages::fromPreferred;
    EXPECT_EQ(fromPreferred({"fr-FR", "pl-PL"}), AppLanguage::pl);
    EXPECT_EQ(fromPreferred({"de_CH.UTF-8"}), AppLanguage::de);
    EXPECT_EQ(fromPreferred({"th-TH", "de"}), AppLanguage::th);
    EXPECT_EQ(fromPreferred({"zh-Hans"}), AppLanguage::en);
    EXPECT_EQ(fromPreferred({}), AppLanguage::en);
    EXPECT_EQ(fromPreferred({"d"}), AppLanguage::en);
    EXPECT_EQ(fromPreferred({"PL-pl"}), AppLanguage::en);
}

TEST(Language, SystemPreferencesComeFromTheEnvironment) {
    qputenv("LANGUAGE", "fr_FR:pl_PL");
    EXPECT_EQ(AppLanguages::system(), AppLanguage::pl);
    qputenv("LANGUAGE", "");
    qputenv("LANG", "th_TH.UTF-8");
    EXPECT_EQ(AppLanguages::system(), AppLanguage::th);
    qputenv("LANG", "C.UTF-8");
    EXPECT_EQ(AppLanguages::system(), AppLanguage::en);
}

TEST(Language, StoredSettingDecidesTheStartLanguage) {
    const AppLanguage before = Lang::current();
    qputenv("LANGUAGE", "de_DE");
    for (const QVariant &stored : {QVariant("fr"), QVariant("EN"), QVariant(""), QVariant(42)}) {
        Defaults::setValue("language", stored);
        Lang::resetForTests();
        EXPECT_EQ(Lang::current(), AppLanguage::de) << stored.toString().toStdString();
    }
    Defaults::setValue("language", "th");
    Lang::resetForTests();
    EXPECT_EQ(Lang::current(), AppLanguage::th);
    Defaults::remove("language");
    qputenv("LANGUAGE", "");
    Lang::setCurrent(before);
}

TEST(KeyHintsText, GlyphsBecomeLinuxKeyNames) {
    using KeyHints::linuxize;
    EXPECT_EQ(linuxize("Einstellungen (⌘,)", AppLanguage::de), "Einstellungen (Strg+,)");
    EXPECT_EQ(linuxize("Settings (⌘,)", AppLanguage::en), "Settings (Ctrl+,)");
    EXPECT_EQ(linuxize("Neues Fenster ⌘⇧N", AppLanguage::de), "Neues Fenster Strg+Umschalt+N");
    EXPECT_EQ(linuxize("⇧⌘N", AppLanguage::pl), "Ctrl+Shift+N");
    EXPECT_EQ(linuxize("⌥⌘C", AppLanguage::th), "Ctrl+Alt+C");
    EXPECT_EQ(linuxize("⌘⌫", AppLanguage::de), "Strg+Rücktaste");
    EXPECT_EQ(linuxize("⌘⌫", AppLanguage::en), "Ctrl+Backspace");
    EXPECT_EQ(linuxize("Halte ⌘ gedrückt", AppLanguage::de), "Halte Strg gedrückt");
    EXPECT_EQ(linuxize("ohne Zeichen", AppLanguage::de), "ohne Zeichen");
}

TEST(KeyHintsText, LookupConvertsInEveryLanguage) {
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(L("Einstellungen (⌘,)"), "Einstellungen (Strg+,)");
    }
    {
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(L("Einstellungen (⌘,)"), "Ustawienia (Ctrl+,)");
    }
}
