#pragma once

#include <QHash>
#include <QString>
#include <array>
#include <optional>

// The keyboard the shortcut references draw: German QWERTZ, US QWERTY or Thai Kedmanee, or a choice that
// follows the interface language. Stored as its raw value under "keyboardLayout".
enum class KbLayout { automatic, de, us, th };

namespace KbLayouts {

inline constexpr const char *storeKey = "keyboardLayout";
inline constexpr std::array<KbLayout, 4> allCases{KbLayout::automatic, KbLayout::de, KbLayout::us,
                                                  KbLayout::th};

QString rawValue(KbLayout layout);
// Exactly "auto", "de", "us" or "th"; anything else is no layout.
std::optional<KbLayout> fromRaw(const QString &raw);
// The stored raw value read back: anything unknown is the automatic choice.
KbLayout fromStored(const QString &raw);
// The German key of its title (translate it with L).
const char *titleKey(KbLayout layout);
QString title(KbLayout layout);
// The layout actually drawn: the automatic choice follows the current interface language.
KbLayout resolved(KbLayout layout);
// The unshifted Thai labels by the US key identifier.
const QHash<QString, QString> &thai();

} // namespace KbLayouts
