#pragma once

#include "core/model/FileItem.h"

#include <QList>
#include <QString>

#include <optional>
#include <utility>

using Crumb = std::pair<QString, QString>; // (path, display name)

// The cloud document folders kept below ~/Library/Mobile Documents.
namespace ICloud {

struct AppLibrary {
    QString path; // its Documents subfolder when there is one, else the container
    QString name;
    std::optional<QString> appPath;
    friend bool operator==(const AppLibrary &, const AppLibrary &) = default;
};

const QString &containers();
const QString &root();

QList<AppLibrary> appLibraries();
// The extra folder entries the root shows besides its own contents.
QList<FileItem> virtualItems(const QList<FileItem> &existing);
// The trail starting at "iCloud Drive"; none for a path outside it and outside every app library.
std::optional<QList<Crumb>> crumbs(const QString &path);

// Cut path below base into crumbs, each with the display name of its running path.
QList<Crumb> subTrail(const QString &path, const QString &base);

} // namespace ICloud
