#include "common/TestUtil.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FactsHelper.h"
#include "core/model/FullDetails.h"
#include "platform/Confined.h"

#include <QColorSpace>
#include <QElapsedTimer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <exiv2/exiv2.hpp>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <vector>
#include <sys/stat.h>

namespace {

QString valueOf(const QList<FullDetails::Extra> &rows, const char *label) {
    for (const auto &r : rows)
        if (r.label == QString::fromUtf8(label)) return r.value;
    return QStringLiteral("<none>");
}

QStringList rowsOf(const QString &path) {
    QStringList out;
    for (const auto &r : FullDetails::extraInfo(path))
        out << r.label + u'=' + r.value;
    return out;
}

QString shortDate(int y, int mo, int d, int h, int mi, int s) {
    return FileFmt::date().string(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}
QByteArray chunk(const char *id, QByteArray body) {
    const quint32 size = quint32(body.size());
    if (body.size() % 2) body += '\0';
    return QByteArray(id, 4) + le32(size) + body;
}
QByteArray riff(const char *form, const QByteArray &body) {
    return "RIFF" + le32(quint32(body.size() + 4)) + QByteArray(form, 4) + body;
}
QByteArray pcmFormat(quint32 rate) {
    return le16(1) + le16(1) + le32(rate) + le32(rate * 2) + le16(2) + le16(16);
}

// 1.5 s of silence with a title, an artist and a recording date.
QByteArray wav() {
    const QByteArray info =
        "INFO" + chunk("INAM", "Abendlied") + chunk("IART", "Chor") + chunk("ICRD", "2021-06-05 14:03:07");
    return riff("WAVE", chunk("fmt ", pcmFormat(8000)) + chunk("LIST", info) +
                            chunk("data", QByteArray(8000 * 3, '\0')));
}

// Two seconds of a 64×48 motion-JPEG picture at 25 frames a second, with a sound stream beside it; or
// the header of an hour of 1920×1080 whose pictures are left to the caller.
QByteArray avi(bool hour = false) {
    const quint32 w = hour ? 1920 : 64, h = hour ? 1080 : 48, frames = hour ? 90000 : 50, fps = 25;
    const QByteArray frame("\xff\xd8\xff\xd9", 4);
    QByteArray avih = le32(1000000 / fps) + le32(0) + le32(0) + le32(0x10) + le32(frames) + le32(0) +
                      le32(2) + le32(0) + le32(w) + le32(h) + QByteArray(16, '\0');
    auto strh = [&](const char *type, const char *handler, quint32 scale, quint32 rate, quint32 length) {
        return QByteArray(type, 4) + QByteArray(handler, 4) + le32(0) + le16(0) + le16(0) + le32(0) +
               le32(scale) + le32(rate) + le32(0) + le32(length) + le32(0) + le32(0xffffffff) + le32(0) +
               QByteArray(8, '\0');
    };
    const QByteArray bitmap =
        le32(40) + le32(w) + le32(h) + le16(1) + le16(24) + "MJPG" + le32(w * h * 3) + QByteArray(16, '\0');
    const QByteArray video =
        "strl" + chunk("strh", strh("vids", "MJPG", 1, fps, frames)) + chunk("strf", bitmap);
    const QByteArray audio =
        "strl" + chunk("strh", strh("auds", "\0\0\0\0", 1, 8000, 16000)) + chunk("strf", pcmFormat(8000));
    const QByteArray hdrl = "hdrl" + chunk("avih", avih) + chunk("LIST", video) + chunk("LIST", audio);
    if (hour)
        return "RIFF" + le32(0xfffffff0) + "AVI " + chunk("LIST", hdrl) + "LIST" + le32(0xffff0000) + "movi";
    QByteArray movi = "movi";
    for (quint32 i = 0; i < frames; ++i)
        movi += chunk("00dc", frame);
    movi += chunk("01wb", QByteArray(32000, '\0'));
    return riff("AVI ", chunk("LIST", hdrl) + chunk("LIST", movi));
}

// A CMYK JPEG, as print shops send them (Qt writes none).
bool writeCmykJpeg(const QString &path, int w, int h) {
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * 4, 40);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

void writePdf(const QString &path, const QString &title, int pages) {
    QPdfWriter writer(path);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Test"));
    writer.setPageSize(QPageSize(QPageSize::A6));
    QPainter p(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i) writer.newPage();
        p.drawText(20, 20, QString::number(i + 1));
    }
}

} // namespace

// Rows come from what the file holds, in their fixed order; where it holds nothing readable there is no row.
TEST(ContentFacts, ImagesGiveSizeColourModelAndCaptureDate) {
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir dir;
    const QString gray = dir.path() + "/grau.jpg";
    QImage g(40, 30, QImage::Format_Grayscale8);
    g.fill(128);
    ASSERT_TRUE(g.save(gray));
    {
        auto image = Exiv2::ImageFactory::open(gray.toStdString());
        image->readMetadata();
        image->exifData()["Exif.Photo.DateTimeOriginal"] = "2021:06:05 14:03:07";
        image->writeMetadata();
    }
    EXPECT_EQ(rowsOf(gray), (QStringList{"Auflösung=40×30", "Farbraum=Gray",
                                         "Aufnahme=" + shortDate(2021, 6, 5, 14, 3, 7)}));

    // An embedded profile names the colour space by its own description.
    const QString profiled = dir.path() + "/profil.jpg";
    QImage rgb(40, 30, QImage::Format_RGB32);
    rgb.fill(Qt::red);
    rgb.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    ASSERT_TRUE(rgb.save(profiled));
    EXPECT_EQ(
        rowsOf(profiled),
        (QStringList{"Auflösung=40×30", "Farbraum=" + QColorSpace(QColorSpace::AdobeRgb).description()}));

    const QString cmyk = dir.path() + "/druck.jpg";
    ASSERT_TRUE(writeCmykJpeg(cmyk, 40, 30));
    EXPECT_EQ(rowsOf(cmyk), (QStringList{"Auflösung=40×30", "Farbraum=CMYK"}));

    const QString png = dir.path() + "/bild.png";
    ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32).save(png));
    EXPECT_EQ(rowsOf(png), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
}

TEST(ContentFacts, AudioAndVideoGiveDurationCodecsAndTags) {
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir dir;
    ASSERT_TRUE(TestUtil::writeFile(dir.path() + "/lied.wav", wav()));
    EXPECT_EQ(rowsOf(dir.path() + "/lied.wav"),
              (QStringList{"Titel=Abendlied", "Autoren=Chor", "Dauer=0:02", "Codecs=PCM",
                           "Aufnahme=" + shortDate(2021, 6, 5, 14, 3, 7)}));
    ASSERT_TRUE(TestUtil::writeFile(dir.path() + "/film.avi", avi()));
    EXPECT_EQ(rowsOf(dir.path() + "/film.avi"),
              (QStringList{"Auflösung=64×48", "Dauer=0:02", "Codecs=JPEG, PCM"}));

    // A 4 GiB film is not read through: its rows come at once.
    const QString big = dir.path() + "/gross.avi";
    ASSERT_TRUE(TestUtil::writeFile(big, avi(true)));
    ASSERT_TRUE(QFile::resize(big, 4LL << 30));
    QElapsedTimer bigClock;
    bigClock.start();
    EXPECT_EQ(rowsOf(big), (QStringList{"Auflösung=1920×1080", "Dauer=60:00", "Codecs=JPEG, PCM"}));
    EXPECT_LT(bigClock.elapsed(), 1000);

    // A FIFO named like a film is not read, even when it is handed to the helper itself (say, swapped in
    // after the app looked): the helper answers at once, with nothing.
    const QString fifo = dir.path() + "/rohr.mp4";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(FullDetails::extraInfo(fifo).isEmpty());
    QElapsedTimer clock;
    clock.start();
    const auto out = Confined::run(FactsHelper::program(), {"--", fifo}, {});
    EXPECT_EQ(out.end, Confined::End::finished);
    EXPECT_TRUE(out.output.isEmpty());
    EXPECT_LT(clock.elapsed(), FactsHelper::kTimeoutMs / 2);
}

TEST(ContentFacts, PdfGivesVersionPagesSecurityAndDates) {
    TestUtil::LanguageScope german(AppLanguage::de);
    QTemporaryDir dir;
    const QString pdf = dir.path() + "/doc.pdf";
    writePdf(pdf, QStringLiteral("Jahresbericht"), 2);
    const auto rows = FullDetails::extraInfo(pdf);
    QStringList labels;
    for (const auto &r : rows)
        labels << r.label;
    EXPECT_EQ(labels, (QStringList{"Titel", "Version", "Seiten", "Sicherheit", "Aufnahme"}));
    EXPECT_EQ(valueOf(rows, "Titel"), QStringLiteral("Jahresbericht"));
    EXPECT_EQ(valueOf(rows, "Version"), QStringLiteral("1.4"));
    EXPECT_EQ(valueOf(rows, "Seiten"), QStringLiteral("2"));
    EXPECT_EQ(valueOf(rows, "Sicherheit"), QStringLiteral("Keine"));

    // No title: no empty row for it.
    const QString untitled = dir.path() + "/ohne.pdf";
    writePdf(untitled, {}, 1);
    EXPECT_EQ(valueOf(FullDetails::extraInfo(untitled), "Titel"), QStringLiteral("<none>"));
    EXPECT_EQ(valueOf(FullDetails::extraInfo(untitled), "Seiten"), QStringLiteral("1"));

    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    if (qpdf.isEmpty()) GTEST_SKIP() << "qpdf is not installed";
    const QString locked = dir.path() + "/geheim.pdf", restricted = dir.path() + "/rechte.pdf";
    ASSERT_EQ(QProcess::execute(qpdf, {"--encrypt", "nutzer", "besitzer", "256", "--", pdf, locked}), 0);
    ASSERT_EQ(
        QProcess::execute(qpdf, {"--encrypt", "", "besitzer", "256", "--print=none", "--", pdf, restricted}),
        0);
    // Nothing inside is readable without the password but the version and that it needs one.
    EXPECT_EQ(rowsOf(locked), (QStringList{"Version=1.7", "Sicherheit=Kennwort zum Öffnen"}));
    EXPECT_EQ(valueOf(FullDetails::extraInfo(restricted), "Sicherheit"),
              QStringLiteral("Verschlüsselt, Rechte eingeschränkt"));
    EXPECT_EQ(valueOf(FullDetails::extraInfo(restricted), "Titel"), QStringLiteral("Jahresbericht"));
}

TEST(ContentFacts, DamagedAndOtherFilesGiveNoRows) {
    QTemporaryDir dir;
    for (const char *name : {"kaputt.png", "kaputt.pdf", "kaputt.mp4", "text.txt"})
        ASSERT_TRUE(TestUtil::writeFile(dir.path() + "/" + name,
                                        QByteArray("\x89PNG\r\n\x1a\n%PDF-1.4 garbage", 24)));
    for (const char *name : {"kaputt.png", "kaputt.pdf", "kaputt.mp4", "text.txt", ""})
        EXPECT_TRUE(FullDetails::extraInfo(dir.path() + "/" + name).isEmpty()) << name;
}
