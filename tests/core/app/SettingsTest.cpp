#include "common/TestUtil.h"
#include "core/app/Settings.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

using Key = Settings::Key;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    void TearDown() override {
        Lang::setCurrent(m_language);
        FileLoader::setShowHidden(m_hidden);
        TestUtil::freshSettings();
    }

    // What a new process does: the store, the language and the hidden files are read anew from the file.
    static void restart() {
        Defaults::resetForTests();
        Lang::resetForTests();
        FileLoader::setShowHidden(Defaults::boolValue("showHidden").value_or(false));
    }

    // A value of the row's kind that is not its default and lies inside its bound.
    static QVariant another(const Settings::Row &row) {
        switch (row.key) {
        case Key::splitFraction:
            return 0.3;
        case Key::inspectorWidth:
            return 400.0;
        case Key::fontSize:
            return 15.0;
        case Key::language:
            return Lang::current() == AppLanguage::pl ? "th" : "pl";
        case Key::appearance:
            return "dark";
        default:
            break;
        }
        switch (row.fallback.typeId()) {
        case QMetaType::Bool:
            return !row.fallback.toBool();
        case QMetaType::QStringList:
            return QStringList{"/a", "/b"};
        case QMetaType::QByteArray:
            return QByteArray("[]");
        default:
            return "other";
        }
    }

    AppLanguage m_language = Lang::current();
    bool m_hidden = FileLoader::showHidden();
};

} // namespace

// The table is indexed by its keys; each row has a name of its own and a default its reader's kind can hold.
TEST_F(SettingsTest, TheTableHasOneRowPerKeyInKeyOrder) {
    QSet<QString> names;
    int i = 0;
    for (const Settings::Row &row : Settings::rows()) {
        EXPECT_EQ(int(row.key), i++);
        EXPECT_EQ(&Settings::row(row.key), &row);
        EXPECT_EQ(Settings::rowNamed(row.name), &row);
        names << row.name;
        ASSERT_TRUE(row.read);
        EXPECT_TRUE(row.fallback.isValid()) << row.name;
    }
    EXPECT_EQ(names.size(), int(Settings::rows().size()));
}

// Theme, size, folder icons and light or dark change the look, nothing else does.
TEST_F(SettingsTest, OnlyTheLookRowsChangeTheLook) {
    QSet<Key> look;
    for (const Settings::Row &row : Settings::rows())
        if (Settings::changesLook(row.key)) look << row.key;
    EXPECT_EQ(look, (QSet<Key>{Key::themeID, Key::fontSize, Key::folderIcons, Key::appearance}));
}

// Nothing stored: every value is its row's default, and reading writes nothing back.
TEST_F(SettingsTest, NothingStoredReadsTheDefaultsOfTheTable) {
    restart();
    Settings settings;
    for (const Settings::Row &row : Settings::rows()) {
        if (row.key == Key::language || row.key == Key::showHidden) continue; // their subsystems decide
        EXPECT_EQ(settings.value(row.key), row.fallback) << row.name;
        EXPECT_FALSE(Defaults::contains(row.name)) << row.name;
    }
    EXPECT_FALSE(settings.showHidden());
    EXPECT_EQ(settings.fontSize(), 13);
    EXPECT_EQ(settings.splitFraction(), 0.5);
}

TEST_F(SettingsTest, EveryRowIsWrittenAndSurvivesARestart) {
    QVariantList values;
    {
        Settings settings(10'000); // only the explicit save and the one at the end write
        for (const Settings::Row &row : Settings::rows()) {
            values << another(row);
            EXPECT_TRUE(settings.set(row.key, values.last())) << row.name;
            EXPECT_EQ(settings.value(row.key), values.last()) << row.name;
        }
        EXPECT_FALSE(Defaults::contains("dualPane")); // not yet: one save for all
        settings.save();
        for (const Settings::Row &row : Settings::rows())
            EXPECT_EQ(Defaults::value(row.name), values[int(row.key)]) << row.name;
    }
    restart();
    Settings settings;
    for (const Settings::Row &row : Settings::rows())
        EXPECT_EQ(settings.value(row.key), values[int(row.key)]) << row.name;
}

// Changes within the pause are written together; what is still waiting is written when the settings go.
TEST_F(SettingsTest, OneDebouncedSaveAndNothingLost) {
    {
        Settings settings(50);
        settings.setShowSidebar(false);
        settings.setFontSize(16);
        EXPECT_TRUE(settings.savePending());
        EXPECT_FALSE(Defaults::contains("showSidebar"));
        QTRY_VERIFY_WITH_TIMEOUT(!settings.savePending(), 2000);
        EXPECT_EQ(Defaults::boolValue("showSidebar"), false);
        EXPECT_EQ(Defaults::doubleValue("fontSize"), 16);
        EXPECT_FALSE(Defaults::contains("dualPane")); // only what was set
        settings.setDualPane(false);
    }
    EXPECT_EQ(Defaults::boolValue("dualPane"), false);
}

// Stored values of the wrong kind read as the default; numbers out of range as the clamp or the default.
TEST_F(SettingsTest, HostileStoredValuesGetTheDefaultOrTheClamp) {
    const struct {
        const char *name;
        QVariant stored;
        QVariant expected;
    } cases[] = {
        {"dualPane", "false", true},                          // a Boolean as text is no Boolean
        {"dualPane", 2, true},                                // nor a number other than 0 or 1
        {"showSidebar", 0, false},                            // 0 and 1 count
        {"toolbarCompact", qQNaN(), true},                    // NaN
        {"splitFraction", 0.95, 0.8},                         // the clamp
        {"splitFraction", -qInf(), 0.5},                      // infinities are absent
        {"splitFraction", "0.3", 0.5},                        // a number as text is absent
        {"inspectorWidth", 100, 220.0},                       // the clamp
        {"fontSize", 9, 13.0},                                // out of range: the default, not the clamp
        {"fontSize", 18, 18.0},                               // the bound itself is in range
        {"fontSize", qInf(), 13.0},                           //
        {"toolbarApps", QVariantList{"a", 3}, QStringList()}, // one item of another kind
        {"quickFavorites", "a", QStringList()},
        {"rulesAuto", "yes", true}, // the lenient reading
        {"rulesAuto", qQNaN(), false},
        {"theme", 5, "nebula"},
        {"folderIcons", true, "finder"},
        {"appearance", QStringList{"dark"}, "system"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + c.stored.toString().toStdString());
        TestUtil::freshSettings();
        Defaults::setValue(c.name, c.stored);
        restart();
        Settings settings;
        EXPECT_EQ(settings.value(Settings::rowNamed(c.name)->key), c.expected);
        EXPECT_EQ(Settings::stored(Settings::rowNamed(c.name)->key), c.expected);
        EXPECT_FALSE(settings.savePending()); // reading writes nothing back
    }
}

// Setting takes only a value of the row's kind (any finite number for a number) and a name of the table.
TEST_F(SettingsTest, WrongKindsAndNamesTheTableLacksAreNeverSaved) {
    Settings settings(10'000);
    EXPECT_FALSE(settings.set(Key::fontSize, "big"));
    EXPECT_FALSE(settings.set(Key::fontSize, true));
    EXPECT_FALSE(settings.set(Key::splitFraction, qQNaN()));
    EXPECT_FALSE(settings.set(Key::inspectorWidth, qInf()));
    EXPECT_FALSE(settings.set(Key::dualPane, 0));
    EXPECT_FALSE(settings.set(Key::themeID, 3));
    EXPECT_FALSE(settings.set(Key::toolbarApps, QString("a")));
    EXPECT_FALSE(settings.set(QStringLiteral("noSuchSetting"), 1));
    EXPECT_FALSE(settings.set(QStringLiteral("lastPath.left"), QStringLiteral("/tmp")));
    EXPECT_FALSE(settings.savePending());
    EXPECT_TRUE(settings.set(Key::fontSize, 14)); // a whole number is a number
    EXPECT_EQ(settings.fontSize(), 14.0);
    EXPECT_TRUE(settings.set(QStringLiteral("theme"), QStringLiteral("ocean")));
    settings.save();
    EXPECT_EQ(Defaults::stringValue("theme"), "ocean");
    EXPECT_EQ(Defaults::doubleValue("fontSize"), 14);
    EXPECT_FALSE(Defaults::contains("noSuchSetting"));
    EXPECT_FALSE(Defaults::contains("lastPath.left"));
    EXPECT_EQ(Defaults::value("splitFraction"), QVariant());
}
