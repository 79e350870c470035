#include "facts/Rows.h"

#include <QFile>
#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <exiv2/exiv2.hpp>
#include <jpeglib.h>
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

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

// The colour model a JPEG stores, from its header alone.
std::optional<QString> jpegModel(int fd) {
    const int own = ::dup(fd);
    if (own < 0) return std::nullopt;
    FILE *file = ::fdopen(own, "rb");
    if (!file) {
        ::close(own);
        return std::nullopt;
    }
    std::rewind(file);
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<JpegError *>(c->err)->jump, 1);
    };
    error.mgr.output_message = [](j_common_ptr) {};
    std::optional<QString> model;
    if (setjmp(error.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
            switch (info.jpeg_color_space) {
            case JCS_GRAYSCALE:
                model = QStringLiteral("Gray");
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                model = QStringLiteral("CMYK");
                break;
            default:
                model = QStringLiteral("RGB");
            }
        }
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return model;
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

} // namespace

void readImage(int fd, Rows &rows) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    // The header only: size() and imageFormat() decode no pixels.
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) return;
    rows.set(Rows::dimensions,
             QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height()));
    const QByteArray format = reader.format();
    const QImage::Format pixels = reader.imageFormat();
    file.close();

    std::optional<QString> model;
    try {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(fdPath(fd).toStdString());
        if (image.get()) {
            image->readMetadata();
            if (image->iccProfileDefined()) model = profileDescription(*image->iccProfile());
            const Exiv2::ExifData &exif = image->exifData();
            if (!model) model = photometricModel(exif);
            if (const auto date = exifDate(exif)) rows.set(Rows::captured, *date);
        }
    } catch (...) {
        // A damaged header gives no rows from it.
    }
    if (!model && format == "jpeg") model = jpegModel(fd);
    if (!model) {
        switch (pixels) {
        case QImage::Format_Invalid:
            break;
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Grayscale8:
        case QImage::Format_Grayscale16:
            model = QStringLiteral("Gray");
            break;
        default:
            model = QStringLiteral("RGB");
        }
    }
    if (model) rows.set(Rows::colourSpace, *model);
}
