#include "facts/ImageHeader.h"
#include "facts/Rows.h"

#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <climits>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <unistd.h>

namespace {

// From a TIFF-like header's photometric interpretation.
std::optional<QString> photometricModel(const Exiv2::ExifData &exif) {
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.PhotometricInterpretation"));
    if (it == exif.end() || it->count() < 1) return std::nullopt;
    switch (it->toLong()) {
    case 0:
    case 1:
        return QStringLiteral("Gray");
    case 5:
        return QStringLiteral("CMYK");
    case 2:
    case 6:
        return QStringLiteral("RGB");
    case 8:  // CIELab
    case 9:  // ICCLab
    case 10: // ITULab
        return QStringLiteral("Lab");
    }
    return std::nullopt;
}

// "2021:06:05 14:03:07" (with an optional "+02:00" beside it) as an ISO date.
std::optional<QString> exifDate(const Exiv2::ExifData &exif) {
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Photo.DateTimeOriginal"));
    if (it == exif.end()) return std::nullopt;
    QString text = QString::fromStdString(it->toString()).trimmed();
    if (text.size() != 19 || text[4] != u':' || text[7] != u':' || text[10] != u' ') return std::nullopt;
    text[4] = u'-';
    text[7] = u'-';
    text[10] = u'T';
    const auto offset = exif.findKey(Exiv2::ExifKey("Exif.Photo.OffsetTimeOriginal"));
    if (offset != exif.end()) {
        const QString zone = QString::fromStdString(offset->toString()).trimmed();
        if (zone.size() == 6 && (zone[0] == u'+' || zone[0] == u'-') && zone[3] == u':') text += zone;
    }
    return text;
}

// The few header bytes at offset, all of them or none.
bool readAt(int fd, qint64 at, char *out, size_t n) {
    return ::pread(fd, out, n, off_t(at)) == ssize_t(n);
}

quint32 be(const char *p, int bytes) {
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | quint8(p[i]);
    return v;
}

// A PNG's size and colour type from its first chunk, which must be the header: nothing after it is read,
// however large its text chunks.
std::optional<ImageHeader> pngHeader(int fd) {
    char head[26];
    if (!readAt(fd, 0, head, sizeof head) || std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) != 0 ||
        be(head + 8, 4) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
        return std::nullopt;
    ImageHeader h;
    h.size = QSize(int(std::min<quint32>(be(head + 16, 4), INT_MAX)),
                   int(std::min<quint32>(be(head + 20, 4), INT_MAX)));
    switch (head[25]) {
    case 0: // grey
    case 4: // grey with alpha
        h.model = QStringLiteral("Gray");
        break;
    case 2:
    case 3:
    case 6:
        h.model = QStringLiteral("RGB");
        break;
    }
    return h;
}

// A JPEG's size and colour components from its frame header, found by stepping over the segments before
// it by their lengths: the metadata in them (EXIF, XMP, profiles) is never loaded.
std::optional<ImageHeader> jpegHeader(int fd) {
    char mark[2];
    if (!readAt(fd, 0, mark, 2) || quint8(mark[0]) != 0xFF || quint8(mark[1]) != 0xD8) return std::nullopt;
    qint64 at = 2;
    for (int segments = 0; segments < 100000; ++segments) {
        char seg[10];
        if (!readAt(fd, at, seg, 4) || quint8(seg[0]) != 0xFF) return std::nullopt;
        const quint8 marker = quint8(seg[1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt; // pictures before any frame header
        const quint32 length = be(seg + 2, 2);
        if (length < 2) return std::nullopt;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8 || !readAt(fd, at + 4, seg + 4, 6)) return std::nullopt;
            ImageHeader h;
            h.size = QSize(int(be(seg + 7, 2)), int(be(seg + 5, 2)));
            switch (quint8(seg[9])) {
            case 1:
                h.model = QStringLiteral("Gray");
                break;
            case 3:
                h.model = QStringLiteral("RGB");
                break;
            case 4:
                h.model = QStringLiteral("CMYK");
                break;
            }
            return h;
        }
        at += 2 + qint64(length);
    }
    return std::nullopt;
}

// A Photoshop document's size and colour mode from its fixed header.
std::optional<ImageHeader> psdHeader(int fd) {
    char head[26];
    if (!readAt(fd, 0, head, sizeof head) || std::memcmp(head, "8BPS", 4) != 0 ||
        (be(head + 4, 2) != 1 && be(head + 4, 2) != 2))
        return std::nullopt;
    ImageHeader h;
    h.size = QSize(int(std::min<quint32>(be(head + 18, 4), INT_MAX)),
                   int(std::min<quint32>(be(head + 14, 4), INT_MAX)));
    // By mode: bitmap, greyscale, indexed, RGB, CMYK, -, -, multichannel, duotone (grey in a few inks), Lab.
    static const char *const kModels[] = {"Gray",  "Gray",  "RGB",          "RGB",  "CMYK",
                                          nullptr, nullptr, "Multichannel", "Gray", "Lab"};
    const quint32 mode = be(head + 24, 2);
    if (mode < std::size(kModels) && kModels[mode]) h.model = QString::fromLatin1(kModels[mode]);
    return h;
}

// Any other format through Qt's readers for the file's type (or a kind of it: the readers of each
// portable map for a portable anymap), which read the header alone for this. The content is no guide: a
// TGA has no signature, and its first bytes can pass for a cursor's. One that fails in any way gives
// nothing, and the other readers still have their say.
std::optional<ImageHeader> qtHeader(int fd, const QMimeType &type) {
    static const QMimeDatabase db;
    QList<QByteArray> formats;
    for (const QByteArray &name : QImageReader::supportedMimeTypes()) {
        const QMimeType readable = db.mimeTypeForName(QString::fromLatin1(name));
        if (readable == type || readable.inherits(type.name()))
            formats += QImageReader::imageFormatsForMimeType(name);
    }
    // Qt's icon reader reads cursors too, but lists itself under the icon's type alone.
    if (type.name() == u"image/x-win-bitmap" && QImageReader::supportedImageFormats().contains("cur"))
        formats += "cur";
    for (const QByteArray &format : formats) {
        try {
            QFile file;
            if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
            QImageReader reader(&file, format);
            reader.setAutoDetectImageFormat(false);
            ImageHeader h;
            h.guessed = true;
            h.size = reader.size();
            if (!h.size.isValid() || h.size.isEmpty()) continue;
            switch (reader.imageFormat()) {
            case QImage::Format_Invalid:
                // WebP says nothing of its pixels before decoding them; it always stores colour.
                if (format == "webp") h.model = QStringLiteral("RGB");
                break;
            case QImage::Format_Mono:
            case QImage::Format_MonoLSB:
            case QImage::Format_Grayscale8:
            case QImage::Format_Grayscale16:
                h.model = QStringLiteral("Gray");
                break;
            default:
                h.model = QStringLiteral("RGB");
            }
            return h;
        } catch (...) {
            // on to the next reader
        }
    }
    return std::nullopt;
}

// The file behind the descriptor, for exiv2: read-only, and named with the suffix of its type, since
// exiv2 knows some formats (TGA) by their name alone and /proc/self/fd/N has none.
class TypedIo : public Exiv2::BasicIo {
public:
    TypedIo(const QString &path, const QMimeType &type)
        : m_file(path.toStdString()),
          m_name(path.toStdString() + '.' + type.preferredSuffix().toStdString()) {}
    int open() override { return m_file.open(); }
    int close() override { return m_file.close(); }
    long write(const Exiv2::byte *, long) override { return 0; }
    long write(Exiv2::BasicIo &) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    Exiv2::DataBuf read(long count) override { return m_file.read(count); }
    long read(Exiv2::byte *buf, long count) override { return m_file.read(buf, count); }
    int getb() override { return m_file.getb(); }
    void transfer(Exiv2::BasicIo &) override { throw Exiv2::Error(Exiv2::kerInputDataReadFailed); }
    int seek(long offset, Position pos) override { return m_file.seek(offset, pos); }
    Exiv2::byte *mmap(bool) override { return m_file.mmap(false); }
    int munmap() override { return m_file.munmap(); }
    long tell() const override { return m_file.tell(); }
    size_t size() const override { return m_file.size(); }
    bool isopen() const override { return m_file.isopen(); }
    int error() const override { return m_file.error(); }
    bool eof() const override { return m_file.eof(); }
    std::string path() const override { return m_name; }

private:
    Exiv2::FileIo m_file;
    std::string m_name;
};

} // namespace

void readImage(int fd, const QMimeType &type, Rows &rows) {
    std::optional<ImageHeader> header = pngHeader(fd);
    if (!header) header = jpegHeader(fd);
    if (!header) header = heifHeader(fd);
    if (!header) header = psdHeader(fd);
    if (!header) header = jxlHeader(fd);
    // A TGA has no signature: only its type tells it, and then its header's image type tells grey.
    if (!header && (type.name() == u"image/x-tga" || type.inherits(QStringLiteral("image/x-tga"))))
        header = tgaHeader(fd);
    if (!header) header = qtHeader(fd, type);
    QSize size = header ? header->size : QSize();

    std::optional<QString> profile, photometric, date;
    // Qt shows these turned as their Exif orientation says (HEIF's sizes are turned already).
    bool turned = false;
    try {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::Image::AutoPtr image =
            Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(new TypedIo(fdPath(fd), type)));
        if (image.get()) {
            image->readMetadata();
            if (image->iccProfileDefined()) {
                const Exiv2::DataBuf &icc = *image->iccProfile();
                profile = profileDescription(icc.pData_, size_t(std::max<long>(icc.size_, 0)));
            }
            const Exiv2::ExifData &exif = image->exifData();
            photometric = photometricModel(exif);
            date = exifDate(exif);
            const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
            turned = (image->imageType() == Exiv2::ImageType::jpeg ||
                      image->imageType() == Exiv2::ImageType::tiff) &&
                     orientation != exif.end() && orientation->count() > 0 && orientation->toLong() >= 5 &&
                     orientation->toLong() <= 8;
            // Formats Qt has no reader for (TIFF, WebP without their plugins, TGA without its footer),
            // and bitmaps stored top down, to which Qt gives their header's negative height.
            if (!size.isValid() || size.isEmpty()) {
                qint64 height = image->pixelHeight();
                if (image->imageType() == Exiv2::ImageType::bmp)
                    height = qAbs(qint64(qint32(quint32(height))));
                size = QSize(int(std::min<quint32>(image->pixelWidth(), INT_MAX)),
                             int(std::min<qint64>(height, INT_MAX)));
            }
        }
    } catch (...) {
        // A damaged or oversized header gives no rows from it.
    }
    if (!date && header && !header->exif.isEmpty()) {
        try {
            Exiv2::ExifData exif;
            Exiv2::ExifParser::decode(exif, reinterpret_cast<const Exiv2::byte *>(header->exif.constData()),
                                      uint32_t(header->exif.size()));
            date = exifDate(exif);
        } catch (...) {
            // no date from it
        }
    }
    if (!size.isValid() || size.isEmpty()) return;
    if (turned) size.transpose();
    rows.set(Rows::dimensions,
             QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height()));
    // A profile names the colour space; else the header's own word, the photometric tag, a reader's guess.
    std::optional<QString> model = profile;
    if (!model && header && !header->guessed) model = header->model;
    if (!model) model = photometric;
    if (!model && header) model = header->model;
    if (!model) model = QStringLiteral("RGB");
    rows.set(Rows::colourSpace, *model);
    if (date) rows.set(Rows::captured, *date);
}
