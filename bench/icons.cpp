// File icons for 100,000 list rows of 50 file types, from the cache after a warm-up pass (reference: the
// MIME database and the icon theme asked on every row), and thumbnails of 200 JPEGs of 12 megapixels
// (reference: a full QImage::load and scale of each file, in a pool as large as ours). Cases: "rows",
// "thumbs" (default both).
#include "Bench.h"

#include "core/model/FileItem.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/Thumbs.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <cstdio>

namespace {

// 49 file extensions and folders make the 50 types of the rows.
const char *const kExtensions[] = {
    "txt", "md",  "pdf",  "jpg", "jpeg", "png", "gif",  "webp", "svg",  "tiff", "heic", "mp3", "flac",
    "ogg", "wav", "m4a",  "mp4", "mkv",  "mov", "avi",  "webm", "zip",  "tar",  "gz",   "7z",  "rar",
    "xz",  "deb", "odt",  "ods", "odp",  "doc", "docx", "xls",  "xlsx", "ppt",  "pptx", "rtf", "html",
    "css", "js",  "json", "xml", "cpp",  "h",   "py",   "sh",   "iso",  "ttf"};
constexpr int kTypes = int(std::size(kExtensions)) + 1;

QList<FileItem> makeRows(const QString &dir, int count) {
    QList<FileItem> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        FileItem f;
        const int type = i % kTypes;
        if (type == kTypes - 1) {
            f.name = QStringLiteral("Ordner %1").arg(i);
            f.isDirectory = true;
            if (i % 3 == 0) f.setTags({QStringLiteral("Rot\n6")}); // some folders are tinted
        } else {
            f.name = QStringLiteral("Datei %1.%2").arg(i).arg(QLatin1String(kExtensions[type]));
        }
        f.setPath(dir + u'/' + f.name);
        rows << f;
    }
    return rows;
}

int runRows(const QString &root) {
    const QString dir = root + QStringLiteral("/rows");
    QDir().mkpath(dir);
    const QList<FileItem> rows = makeRows(dir, 100000);
    // One file of each type on disk, for the look of it; the icons need only the names.
    for (int i = 0; i < kTypes; ++i) {
        if (rows[i].isDirectory)
            QDir().mkpath(rows[i].path());
        else
            QFile(rows[i].path()).open(QIODevice::WriteOnly);
    }
    const AppTheme &theme = AppTheme::all().front();
    const UIScale ui;
    QImage canvas(64, 64, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    const QRectF cell(2, 2, ui.icon(), ui.icon());

    auto ours = [&] {
        QPainter p(&canvas);
        for (const FileItem &f : rows)
            FileIcon::paint(&p, cell, f, theme, ui);
    };
    ours(); // warm-up: every type's icon is made once
    const int px = int(ui.icon());
    const Bench::Pair t = Bench::alternate(
        5, [&] { return Bench::timeOf(ours); },
        [&] {
            return Bench::timeOf([&] {
                QMimeDatabase db;
                QPainter p(&canvas);
                for (const FileItem &f : rows) {
                    const QMimeType t = f.isDirectory
                                            ? db.mimeTypeForName(QStringLiteral("inode/directory"))
                                            : db.mimeTypeForFile(f.name, QMimeDatabase::MatchExtension);
                    const QIcon icon = QIcon::fromTheme(t.iconName(), QIcon::fromTheme(t.genericIconName()));
                    p.drawPixmap(cell.topLeft(), icon.pixmap(px));
                }
            });
        });
    const double oursTime = t.ours.median(), theirsTime = t.theirs.median();
    std::printf("rows: %lld of %d types\n", static_cast<long long>(rows.size()), kTypes);
    std::printf("per row from cache: %.3f us (target: under 2 us)\n", oursTime / rows.size() * 1e6);
    std::printf("per row uncached: %.3f us\n", theirsTime / rows.size() * 1e6);
    Bench::report(QStringLiteral("icons of 100,000 rows"), t.ours, 1, QStringLiteral("mime and theme lookup"),
                  t.theirs, 1);
    return 0;
}

// A 4000 x 3000 picture with enough detail that it does not compress to nothing.
QImage makePhoto(int seed) {
    QImage img(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(rng.bounded(24));
            line[x] = qRgb((x / 16 + seed * 40 + n) & 255, (y / 12 + n) & 255, ((x + y) / 24 + n) & 255);
        }
    }
    return img;
}

int runThumbs(const QString &root, int count) {
    const QString dir = root + QStringLiteral("/photos");
    QDir().mkpath(dir);
    // Four distinct photos, written in parallel, then copied: decoding cost is per file, not per content.
    const QList<int> seeds = {1, 2, 3, 4};
    QtConcurrent::blockingMap(seeds, [&](int seed) {
        makePhoto(seed).save(dir + QStringLiteral("/seed%1.jpg").arg(seed), "JPEG", 90);
    });
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = dir + QStringLiteral("/Foto %1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        if (!QFile::copy(dir + QStringLiteral("/seed%1.jpg").arg(1 + i % 4), path)) return 1;
        paths << path;
    }
    constexpr double size = 64; // points; 128 pixels, the icon grid's and the desktop cache's normal size

    // Pool against pool: the reference decodes and scales in a pool of as many threads as ours has.
    const int threads = std::max(2, QThread::idealThreadCount());
    QThreadPool theirsPool;
    theirsPool.setMaxThreadCount(threads);
    int made = 0;
    const Bench::Pair t = Bench::alternate(
        3,
        [&] {
            return Bench::timeOf([&] {
                Thumbs::clear();
                made = 0;
                for (const QString &path : paths)
                    if (const std::optional<Thumbs::Key> key = Thumbs::keyFor(path, size))
                        Thumbs::request(*key, nullptr, [&](const Thumbs::Key &, const QImage &img) {
                            made += !img.isNull();
                        });
                Thumbs::waitForIdle();
            });
        },
        [&] {
            return Bench::timeOf([&] {
                QtConcurrent::blockingMap(&theirsPool, paths, [&](const QString &path) {
                    QImage img;
                    img.load(path);
                    const QImage thumb = img.scaled(int(size * 2), int(size * 2), Qt::KeepAspectRatio,
                                                    Qt::SmoothTransformation);
                    if (thumb.isNull()) std::printf("could not load %s\n", qPrintable(path));
                });
            });
        });
    const double oursTime = t.ours.median(), theirsTime = t.theirs.median();
    std::printf("thumbnails: %d of %lld JPEGs of 12 megapixels\n", made,
                static_cast<long long>(paths.size()));
    std::printf("per thumbnail: %.2f ms; full decode and scale: %.2f ms; speed-up %.1fx (medians, pool "
                "against pool)\n",
                oursTime / paths.size() * 1e3, theirsTime / paths.size() * 1e3, theirsTime / oursTime);
    Bench::report(QStringLiteral("thumbnails of %1 photos").arg(paths.size()), t.ours, threads,
                  QStringLiteral("QImage::load and scale"), t.theirs, threads);
    return made == paths.size() ? 0 : 1;
}

int run(const QStringList &args) {
    auto want = [&](const char *c) {
        return args.isEmpty() || args.contains(QString::fromLatin1(c)) ||
               (args.size() == 1 && args[0].toInt() > 0 && QLatin1String(c) == QLatin1String("thumbs"));
    };
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    // The desktop's thumbnail cache must not answer for us: point it at the empty fixture.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(tmp.path() + QStringLiteral("/cache")));
    int rc = 0;
    if (want("rows")) rc |= runRows(tmp.path());
    if (want("thumbs")) {
        int count = 200;
        for (const QString &a : args)
            if (a.toInt() > 0) count = a.toInt();
        rc |= runThumbs(tmp.path(), count);
    }
    return rc;
}

const Bench::Registration
    reg("icons",
        "icons of 100,000 rows (reference: uncached theme lookup) and thumbnails of 200 "
        "12-megapixel JPEGs (reference: QImage::load and scale); cases: rows, thumbs; about 1 min",
        run);

} // namespace
