#include "ui/panecontent/Thumbs.h"

#include "core/model/MimeKinds.h"
#include "platform/DisplayFile.h"
#include "platform/Posix.h"
#include "platform/Xdg.h"
#include "ui/panecontent/HeifPicture.h"
#include "ui/panecontent/PdfPages.h"

#include <QCache>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QPointer>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <cmath>

namespace Thumbs {

namespace {

constexpr int pixelsPerPoint = 2;
constexpr int largestSize = 4096;         // points; larger requests are refused rather than allocated
constexpr int kAllocationMB = 256;        // what one decode may allocate
constexpr qint64 kCachedBytes = 16 << 20; // a desktop thumbnail larger than this is none
constexpr int drawBudgetMs = 3000;        // a first page or photo that takes longer to draw gets no thumbnail

struct Waiter {
    QPointer<QObject> context;
    bool hadContext;
    Done done;
};

struct Store {
    QMutex lock; // the cache is read by tests from other threads too; the workers never touch it
    QCache<QString, QImage> images{64 * 1024 * 1024};
    QSet<QString> failed; // file versions that have no picture, so they are not decoded on every redraw
    QHash<QString, QList<Waiter>> pending;
};

Store &store() {
    static Store s;
    return s;
}

QThreadPool &pool() {
    static QThreadPool *p = [] {
        auto *tp = new QThreadPool;
        tp->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return tp;
    }();
    return *p;
}

std::atomic<int> decodes{0};

qint64 costOf(const QImage &img) {
    return std::max<qint64>(1, img.sizeInBytes());
}

std::optional<int> sizeKey(double size) {
    // Not finite, too small for one point or absurdly large: no thumbnail rather than an overflow.
    if (!std::isfinite(size) || size < 1 || size > largestSize) return std::nullopt;
    return int(size);
}

bool isPdf(const QString &path) {
    const QMimeType t = MimeKinds::typeForName(QFileInfo(path).fileName());
    return t.isValid() && (t.name() == u"application/pdf" || t.inherits(QStringLiteral("application/pdf")));
}

bool isHeif(const QString &path) {
    const QMimeType t = MimeKinds::typeForName(QFileInfo(path).fileName());
    return t.isValid() && HeifPicture::handles(t);
}

// Files we can make a picture of, by their name: the image formats Qt reads, HEIF and AVIF, and PDF.
bool hasPicture(const QString &path) {
    const QMimeType t = MimeKinds::typeForName(QFileInfo(path).fileName());
    if (!t.isValid()) return false;
    if (t.name() == u"application/pdf" || HeifPicture::handles(t)) return true;
    static const QSet<QByteArray> readable = [] {
        QSet<QByteArray> s;
        for (const QByteArray &m : QImageReader::supportedMimeTypes())
            s.insert(m);
        return s;
    }();
    if (readable.contains(t.name().toLatin1())) return true;
    for (const QString &parent : t.allAncestors())
        if (readable.contains(parent.toLatin1())) return true;
    return false;
}

QImage fitInto(const QImage &img, int px) {
    if (img.isNull() || (img.width() <= px && img.height() <= px)) return img;
    return img.scaled(px, px, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Set by the worker while it makes a thumbnail: true once nobody wants it any more.
thread_local const std::function<bool()> *workCancelled = nullptr;

QImage renderPdf(const QString &path, int px) {
    const std::function<bool()> none;
    const PdfPages::Pages pages =
        PdfPages::render(path, QSize(px, px), 1, drawBudgetMs, workCancelled ? *workCancelled : none);
    return pages.images.value(0);
}

QImage renderHeif(const QString &path, int px) {
    const std::function<bool()> none;
    return HeifPicture::render(path, QSize(px, px), drawBudgetMs, workCancelled ? *workCancelled : none);
}

void deliver(const Key &key, const QString &text, const QImage &img) {
    Store &s = store();
    QList<Waiter> waiters;
    {
        QMutexLocker l(&s.lock);
        if (img.isNull()) {
            if (s.failed.size() > 20000) s.failed.clear();
            s.failed.insert(text);
        } else {
            s.images.insert(text, new QImage(img), costOf(img));
        }
        waiters = s.pending.take(text);
    }
    for (const Waiter &w : waiters)
        if (!w.hadContext || w.context) w.done(key, img);
}

// Whether anyone still waits for the work on text; when nobody does, the work is dropped here, under the
// lock, so a request arriving later starts it afresh.
bool stillWanted(const QString &text) {
    Store &s = store();
    QMutexLocker l(&s.lock);
    auto it = s.pending.find(text);
    if (it == s.pending.end()) return false;
    for (const Waiter &w : std::as_const(*it))
        if (!w.hadContext || w.context) return true;
    s.pending.erase(it);
    return false;
}

} // namespace

QString Key::text() const {
    return path + u'|' + QString::number(size) + u'|' + QString::number(mtimeMs) + u'|' +
           QString::number(fileSize);
}

std::optional<Key> keyFor(const FileItem &item, double size) {
    const std::optional<int> s = sizeKey(size);
    if (!s || item.path().isEmpty()) return std::nullopt;
    return Key{item.path(), *s, item.modified ? item.modified->toMSecsSinceEpoch() : -1, item.size};
}

std::optional<Key> keyFor(const QString &path, double size) {
    const std::optional<int> s = sizeKey(size);
    if (!s) return std::nullopt;
    const QFileInfo fi(path);
    if (!fi.exists()) return std::nullopt;
    return Key{QDir::cleanPath(path), *s, fi.lastModified().toMSecsSinceEpoch(), fi.size()};
}

bool wanted(const FileItem &item) {
    return !item.isDirectory && !item.isPackage;
}

QImage cached(const Key &key) {
    Store &s = store();
    QMutexLocker l(&s.lock);
    const QImage *img = s.images.object(key.text());
    return img ? *img : QImage();
}

QImage request(const Key &key, QObject *context, Done done) {
    Store &s = store();
    const QString text = key.text();
    bool start = false;
    bool none = false;
    {
        QMutexLocker l(&s.lock);
        if (const QImage *img = s.images.object(text)) return *img;
        none = s.failed.contains(text);
        if (!none) {
            auto it = s.pending.find(text);
            start = it == s.pending.end();
            if (start) it = s.pending.insert(text, {});
            it->append(Waiter{context, context != nullptr, std::move(done)});
        }
    }
    if (none) {
        // Known to have no picture: answer on the next turn of the event loop, as a load would.
        QPointer<QObject> ctx(context);
        const bool hadContext = context != nullptr;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [key, ctx, hadContext, done = std::move(done)] {
                if (!hadContext || ctx) done(key, QImage());
            },
            Qt::QueuedConnection);
        return {};
    }
    if (start) {
        pool().start([key, text] {
            if (!stillWanted(text)) return;
            bool gaveUp = false;
            const std::function<bool()> cancelled = [text, &gaveUp] { return gaveUp = !stillWanted(text); };
            workCancelled = &cancelled;
            const QImage img = make(key);
            workCancelled = nullptr;
            // Given up because nobody waits: no answer, and no mark of "no picture" either.
            if (gaveUp) return;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [key, text, img] { deliver(key, text, img); },
                Qt::QueuedConnection);
        });
    }
    return {};
}

void cancel(const Key &key, QObject *context) {
    Store &s = store();
    QMutexLocker l(&s.lock);
    auto it = s.pending.find(key.text());
    if (it == s.pending.end()) return;
    it->removeIf([context](const Waiter &w) { return w.hadContext && (!w.context || w.context == context); });
}

QImage thumbnail(const QString &path, double size, QObject *context, Done done) {
    if (const std::optional<Key> key = keyFor(path, size)) return request(*key, context, std::move(done));
    // Answered like a request, on a later turn of the event loop.
    QPointer<QObject> ctx(context);
    const bool hadContext = context != nullptr;
    const Key none{QDir::cleanPath(path), 0, -1, -1};
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [none, ctx, hadContext, done = std::move(done)] {
            if (!hadContext || ctx) done(none, QImage());
        },
        Qt::QueuedConnection);
    return {};
}

void waitForIdle() {
    for (;;) {
        pool().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QMutexLocker l(&store().lock);
        if (store().pending.isEmpty()) return;
    }
}

void setCacheLimit(qint64 bytes) {
    QMutexLocker l(&store().lock);
    store().images.setMaxCost(bytes);
}

qint64 cacheBytes() {
    QMutexLocker l(&store().lock);
    return store().images.totalCost();
}

void clear() {
    QMutexLocker l(&store().lock);
    store().images.clear();
    store().failed.clear();
}

QImage make(const Key &key) {
    if (key.size < 1 || key.size > largestSize) return {};
    const int px = key.size * pixelsPerPoint;
    // The desktop's thumbnailers make pictures of any type (videos, fonts …); we decode only our own.
    QImage img = fromDesktopCache(key.path, key.mtimeMs, px);
    if (img.isNull() && hasPicture(key.path)) {
        ++decodes;
        img = decode(key.path, px);
    }
    return img;
}

QImage decode(const QString &path, int px) {
    if (px < 1) return {};
    // Opened once, checked on the descriptor, read from it: a FIFO or device with a picture's name, or a
    // file swapped for one, never blocks a worker.
    const Posix::DisplayFile file(path);
    if (!file.isOpen()) return {};
    if (isPdf(path)) return renderPdf(path, px);
    if (isHeif(path)) return renderHeif(path, px);
    QFile device;
    if (!device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return {};
    QImageReader reader(&device, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(kAllocationMB);
    reader.setAutoTransform(true);
    if (!reader.canRead()) return {};
    const QSize full = reader.size();
    // Decoding straight to the box lets JPEG skip most of its work; other formats scale after reading.
    if (full.isValid() && (full.width() > px || full.height() > px))
        reader.setScaledSize(full.scaled(px, px, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage img = reader.read();
    if (img.isNull()) return {};
    return fitInto(img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32),
                   px);
}

QImage fromDesktopCache(const QString &path, qint64 mtimeMs, int px) {
    if (mtimeMs < 0 || px < 1) return {};
    const QString root = Xdg::cacheHome();
    // Named as every thumbnailer names it: after the URI that GLib writes.
    const QByteArray uri = Xdg::fileUri(path);
    if (uri.isEmpty()) return {};
    const QString file = QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
                         QStringLiteral(".png");
    const std::pair<int, const char *> buckets[] = {
        {128, "normal"}, {256, "large"}, {512, "x-large"}, {1024, "xx-large"}};
    for (const auto &[edge, dir] : buckets) {
        if (edge < px) continue; // never scale a cached picture up
        const Posix::DisplayFile cachedFile(root + QStringLiteral("/thumbnails/") + QLatin1String(dir) +
                                            u'/' + file);
        QFile device;
        if (!cachedFile.isOpen() || cachedFile.size() > kCachedBytes ||
            !device.open(cachedFile.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            continue;
        QImageReader reader(&device, "png");
        reader.setAllocationLimit(kAllocationMB);
        if (!reader.canRead()) continue;
        // Valid only for this very file version: same URI and same modification second.
        // Read the keys from the image: the reader's own text lookup cuts keys at their first colon.
        const QImage img = reader.read();
        if (img.text(QStringLiteral("Thumb::URI")).toUtf8() != uri) continue;
        bool ok = false;
        const qint64 mtime = img.text(QStringLiteral("Thumb::MTime")).toLongLong(&ok);
        if (!ok || mtime != mtimeMs / 1000) continue;
        if (!img.isNull()) return fitInto(img, px);
    }
    return {};
}

int decodeCount() {
    return decodes.load();
}

} // namespace Thumbs
