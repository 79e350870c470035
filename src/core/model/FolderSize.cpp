#include "core/model/FolderSize.h"

#include "platform/DirReader.h"
#include "platform/Posix.h"

#include <dirent.h>
#include <vector>

namespace FileOps {

FolderSize folderSize(const QString &path, int maxFiles, const CancelFlag *cancel) {
    FolderSize result;
    const auto rootBytes = Posix::encode(path);
    if (!rootBytes) return result;
    const qint64 limit = maxFiles < 1 ? 1 : maxFiles;
    qint64 counted = 0;
    // Folders still to read; each is read whole and closed before its subfolders are opened.
    std::vector<QByteArray> pending{*rootBytes};
    bool first = true;
    while (!pending.empty()) {
        const QByteArray dirPath = std::move(pending.back());
        pending.pop_back();
        // The starting folder may be reached through a link; nothing inside is followed.
        DirReader::Dir dir(dirPath, !first);
        first = false;
        DirReader::Batch batch;
        if (!dir.isOpen() || !dir.readAll(batch)) continue;
        std::vector<QByteArray> subfolders;
        for (const DirReader::Entry &e : batch.entries) {
            if (cancel && cancel->cancelled()) {
                result.cancelled = true;
                return result;
            }
            const char *name = batch.name(e);
            if (e.type == DT_DIR) {
                subfolders.push_back(dirPath == "/" ? "/" + QByteArray(name) : dirPath + '/' + name);
                continue;
            }
            if (e.type != DT_REG && e.type != DT_UNKNOWN) continue;
            DirReader::Stat st;
            if (DirReader::statAt(dir.fd(), name, false, st) != 0) continue;
            if (st.isDir()) {
                subfolders.push_back(dirPath == "/" ? "/" + QByteArray(name) : dirPath + '/' + name);
                continue;
            }
            if (!st.isReg()) continue;
            if (counted == limit) {
                // A further file exists: the sum is incomplete.
                result.truncated = true;
                return result;
            }
            result.bytes += st.size;
            ++counted;
            result.files = counted;
        }
        // Reversed so the first subfolder is read next.
        for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
            pending.push_back(std::move(*it));
    }
    return result;
}

} // namespace FileOps
