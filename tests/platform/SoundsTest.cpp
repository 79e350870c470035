// Qt's signals keyword (the test headers bring Qt in first) would break GIO's headers.
#undef signals
#include <gio/gio.h>
#define signals Q_SIGNALS

#include "platform/Sounds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace SystemSounds;

namespace {

// Records what would be played; `available` says whether the theme has the sound.
struct FakePlayer {
    std::vector<std::string> played;
    bool available = true;
};

void install(FakePlayer &fake, std::optional<bool> uiSounds) {
    setPlayer([&fake](const char *id, std::uint32_t) {
        if (!fake.available) return false;
        fake.played.push_back(id);
        return true;
    });
    setSwitchReader([uiSounds] { return uiSounds; });
}

void uninstall() {
    setPlayer({});
    setSwitchReader({});
}

} // namespace

TEST(SoundsTest, KindsNameTheirFiles) {
    // Moving to the Trash plays the file named "empty trash", and the other way round.
    EXPECT_EQ(rawValue(Kind::moveToTrash), "empty trash.aif");
    EXPECT_EQ(rawValue(Kind::emptyTrash), "move to trash.aif");
    EXPECT_EQ(fromRaw("empty trash.aif"), Kind::moveToTrash);
    EXPECT_EQ(fromRaw("move to trash.aif"), Kind::emptyTrash);
    EXPECT_EQ(fromRaw("Empty Trash.aif"), std::nullopt);
    EXPECT_EQ(fromRaw(""), std::nullopt);
}

TEST(SoundsTest, SwitchDecidesAndAbsentCountsAsOn) {
    for (std::optional<bool> uiSounds : {std::optional<bool>(true), std::optional<bool>()}) {
        FakePlayer fake;
        install(fake, uiSounds);
        play(Kind::emptyTrash);
        EXPECT_EQ(fake.played, std::vector<std::string>{"trash-empty"});
    }
    FakePlayer off;
    install(off, false);
    EXPECT_FALSE(enabled());
    play(Kind::emptyTrash);
    EXPECT_TRUE(off.played.empty());
    uninstall();
}

TEST(SoundsTest, MissingSoundIsSilentAndSecondCallReplacesTheFirst) {
    FakePlayer fake;
    install(fake, true);
    play(Kind::moveToTrash);
    const auto first = current();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->kind, Kind::moveToTrash);
    play(Kind::emptyTrash);
    ASSERT_TRUE(current());
    EXPECT_EQ(current()->kind, Kind::emptyTrash);
    EXPECT_NE(current()->id, first->id);

    // A theme without the sound: nothing plays and the last started sound stays current.
    const auto before = current();
    fake.available = false;
    play(Kind::moveToTrash);
    EXPECT_EQ(current(), before);
    uninstall();
}

TEST(SoundsTest, DesktopSwitchReadsAsOnByDefault) {
    // The in-memory settings backend holds the schema defaults and never touches the user's store.
    qputenv("GSETTINGS_BACKEND", "memory");
    EXPECT_TRUE(enabled());

    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    GSettingsSchema *schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.sound", TRUE) : nullptr;
    if (!schema) GTEST_SKIP() << "no desktop sound schema installed";
    GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_set_boolean(settings, "event-sounds", FALSE);
    EXPECT_FALSE(enabled());
    g_settings_reset(settings, "event-sounds");
    EXPECT_TRUE(enabled());
    g_object_unref(settings);
    g_settings_schema_unref(schema);
}
