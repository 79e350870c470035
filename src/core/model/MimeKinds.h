#pragma once

#include <QMimeType>
#include <QString>

// MIME types by file name extension only (never by content), cached per extension.
namespace MimeKinds {

// The lowercased extension used as cache key ("" when the name has none).
QString extensionKey(const QString &fileName);

// The type of a regular file by its name; invalid when the extension is unknown or absent.
QMimeType typeForName(const QString &fileName);

// Localised description: of a regular file by extension, or of a folder, link, FIFO, socket or device.
QString kindForFile(const QString &fileName);
QString kindForMimeName(const char *mimeName); // "inode/directory", "inode/fifo" …

// Whether the type's own handler would run a file of it rather than show it: programs, libraries,
// scripts, installers, packages and launcher files (desktop entries, Java Web Start). Decided for the
// type and its aliases, and for types below a real program class at any depth (a script dialect); data
// the database files below a script (JSON and its kinds) is no program.
bool isExecutableType(const QString &mimeName);

} // namespace MimeKinds
