#pragma once

// The archive formats we can write, and what depends only on a format or a file name:
// extensions, menu titles, how each is written, and the names of archives we can unpack.

#include "platform/ArchiveWriter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

enum class ArchiveFormat { zip, sevenZip, sevenZipSmall, tarGz, tarBz2, tarXz, tar };

namespace Archive {

QString rawValue(ArchiveFormat format);
std::optional<ArchiveFormat> fromRaw(const QString &raw);
inline QString id(ArchiveFormat format) {
    return rawValue(format);
}

QString ext(ArchiveFormat format);
QString title(ArchiveFormat format);

// How the format is written, normally and for input that is already compressed.
ArchiveWriter::Setup writerSetup(ArchiveFormat format, bool bundled = false);
// What is actually written for already compressed input.
ArchiveFormat bundledEquivalent(ArchiveFormat format);

const QList<ArchiveFormat> &allCases();
// Every format but zip, for the menus that offer zip on its own.
const QList<ArchiveFormat> &otherFormats();

// Whether every file under the paths is already compressed (at least one file, at most
// 100,000 entries per folder are looked at).
bool allAlreadyCompressed(const QStringList &paths);

// Names are single path components.
bool canExtract(const QString &name);
bool isZip(const QString &name);
QString formatLabel(const QString &name);
QString strippedName(const QString &name);

// Whether an archive's contents can be listed without unpacking it all (zip, 7z and RAR keep a
// directory; a plain tar is skipped through): then its unpacked size is known before extracting.
bool listsCheaply(const QString &name);

// What a verbose listing of bsdtar ("-tv --numeric-owner") says about an archive, read as it arrives.
// Lines it cannot read are counted but add nothing.
class ListingReader {
public:
    // An entry's name as the archive holds it (bsdtar's escapes undone) and its kind, the first letter of
    // its mode ('-' file, 'd' folder, 'l' link, 'h' hard link, 'c', 'b', 'p', 's' special).
    struct Entry {
        QByteArray name;
        char kind = '-';
    };
    static constexpr qsizetype nameLimit = 200000, nameBytesLimit = 32 * 1024 * 1024;

    // With `keepNames` the entries' names are kept too, up to nameLimit of them and nameBytesLimit in all.
    explicit ListingReader(bool keepNames = false) : m_keepNames(keepNames) {}
    void feed(QByteArrayView chunk);
    void finish(); // a last line without a line feed

    qint64 bytes() const { return m_bytes; } // sizes of the regular files (capped, never overflows)
    qsizetype entries() const { return m_entries; }
    qsizetype special() const { return m_special; } // devices, pipes and sockets
    qsizetype unreadable() const { return m_unreadable; }
    const QList<Entry> &named() const { return m_named; }
    // Whether every entry's name was read: kept names, no line cut short or unreadable, not too many.
    bool namesComplete() const { return m_keepNames && m_namesComplete && m_unreadable == 0; }

private:
    void line(QByteArrayView line);

    QByteArray m_line; // the start of the current line: its first fields, with names the whole line
    qint64 m_bytes = 0;
    qsizetype m_entries = 0, m_special = 0, m_unreadable = 0, m_nameBytes = 0;
    bool m_keepNames = false, m_namesComplete = true, m_lineCut = false;
    QList<Entry> m_named;
};
// A whole listing at once.
ListingReader parseListing(QByteArrayView text, bool keepNames = false);

// The desktop id of the application that opens a file by default; nullopt when there is none.
using DefaultAppLookup = std::function<std::optional<QString>(const QString &path)>;
// Whether opening the file should unpack it here: 7z and RAR files that no application opens.
bool prefersKestrinExtraction(const QString &path, const DefaultAppLookup &lookup = {});

} // namespace Archive
