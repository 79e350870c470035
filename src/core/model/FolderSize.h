#pragma once

#include "core/model/CancelFlag.h"

#include <QString>

namespace FileOps {

struct FolderSize {
    qint64 bytes = 0;
    qint64 files = 0;
    bool truncated = false; // more regular files exist beyond the limit
    bool cancelled = false;
};

// The sum of the logical sizes of all regular files below path, hidden ones included. Links are never
// followed. Stops after maxFiles files (at least 1).
FolderSize folderSize(const QString &path, int maxFiles = 200000, const CancelFlag *cancel = nullptr);

} // namespace FileOps
