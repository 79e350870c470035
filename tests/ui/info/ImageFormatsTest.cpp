// Image facts of formats whose headers Qt alone misreads or cannot read: photos in HEIF containers,
// TGA (no signature) and bitmaps stored top down.
#include "FormatFiles.h"
#include "common/TestUtil.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FullDetails.h"
#include "ui/panecontent/HeifPicture.h"
#include "ui/panecontent/PreviewContent.h"
#include "ui/panecontent/Thumbs.h"

#include <QColorSpace>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>
#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <memory>

namespace {

using namespace FormatFiles;

enum class Look { colour, grey, colourWithAlpha };

// A w×h picture in a HEIF container, coded with HEVC or AV1 by libheif's own encoders, with an ICC
// profile or else nclx parameters, an Exif block and a turn. Empty when no encoder is there.
QByteArray heif(heif_compression_format codec, int w, int h, Look look = Look::colour,
                const QByteArray &icc = {}, const QByteArray &exif = {},
                heif_orientation turn = heif_orientation_normal) {
    if (!heif_have_encoder_for_format(codec)) return {};
    std::unique_ptr<heif_context, decltype(&heif_context_free)> ctx(heif_context_alloc(), heif_context_free);
    heif_encoder *encoder = nullptr;
    if (heif_context_get_encoder_for_format(ctx.get(), codec, &encoder).code) return {};
    std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> enc(encoder, heif_encoder_release);
    const bool grey = look == Look::grey;
    heif_image *raw = nullptr;
    if (heif_image_create(w, h, grey ? heif_colorspace_monochrome : heif_colorspace_YCbCr,
                          grey ? heif_chroma_monochrome : heif_chroma_420, &raw)
            .code)
        return {};
    std::unique_ptr<heif_image, decltype(&heif_image_release)> image(raw, heif_image_release);
    QList<heif_channel> channels{heif_channel_Y};
    if (!grey) channels << heif_channel_Cb << heif_channel_Cr;
    if (look == Look::colourWithAlpha) channels << heif_channel_Alpha;
    for (heif_channel c : channels) {
        const bool half = c == heif_channel_Cb || c == heif_channel_Cr;
        const int cw = half ? (w + 1) / 2 : w, ch = half ? (h + 1) / 2 : h;
        heif_image_add_plane(image.get(), c, cw, ch, 8);
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(image.get(), c, &stride);
        std::memset(plane, 100, size_t(stride) * size_t(ch));
    }
    if (!icc.isEmpty()) {
        heif_image_set_raw_color_profile(image.get(), "prof", icc.constData(), size_t(icc.size()));
    } else {
        std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)> nclx(
            heif_nclx_color_profile_alloc(), heif_nclx_color_profile_free);
        heif_image_set_nclx_color_profile(image.get(), nclx.get());
    }
    std::unique_ptr<heif_encoding_options, decltype(&heif_encoding_options_free)> options(
        heif_encoding_options_alloc(), heif_encoding_options_free);
    options->image_orientation = turn;
    heif_image_handle *handle = nullptr;
    if (heif_context_encode_image(ctx.get(), image.get(), enc.get(), options.get(), &handle).code) return {};
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> encoded(
        handle, heif_image_handle_release);
    if (!exif.isEmpty() &&
        heif_context_add_exif_metadata(ctx.get(), handle, exif.constData(), int(exif.size())).code)
        return {};
    QByteArray out;
    heif_writer writer{1, [](heif_context *, const void *data, size_t size, void *to) {
                           static_cast<QByteArray *>(to)->append(static_cast<const char *>(data),
                                                                 qsizetype(size));
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    if (heif_context_write(ctx.get(), &writer, &out).code) return {};
    return out;
}

// An uncompressed or run-length TGA of w×h grey-blue or grey pixels; without the optional footer, as most
// are.
QByteArray tga(int w, int h, bool runLength, bool grey = false) {
    QByteArray out = QByteArray(2, '\0') + char((runLength ? 10 : 2) + (grey ? 1 : 0)) + QByteArray(9, '\0') +
                     le(quint64(w), 2) + le(quint64(h), 2) + (grey ? '\x08' : '\x18') + '\x20';
    const QByteArray pixel = grey ? QByteArray("\x60", 1) : QByteArray("\x90\x60\x60", 3);
    for (int y = 0; y < h; ++y)
        out += runLength ? char(0x80 | (w - 1)) + pixel : pixel.repeated(w);
    return out;
}

// A Windows cursor of w×h: one 32-bit picture with its mask.
QByteArray cursor(int w, int h) {
    const QByteArray dib = le(40, 4) + le(quint64(w), 4) + le(quint64(h) * 2, 4) + le(1, 2) + le(32, 2) +
                           QByteArray(24, '\0') + QByteArray(w * h * 4, '\x40') +
                           QByteArray((w + 31) / 32 * 4 * h, '\0');
    return le(0, 2) + le(2, 2) + le(1, 2) + char(w) + char(h) + QByteArray(2, '\0') + le(3, 2) + le(4, 2) +
           le(quint64(dib.size()), 4) + le(22, 4) + dib;
}

// The boxes of a JPEG XL container around a codestream, whole or in parts.
QByteArray jxlBox(const char *type, const QByteArray &body) {
    return be(quint64(body.size()) + 8, 4) + type + body;
}
QByteArray jxlContainer(const QList<QByteArray> &parts) {
    QByteArray out = jxlBox("JXL ", "\r\n\x87\n") + jxlBox("ftyp", "jxl " + be(0, 4) + "jxl ");
    if (parts.size() == 1) return out + jxlBox("jxlc", parts.first());
    for (qsizetype i = 0; i < parts.size(); ++i)
        out += jxlBox("jxlp", be(quint64(i) | (i + 1 == parts.size() ? 0x80000000 : 0), 4) + parts[i]);
    return out;
}

// A 24-bit bitmap of w×h, its rows stored top down.
QByteArray topDownBmp(int w, int h) {
    const int stride = (w * 3 + 3) / 4 * 4;
    const QByteArray pixels = QByteArray(stride * h, '\x40');
    const QByteArray info = le(40, 4) + le(quint64(w), 4) + le(quint32(-h), 4) + le(1, 2) + le(24, 2) +
                            le(0, 4) + le(quint64(pixels.size()), 4) + le(2835, 4) + le(2835, 4) + le(0, 8);
    return "BM" + le(quint64(14 + info.size() + pixels.size()), 4) + le(0, 4) + le(14 + 40, 4) + info +
           pixels;
}

// Exif with a capture date, from its TIFF header on, as libheif's encoder takes it.
QByteArray exifWithDate(const char *date) {
    Exiv2::ExifData exif;
    exif["Exif.Photo.DateTimeOriginal"] = date;
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
}

// A Photoshop document of w×h in a colour mode, its channels uncompressed.
QByteArray psd(int w, int h, int mode, int channels) {
    return "8BPS" + be(1, 2) + QByteArray(6, '\0') + be(quint64(channels), 2) + be(quint64(h), 4) +
           be(quint64(w), 4) + be(8, 2) + be(quint64(mode), 2) + be(0, 4) + be(0, 4) + be(0, 4) + be(0, 2) +
           QByteArray(w * h * channels, '\x40');
}

using ImageFormats = FormatFiles::Fixture;

} // namespace

// The size, and the colour space from the profile or else the channels.
TEST_F(ImageFormats, HeicAndAvifPhotos) {
    const QByteArray heic = heif(heif_compression_HEVC, 64, 48);
    if (heic.isEmpty()) GTEST_SKIP() << "libheif has no HEVC encoder here";
    EXPECT_EQ(rowsOf(write("foto.heic", heic)), (QStringList{"Auflösung=64×48", "Farbraum=RGB"}));
    // Named as something else, it is still read for what it is.
    EXPECT_EQ(rowsOf(write("foto.jpg", heic)), (QStringList{"Auflösung=64×48", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("grau.heic", heif(heif_compression_HEVC, 64, 48, Look::grey))),
              (QStringList{"Auflösung=64×48", "Farbraum=Gray"}));
    // Its transparency is a grey picture of its own.
    EXPECT_EQ(rowsOf(write("maske.heic", heif(heif_compression_HEVC, 64, 48, Look::colourWithAlpha))),
              (QStringList{"Auflösung=64×48", "Farbraum=RGB"}));
    const QColorSpace adobe(QColorSpace::AdobeRgb);
    EXPECT_EQ(
        rowsOf(write("profil.heic", heif(heif_compression_HEVC, 64, 48, Look::colour, adobe.iccProfile()))),
        (QStringList{"Auflösung=64×48", "Farbraum=" + adobe.description()}));

    // Cut in its pixels, which now run past the end of the file: the boxes before them still tell the size.
    QByteArray cut = heic;
    const qsizetype mdat = cut.indexOf("mdat") - 4;
    cut.replace(mdat, 4, be(quint64(cut.size() - mdat) + 100, 4));
    EXPECT_EQ(rowsOf(write("kurz.heic", cut)), (QStringList{"Auflösung=64×48", "Farbraum=RGB"}));
    // Cut in its boxes of properties: nothing.
    EXPECT_EQ(rowsOf(write("kopf.heic", heic.left(heic.indexOf("ipco") + 40))), QStringList{});

    const QByteArray avif = heif(heif_compression_AV1, 40, 30);
    if (avif.isEmpty()) GTEST_SKIP() << "libheif has no AV1 encoder here";
    EXPECT_EQ(rowsOf(write("bild.avif", avif)), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
    // An image sequence's brand, which libheif calls not supported, though it reads the picture's size.
    QByteArray sequence = avif;
    sequence.replace(8, 4, "avis");
    sequence.replace(sequence.indexOf("mif1"), 4, "msf1");
    EXPECT_EQ(rowsOf(write("folge.avifs", sequence)), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("grau.avif", heif(heif_compression_AV1, 40, 30, Look::grey))),
              (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
}

// A picture is read by the reader of its type, or of a kind of it: the first bytes of a TGA are no
// signature.
TEST_F(ImageFormats, ReaderOfItsType) {
    EXPECT_EQ(rowsOf(write("roh.tga", tga(5, 3, false))), (QStringList{"Auflösung=5×3", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("rle.tga", tga(5, 3, true))), (QStringList{"Auflösung=5×3", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("grau.tga", tga(5, 3, false, true))),
              (QStringList{"Auflösung=5×3", "Farbraum=Gray"}));
    EXPECT_EQ(rowsOf(write("grau-rle.tga", tga(5, 3, true, true))),
              (QStringList{"Auflösung=5×3", "Farbraum=Gray"}));
    EXPECT_EQ(rowsOf(write("zeiger.cur", cursor(16, 24))), (QStringList{"Auflösung=16×24", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("karte.pnm", "P6\n7 4\n255\n" + QByteArray(7 * 4 * 3, '\x60'))),
              (QStringList{"Auflösung=7×4", "Farbraum=RGB"}));
}

// The height of a bitmap stored top down is negative in its header.
TEST_F(ImageFormats, TopDownBitmap) {
    EXPECT_EQ(rowsOf(write("oben.bmp", topDownBmp(5, 2))), (QStringList{"Auflösung=5×2", "Farbraum=RGB"}));
    // Under another name Qt's reader for that name fails, and exiv2 reads it by its content.
    EXPECT_EQ(rowsOf(write("oben.gif", topDownBmp(5, 2))), (QStringList{"Auflösung=5×2", "Farbraum=RGB"}));
}

// The capture date of a HEIF photo is in its Exif item: after libheif's offset to the TIFF header, or
// after an "Exif" mark as other tools write it.
TEST_F(ImageFormats, HeifCaptureDate) {
    const QString when = FileFmt::date().string(QDateTime(QDate(2021, 6, 5), QTime(14, 3, 7)));
    const QByteArray exif = exifWithDate("2021:06:05 14:03:07");
    const QByteArray heic = heif(heif_compression_HEVC, 64, 48, Look::colour, {}, exif);
    if (heic.isEmpty()) GTEST_SKIP() << "libheif has no HEVC encoder here";
    EXPECT_EQ(rowsOf(write("datum.heic", heic)),
              (QStringList{"Auflösung=64×48", "Farbraum=RGB", "Aufnahme=" + when}));
    EXPECT_EQ(rowsOf(write("marke.heic", heif(heif_compression_HEVC, 64, 48, Look::colour, {},
                                              QByteArray("Exif\0\0", 6) + exif))),
              (QStringList{"Auflösung=64×48", "Farbraum=RGB", "Aufnahme=" + when}));
    const QByteArray avif = heif(heif_compression_AV1, 40, 30, Look::colour, {}, exif);
    if (avif.isEmpty()) GTEST_SKIP() << "libheif has no AV1 encoder here";
    EXPECT_EQ(rowsOf(write("datum.avif", avif)),
              (QStringList{"Auflösung=40×30", "Farbraum=RGB", "Aufnahme=" + when}));
}

// The colour mode of a Photoshop document is in its header.
TEST_F(ImageFormats, PsdColourMode) {
    EXPECT_EQ(rowsOf(write("druck.psd", psd(40, 30, 4, 4))),
              (QStringList{"Auflösung=40×30", "Farbraum=CMYK"}));
    EXPECT_EQ(rowsOf(write("grau.psd", psd(40, 30, 1, 1))),
              (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
    EXPECT_EQ(rowsOf(write("bild.psd", psd(40, 30, 3, 3))), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
}

// JPEG XL as its encoder writes it, bare and in its container; and a header turned a quarter.
TEST_F(ImageFormats, JpegXl) {
    const QString cjxl = QStandardPaths::findExecutable(QStringLiteral("cjxl"));
    if (cjxl.isEmpty()) GTEST_SKIP() << "cjxl is not installed";
    QImage colour(200, 150, QImage::Format_RGB32), grey(200, 150, QImage::Format_Grayscale8);
    colour.fill(Qt::darkCyan);
    grey.fill(90);
    ASSERT_TRUE(colour.save(dir.path() + "/farbe.png") && grey.save(dir.path() + "/grau.png"));
    const QList<std::pair<QStringList, QStringList>> cases{
        {{"farbe.png", "farbe.jxl"}, {"Auflösung=200×150", "Farbraum=RGB"}},
        {{"grau.png", "grau.jxl", "-d", "0"}, {"Auflösung=200×150", "Farbraum=Gray"}},
        {{"farbe.png", "box.jxl", "--container=1"}, {"Auflösung=200×150", "Farbraum=RGB"}}};
    for (const auto &[args, rows] : cases) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(cjxl, args);
        ASSERT_TRUE(p.waitForFinished(20000) && p.exitCode() == 0) << args.join(' ').toStdString();
        EXPECT_EQ(rowsOf(dir.path() + '/' + args[1]), rows) << args[1].toStdString();
    }
    // 64×40, all defaults but the orientation: 6, a quarter turn clockwise; whole, in its container, its
    // head split over parts, cut in its head or in a box that runs past the end of the file.
    const QByteArray code = QByteArray::fromHex("ff0a098e057200");
    const QStringList turned{"Auflösung=40×64", "Farbraum=RGB"};
    EXPECT_EQ(rowsOf(write("gedreht.jxl", code)), turned);
    EXPECT_EQ(rowsOf(write("box.jxl", jxlContainer({code}))), turned);
    EXPECT_EQ(rowsOf(write("teile.jxl", jxlContainer({code.left(3), code.mid(3, 1), code.mid(4)}))), turned);
    EXPECT_EQ(rowsOf(write("kopf.jxl", code.left(4))), QStringList{});
    EXPECT_EQ(rowsOf(write("kopf-box.jxl", jxlContainer({code.left(4)}))), QStringList{});
    QByteArray over = jxlContainer({code});
    over.replace(over.indexOf("jxlc") - 4, 4, be(quint64(code.size()) + 8 + 100, 4));
    EXPECT_EQ(rowsOf(write("lang.jxl", over)), QStringList{});
}

// A photo turned by its Exif orientation or by its container reads as it is shown.
TEST_F(ImageFormats, TurnedPhotosGiveTheShownSize) {
    const QString path = dir.path() + "/hoch.jpg";
    ASSERT_TRUE(QImage(400, 300, QImage::Format_RGB32).save(path));
    const auto orient = [&](int value) {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        image->exifData()["Exif.Image.Orientation"] = uint16_t(value);
        image->writeMetadata();
        return rowsOf(path).value(0);
    };
    EXPECT_EQ(orient(6), "Auflösung=300×400");
    EXPECT_EQ(orient(8), "Auflösung=300×400");
    EXPECT_EQ(orient(3), "Auflösung=400×300");
    const QByteArray heic =
        heif(heif_compression_HEVC, 200, 150, Look::colour, {}, {}, heif_orientation_rotate_90_cw);
    if (heic.isEmpty()) GTEST_SKIP() << "libheif has no HEVC encoder here";
    EXPECT_EQ(rowsOf(write("hoch.heic", heic)).value(0), "Auflösung=150×200");
}

// HEIF and AVIF photos get a thumbnail and a preview picture as JPEGs do: as they are shown, in their
// colours, their transparency kept, never enlarged. A photo cut short gets none, and the helper's answer
// passes only as one picture within the box asked for.
TEST_F(ImageFormats, HeicAndAvifGetThumbnailAndPreview) {
    const QByteArray heic =
        heif(heif_compression_HEVC, 200, 150, Look::colour, {}, {}, heif_orientation_rotate_90_cw);
    if (heic.isEmpty()) GTEST_SKIP() << "libheif has no HEVC encoder here";
    const QString photo = write("foto.heic", heic);
    const QImage thumb = Thumbs::decode(photo, 64);
    ASSERT_EQ(thumb.size(), QSize(48, 64));
    // Its planes are all 100: one colour throughout, a green, not a grey.
    const QColor colour = thumb.pixelColor(24, 32);
    EXPECT_GT(colour.green(), colour.red() + 30);
    EXPECT_GT(colour.green(), colour.blue() + 30);
    EXPECT_EQ(thumb.pixelColor(0, 0), colour);
    const PreviewContent::Result preview = PreviewContent::load(photo, QSize(800, 800));
    EXPECT_EQ(preview.kind, PreviewContent::Kind::image);
    ASSERT_EQ(preview.images.size(), 1);
    EXPECT_EQ(preview.images[0].size(), QSize(150, 200));
    EXPECT_EQ(preview.images[0].pixelColor(149, 199), colour);

    const QImage veiled =
        Thumbs::decode(write("maske.heic", heif(heif_compression_HEVC, 64, 48, Look::colourWithAlpha)), 32);
    ASSERT_EQ(veiled.size(), QSize(32, 24));
    EXPECT_NEAR(qAlpha(veiled.pixel(16, 12)), 100, 2);

    const QString cut = write("kurz.heic", heic.left(heic.size() / 2));
    EXPECT_TRUE(Thumbs::decode(cut, 64).isNull());
    EXPECT_EQ(PreviewContent::load(cut, QSize(800, 800)).kind, PreviewContent::Kind::facts);
    const QByteArray answer = "KIMG 2 1\n" + QByteArray(8, '\x7f');
    EXPECT_EQ(HeifPicture::parse(answer, QSize(2, 2)).size(), QSize(2, 1));
    EXPECT_TRUE(HeifPicture::parse(answer, QSize(1, 2)).isNull());
    EXPECT_TRUE(HeifPicture::parse(answer.chopped(1), QSize(2, 2)).isNull());
    EXPECT_TRUE(HeifPicture::parse(answer + "x", QSize(2, 2)).isNull());

    const QByteArray avif = heif(heif_compression_AV1, 40, 30);
    if (avif.isEmpty()) GTEST_SKIP() << "libheif has no AV1 encoder here";
    const QString picture = write("bild.avif", avif);
    EXPECT_EQ(Thumbs::decode(picture, 16).size(), QSize(16, 12));
    EXPECT_EQ(PreviewContent::load(picture, QSize(800, 800)).images.value(0).size(), QSize(40, 30));
}
