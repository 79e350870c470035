#include <canberra.h>
#include <gio/gio.h>

#include "platform/Sounds.h"

namespace SystemSounds {

namespace {

constexpr const char *soundSchema = "org.gnome.desktop.sound";
constexpr const char *soundSwitchKey = "event-sounds";

std::optional<Playing> g_current;
std::uint32_t g_nextId = 1;
Player g_player;
std::function<std::optional<bool>()> g_switchReader;

std::optional<bool> readDesktopSwitch() {
    // g_settings_new() aborts on a missing schema, so look it up first.
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    if (!source) return std::nullopt;
    GSettingsSchema *schema = g_settings_schema_source_lookup(source, soundSchema, TRUE);
    if (!schema) return std::nullopt;
    std::optional<bool> result;
    if (g_settings_schema_has_key(schema, soundSwitchKey)) {
        GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
        result = g_settings_get_boolean(settings, soundSwitchKey);
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return result;
}

bool canberraPlay(const char *event, std::uint32_t id) {
    static ca_context *context = [] {
        ca_context *c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS) return static_cast<ca_context *>(nullptr);
        ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "Kestrin", CA_PROP_APPLICATION_ID, "kestrin",
                                nullptr);
        if (ca_context_open(c) != CA_SUCCESS) {
            ca_context_destroy(c);
            return static_cast<ca_context *>(nullptr);
        }
        return c;
    }();
    if (!context) return false;
    return ca_context_play(context, id, CA_PROP_EVENT_ID, event, CA_PROP_EVENT_DESCRIPTION, event, nullptr) ==
           CA_SUCCESS;
}

} // namespace

QString rawValue(Kind kind) {
    return kind == Kind::moveToTrash ? QStringLiteral("empty trash.aif")
                                     : QStringLiteral("move to trash.aif");
}

std::optional<Kind> fromRaw(const QString &raw) {
    for (Kind k : {Kind::moveToTrash, Kind::emptyTrash})
        if (rawValue(k) == raw) return k;
    return std::nullopt;
}

const char *eventId(Kind kind) {
    return kind == Kind::moveToTrash ? "file-trash" : "trash-empty";
}

bool enabled() {
    const std::optional<bool> on = g_switchReader ? g_switchReader() : readDesktopSwitch();
    return on.value_or(true);
}

void play(Kind kind) {
    if (!enabled()) return;
    const std::uint32_t id = g_nextId++;
    const bool started = g_player ? g_player(eventId(kind), id) : canberraPlay(eventId(kind), id);
    if (started) g_current = Playing{kind, id};
}

std::optional<Playing> current() {
    return g_current;
}

void setPlayer(Player player) {
    g_player = std::move(player);
}

void setSwitchReader(std::function<std::optional<bool>()> reader) {
    g_switchReader = std::move(reader);
}

} // namespace SystemSounds
