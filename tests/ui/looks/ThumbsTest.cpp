#include "common/StuckReader.h"
#include "common/TestUtil.h"
#include "core/model/FileLoader.h"
#include "ui/panecontent/Thumbs.h"
#include "ui/panecontent/ThumbnailView.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QUrl>
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <utime.h>

namespace {

QString writeImage(const QString &path, QSize size, QColor colour) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    EXPECT_TRUE(img.save(path));
    return path;
}

void setMtime(const QString &path, qint64 seconds) {
    utimbuf t{seconds, seconds};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &t), 0);
}

// Asks for a thumbnail and waits for it; the key the answer came with is checked against the request.
QImage load(const Thumbs::Key &key) {
    QImage out = Thumbs::request(key, nullptr, [&](const Thumbs::Key &k, const QImage &img) {
        EXPECT_EQ(k, key);
        out = img;
    });
    Thumbs::waitForIdle();
    return out;
}

class ThumbsTest : public ::testing::Test {
protected:
    void SetUp() override { Thumbs::clear(); }
    QTemporaryDir dir;
    QString at(const char *name) const { return dir.path() + u'/' + QLatin1String(name); }
};

} // namespace

TEST_F(ThumbsTest, KeysRefuseOddSizesAndFilesWithoutPicture) {
    const QString path = writeImage(at("a.png"), {10, 10}, Qt::red);
    EXPECT_NE(Thumbs::keyFor(path, 64)->text(), Thumbs::keyFor(path, 128)->text());
    for (double odd : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), -3.0, 0.0, 0.5, 1e30})
        EXPECT_FALSE(Thumbs::keyFor(path, odd)) << odd;
    EXPECT_FALSE(Thumbs::keyFor(at("missing.png"), 64));

    // A text file is answered at once without decoding; a broken picture is tried once, not on every redraw.
    ASSERT_TRUE(TestUtil::writeFile(at("notes.txt"), "hello"));
    ASSERT_TRUE(TestUtil::writeFile(at("broken.jpg"), "not a jpeg at all"));
    const int decodes = Thumbs::decodeCount();
    EXPECT_TRUE(load(*Thumbs::keyFor(at("notes.txt"), 64)).isNull());
    EXPECT_EQ(Thumbs::decodeCount(), decodes);
    const Thumbs::Key broken = *Thumbs::keyFor(at("broken.jpg"), 64);
    EXPECT_TRUE(load(broken).isNull());
    EXPECT_TRUE(load(broken).isNull());
    EXPECT_EQ(Thumbs::decodeCount(), decodes + 1);
    // By path: a file that is gone is answered with no image.
    bool answered = false;
    Thumbs::thumbnail(at("gone.png"), 64, nullptr,
                      [&](const Thumbs::Key &, const QImage &img) { answered = img.isNull(); });
    Thumbs::waitForIdle();
    EXPECT_TRUE(answered);
}

// A FIFO named like a picture or a PDF is no picture: the worker answers at once instead of waiting for a
// writer (as many such FIFOs as workers would stop every thumbnail for good).
TEST_F(ThumbsTest, AFifoWithAPicturesNameNeverHoldsAWorker) {
    for (const char *name : {"rohr.png", "rohr.pdf"}) {
        const QString fifo = at(name);
        ASSERT_TRUE(StuckReader::makeFifo(fifo));
        QImage img(1, 1, QImage::Format_RGB32);
        EXPECT_TRUE(StuckReader::returnsWithin(3000, fifo, [&] { img = Thumbs::decode(fifo, 64); })) << name;
        EXPECT_TRUE(img.isNull()) << name;
    }
}

TEST_F(ThumbsTest, DecodesScaledOnceAndNeverShowsAStalePicture) {
    const QString path = writeImage(at("wide.png"), {400, 300}, Qt::red);
    const Thumbs::Key key = *Thumbs::keyFor(path, 64);
    const int decodes = Thumbs::decodeCount();
    const QImage img = load(key);
    EXPECT_EQ(img.size(), QSize(128, 96)); // two pixels per point, aspect kept
    bool called = false;
    const QImage again =
        Thumbs::request(key, nullptr, [&](const Thumbs::Key &, const QImage &) { called = true; });
    EXPECT_EQ(again.cacheKey(), img.cacheKey());
    Thumbs::waitForIdle();
    EXPECT_FALSE(called);
    EXPECT_EQ(Thumbs::decodeCount(), decodes + 1);

    // The file changes: its new version has a new key and its own picture.
    writeImage(path, {400, 300}, Qt::blue);
    setMtime(path, 2'000'000'000);
    const Thumbs::Key changed = *Thumbs::keyFor(path, 64);
    EXPECT_NE(changed, key);
    EXPECT_EQ(QColor(load(changed).pixel(10, 10)), QColor(Qt::blue));
    // Small pictures are not blown up.
    EXPECT_EQ(load(*Thumbs::keyFor(writeImage(at("small.png"), {20, 10}, Qt::red), 64)).size(),
              QSize(20, 10));
}

TEST_F(ThumbsTest, DesktopThumbnailCacheOnlyWhenValid) {
    // Of any type, named after the URI as GLib escapes it (the temporary folder's name needs no escaping).
    const QString path = dir.path() + "/Mü [2024];#?%{^`|} a!$&'()*+,=@~:.mkv";
    ASSERT_TRUE(TestUtil::writeFile(path, "video"));
    setMtime(path, 1'700'000'000);
    ASSERT_EQ(QUrl::fromLocalFile(dir.path()).toEncoded(), "file://" + QFile::encodeName(dir.path()));
    const QByteArray uri = "file://" + QFile::encodeName(dir.path()) +
                           "/M%C3%BC%20%5B2024%5D%3B%23%3F%25%7B%5E%60%7C%7D%20a!$&'()*+,=@~:.mkv";
    const QString cached = TestUtil::testHome() + QStringLiteral("/.cache/thumbnails/normal/") +
                           QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png";
    QDir().mkpath(QFileInfo(cached).path());
    auto writeCached = [&](const QByteArray &mtime) {
        QImage thumb(128, 128, QImage::Format_RGB32);
        thumb.fill(Qt::green);
        thumb.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
        thumb.setText(QStringLiteral("Thumb::MTime"), QString::fromLatin1(mtime));
        ASSERT_TRUE(thumb.save(cached, "png"));
    };
    writeCached("1700000000");
    EXPECT_EQ(QColor(load(*Thumbs::keyFor(path, 64)).pixel(5, 5)), QColor(Qt::green));
    // 300 points need 600 pixels: a 128-pixel picture is too small (and a video is not decoded here).
    EXPECT_TRUE(Thumbs::make(*Thumbs::keyFor(path, 300)).isNull());
    writeCached("1600000000"); // made of an older version of the file
    EXPECT_TRUE(Thumbs::make(*Thumbs::keyFor(path, 64)).isNull());
}

TEST_F(ThumbsTest, FirstPageOfPdfAndBoundedCache) {
    const QString path = at("doc.pdf");
    {
        QPdfWriter pdf(path);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&pdf);
        p.fillRect(QRect(0, 0, pdf.width(), pdf.height()), Qt::blue);
        pdf.newPage();
        p.fillRect(QRect(0, 0, pdf.width(), pdf.height()), Qt::red);
    }
    const QImage img = load(*Thumbs::keyFor(path, 100));
    ASSERT_EQ(img.height(), 200);
    EXPECT_NEAR(img.width(), 141, 2); // A4 upright
    const QColor c(img.pixel(img.width() / 2, img.height() / 2));
    EXPECT_TRUE(c.blue() > 200 && c.red() < 60);

    // The cache is bounded in bytes.
    Thumbs::setCacheLimit(200 * 1024);
    for (int i = 0; i < 6; ++i) {
        const QString path = writeImage(dir.path() + QStringLiteral("/p%1.png").arg(i), {300, 300}, Qt::red);
        ASSERT_FALSE(load(*Thumbs::keyFor(path, 64)).isNull());
    }
    EXPECT_LE(Thumbs::cacheBytes(), 200 * 1024);
    Thumbs::setCacheLimit(64 * 1024 * 1024);
}

TEST_F(ThumbsTest, LateResultsNeverLandOnAnotherItem) {
    const FileItem red = FileLoader::item(writeImage(at("red.png"), {300, 300}, Qt::red));
    const FileItem blue = FileLoader::item(writeImage(at("blue.png"), {300, 300}, Qt::blue));
    ASSERT_TRUE(TestUtil::writeFile(at("plain.txt"), "x"));
    const FileItem text = FileLoader::item(at("plain.txt"));

    ThumbnailView view(64);
    view.setItem(red);
    Thumbs::waitForIdle();
    EXPECT_TRUE(view.image().isNull()); // not on screen: nothing asked
    view.show();
    view.setItem(blue);
    view.setItem(red);
    view.setItem(blue); // the red load is still running
    Thumbs::waitForIdle();
    ASSERT_FALSE(view.image().isNull());
    EXPECT_EQ(QColor(view.image().pixel(5, 5)), QColor(Qt::blue));

    // An item without a picture does not keep the one before it.
    view.setItem(text);
    Thumbs::waitForIdle();
    EXPECT_TRUE(view.image().isNull());

    // A callback whose receiver is gone is not run.
    bool ran = false;
    auto context = std::make_unique<QObject>();
    Thumbs::request(*Thumbs::keyFor(writeImage(at("green.png"), {300, 300}, Qt::green), 64), context.get(),
                    [&](const Thumbs::Key &, const QImage &) { ran = true; });
    context.reset();
    Thumbs::waitForIdle();
    EXPECT_FALSE(ran);

    // A cancelled request is not answered.
    ran = false;
    QObject other;
    const Thumbs::Key orange =
        *Thumbs::keyFor(writeImage(at("orange.png"), {300, 300}, QColor(255, 128, 0)), 64);
    Thumbs::request(orange, &other, [&](const Thumbs::Key &, const QImage &) { ran = true; });
    Thumbs::cancel(orange, &other);
    Thumbs::waitForIdle();
    EXPECT_FALSE(ran);

    // A non-finite size shows the icon and asks for nothing.
    view.setEdge(std::numeric_limits<double>::quiet_NaN());
    view.setItem(red);
    Thumbs::waitForIdle();
    EXPECT_TRUE(view.image().isNull());
    EXPECT_EQ(view.sizeHint(), QSize(0, 0));
    view.grab(); // paints without a crash
}
