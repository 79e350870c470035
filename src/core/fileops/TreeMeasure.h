#pragma once

// Internals of the file operations: how much a tree holds.

#include "core/fileops/FileOps.h"

#include <QString>

namespace FileOps::detail {

// Regular files and their bytes below a folder (a link to a folder is followed at the top only).
TreeStats regularFilesBelow(const QString &folder);

} // namespace FileOps::detail
