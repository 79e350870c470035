#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/KeyHints.h"
#include "core/localisation/Lang.h"

#include <QDateTime>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using TestUtil::LanguageScope;

// German returns the key itself; a missing or empty key comes back unchanged in every language.
TEST(Lookup, TablesPlaceholdersAndMissingKeys) {
    for (AppLanguage lang : AppLanguages::allCases) {
        LanguageScope l(lang);
        EXPECT_EQ(L("Abbrechen") == "Abbrechen", lang == AppLanguage::de);
        EXPECT_EQ(L("Ein Text, den es nicht gibt"), "Ein Text, den es nicht gibt");
        EXPECT_EQ(L(QString()), "");
    }
    // Polish rebuilds the sentence but keeps needed before free.
    LanguageScope l(AppLanguage::pl);
    EXPECT_EQ(LF("Nicht genug freier Speicherplatz auf dem Ziel: %@ nötig, %@ frei.", "5 GB", "1 GB"),
              "Za mało wolnego miejsca w miejscu docelowym: potrzeba 5 GB, wolne 1 GB.");
    // Numbers as the language writes them; other percent signs and missing arguments are left alone.
    EXPECT_EQ(formatKey(QStringLiteral("%d von %d, 100%%"), {1234567, -3}),
              "1\u00a0234\u00a0567 von -3, 100%");
    EXPECT_EQ(FileFmt::count(1234), "1234 obiekty");
    for (const auto &[lang, text] : {std::pair{AppLanguage::de, "10.000 Objekte"},
                                     {AppLanguage::en, "10,000 items"},
                                     {AppLanguage::pl, "10\u00a0000 obiektów"},
                                     {AppLanguage::th, "10,000 รายการ"}}) {
        LanguageScope other(lang);
        EXPECT_EQ(FileFmt::count(10000), QString::fromUtf8(text));
        EXPECT_EQ(LF("%@ von %d", "x", 10000), QString::fromUtf8(text).section(u' ', 0, 0).prepend("x von "));
    }
    EXPECT_EQ(formatKey(QStringLiteral("%@ und %@"), {QStringLiteral("a")}), "a und ");
    EXPECT_EQ(formatKey(QStringLiteral("50% %s"), {}), "50% %s");
}

// One plural rule per language; a text with fewer forms than its language uses its last.
TEST(Lookup, PluralFormsFollowEachLanguagesRule) {
    const std::pair<qint64, int> polishForms[] = {{1, 0},  {2, 1},  {4, 1}, {5, 2},   {12, 2},  {14, 2},
                                                  {22, 1}, {25, 2}, {0, 2}, {112, 2}, {1002, 1}};
    for (const auto &[n, form] : polishForms)
        EXPECT_EQ(pluralForm(AppLanguage::pl, n), form) << n;
    EXPECT_EQ(pluralForm(AppLanguage::en, 1), 0);
    EXPECT_EQ(pluralForm(AppLanguage::en, 0), 1);
    EXPECT_EQ(pluralForm(AppLanguage::de, 21), 1);
    EXPECT_EQ(pluralForm(AppLanguage::th, 1), 0);
    EXPECT_EQ(pluralForm(AppLanguage::th, 7), 0);
    EXPECT_EQ(pluralPick("a|b", 5, AppLanguage::pl), "b");
    EXPECT_EQ(pluralPick("a", 5, AppLanguage::en), "a");
    TestUtil::LanguageScope english(AppLanguage::en);
    EXPECT_EQ(LP("%d Unterschied|%d Unterschiede", 1, 1), "1 difference");
    EXPECT_EQ(LP("%d Unterschied|%d Unterschiede", 3, 3), "3 differences");
    TestUtil::LanguageScope polish(AppLanguage::pl);
    EXPECT_EQ(LP("%d Unterschied|%d Unterschiede", 3, 3), "3 różnice");
    EXPECT_EQ(LP("%d Unterschied|%d Unterschiede", 5, 5), "5 różnic");
    TestUtil::LanguageScope german(AppLanguage::de);
    EXPECT_EQ(LP("%d Unterschied|%d Unterschiede", 1, 1), "1 Unterschied");
}

TEST(Language, RawValuesAndSystemPreferences) {
    EXPECT_EQ(AppLanguages::fromRaw("th"), AppLanguage::th);
    for (const char *bad : {"EN", "fr", "", "de "})
        EXPECT_FALSE(AppLanguages::fromRaw(bad)) << bad;

    using AppLanguages::fromPreferred;
    EXPECT_EQ(fromPreferred({"fr-FR", "pl-PL"}), AppLanguage::pl);
    EXPECT_EQ(fromPreferred({"de_CH.UTF-8"}), AppLanguage::de);
    EXPECT_EQ(fromPreferred({"zh-Hans"}), AppLanguage::en);
    EXPECT_EQ(fromPreferred({}), AppLanguage::en);
    EXPECT_EQ(fromPreferred({"d"}), AppLanguage::en);

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

// Listing workers format dates with the default locale while the user switches language.
TEST(Language, SwitchingWhileWorkersReadTheDefaultLocale) {
    const AppLanguage before = Lang::current();
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i)
        readers.emplace_back([&stop] {
            const QDateTime when = QDateTime::fromSecsSinceEpoch(1700000000);
            while (!stop.load(std::memory_order_relaxed))
                (void)QLocale().toString(when, QLocale::ShortFormat);
        });
    for (int i = 0; i < 20000; ++i)
        Lang::setCurrent(AppLanguages::allCases[size_t(i) % AppLanguages::allCases.size()]);
    stop = true;
    for (std::thread &t : readers)
        t.join();
    Lang::setCurrent(before);
    EXPECT_EQ(QLocale().name().left(2), AppLanguages::rawValue(before));
}

TEST(KeyHintsText, GlyphsBecomeLinuxKeyNames) {
    using KeyHints::linuxize;
    EXPECT_EQ(linuxize("Neues Fenster ⌘⇧N", AppLanguage::de), "Neues Fenster Strg+Umschalt+N");
    EXPECT_EQ(linuxize("⇧⌘N", AppLanguage::pl), "Ctrl+Shift+N");
    EXPECT_EQ(linuxize("⌥⌘C", AppLanguage::th), "Ctrl+Alt+C");
    EXPECT_EQ(linuxize("⌘⌫", AppLanguage::de), "Strg+Rücktaste");
    EXPECT_EQ(linuxize("Halte ⌘ gedrückt", AppLanguage::en), "Halte Ctrl gedrückt");
    // The lookup converts in every language.
    LanguageScope l(AppLanguage::pl);
    EXPECT_EQ(L("Einstellungen (⌘,)"), "Ustawienia (Ctrl+,)");
}
