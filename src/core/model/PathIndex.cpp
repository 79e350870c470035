#include "core/model/PathIndex.h"

#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace {

// FNV-1a over the path's UTF-16 units, fed piece by piece.
constexpr size_t kSeed = 14695981039346656037ull;
inline size_t feed(size_t h, QStringView s) {
    for (const QChar c : s) {
        h ^= c.unicode();
        h *= 1099511628211ull;
    }
    return h;
}

} // namespace

size_t PathIndex::hashOf(QStringView path) {
    return feed(kSeed, path);
}

size_t PathIndex::hashOf(const FileItem &item) {
    if (item.folder.isEmpty()) return feed(kSeed, item.leaf);
    size_t h = feed(kSeed, item.folder);
    if (item.folder != u"/") h = feed(h, u"/");
    return feed(h, item.leaf);
}

bool PathIndex::samePlace(const FileItem &a, const FileItem &b) {
    if (a.folder == b.folder) return a.leaf == b.leaf;
    return a.path() == b.path(); // split apart differently; rare
}

PathIndex::PathIndex(const QList<FileItem> &list) : m_list(list) {
    size_t capacity = 16;
    while (capacity < size_t(list.size()) * 2)
        capacity *= 2;
    m_slots.assign(capacity, -1);
    m_mask = capacity - 1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const FileItem &item = list[i];
        for (size_t s = hashOf(item) & m_mask;; s = (s + 1) & m_mask) {
            const qint32 r = m_slots[s];
            if (r < 0) {
                m_slots[s] = qint32(i);
                break;
            }
            if (samePlace(list[r], item)) break; // an earlier row has this path
        }
    }
}

template <class Same> qsizetype PathIndex::find(size_t hash, const Same &same) const {
    if (m_slots.empty()) return -1;
    for (size_t s = hash & m_mask;; s = (s + 1) & m_mask) {
        const qint32 r = m_slots[s];
        if (r < 0) return -1;
        if (same(m_list[r])) return r;
    }
}

qsizetype PathIndex::scan(const QList<FileItem> &list, QStringView path) {
    for (qsizetype r = 0; r < list.size(); ++r)
        if (list[r].isAt(path)) return r;
    return -1;
}

qsizetype PathIndex::row(QStringView path) const {
    return find(hashOf(path), [&](const FileItem &i) { return i.isAt(path); });
}

qsizetype PathIndex::row(const FileItem &item) const {
    return find(hashOf(item), [&](const FileItem &i) { return samePlace(i, item); });
}

QList<FileItem> PathIndex::release() {
    m_slots = {};
    m_mask = 0;
    return std::exchange(m_list, {});
}

qsizetype RowLookup::row(const QList<FileItem> &list, QStringView path) {
    if (m_index.covers(list)) return m_index.row(path);
    if (m_pending.isValid() && m_pending.isFinished()) {
        PathIndex done = m_pending.takeResult();
        m_pending = {};
        m_pendingData = nullptr;
        if (done.covers(list)) {
            m_index = std::move(done);
            return m_index.row(path);
        }
    }
    if (list.size() < indexAtOnceBelow) {
        m_index = PathIndex(list);
        return m_index.row(path);
    }
    if (!m_pending.isValid() || m_pendingData != list.constData() || m_pendingSize != list.size()) {
        m_pendingData = list.constData();
        m_pendingSize = list.size();
        m_pending = QtConcurrent::run([list] { return PathIndex(list); });
    }
    return PathIndex::scan(list, path);
}

QList<FileItem> RowLookup::release() {
    m_pending = {};
    m_pendingData = nullptr;
    return m_index.release();
}
