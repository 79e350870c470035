#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"

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
    DirReader::Stat st;
    if (!DirReader::statOf(path, true, st) || !st.hasBtime) return kDistantPast;
    return st.btimeMs();
}

} // namespace

std::optional<QDateTime> lastUsedDate(const QString &path) {
    DirReader::Stat st;
    if (!DirReader::statOf(path, true, st) || !st.hasAtime) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(st.atimeMs(), Qt::UTC);
}

namespace {

// The positions of items in their sorted order.
std::vector<qsizetype> sortOrder(const QList<FileItem> &items, SortKey key, bool reversed) {
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

    if (reversed) {
        // Reverse the folders and the files each as a whole, so folders stay on top.
        const auto firstFile =
            std::find_if(order.begin(), order.end(), [&](qsizetype i) { return !items[i].isDirectory; });
        std::reverse(order.begin(), firstFile);
        std::reverse(firstFile, order.end());
    }
    return order;
}

} // namespace

QList<FileItem> sorted(const QList<FileItem> &items, SortKey key, bool reversed) {
    QList<FileItem> out;
    out.reserve(items.size());
    for (qsizetype i : sortOrder(items, key, reversed))
        out.append(items[i]);
    return out;
}

QList<FileItem> sorted(QList<FileItem> &&items, SortKey key, bool reversed) {
    std::vector<qsizetype> order = sortOrder(items, key, reversed);
    // Apply the permutation in place, cycle by cycle, so a large listing is never held twice.
    for (size_t start = 0; start < order.size(); ++start) {
        if (order[start] < 0) continue;
        FileItem held = std::move(items[qsizetype(start)]);
        size_t pos = start;
        for (;;) {
            const qsizetype from = order[pos];
            order[pos] = -1;
            if (size_t(from) == start) {
                items[qsizetype(pos)] = std::move(held);
                break;
            }
            items[qsizetype(pos)] = std::move(items[from]);
            pos = size_t(from);
        }
    }
    return std::move(items);
}

} // namespace FileLoader
