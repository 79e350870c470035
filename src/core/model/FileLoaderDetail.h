#pragma once

#include "core/model/FileItem.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Shared by the listing and the search: one record from an entry whose bytes are already at hand.
namespace FileLoader::detail {

// Kinds looked up once per extension for one walk.
struct KindCache {
    QHash<QString, QString> byExtension;
    QHash<unsigned, QString> byFileType; // S_IFMT value -> description
    QString forFile(const QString &name);
    // The last extension asked for, as written, and its kind.
    QString lastRaw, lastKind;
    bool hasLast = false;
    QString byExtensionKey(const QString &name);
    QString forType(unsigned fileType);
};

// dirFd/name locate the entry (AT_FDCWD and the full path bytes work too); dType is the directory
// entry's type hint (DT_UNKNOWN when not known).
// folder is kept as it is (share one string between the records of a folder).
FileItem makeItem(int dirFd, const char *name, unsigned char dType, const QByteArray &pathBytes,
                  const QString &folder, const QString &diskName, KindCache &kinds);

// A child's path below a folder, in text and in bytes ("/" gets no second slash).
QString joinPath(const QString &dir, const QString &name);
QByteArray joinBytes(const QByteArray &dir, const char *name, qsizetype len);
// The same into a buffer that keeps its block.
void joinInto(QByteArray &out, const QByteArray &dir, const char *name, qsizetype len);

// True when the name's bytes are valid UTF-8 (then decoded into out).
bool decodeName(const char *bytes, qsizetype len, QString &out);

} // namespace FileLoader::detail
