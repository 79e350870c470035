#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Short desktop sounds after Trash operations, from the freedesktop sound theme.
namespace SystemSounds {

// The raw values are the names of the sound files each kind plays (deliberately crossed over).
enum class Kind { moveToTrash, emptyTrash };

QString rawValue(Kind kind);
std::optional<Kind> fromRaw(const QString &raw);
// The sound-theme event played for a kind.
const char *eventId(Kind kind);

// Plays the kind's sound asynchronously, or nothing: when interface sounds are switched off,
// when the theme has no such sound, or when no sound device answers.
void play(Kind kind);

// The desktop's switch for event sounds; absent or unreadable counts as on.
bool enabled();

// The sound last started.
struct Playing {
    Kind kind;
    std::uint32_t id;
    bool operator==(const Playing &) const = default;
};
std::optional<Playing> current();

// Test seams: a player returning whether the sound started, and the switch reader.
using Player = std::function<bool(const char *eventId, std::uint32_t id)>;
void setPlayer(Player player);
void setSwitchReader(std::function<std::optional<bool>()> reader);

} // namespace SystemSounds
