#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"
#include "platform/Spread.h"

#include <QCollator>
#include <QLocale>
#include <QCollatorSortKey>
#include <QSet>
#include <algorithm>
#include <limits>
#include <memory>
#include <thread>
#include <cstring>
#include <vector>

#include <unicode/ucol.h>

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

// Collation keys of many names in one block per thread, made by the same ICU collator settings that
// makeCollator() gives QCollator (which allocates twice per key; for a million names that churn stays in
// the heap long after the sort).
class KeyBlock {
public:
    KeyBlock() {
        UErrorCode status = U_ZERO_ERROR;
        const QByteArray name =
            AppLanguages::locale(Lang::current()).bcp47Name().replace('-', '_').toLatin1();
        m_collator = ucol_open(name.constData(), &status);
        if (U_FAILURE(status) || !m_collator) {
            m_collator = nullptr;
            return;
        }
        ucol_setAttribute(m_collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_SECONDARY, &status); // case-insensitive
        ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        ucol_setAttribute(m_collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
        if (U_FAILURE(status)) {
            ucol_close(m_collator);
            m_collator = nullptr;
        }
    }
    ~KeyBlock() {
        if (m_collator) ucol_close(m_collator);
    }
    KeyBlock(const KeyBlock &) = delete;
    KeyBlock &operator=(const KeyBlock &) = delete;
    bool ok() const { return m_collator != nullptr; }
    // Appends the key of text; returns its offset. Keys end with a NUL and hold no other.
    size_t add(const QString &text) {
        const size_t at = m_bytes.size();
        size_t room = std::max<size_t>(64, size_t(text.size()) * 4 + 16);
        for (;;) {
            m_bytes.resize(at + room);
            const int32_t n = ucol_getSortKey(m_collator, reinterpret_cast<const UChar *>(text.utf16()),
                                              int32_t(text.size()), m_bytes.data() + at, int32_t(room));
            if (n > 0 && size_t(n) <= room) {
                m_bytes.resize(at + size_t(n));
                return at;
            }
            room = n > 0 ? size_t(n) : room * 2;
        }
    }
    const char *at(size_t offset) const { return reinterpret_cast<const char *>(m_bytes.data() + offset); }
    void reserve(size_t bytes) { m_bytes.reserve(bytes); }

private:
    UCollator *m_collator = nullptr;
    std::vector<uint8_t> m_bytes;
};

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

// Below this many records one thread sorts; above it the keys are made and the runs sorted on a few threads,
// then merged.
constexpr qsizetype kParallelFrom = 20000;

// Runs fn(from, to) over [0, n) split into `parts` contiguous ranges.
template <typename Fn> void inParts(qsizetype n, int parts, Fn fn) {
    Spread::run(n, parts, fn);
}

// What the comparisons of one sort read: the names' collation keys and, for the date orders, the dates.
struct SortKeys {
    // ICU keys in a block per thread; where ICU can't be set up, QCollator's keys instead.
    std::vector<std::unique_ptr<KeyBlock>> blocks;
    std::vector<std::pair<const KeyBlock *, size_t>> keyAt;
    std::vector<std::optional<QCollatorSortKey>> names;
    std::vector<qint64> dates;
    bool icu = true;

    bool nameBefore(qsizetype a, qsizetype b) const {
        if (icu) {
            const auto &x = keyAt[size_t(a)], &y = keyAt[size_t(b)];
            return std::strcmp(x.first->at(x.second), y.first->at(y.second)) < 0;
        }
        return names[size_t(a)]->compare(*names[size_t(b)]) < 0;
    }
};

qint64 dateOf(const FileItem &item, SortKey key) {
    if (key == SortKey::date) return msecs(item.modified);
    if (key == SortKey::created) return birthTime(item.path());
    return msecs(lastUsedDate(item.path()));
}

// The keys: the costly part, made on every thread into a block of its own.
SortKeys makeKeys(const QList<FileItem> &items, SortKey key, int parts) {
    const qsizetype n = items.size();
    SortKeys k;
    k.blocks.resize(size_t(std::max(parts, 1)));
    k.keyAt.assign(static_cast<size_t>(n), {nullptr, 0});
    const bool byDate = key == SortKey::date || key == SortKey::created || key == SortKey::lastOpened;
    if (byDate) k.dates.resize(size_t(n));
    const qsizetype partSize = (n + parts - 1) / std::max(parts, 1);
    for (auto &b : k.blocks) {
        b = std::make_unique<KeyBlock>();
        k.icu = k.icu && b->ok();
    }
    if (!k.icu) k.names.resize(size_t(n));
    inParts(n, parts, [&](qsizetype from, qsizetype to) {
        const QCollator own = makeCollator();
        KeyBlock &block = *k.blocks[size_t(partSize ? from / partSize : 0)];
        if (k.icu) block.reserve(size_t(to - from) * 40);
        for (qsizetype i = from; i < to; ++i) {
            if (k.icu)
                k.keyAt[size_t(i)] = {&block, block.add(items[i].name)};
            else
                k.names[size_t(i)] = own.sortKey(items[i].name);
            if (byDate) k.dates[size_t(i)] = dateOf(items[i], key);
        }
    });
    return k;
}

// Kinds repeat: rank the distinct ones once instead of collating every pair.
std::vector<int> kindRanks(const QList<FileItem> &items, const QCollator &collator) {
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
    std::vector<int> out;
    out.reserve(size_t(items.size()));
    for (const FileItem &i : items)
        out.push_back(seen.value(i.kind));
    return out;
}

// Stable runs in listing order, merged pairwise; a merge takes the earlier run first on ties, so the
// result is that of one stable sort of the whole.
template <typename Before>
void stableSortInParts(std::vector<qsizetype> &order, int parts, const Before &before) {
    const qsizetype n = qsizetype(order.size());
    inParts(n, parts, [&](qsizetype from, qsizetype to) {
        std::stable_sort(order.begin() + from, order.begin() + to, before);
    });
    std::vector<std::pair<qsizetype, qsizetype>> runs;
    const qsizetype chunk = (n + parts - 1) / std::max(parts, 1);
    for (qsizetype from = 0; from < n; from += chunk)
        runs.emplace_back(from, std::min(n, from + chunk));
    std::vector<qsizetype> scratch;
    if (runs.size() > 1) scratch.resize(size_t(n));
    while (runs.size() > 1) {
        std::vector<std::pair<qsizetype, qsizetype>> next;
        std::vector<std::thread> threads;
        for (size_t r = 0; r + 1 < runs.size(); r += 2) {
            const auto a = runs[r], b = runs[r + 1];
            threads.emplace_back([&, a, b] {
                std::merge(order.begin() + a.first, order.begin() + a.second, order.begin() + b.first,
                           order.begin() + b.second, scratch.begin() + a.first, before);
                std::copy(scratch.begin() + a.first, scratch.begin() + b.second, order.begin() + a.first);
            });
            next.emplace_back(a.first, b.second);
        }
        if (runs.size() % 2) next.push_back(runs.back());
        for (std::thread &t : threads)
            t.join();
        runs = std::move(next);
    }
}

// The positions of items in their sorted order.
std::vector<qsizetype> sortOrder(const QList<FileItem> &items, SortKey key, bool reversed) {
    const qsizetype n = items.size();
    const int parts = n < kParallelFrom ? 1 : int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    const SortKeys keys = makeKeys(items, key, parts);
    const std::vector<int> kindRank =
        key == SortKey::type ? kindRanks(items, makeCollator()) : std::vector<int>();
    std::vector<qsizetype> order(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        order[size_t(i)] = i;
    const auto byName = [&](qsizetype a, qsizetype b) { return keys.nameBefore(a, b); };
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
            const qint64 da = keys.dates[size_t(a)], db = keys.dates[size_t(b)];
            return da != db ? da > db : byName(a, b);
        }
        }
        return false;
    };
    stableSortInParts(order, parts, before);
    if (reversed) {
        // Reverse the folders and the files each as a whole, so folders stay on top.
        const auto firstFile =
            std::find_if(order.begin(), order.end(), [&](qsizetype i) { return !items[i].isDirectory; });
        std::reverse(order.begin(), firstFile);
        std::reverse(firstFile, order.end());
    }
    return order;
}

// a against b in the sort's own direction (before reversal): negative when a goes first.
int compareItems(const FileItem &a, const FileItem &b, SortKey key, const QCollator &collator) {
    const auto byName = [&] { return collator.compare(a.name, b.name); };
    const auto later = [&](qint64 x, qint64 y) { return x != y ? (x > y ? -1 : 1) : byName(); };
    switch (key) {
    case SortKey::name:
        return byName();
    case SortKey::type:
        if (const int c = collator.compare(a.kind, b.kind); c != 0) return c;
        return byName();
    case SortKey::size:
        return a.size != b.size ? (a.size > b.size ? -1 : 1) : byName();
    case SortKey::date:
        return later(msecs(a.modified), msecs(b.modified));
    case SortKey::created:
        return later(birthTime(a.path()), birthTime(b.path()));
    case SortKey::lastOpened:
        return later(msecs(lastUsedDate(a.path())), msecs(lastUsedDate(b.path())));
    }
    return 0;
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

MergePlan mergePlan(const QList<FileItem> &before, const QString &folder, const QStringList &names,
                    QList<FileItem> records, SortKey key, bool reversed) {
    QHash<QStringView, bool> changed;
    changed.reserve(names.size());
    for (const QString &name : names)
        changed.insert(QStringView(name), true);
    MergePlan plan;
    plan.records = sorted(std::move(records), key, reversed);
    const QCollator collator = makeCollator();
    // Where each new record goes among the old rows: after the rows it does not go before.
    const auto goesBefore = [&](const FileItem &x, const FileItem &y) {
        if (x.isDirectory != y.isDirectory) return x.isDirectory;
        const int c = compareItems(x, y, key, collator);
        return reversed ? c > 0 : c < 0;
    };
    // The rows that go: only names of a changed length are looked up.
    QSet<qsizetype> lengths;
    for (const QString &name : names)
        lengths.insert(name.size());
    for (qsizetype row = 0; row < before.size(); ++row) {
        const FileItem &b = before[row];
        if (lengths.contains(b.leaf.size()) && changed.contains(QStringView(b.leaf)) && b.folder == folder)
            plan.drop.push_back(row);
    }
    // A record's row in the result: the old rows before it that stay, and the records before it.
    plan.rows.reserve(size_t(plan.records.size()));
    for (qsizetype i = 0; i < plan.records.size(); ++i) {
        const qsizetype at =
            std::upper_bound(before.begin(), before.end(), plan.records[i], goesBefore) - before.begin();
        const qsizetype gone = std::lower_bound(plan.drop.begin(), plan.drop.end(), at) - plan.drop.begin();
        plan.rows.push_back(at - gone + i);
    }
    return plan;
}

void applyPlan(QList<FileItem> &items, MergePlan plan, const std::function<void(const MergeStep &)> &step) {
    const auto around = [&](MergeStep s, const auto &change) {
        s.done = false;
        if (step) step(s);
        change();
        s.done = true;
        if (step) step(s);
    };
    // Runs of consecutive rows, removed from the last one up so the rows above keep their numbers.
    for (size_t end = plan.drop.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && plan.drop[begin - 1] + 1 == plan.drop[begin])
            --begin;
        const qsizetype first = plan.drop[begin], last = plan.drop[end - 1];
        around(MergeStep{false, first, last}, [&] { items.remove(first, last - first + 1); });
        end = begin;
    }
    // Inserted in ascending order: the rows above each run are already those of the result.
    for (size_t begin = 0; begin < plan.rows.size();) {
        size_t end = begin + 1;
        while (end < plan.rows.size() && plan.rows[end] == plan.rows[end - 1] + 1)
            ++end;
        const qsizetype first = plan.rows[begin], last = plan.rows[end - 1];
        around(MergeStep{true, first, last}, [&] {
            const qsizetype count = last - first + 1;
            if (first == 0 && !items.isEmpty()) {
                // At the very top Qt would move the whole list to a new block with room in front.
                items.insert(1, count, FileItem());
                std::rotate(items.begin(), items.begin() + 1, items.begin() + 1 + count);
            } else {
                items.insert(first, count, FileItem());
            }
            for (size_t i = begin; i < end; ++i)
                items[plan.rows[i]] = std::move(plan.records[qsizetype(i)]);
        });
        begin = end;
    }
}

QList<FileItem> merged(const QList<FileItem> &before, const QString &folder, const QStringList &names,
                       QList<FileItem> records, SortKey key, bool reversed) {
    QList<FileItem> out = before;
    applyPlan(out, mergePlan(before, folder, names, std::move(records), key, reversed));
    return out;
}

} // namespace FileLoader
