#include "ui/panecontent/PreviewContent.h"

#include "ui/panecontent/PdfPages.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <optional>
#include <sys/stat.h>

namespace PreviewContent {

namespace {

// Size of a regular file; nothing for anything else (folders, FIFOs, devices, sockets, dangling links).
std::optional<qint64> regularSize(const QString &path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return qint64(st.st_size);
}

QByteArray head(const QString &path, qint64 bytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.read(bytes);
}

bool isImage(const QMimeType &mime) {
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

bool loadImage(const QString &path, const QSize &target, Result &out) {
    QImageReader reader(path);
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

} // namespace

QByteArray detectEncoding(const QByteArray &bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes))
        return QByteArray(QStringConverter::nameForEncoding(*bom));
    qsizetype zeroEven = 0, zeroOdd = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0') ++(i % 2 ? zeroOdd : zeroEven);
    if (zeroEven + zeroOdd > 0) {
        // Mostly Latin text in UTF-16: one byte of each pair is zero, the other almost never.
        const qsizetype pairs = bytes.size() / 2;
        if (pairs > 0 && zeroOdd * 10 >= pairs * 3 && zeroEven * 20 <= pairs) return "UTF-16LE";
        if (pairs > 0 && zeroEven * 10 >= pairs * 3 && zeroOdd * 20 <= pairs) return "UTF-16BE";
        return {};
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    // A sequence cut off at the end stays pending in the decoder and counts as no error.
    (void)QString(utf8.decode(bytes));
    if (!utf8.hasError()) return "UTF-8";
    return QStringDecoder("windows-1252").isValid() ? QByteArray("windows-1252") : QByteArray("ISO-8859-1");
}

QString decode(const QByteArray &bytes, QByteArray *encoding) {
    QByteArray name = detectEncoding(bytes);
    if (encoding) *encoding = name;
    if (name.isEmpty()) name = "ISO-8859-1";
    QByteArray body = bytes;
    if (name.startsWith("UTF-16") && body.size() % 2) body.chop(1);
    QStringDecoder decoder(name.constData());
    QString text = decoder.decode(body);
    // Zero bytes of a mostly textual file would end the text early in some views.
    text.replace(QChar(0), QChar(0xFFFD));
    return text;
}

Kind kindFor(const QString &path) {
    const auto size = regularSize(path);
    if (!size) return Kind::facts;
    static const QMimeDatabase db;
    QMimeType mime = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (mime.isDefault() && *size > 0) mime = db.mimeTypeForData(head(path, 4096));
    if (isImage(mime)) return *size <= kFileBytes ? Kind::image : Kind::facts;
    if (mime.name() == u"application/pdf") return *size <= kFileBytes ? Kind::pdf : Kind::facts;
    if (*size == 0 || mime.inherits(QStringLiteral("text/plain"))) return Kind::text;
    if (mime.isDefault() && !detectEncoding(head(path, 4096)).isEmpty()) return Kind::text;
    return Kind::facts;
}

Result load(const QString &path, const QSize &target, const std::function<bool()> &cancelled) {
    Result out;
    out.kind = kindFor(path);
    bool ok = true;
    switch (out.kind) {
    case Kind::image:
        ok = loadImage(path, target, out);
        break;
    case Kind::pdf:
        ok = loadPdf(path, target, cancelled, out);
        break;
    case Kind::text: {
        const QByteArray bytes = head(path, kTextBytes + 1);
        out.truncated = bytes.size() > kTextBytes;
        out.text = decode(bytes.left(kTextBytes), &out.encoding);
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
