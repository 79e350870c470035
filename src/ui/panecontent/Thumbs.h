#pragma once

#include "core/model/FileItem.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// Preview images of files: the desktop's thumbnail cache (~/.cache/thumbnails) when it holds a valid one (of
// any type), else a scaled decode of an image (HEIF and AVIF through our helper) or the first page of a PDF,
// made in workers. Results are kept in a cache bounded in bytes, keyed by path, requested size and the file's
// modification time and size, so a changed file never shows its old picture. Main thread API; the decoding
// runs in a pool of its own.
namespace Thumbs {

// What one thumbnail is of. Two keys are equal only for the same file version at the same size.
struct Key {
    QString path;
    int size = 0;         // requested edge in points, truncated towards zero
    qint64 mtimeMs = -1;  // modification time of the file version (-1: unknown)
    qint64 fileSize = -1; // byte size of the file version (-1: unknown)

    bool operator==(const Key &) const = default;
    QString text() const; // the cache key: path|size|mtime|bytes
};

// The key of an item at a size; nothing for sizes that are not finite, not positive or too large.
std::optional<Key> keyFor(const FileItem &item, double size);
// The same from the file on disk (stat); nothing also when the file cannot be read.
std::optional<Key> keyFor(const QString &path, double size);

// Whether a thumbnail is ever asked for this item (plain files only, never folders or packages).
bool wanted(const FileItem &item);

// The cached thumbnail for key, or a null image.
QImage cached(const Key &key);

// Called on the main thread with the key the request was made for and the image (null when none can be made).
using Done = std::function<void(const Key &key, const QImage &image)>;

// Returns the cached image at once when there is one. Otherwise starts (or joins) the work for key and
// returns a null image; done then runs later on the main thread, unless context is gone by then. The caller
// compares the key passed to done with what it shows now, so a late result never lands on another item.
QImage request(const Key &key, QObject *context, Done done);

// The caller no longer shows key: its callback is dropped, and work nobody waits for any more is skipped when
// it has not begun (a PDF page being drawn is stopped). Waiters whose context was destroyed count as gone as
// well.
void cancel(const Key &key, QObject *context);

// The same for a file on disk at size points: the key is made from the file as it is now. A file that is gone
// or an odd size answers with no image.
QImage thumbnail(const QString &path, double size, QObject *context, Done done);

// Waits until every started request has finished and its callbacks ran (tests and the benchmark).
void waitForIdle();

// Byte limit of the cache (default 64 MB) and its current use.
void setCacheLimit(qint64 bytes);
qint64 cacheBytes();
void clear();

// The decode itself, synchronous and thread-safe: the desktop cache, else our own scaled decode, at
// size x size points and 2 pixels per point. Null when the file has no picture.
QImage make(const Key &key);
// Only our own scaled decode of an image or PDF into a box of px x px pixels (no desktop cache).
QImage decode(const QString &path, int px);
// The desktop cache's thumbnail when it is valid for the file version (Thumb::URI and Thumb::MTime match)
// and large enough for px, else a null image.
QImage fromDesktopCache(const QString &path, qint64 mtimeMs, int px);

// How many decodes ran (tests: a cached request must not add one).
int decodeCount();

} // namespace Thumbs
