#include "core/model/FileLoader.h"
#include "core/model/FileLoaderDetail.h"
#include "platform/DirReader.h"
#include "platform/Posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <vector>

namespace FileLoader {

namespace {

constexpr int kVisitBudget = searchBudget;

// One folder on the walk's stack: its entries are read at once, so no descriptor stays open while the
// walk is deeper down.
struct Frame {
    QByteArray pathBytes;
    std::optional<QString> path; // none when a name on the way is not valid UTF-8
    DirReader::Batch batch;
    size_t next = 0;
};

bool readFrame(Frame &f, bool noFollow) {
    DirReader::Dir dir(f.pathBytes, noFollow);
    return dir.isOpen() && dir.readAll(f.batch);
}

// Case-insensitive containment of canonically equivalent text: a name stored decomposed (as from some
// archives and copies) is found by the same query as its composed form. ASCII names and queries skip the
// conversion to text; normalizing returns at once for text already in NFC.
class NameMatcher {
public:
    explicit NameMatcher(const QString &query) : m_query(query.normalized(QString::NormalizationForm_C)) {
        m_ascii = true;
        for (QChar c : m_query)
            if (c.unicode() >= 0x80) m_ascii = false;
        if (m_ascii) m_lower = m_query.toLower().toLatin1();
    }
    bool empty() const { return m_query.isEmpty(); }
    // nameText is filled when the name had to be decoded (and was valid).
    bool matches(const char *name, qsizetype len, bool &isAscii) const {
        isAscii = true;
        for (qsizetype i = 0; i < len; ++i)
            if (static_cast<unsigned char>(name[i]) >= 0x80) {
                isAscii = false;
                break;
            }
        if (m_ascii && isAscii) return asciiContains(name, len);
        QString text;
        if (!detail::decodeName(name, len, text)) return false; // such a name can't be shown as a hit
        return text.normalized(QString::NormalizationForm_C).contains(m_query, Qt::CaseInsensitive);
    }

private:
    bool asciiContains(const char *name, qsizetype len) const {
        const qsizetype m = m_lower.size();
        const char *q = m_lower.constData();
        for (qsizetype i = 0; i + m <= len; ++i) {
            qsizetype j = 0;
            while (j < m) {
                char c = name[i + j];
                if (c >= 'A' && c <= 'Z') c = char(c + 32);
                if (c != q[j]) break;
                ++j;
            }
            if (j == m) return true;
        }
        return false;
    }

    QString m_query;
    QByteArray m_lower;
    bool m_ascii = true;
};

// An entry's full path, built only when needed.
struct LazyPath {
    const QByteArray &folder;
    const char *name;
    qsizetype length;
    QByteArray bytes;
    const QByteArray &get() {
        if (bytes.isEmpty()) bytes = detail::joinBytes(folder, name, length);
        return bytes;
    }
};

unsigned char typeOf(unsigned char type, LazyPath &path) {
    if (type != DT_UNKNOWN) return type;
    DirReader::Stat st;
    if (DirReader::statPath(path.get(), false, st) == 0)
        return st.isDir() ? DT_DIR : st.isLink() ? DT_LNK : DT_REG;
    return type;
}

// What an entry must be, besides being shown, to be a hit.
class Criteria {
public:
    Criteria(const QString &query, const SearchFilter &filter)
        : m_filter(filter), m_plain(filter == SearchFilter{}), m_sizeTest(filter.size != SearchSize::any),
          m_threshold(minBytes(filter.size)), m_cut(cutoff(filter.age)),
          m_cutMs(m_cut ? m_cut->toMSecsSinceEpoch() : 0), m_matcher(query) {}

    // diskName gets the name as text; a name that is not valid UTF-8, or lies below one, is never a hit.
    bool hit(const char *name, qsizetype length, bool folderShown, LazyPath &path, QString &diskName) const {
        bool ascii = true;
        if (!m_matcher.empty() && !m_matcher.matches(name, length, ascii)) return false;
        if (!folderShown || !detail::decodeName(name, length, diskName)) return false;
        return m_plain || passesFilter(path, diskName);
    }

private:
    bool passesFilter(LazyPath &path, const QString &diskName) const {
        DirReader::Stat st;
        const bool haveStat =
            DirReader::statPath(path.get(), true, st) == 0 || DirReader::statPath(path.get(), false, st) == 0;
        const bool isDir = haveStat && st.isDir();
        if (!matches(m_filter.kind, diskName, isDir, false)) return false;
        if (m_sizeTest && (!haveStat || isDir || !st.isReg() || st.size < m_threshold)) return false;
        if (m_cut) {
            const qint64 m = haveStat && st.hasMtime ? st.mtimeMs() : std::numeric_limits<qint64>::min();
            if (m < m_cutMs) return false;
        }
        return true;
    }

    const SearchFilter &m_filter;
    const bool m_plain;
    const bool m_sizeTest;
    const qint64 m_threshold;
    const std::optional<QDateTime> m_cut;
    const qint64 m_cutMs;
    const NameMatcher m_matcher;
};

// Puts the sub-folder on the stack above its parent, the stack's top; an unreadable one is passed over.
void descend(std::vector<Frame> &stack, const QByteArray &pathBytes, const char *name, qsizetype length,
             QStringList *folders) {
    Frame child;
    child.pathBytes = pathBytes;
    if (const Frame &parent = stack.back(); parent.path) {
        QString decoded;
        if (detail::decodeName(name, length, decoded)) child.path = detail::joinPath(*parent.path, decoded);
    }
    if (!readFrame(child, true)) return;
    if (folders && child.path && folders->size() < searchFolderLimit) folders->append(*child.path);
    stack.push_back(std::move(child));
}

} // namespace

QList<FileItem> search(const QString &root, const QString &query, const SearchFilter &filter,
                       const CancelFlag &flag, int limit, bool *cutShort, QStringList *folders) {
    QList<FileItem> hits;
    if (cutShort) *cutShort = false;
    const bool hidden = showHidden();
    const Criteria criteria(query, filter);
    detail::KindCache kinds;

    const QString rootPath = norm(root);
    const auto rootBytes = Posix::encode(rootPath);
    if (!rootBytes) return {};
    std::vector<Frame> stack;
    stack.push_back(Frame{*rootBytes, rootPath, {}, 0});
    // The root may itself be a link to a folder; nothing below it is followed.
    if (!readFrame(stack.back(), false)) return {};
    if (folders) folders->append(rootPath);

    int visited = 0;
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next >= top.batch.entries.size()) {
            stack.pop_back();
            continue;
        }
        const DirReader::Entry e = top.batch.entries[top.next++];
        const char *name = top.batch.name(e);
        if (flag.cancelled()) return {};
        if (!hidden && name[0] == '.') continue;
        if (++visited > kVisitBudget) {
            if (cutShort) *cutShort = true;
            return hits;
        }
        LazyPath path{top.pathBytes, name, e.length, {}};
        const unsigned char type = typeOf(e.type, path);
        QString diskName;
        if (criteria.hit(name, e.length, top.path.has_value(), path, diskName)) {
            hits.append(detail::makeItem(AT_FDCWD, path.get().constData(), type, path.get(), *top.path,
                                         diskName, kinds));
            if (hits.size() >= limit) return hits;
        }
        if (type == DT_DIR && filter.subfolders) descend(stack, path.get(), name, e.length, folders);
    }
    return hits;
}

} // namespace FileLoader
