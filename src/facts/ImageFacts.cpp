#include "facts/Rows.h"

#include <QFile>
#include <QImageReader>
#include <climits>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <lcms2.h>
#include <unistd.h>

namespace {

// The description an embedded ICC profile gives itself; empty when it has none, nothing when the profile
// cannot be read.
std::optional<QString> profileDescription(const Exiv2::DataBuf &icc) {
    cmsHPROFILE profile = cmsOpenProfileFromMem(icc.pData_, cmsUInt32Number(icc.size_));
    if (!profile) return std::nullopt;
    wchar_t text[256] = {};
    const cmsUInt32Number n = cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    cmsCloseProfile(profile);
    if (n == 0) return QString();
    text[255] = 0;
    return QString::fromWCharArray(text).trimmed();
}

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

struct Header {
    QSize size;
    std::optional<QString> model;
};

// A PNG's size and colour type from its first chunk, which must be the header: nothing after it is read,
// however large its text chunks.
std::optional<Header> pngHeader(int fd) {
    char head[26];
    if (!readAt(fd, 0, head, sizeof head) || std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) != 0 ||
        be(head + 8, 4) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
        return std::nullopt;
    Header h;
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
std::optional<Header> jpegHeader(int fd) {
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
            Header h;
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

// Any other format through Qt's readers, which read the header alone for this. One that fails in any way
// gives nothing, and the other readers still have their say.
std::optional<Header> qtHeader(int fd) {
    try {
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return std::nullopt;
        QImageReader reader(&file);
        reader.setDecideFormatFromContent(true);
        Header h;
        h.size = reader.size();
        switch (reader.imageFormat()) {
        case QImage::Format_Invalid:
            // WebP says nothing of its pixels before decoding them; it always stores colour.
            if (reader.format() == "webp") h.model = QStringLiteral("RGB");
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
        return std::nullopt;
    }
}

} // namespace

void readImage(int fd, Rows &rows) {
    std::optional<Header> header = pngHeader(fd);
    if (!header) header = jpegHeader(fd);
    if (!header) header = qtHeader(fd);
    QSize size = header ? header->size : QSize();

    std::optional<QString> model;
    std::optional<QString> date;
    try {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(fdPath(fd).toStdString());
        if (image.get()) {
            image->readMetadata();
            if (image->iccProfileDefined()) model = profileDescription(*image->iccProfile());
            const Exiv2::ExifData &exif = image->exifData();
            if (!model) model = photometricModel(exif);
            date = exifDate(exif);
            // Formats Qt has no reader for (TIFF, WebP without their plugins).
            if (!size.isValid() || size.isEmpty())
                size = QSize(int(std::min<quint32>(image->pixelWidth(), INT_MAX)),
                             int(std::min<quint32>(image->pixelHeight(), INT_MAX)));
        }
    } catch (...) {
        // A damaged or oversized header gives no rows from it.
    }
    if (!size.isValid() || size.isEmpty()) return;
    rows.set(Rows::dimensions,
             QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height()));
    if (!model && header) model = header->model;
    if (!model) model = QStringLiteral("RGB");
    rows.set(Rows::colourSpace, *model);
    if (date) rows.set(Rows::captured, *date);
}
