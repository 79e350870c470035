#include "common/StuckReader.h"
#include "common/TestUtil.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/IconCache.h"
#include "ui/style/FolderTint.h"

#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <unistd.h>

namespace {

using TestUtil::fileItem;

// The hue in degrees of the most saturated pixel of an image (-1 when no pixel is coloured).
double dominantHue(const QImage &img) {
    double best = 0, hue = -1;
    const QImage rgb = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QColor c = QColor::fromRgba(rgb.pixel(x, y));
            if (c.alpha() < 200) continue;
            if (c.hsvSaturationF() > best) {
                best = c.hsvSaturationF();
                hue = c.hsvHueF() * 360;
            }
        }
    return best > 0.2 ? hue : -1;
}

double hueDistance(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 360 - d);
}

// Without a desktop icon theme every icon comes from our bundled pictures.
class IconCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_paths = QIcon::themeSearchPaths();
        m_theme = QIcon::themeName();
        QIcon::setThemeSearchPaths({});
        QIcon::setThemeName(QStringLiteral("kestrin-no-theme"));
        IconCache::clear();
    }
    void TearDown() override {
        QIcon::setThemeSearchPaths(m_paths);
        QIcon::setThemeName(m_theme);
        IconCache::clear();
    }
    QStringList m_paths;
    QString m_theme;
};

} // namespace

TEST_F(IconCacheTest, TypeIconsAreCachedPerTypeNotPerPath) {
    const int before = IconCache::madeCount();
    const QPixmap a = IconCache::iconPixmap(fileItem("/x/a.jpg"), 32);
    const QPixmap b = IconCache::iconPixmap(fileItem("/y/Other.JPG"), 32);
    EXPECT_FALSE(a.isNull());
    EXPECT_EQ(a.cacheKey(), b.cacheKey());
    EXPECT_EQ(IconCache::madeCount(), before + 1);

    // A renamed file is of another type and gets that type's icon, never the old one.
    EXPECT_NE(IconCache::iconPixmap(fileItem("/x/a.pdf"), 32).cacheKey(), a.cacheKey());
    EXPECT_EQ(IconCache::iconName(fileItem("/x/a.jpg", true)), QStringLiteral("folder"));
    for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_TRUE(IconCache::iconPixmap(fileItem("/x/a.jpg"), 16, bad).isNull()) << bad;
}

TEST_F(IconCacheTest, TintedFoldersTakeTheTagHue) {
    const FileItem folder = fileItem("/x/Projekte", true);
    for (int n : {2, 6, 8}) {
        const QImage img = IconCache::tintedFolderPixmap(folder, n, 64).toImage();
        EXPECT_LT(hueDistance(dominantHue(img), FolderTint::targetHue(n)), 8) << n;
    }

    // Made once per colour, shared by all folders of the same icon.
    const int made = IconCache::madeCount();
    IconCache::tintedFolder(fileItem("/elsewhere/Other", true), 6);
    EXPECT_EQ(IconCache::madeCount(), made);
}

TEST_F(IconCacheTest, ApplicationFolderCarriesTheApplicationIcon) {
    QTemporaryDir dir;
    QImage red(64, 64, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(dir.path() + QStringLiteral("/red.png")));
    const QString app = dir.path() + QStringLiteral("/editor.desktop");
    ASSERT_TRUE(TestUtil::writeFile(
        app, "[Desktop Entry]\nType=Application\nName=Editor\nIcon=" + dir.path().toUtf8() + "/red.png\n"));
    // The badge sits centred on the folder, which still shows around it.
    IconCache::appFolderPixmap(app, 128);
    IconCache::waitForEntries();
    const QImage img = IconCache::appFolder(app).pixmap(128).toImage();
    EXPECT_EQ(QColor(IconCache::appFolderPixmap(app, 128).toImage().pixel(64, 73)), QColor(Qt::red));
    EXPECT_EQ(QColor(img.pixel(64, 73)), QColor(Qt::red));
    EXPECT_NE(QColor(img.pixel(20, 73)), QColor(Qt::red));
    EXPECT_NE(QColor(img.pixel(64, 108)), QColor(Qt::red));

    // In both folder styles an application folder shows the badged icon.
    FileItem lib = fileItem(dir.path() + QStringLiteral("/Library"), true);
    lib.setIconPath(app);
    for (bool system : {false, true})
        EXPECT_EQ(FileIcon::choose(lib, UIScale{13, system}), FileIcon::Choice::appFolder);
}

TEST_F(IconCacheTest, DesktopEntryIconFollowsTheEntry) {
    QTemporaryDir dir;
    for (auto [name, colour] : {std::pair{"a.png", Qt::red}, std::pair{"b.png", Qt::blue}}) {
        QImage img(32, 32, QImage::Format_ARGB32);
        img.fill(colour);
        ASSERT_TRUE(img.save(dir.path() + u'/' + QLatin1String(name)));
    }
    const QString entry = dir.path() + QStringLiteral("/tool.desktop");
    FileItem f = fileItem(entry);
    ASSERT_TRUE(TestUtil::writeFile(entry, "[Desktop Entry]\nIcon=" + dir.path().toUtf8() + "/a.png\n"));
    f.modified = QDateTime::fromMSecsSinceEpoch(1000);
    IconCache::iconPixmap(f, 16);
    IconCache::waitForEntries();
    EXPECT_EQ(QColor(IconCache::iconPixmap(f, 16).toImage().pixel(8, 8)), QColor(Qt::red));
    // The entry changed: its new version is a new key, so the old picture is not shown.
    ASSERT_TRUE(TestUtil::writeFile(entry, "[Desktop Entry]\nIcon=" + dir.path().toUtf8() + "/b.png\n"));
    f.modified = QDateTime::fromMSecsSinceEpoch(2000);
    IconCache::iconPixmap(f, 16);
    IconCache::waitForEntries();
    EXPECT_EQ(QColor(IconCache::iconPixmap(f, 16).toImage().pixel(8, 8)), QColor(Qt::blue));
}

// Drawing the row of a FIFO named *.desktop, of an entry whose Icon= is a FIFO, or of a one-line entry of a
// gigabyte neither waits for a writer nor reads the whole file: a stand-in shows until the worker is done.
TEST_F(IconCacheTest, AnEntryThatIsNoFileOrHugeNeverHoldsTheWindow) {
    QTemporaryDir dir;
    const QString fifo = dir.path() + QStringLiteral("/rohr.desktop");
    const QString fifoPicture = dir.path() + QStringLiteral("/rohr.png");
    const QString pointing = dir.path() + QStringLiteral("/zeigt.desktop");
    const QString huge = dir.path() + QStringLiteral("/lang.desktop");
    ASSERT_TRUE(StuckReader::makeFifo(fifo) && StuckReader::makeFifo(fifoPicture));
    ASSERT_TRUE(TestUtil::writeFile(pointing, "[Desktop Entry]\nIcon=" + fifoPicture.toUtf8() + "\n"));
    ASSERT_TRUE(TestUtil::writeFile(huge, "[Desktop Entry]\nName="));
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), qint64(1) << 30), 0);
    {
        StuckReader::Watchdog entry(fifo, 3000), picture(fifoPicture, 3000);
        QElapsedTimer timer;
        timer.start();
        for (const QString &path : {fifo, pointing, huge})
            EXPECT_FALSE(IconCache::iconPixmap(fileItem(path), 16).isNull()) << path.toStdString();
        IconCache::waitForEntries();
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_FALSE(entry.fired());
        EXPECT_FALSE(picture.fired());
    }
    for (const QString &path : {fifo, pointing, huge})
        EXPECT_EQ(IconCache::iconName(fileItem(path)), QStringLiteral("app")) << path.toStdString();
}
