#include "common/TestUtil.h"
#include "core/model/FullDetails.h"
#include "ui/inspector/ContentFacts.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString valueOf(const QList<FullDetails::Extra> &rows, const char *label) {
    for (const auto &r : rows)
        if (r.label == QString::fromUtf8(label)) return r.value;
    return QStringLiteral("<none>");
}
} // namespace

// Rows come from what the file holds; where it holds nothing readable there is no row.
TEST(ContentFacts, ImageSizeAndPdfFacts) {
    ContentFacts::install();
    QTemporaryDir dir;
    const QString png = dir.path() + "/bild.png";
    ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32).save(png));
    EXPECT_EQ(valueOf(FullDetails::extraInfo(png), "Auflösung"), QStringLiteral("40×30"));

    const QString pdf = dir.path() + "/doc.pdf";
    {
        QPdfWriter writer(pdf);
        writer.setTitle(QStringLiteral("Jahresbericht"));
        writer.setPageSize(QPageSize(QPageSize::A6));
        QPainter p(&writer);
        p.drawText(20, 20, QStringLiteral("eins"));
        writer.newPage();
        p.drawText(20, 20, QStringLiteral("zwei"));
    }
    const auto rows = FullDetails::extraInfo(pdf);
    EXPECT_EQ(valueOf(rows, "Seiten"), QStringLiteral("2"));
    EXPECT_EQ(valueOf(rows, "Titel"), QStringLiteral("Jahresbericht"));

    // No title: no empty row for it.
    const QString untitled = dir.path() + "/ohne.pdf";
    {
        QPdfWriter writer(untitled);
        QPainter p(&writer);
        p.drawText(20, 20, QStringLiteral("eins"));
    }
    EXPECT_EQ(valueOf(FullDetails::extraInfo(untitled), "Titel"), QStringLiteral("<none>"));
    EXPECT_EQ(valueOf(FullDetails::extraInfo(untitled), "Seiten"), QStringLiteral("1"));

    // Damaged files, a folder and a file of another kind: no rows, no failure.
    for (const char *name : {"kaputt.png", "kaputt.pdf", "text.txt"})
        ASSERT_TRUE(TestUtil::writeFile(dir.path() + "/" + name,
                                        QByteArray("\x89PNG\r\n\x1a\n%PDF-1.4 garbage", 24)));
    for (const char *name : {"kaputt.png", "kaputt.pdf", "text.txt", ""})
        EXPECT_TRUE(FullDetails::extraInfo(dir.path() + "/" + name).isEmpty()) << name;
    EXPECT_TRUE(FullDetails::load(png).extra.size() == 1);
    FullDetails::setExtraProvider({});
}
