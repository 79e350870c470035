#include "core/model/MultiSummary.h"

#include "core/model/FileLoader.h"
#include "core/model/FolderSize.h"
#include "core/model/MimeKinds.h"
#include "core/model/Tags.h"
#include "platform/Posix.h"

#include <QHash>
#include <algorithm>
#include <climits>
#include <sys/stat.h>

MultiSummary MultiSummary::make(const QStringList &paths, const CancelFlag *cancel) {
    MultiSummary s;
    QHash<QString, int> kinds;
    QSet<QString> parents;
    for (const QString &path : paths) {
        if (cancel && cancel->cancelled()) break;
        parents.insert(Posix::parentOf(path));
        struct stat st {};
        if (!Posix::lstatPath(path, st)) {
            ++s.files;
            ++kinds[QStringLiteral("?")];
            continue;
        }
        const bool dir = S_ISDIR(st.st_mode);
        dir ? ++s.folders : ++s.files;
        QString kind = S_ISREG(st.st_mode)   ? MimeKinds::kindForFile(Posix::lastComponent(path))
                       : dir                 ? MimeKinds::kindForMimeName("inode/directory")
                       : S_ISLNK(st.st_mode) ? MimeKinds::kindForMimeName("inode/symlink")
                                             : MimeKinds::kindForMimeName("application/octet-stream");
        if (kind.isEmpty()) kind = QStringLiteral("?");
        ++kinds[kind];
        const QDateTime d =
            QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
        if (!s.oldest || d < *s.oldest) s.oldest = d;
        if (!s.newest || d > *s.newest) s.newest = d;
    }
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        s.kinds.append({it.key(), it.value()});
    std::sort(s.kinds.begin(), s.kinds.end(), [](const Kind &a, const Kind &b) {
        if (a.count != b.count) return a.count > b.count;
        return a.name.normalized(QString::NormalizationForm_C) <
               b.name.normalized(QString::NormalizationForm_C);
    });
    if (parents.size() == 1) s.location = *parents.cbegin();
    s.tagsOnAll = tagsOnAllOf(paths, cancel);
    return s;
}

QSet<QString> tagsOnAllOf(const QStringList &paths, const CancelFlag *cancel) {
    if (paths.isEmpty()) return {};
    QSet<QString> left;
    for (const QString &choice : FileOps::tagChoices())
        left.insert(choice.normalized(QString::NormalizationForm_C));
    for (const QString &path : paths) {
        if (left.isEmpty() || (cancel && cancel->cancelled())) return {};
        QSet<QString> has;
        for (const QString &name : FileOps::tags(path))
            has.insert(name.normalized(QString::NormalizationForm_C));
        left.intersect(has);
    }
    QSet<QString> out;
    for (const QString &choice : FileOps::tagChoices())
        if (left.contains(choice.normalized(QString::NormalizationForm_C))) out.insert(choice);
    return out;
}

namespace FileOps {

SelectionSize selectionSize(const QStringList &paths, const CancelFlag *cancel) {
    // Shortest first, so a folder is kept before anything inside it is looked at.
    QStringList sorted;
    for (const QString &p : paths)
        sorted << FileLoader::norm(p);
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    QStringList kept;
    QSet<QString> keptSet;
    for (const QString &p : sorted) {
        if (keptSet.contains(p)) continue;
        // Any kept ancestor makes this one counted already.
        bool inside = false;
        for (QString up = Posix::parentOf(p); !up.isEmpty(); up = Posix::parentOf(up)) {
            if (keptSet.contains(up)) {
                inside = true;
                break;
            }
            if (up == QStringLiteral("/")) break;
        }
        if (inside) continue;
        kept << p;
        keptSet.insert(p);
    }
    SelectionSize sum;
    for (const QString &path : kept) {
        if (cancel && cancel->cancelled()) {
            sum.cancelled = true;
            return sum;
        }
        struct stat st {};
        if (!Posix::statPath(path, st)) continue;
        if (S_ISDIR(st.st_mode)) {
            const FolderSize f = folderSize(path, INT_MAX, cancel);
            sum.bytes += f.bytes;
            sum.files += f.files;
            if (f.cancelled) {
                sum.cancelled = true;
                return sum;
            }
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        sum.bytes += st.st_size;
        ++sum.files;
    }
    return sum;
}

} // namespace FileOps
