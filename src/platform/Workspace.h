#pragma once

#include <QString>

// Opening files with the desktop's applications (GIO), never by running them.
namespace Workspace {
// Opens the file with the default application for its content type; false when there is none or the
// launch failed.
bool openFile(const QString &path);
} // namespace Workspace
