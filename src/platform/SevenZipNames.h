#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// The entry names of a 7z archive as it stores them. libarchive hands them out composed (NFC), which
// merges names that differ only in their normal form; these are the bytes to pair with its entries.
namespace SevenZipNames {

// Bounds for archives from outside: a larger header, more files or a longer name make it unreadable.
constexpr quint64 kMaxHeaderBytes = 64 * 1024 * 1024;
constexpr quint64 kMaxFiles = 1000000;
constexpr qsizetype kMaxNameBytes = 64 * 1024;

// The names of the archive's entries (UTF-16LE turned into UTF-8 code point for code point, never
// normalised; an unpaired surrogate becomes U+FFFD) in the order of the archive's file list; nothing when
// the header can't be read within the bounds (damaged, encrypted, a coder other than Copy, LZMA or LZMA2).
std::optional<QList<QByteArray>> read(int fd); // reads with pread from offset 0; fd is not closed
std::optional<QList<QByteArray>> read(QByteArrayView whole);

} // namespace SevenZipNames
