#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"
#include "platform/Posix.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <algorithm>
#include <limits>
#include <vector>

namespace FileLoader {

namespace {

// Natural, case-insensitive order of the interface language. The locale is explicit: under C.UTF-8
// the collator would ignore numeric mode.
QCollator makeCollator() {
    QCollator c(AppLanguages::locale(Lang::current()));
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    c.setIgnorePunctuation(false);
    return c;
}

constexpr qint64 kDistantPast = std::numeric_limits<qint64>::min();

qint64 msecs(const std::optional<QDateTime> &d) {
    return d ? d->toMSecsSinceEpoch() : kDistantPast;
}

qint64 birthTime(const QString &path) {
    const auto bytes = Posix::encode(path);
    DirReader::Stat st;
    if (!bytes || DirReader::statPath(*bytes, true, st) != 0 || !st.hasBtime) return kDistantPast;
    return st.btimeSec * 1000 + st.btimeNsec / 1000000;
}

} // namespace

std::optional<QDateTime> lastUsedDate(const QString &path) {
    const auto bytes = Posix::encode(path);
    DirReader::Stat st;
    if (!bytes || DirReader::statPath(*bytes, true, st) != 0 || !st.hasAtime) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(st.atimeSec * 1000 + st.atimeNsec / 1000000, Qt::UTC);
}

QList<FileItem> sorted(const QList<FileItem> &items, SortKey key, bool reversed) {
    const qsizetype n = items.size();
    const QCollator collator = makeCollator();
    std::vector<QCollatorSortKey> names;
    names.reserve(size_t(n));
    for (const FileItem &i : items)
        names.push_back(collator.sortKey(i.name));

    // Kinds repeat: rank the distinct ones once instead of collating every pair.
    std::vector<int> kindRank;
    std::vector<qint64> dates;
    if (key == SortKey::type) {
        QStringList distinct;
        QHash<QString, int> seen;
        for (const FileItem &i : items)
            if (!seen.contains(i.kind)) seen.insert(i.kind, 0), distinct << i.kind;
        std::stable_sort(distinct.begin(), distinct.end(),
                         [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
        int rank = 0;
        for (qsizetype k = 0; k < distinct.size(); ++k) {
            if (k > 0 && collator.compare(distinct[k - 1], distinct[k]) != 0) ++rank;
            seen[distinct[k]] = rank;
        }
        kindRank.reserve(size_t(n));
        for (const FileItem &i : items)
            kindRank.push_back(seen.value(i.kind));
    } else if (key == SortKey::date || key == SortKey::created || key == SortKey::lastOpened) {
        dates.reserve(size_t(n));
        for (const FileItem &i : items) {
            if (key == SortKey::date)
                dates.push_back(msecs(i.modified));
            else if (key == SortKey::created)
                dates.push_back(birthTime(i.path));
            else
                dates.push_back(msecs(lastUsedDate(i.path)));
        }
    }

    std::vector<qsizetype> order(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        order[size_t(i)] = i;
    const auto byName = [&](qsizetype a, qsizetype b) {
        return names[size_t(a)].compare(names[size_t(b)]) < 0;
    };
    const auto before = [&](qsizetype a, qsizetype b) {
        const FileItem &x = items[a];
        const FileItem &y = items[b];
        if (x.isDirectory != y.isDirectory) return x.isDirectory;
        switch (key) {
        case SortKey::name:
            return byName(a, b);
        case SortKey::type: {
            const int ka = kindRank[size_t(a)], kb = kindRank[size_t(b)];
            return ka != kb ? ka < kb : byName(a, b);
        }
        case SortKey::size:
            return x.size != y.size ? x.size > y.size : byName(a, b);
        case SortKey::date:
        case SortKey::created:
        case SortKey::lastOpened: {
            const qint64 da = dates[size_t(a)], db = dates[size_t(b)];
            return da != db ? da > db : byName(a, b);
        }
        }
        return false;
    };
    std::stable_sort(order.begin(), order.end(), before);

    QList<FileItem> out;
    out.reserve(n);
    if (!reversed) {
        for (qsizetype i : order)
            out.append(items[i]);
        return out;
    }
    // Reverse the folders and the files each as a whole, so folders stay on top.
    const auto firstFile =
        std::find_if(order.begin(), order.end(), [&](qsizetype i) { return !items[i].isDirectory; });
    for (auto it = std::make_reverse_iterator(firstFile); it != order.rend(); ++it)
        out.append(items[*it]);
    for (auto it = order.rbegin(); it != std::make_reverse_iterator(firstFile); ++it)
        out.append(items[*it]);
    return out;
}

} // namespace FileLoader
