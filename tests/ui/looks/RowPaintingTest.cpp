#include "common/TestUtil.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/IconCache.h"
#include "ui/panecontent/SelectionBackground.h"
#include "ui/panecontent/TagDots.h"
#include "ui/panecontent/ThumbnailView.h"
#include "ui/style/EnvironmentValues.h"

#include <QIcon>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include <limits>

using Look = SelectionBackground::Look;
using TestUtil::fileItem;

namespace {

const AppTheme &nebula() {
    return AppTheme::all().front();
}

QPalette paletteFor(ColorScheme scheme) {
    QPalette pal;
    const bool dark = scheme == ColorScheme::dark;
    pal.setColor(QPalette::Window, dark ? QColor(30, 30, 32) : QColor(246, 246, 246));
    pal.setColor(QPalette::Base, dark ? QColor(24, 24, 26) : Qt::white);
    pal.setColor(QPalette::WindowText, dark ? QColor(235, 235, 235) : QColor(20, 20, 20));
    return pal;
}

// Three list rows as the list delegate draws them: highlight, icon, name, tag dots.
class Rows : public QWidget {
public:
    static constexpr int rowHeight = 24, iconX = 8, dotsX = 200;
    QList<FileItem> items;
    QList<bool> selected, hovered;
    UIScale ui;
    Rows() { resize(320, 3 * rowHeight); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Base));
        for (int i = 0; i < items.size(); ++i) {
            const QRectF row(0, i * rowHeight, width(), rowHeight);
            SelectionBackground::paint(&p, row, nebula(), palette(), selected[i], hovered[i]);
            FileIcon::paint(&p, QRectF(iconX, row.y() + 3, 18, 18), items[i], nebula(), ui);
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(QRectF(32, row.y(), 150, rowHeight), Qt::AlignVCenter, items[i].name);
            TagDots::paint(&p, QPointF(dotsX, row.center().y()), items[i].tags(), palette());
        }
    }
};

bool near(QColor a, QColor b, int tolerance = 24) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(FileIconTest, ChoiceGlyphColourAndOddRectangles) {
    for (int n : {0, -1, 8, 100})
        EXPECT_EQ(TagColors::color(n), TagColors::color(1)) << n;
    EXPECT_EQ(TagDots::helpText({QStringLiteral("Rot\n6"), QStringLiteral("Projekt")}), "Rot, Projekt");
    const UIScale systemIcons{13, true}, themed{13, false};
    const FileItem red = fileItem("/x/Rot", true, 0, {QStringLiteral("Rot\n6")});
    EXPECT_EQ(FileIcon::choose(red, systemIcons), FileIcon::Choice::tintedFolder);
    EXPECT_EQ(FileIcon::choose(red, themed), FileIcon::Choice::themeGlyph);
    EXPECT_EQ(FileIcon::choose(fileItem("/x/Plain", true, 0, {QStringLiteral("Projekt\n0")}), systemIcons),
              FileIcon::Choice::typeIcon);
    EXPECT_EQ(FileIcon::choose(fileItem("/x/a.txt", false, 0, {QStringLiteral("Rot\n6")}), systemIcons),
              FileIcon::Choice::typeIcon);

    // The theme glyph: the tag colour, else the gradient.
    QImage img(100, 100, QImage::Format_ARGB32_Premultiplied);
    auto centre = [&](const FileItem &f) {
        img.fill(Qt::transparent);
        QPainter p(&img);
        FileIcon::paint(&p, img.rect(), f, nebula(), themed);
        return QColor(img.pixel(50, 60)).toRgb();
    };
    EXPECT_TRUE(near(centre(red), TagColors::color(6), 30));
    const QColor plain = centre(fileItem("/x/Plain", true));
    EXPECT_TRUE(near(plain, nebula().a, 90) || near(plain, nebula().b, 90));

    // Odd rectangles draw nothing rather than fail.
    QPainter p(&img);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    FileIcon::paint(&p, QRectF(0, 0, nan, nan), red, nebula(), systemIcons);
    FileIcon::paint(&p, QRectF(0, 0, std::numeric_limits<double>::infinity(), 1e300), red, nebula(),
                    systemIcons);
    ThumbnailPicture::paint(&p, QRectF(0, 0, nan, 10), red, {}, nebula(), systemIcons);
    FileIcon::paint(&p, QRectF(0, 0, 0, 0), red, nebula(), systemIcons);
}

// Rows with a selection, a hovered row, tag dots and a red-tagged folder, in both palettes.
TEST(RowPaintingTest, RowsWithTagDotsAndTintedFolder) {
    QIcon::setThemeSearchPaths({}); // our bundled pictures, the same on every machine
    IconCache::clear();
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        Rows rows;
        rows.setPalette(paletteFor(scheme));
        rows.items = {
            fileItem("/x/Rot", true, 0, {QStringLiteral("Rot\n6")}),
            fileItem("/x/Bericht.pdf", false, 0,
                     {QStringLiteral("Grün\n2"), QStringLiteral("Blau\n4"), QStringLiteral("Projekt")}),
            fileItem("/x/Notizen.txt", false)};
        rows.selected = {false, true, false};
        rows.hovered = {false, false, true};
        const QImage shot = rows.grab().toImage();
        ASSERT_EQ(shot.size(), QSize(320, 72));
        const QColor base = rows.palette().color(QPalette::Base);

        // Row 1: an unselected row keeps the background; its folder is red.
        EXPECT_EQ(QColor(shot.pixel(150, 2)), base);
        int reddish = 0;
        for (int y = 3; y < 21; ++y)
            for (int x = 8; x < 26; ++x) {
                const QColor c(shot.pixel(x, y));
                if (c.saturation() > 100 && (c.hue() < 15 || c.hue() > 345)) ++reddish;
            }
        EXPECT_GT(reddish, 60);
        // Row 2: the selection is the theme gradient over the background, framed.
        const QColor sel(shot.pixel(150, 36));
        EXPECT_NE(sel, base);
        EXPECT_GT(sel.saturation(), 20);
        // Three dots 6 points apart: green, blue, grey.
        const double cy = 36;
        EXPECT_TRUE(near(QColor(shot.pixel(Rows::dotsX + 3, cy)), TagColors::color(2), 40));
        EXPECT_TRUE(near(QColor(shot.pixel(Rows::dotsX + 9, cy)), TagColors::color(4), 40));
        EXPECT_TRUE(near(QColor(shot.pixel(Rows::dotsX + 15, cy)), TagColors::color(0), 40));
        // Row 3: hovered, a faint shade of the text colour; no dots.
        const QColor hover(shot.pixel(150, 60));
        EXPECT_NE(hover, base);
        EXPECT_LT(std::abs(hover.lightness() - base.lightness()), 20);
        EXPECT_EQ(QColor(shot.pixel(Rows::dotsX + 4, 60)), hover);
    }
}
