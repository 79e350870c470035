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

// Case-insensitive containment; ASCII names and queries skip the conversion to text.
class NameMatcher {
public:
    explicit NameMatcher(const QString &query) : m_query(query) {
        m_ascii = true;
        for (QChar c : query)
            if (c.unicode() >= 0x80) m_ascii = false;
        if (m_ascii) m_lower = query.toLower().toLatin1();
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
        return text.contains(m_query, Qt::CaseInsensitive);
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

} // namespace

QList<FileItem> search(const QString &root, const QString &query, const SearchFilter &filter,
                       const CancelFlag &flag, int limit, bool *cutShort) {
    QList<FileItem> hits;
    if (cutShort) *cutShort = false;
    const bool hidden = showHidden();
    const bool plain = filter == SearchFilter{};
    const bool sizeTest = filter.size != SearchSize::any;
    const qint64 threshold = minBytes(filter.size);
    const auto cut = cutoff(filter.age);
    const qint64 cutMs = cut ? cut->toMSecsSinceEpoch() : 0;
    const NameMatcher matcher(query);
    detail::KindCache kinds;

    const QString rootPath = norm(root);
    const auto rootBytes = Posix::encode(rootPath);
    if (!rootBytes) return {};
    std::vector<Frame> stack;
    stack.push_back(Frame{*rootBytes, rootPath, {}, 0});
    // The root may itself be a link to a folder; nothing below it is followed.
    if (!readFrame(stack.back(), false)) return {};

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

        unsigned char type = e.type;
        QByteArray pathBytes; // built only when needed
        const auto bytesOfEntry = [&]() -> const QByteArray & {
            if (pathBytes.isEmpty()) pathBytes = detail::joinBytes(top.pathBytes, name, e.length);
            return pathBytes;
        };
        if (type == DT_UNKNOWN) {
            DirReader::Stat st;
            if (DirReader::statPath(bytesOfEntry(), false, st) == 0)
                type = st.isDir() ? DT_DIR : st.isLink() ? DT_LNK : DT_REG;
        }
        const bool descend = type == DT_DIR && filter.subfolders;

        bool ascii = true;
        bool hit = matcher.empty() || matcher.matches(name, e.length, ascii);
        QString diskName;
        if (hit && top.path && !detail::decodeName(name, e.length, diskName)) hit = false;
        if (hit && !top.path) hit = false;
        if (hit && !plain) {
            DirReader::Stat st;
            const bool haveStat = DirReader::statPath(bytesOfEntry(), true, st) == 0 ||
                                  DirReader::statPath(bytesOfEntry(), false, st) == 0;
            const bool isDir = haveStat && st.isDir();
            if (!matches(filter.kind, diskName, isDir, false)) hit = false;
            if (hit && sizeTest && (!haveStat || isDir || !st.isReg() || st.size < threshold)) hit = false;
            if (hit && cut) {
                const qint64 m = haveStat && st.hasMtime ? st.mtimeMs() : std::numeric_limits<qint64>::min();
                if (m < cutMs) hit = false;
            }
        }
        if (hit) {
            hits.append(detail::makeItem(AT_FDCWD, bytesOfEntry().constData(), type, bytesOfEntry(),
                                         *top.path, diskName, kinds));
            if (hits.size() >= limit) return hits;
        }
        if (descend) {
            Frame child;
            child.pathBytes = bytesOfEntry();
            if (top.path) {
                QString decoded;
                if (detail::decodeName(name, e.length, decoded))
                    child.path = detail::joinPath(*top.path, decoded);
            }
            // An unreadable subfolder is passed over.
            if (readFrame(child, true)) stack.push_back(std::move(child));
        }
    }
    return hits;
}

} // namespace FileLoader
