#include "ui/panecontent/PreviewContent.h"

#include "platform/DisplayFile.h"
#include "platform/Posix.h"
#include "ui/panecontent/HeifPicture.h"
#include "ui/panecontent/PdfPages.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QThreadPool>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <optional>
#include <sys/stat.h>

namespace PreviewContent {

namespace {

bool isImage(const QMimeType &mime) {
    if (HeifPicture::handles(mime)) return true;
    static const QList<QByteArray> types = QImageReader::supportedMimeTypes();
    if (types.contains(mime.name().toLatin1())) return true;
    for (const QString &parent : mime.allAncestors())
        if (types.contains(parent.toLatin1())) return true;
    return false;
}

QImage fitted(const QImage &image, const QSize &box) {
    if (image.width() <= box.width() && image.height() <= box.height()) return image;
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QSize box(const QSize &target) {
    const QSize t = target.isValid() && !target.isEmpty() ? target : QSize(kLargest, kLargest);
    return t.boundedTo(QSize(kLargest, kLargest));
}

// By the name, else by the content.
QMimeType typeOf(const Posix::DisplayFile &file, const QString &path) {
    static const QMimeDatabase db;
    QMimeType mime = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (mime.isDefault() && file.size() > 0) mime = db.mimeTypeForData(file.read(4096));
    return mime;
}

bool loadImage(const Posix::DisplayFile &file, const QString &path, const QSize &target,
               const std::function<bool()> &cancelled, Result &out) {
    if (HeifPicture::handles(typeOf(file, path))) {
        const QImage photo = HeifPicture::render(path, box(target), kPdfBudgetMs, cancelled);
        if (photo.isNull()) return false;
        out.images = {photo};
        return true;
    }
    // From the descriptor that was checked, never from the name again.
    QFile device;
    if (!device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return false;
    QImageReader reader(&device, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kImageAllocationMB);
    const QSize size = reader.size();
    // The declared size decides before the decoder allocates anything.
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > kImagePixels)
        return false;
    const QSize fit = size.scaled(box(target), Qt::KeepAspectRatio);
    if (fit.width() < size.width() && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(fit);
    const QImage image = reader.read();
    if (image.isNull()) return false;
    out.images = {fitted(image, box(target))};
    return true;
}

bool loadPdf(const QString &path, const QSize &target, const std::function<bool()> &cancelled, Result &out) {
    // Each page whole in the box; the window fits them to its own size.
    const PdfPages::Pages pages = PdfPages::render(path, box(target), kPdfPages, kPdfBudgetMs, cancelled);
    out.pageCount = pages.pageCount;
    out.images = pages.images;
    return !out.images.isEmpty();
}

std::function<void(const QString &)> g_checkedHook;

Kind kindOf(const Posix::DisplayFile &file, const QString &path) {
    if (!file.isOpen()) return Kind::facts;
    const qint64 size = file.size();
    const QMimeType mime = typeOf(file, path);
    if (isImage(mime)) return size <= kFileBytes ? Kind::image : Kind::facts;
    if (mime.name() == u"application/pdf") return size <= kFileBytes ? Kind::pdf : Kind::facts;
    if (size == 0 || mime.inherits(QStringLiteral("text/plain"))) return Kind::text;
    if (mime.isDefault() && !detectEncoding(file.read(4096)).isEmpty()) return Kind::text;
    return Kind::facts;
}

} // namespace

QThreadPool *readers() {
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool; // left to the end of the process on purpose
        p->setMaxThreadCount(4);
        return p;
    }();
    return pool;
}

void setCheckedHook(std::function<void(const QString &)> hook) {
    g_checkedHook = std::move(hook);
}

QString inPieces(const QString &text) {
    qsizetype run = 0;
    bool anyLong = false;
    for (QChar c : text) {
        run = c == u'\n' ? 0 : run + 1;
        if (run > kLinePiece) {
            anyLong = true;
            break;
        }
    }
    if (!anyLong) return text;
    QString out;
    out.reserve(text.size() + text.size() / kLinePiece + 1);
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    const QStringView all(text);
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype newline = text.indexOf(u'\n', at);
        const qsizetype end = newline < 0 ? text.size() : newline;
        while (end - at > kLinePiece) {
            qsizetype cut = at + kLinePiece;
            clusters.setPosition(cut);
            if (!clusters.isAtBoundary()) {
                const qsizetype back = clusters.toPreviousBoundary();
                // A cluster longer than a piece is cut anyway, but never between the halves of a pair.
                if (back > at)
                    cut = back;
                else if (text[cut].isLowSurrogate())
                    --cut;
            }
            out += all.mid(at, cut - at);
            out += u'\n';
            at = cut;
        }
        out += all.mid(at, end - at);
        if (newline < 0) break;
        out += u'\n';
        at = newline + 1;
    }
    return out;
}

Kind kindFor(const QString &path) {
    return kindOf(Posix::DisplayFile(path), path);
}

Result load(const QString &path, const QSize &target, const std::function<bool()> &cancelled) {
    Result out;
    // Opened once: whatever the name points to later, what was checked is what is read.
    const Posix::DisplayFile file(path);
    out.kind = kindOf(file, path);
    if (g_checkedHook) g_checkedHook(path);
    bool ok = true;
    switch (out.kind) {
    case Kind::image:
        ok = loadImage(file, path, target, cancelled, out);
        break;
    case Kind::pdf:
        ok = loadPdf(path, target, cancelled, out);
        break;
    case Kind::text: {
        const QByteArray bytes = file.read(kTextBytes + 1);
        out.truncated = bytes.size() > kTextBytes;
        out.text = inPieces(decode(bytes.left(kTextBytes), &out.encoding));
        break;
    }
    case Kind::facts:
        break;
    }
    if (!ok) {
        out = Result();
        out.kind = Kind::facts;
    }
    return out;
}

} // namespace PreviewContent
