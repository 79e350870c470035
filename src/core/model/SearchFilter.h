#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

enum class SearchKind { all, folders, documents, images, audio, video, archives, apps };
enum class SearchSize { any = 0, mb1 = 1, mb10 = 2, mb100 = 3, gb1 = 4 };
enum class SearchAge { any = 0, today = 1, week = 2, month = 3, year = 4 };

namespace SearchKinds {
inline constexpr std::array<SearchKind, 8> allCases{
    SearchKind::all,   SearchKind::folders, SearchKind::documents, SearchKind::images,
    SearchKind::audio, SearchKind::video,   SearchKind::archives,  SearchKind::apps};
}
namespace SearchSizes {
inline constexpr std::array<SearchSize, 5> allCases{SearchSize::any, SearchSize::mb1, SearchSize::mb10,
                                                    SearchSize::mb100, SearchSize::gb1};
}
namespace SearchAges {
inline constexpr std::array<SearchAge, 5> allCases{SearchAge::any, SearchAge::today, SearchAge::week,
                                                   SearchAge::month, SearchAge::year};
}

QString rawValue(SearchKind k);
std::optional<SearchKind> searchKindFromRaw(const QString &raw);
QString title(SearchKind k);
// name is the last path component on disk.
bool matches(SearchKind k, const QString &name, bool isDirectory, bool isPackage);

inline int rawValue(SearchSize s) {
    return int(s);
}
std::optional<SearchSize> searchSizeFromRaw(int raw);
QString title(SearchSize s);
qint64 minBytes(SearchSize s);

inline int rawValue(SearchAge a) {
    return int(a);
}
std::optional<SearchAge> searchAgeFromRaw(int raw);
QString title(SearchAge a);
// Computed from the local calendar at each call.
std::optional<QDateTime> cutoff(SearchAge a);
std::optional<QDateTime> cutoff(SearchAge a, const QDateTime &now);

struct SearchFilter {
    SearchKind kind = SearchKind::all;
    SearchSize size = SearchSize::any;
    SearchAge age = SearchAge::any;
    bool subfolders = true;

    bool isActive() const { return !(*this == SearchFilter{}); }
    friend bool operator==(const SearchFilter &, const SearchFilter &) = default;
};
