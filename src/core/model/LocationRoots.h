#pragma once

#include "core/model/ICloud.h"

#include <QList>

#include <optional>

// Folders a breadcrumb trail starts from: cloud storage, the folder of the homes, mounted volumes.
namespace LocationRoots {

QList<Crumb> roots();
std::optional<QList<Crumb>> crumbs(const QString &path);

} // namespace LocationRoots
