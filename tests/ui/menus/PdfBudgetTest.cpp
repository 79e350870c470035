// PDF pages are drawn by the helper program under a time budget: a page that takes forever to draw costs
// at most the budget, is given up when no longer wanted, and the preview then shows the file's facts.
// Shown pages fit the preview window whole.
#include "common/TestPdf.h"
#include "common/TestUtil.h"
#include "ui/panecontent/FitPages.h"
#include "ui/panecontent/PdfPages.h"
#include "ui/panecontent/PreviewContent.h"
#include "ui/panecontent/QuickLook.h"
#include "ui/panecontent/Thumbs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// One page of ten million fills of the whole page (a form of a thousand fills drawn ten thousand times): a
// few kilobytes that take minutes to draw, even on an idle machine.
QByteArray heavyPdf() {
    auto stream = [](const QByteArray &dict, const QByteArray &ops) {
        const QByteArray data = qCompress(ops, 9).mid(4); // a zlib stream without Qt's length prefix
        return "<< " + dict + " /Length " + QByteArray::number(data.size()) +
               " /Filter /FlateDecode >>\nstream\n" + data + "\nendstream";
    };
    const QByteArray fills = QByteArray("0 0 595 842 re f\n").repeated(1000);
    const QByteArray draws = QByteArray("/F0 Do\n").repeated(10000);
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /F0 5 0 R >> >> "
        "/Contents 4 0 R >>",
        stream("", draws), stream("/Type /XObject /Subtype /Form /BBox [0 0 595 842]", fills)};
    return TestPdf::fromObjects(objects);
}

// Pages of 800×600 points, each with its lower left quarter filled black.
QByteArray longPdf(int pages) {
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(i + 4) + " 0 R ";
    const QByteArray fill = "0 0 400 300 re f";
    QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>",
        "<< /Length " + QByteArray::number(fill.size()) + " >>\nstream\n" + fill + "\nendstream"};
    for (int i = 0; i < pages; ++i)
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 800 600] /Contents 3 0 R >>";
    return TestPdf::fromObjects(objects);
}

// Helper processes still drawing path (one left drawing would burn a processor).
int helpersOn(const QString &path) {
    int n = 0;
    const QByteArray name = QFile::encodeName(path);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (!pid.front().isDigit()) continue;
        const QByteArray cmd = TestUtil::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmd.contains("kestrin-facts") && cmd.contains(name)) ++n;
    }
    return n;
}

class PdfBudget : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TestUtil::writeFile(heavy, heavyPdf())); }
    QTemporaryDir dir{TestUtil::testHome() + "/pdf-XXXXXX"};
    QString heavy = dir.path() + "/schwer.pdf";
};

TEST_F(PdfBudget, AHeavyPageIsGivenUpAtItsBudget) {
    QElapsedTimer clock;
    clock.start();
    const PdfPages::Pages pages = PdfPages::render(heavy, QSize(400, 400), 1, 800);
    EXPECT_TRUE(pages.images.isEmpty());
    EXPECT_EQ(pages.pageCount, 1);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(helpersOn(heavy), 0);

    // No longer wanted: stopped at once, long before the budget.
    clock.restart();
    EXPECT_TRUE(PdfPages::render(heavy, QSize(400, 400), 1, 60000, [&] {
                    return clock.elapsed() > 300;
                }).images.isEmpty());
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(helpersOn(heavy), 0);

    // The preview falls back to the facts; the thumbnail has none.
    clock.restart();
    EXPECT_EQ(PreviewContent::load(heavy, QSize(400, 400)).kind, PreviewContent::Kind::facts);
    EXPECT_LT(clock.elapsed(), PreviewContent::kPdfBudgetMs + 1500);
    clock.restart();
    EXPECT_TRUE(Thumbs::decode(heavy, 64).isNull());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(helpersOn(heavy), 0);
}

// A thumbnail nobody waits for any more stops drawing at once, and is not taken for a file without picture.
TEST_F(PdfBudget, AThumbnailNobodyWaitsForStopsDrawing) {
    const auto key = Thumbs::keyFor(heavy, 64);
    ASSERT_TRUE(key);
    auto owner = std::make_unique<QObject>();
    bool answered = false;
    Thumbs::request(*key, owner.get(), [&](const Thumbs::Key &, const QImage &) { answered = true; });
    QTRY_VERIFY(helpersOn(heavy) == 1);
    QElapsedTimer clock;
    clock.start();
    Thumbs::cancel(*key, owner.get());
    QTRY_VERIFY_WITH_TIMEOUT(helpersOn(heavy) == 0, 5000);
    EXPECT_LT(clock.elapsed(), 1500);
    Thumbs::waitForIdle();
    EXPECT_FALSE(answered);
    // Asked again, it is drawn again (and given up at its budget this time).
    Thumbs::request(*key, owner.get(), [&](const Thumbs::Key &, const QImage &) { answered = true; });
    QTRY_VERIFY(helpersOn(heavy) == 1);
    QTRY_VERIFY_WITH_TIMEOUT(answered, 8000);
}

// A document whose first page did not come within its budget costs that budget once: shown again, at
// another size or within as short a budget, it is not drawn again until it changes.
TEST_F(PdfBudget, APdfThatRanOutOfTimeIsNotDrawnAgainUntilItChanges) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(PdfPages::render(heavy, QSize(64, 64), 1, 700).images.isEmpty());
    EXPECT_GE(clock.elapsed(), 700);
    clock.restart();
    EXPECT_TRUE(PdfPages::render(heavy, QSize(128, 128), 1, 700).images.isEmpty());
    EXPECT_TRUE(PdfPages::render(heavy, QSize(400, 400), 8, 300).images.isEmpty());
    EXPECT_LT(clock.elapsed(), 300);
    // Changed, it is another file.
    ASSERT_TRUE(TestUtil::writeFile(heavy, heavyPdf() + "\n"));
    clock.restart();
    EXPECT_TRUE(PdfPages::render(heavy, QSize(64, 64), 1, 700).images.isEmpty());
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_EQ(helpersOn(heavy), 0);
}

// The preview stops drawing a page when it moves on to another file or closes.
TEST_F(PdfBudget, ThePreviewStopsDrawingWhatItNoLongerShows) {
    const QString note = dir.path() + "/notiz.txt";
    ASSERT_TRUE(TestUtil::writeFile(note, "Hallo"));
    PreviewWindow w;
    w.setPaths({heavy, note});
    w.show();
    QTRY_VERIFY(helpersOn(heavy) == 1);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(&w, Qt::Key_Right);
    QTRY_VERIFY_WITH_TIMEOUT(helpersOn(heavy) == 0, 8000);
    EXPECT_LT(clock.elapsed(), 1500);
    QTRY_VERIFY(!w.loading());
    EXPECT_EQ(w.shownText(), "Hallo");

    QTest::keyClick(&w, Qt::Key_Left);
    QTRY_VERIFY(helpersOn(heavy) == 1);
    clock.restart();
    w.hide();
    QTRY_VERIFY_WITH_TIMEOUT(helpersOn(heavy) == 0, 8000);
    EXPECT_LT(clock.elapsed(), 1500);
}

// A long document is drawn under the app's own memory limit, however many processors the machine has.
TEST(PdfPagesLimit, ALongDocumentIsDrawnWithinTheLimit) {
    QTemporaryDir dir(TestUtil::testHome() + "/long-XXXXXX");
    const QString path = dir.path() + "/lang.pdf";
    ASSERT_TRUE(TestUtil::writeFile(path, longPdf(5000)));
    // Drawing that waits for threads the limit does not let start hangs in some tries, not in all.
    for (int i = 0; i < 10; ++i) {
        const PdfPages::Pages pages = PdfPages::render(path, QSize(1600, 1200), 1, 5000);
        EXPECT_EQ(pages.pageCount, 5000);
        ASSERT_EQ(pages.images.size(), 1);
        const QImage &page = pages.images[0];
        EXPECT_EQ(page.size(), QSize(1600, 1200));
        EXPECT_EQ(QColor(page.pixel(10, 1190)), QColor(Qt::black));
        EXPECT_EQ(QColor(page.pixel(1590, 10)), QColor(Qt::white));
    }
}

// The helper's answer is read back only as far as it is whole and within what was asked for.
TEST(PdfPagesAnswer, OnlyWholePagesWithinTheBox) {
    QByteArray page = "2 1\n" + QByteArray(8, '\xff');
    auto pages = PdfPages::parse("KPDF 3\n" + page + page, QSize(2, 2), 8);
    EXPECT_EQ(pages.pageCount, 3);
    ASSERT_EQ(pages.images.size(), 2);
    EXPECT_EQ(pages.images[0].size(), QSize(2, 1));
    EXPECT_EQ(QColor(pages.images[0].pixel(1, 0)), QColor(Qt::white));
    EXPECT_EQ(PdfPages::parse("KPDF 3\n" + page + page, QSize(2, 2), 1).images.size(), 1);
    EXPECT_TRUE(PdfPages::parse("KPDF 3\n" + page.left(7), QSize(2, 2), 8).images.isEmpty());
    EXPECT_TRUE(PdfPages::parse("KPDF 3\n3 1\n" + QByteArray(12, 'x'), QSize(2, 2), 8).images.isEmpty());
    EXPECT_TRUE(PdfPages::parse("KPDF 3\n-2 1\n" + QByteArray(8, 'x'), QSize(2, 2), 8).images.isEmpty());
    EXPECT_EQ(PdfPages::parse("XPDF 3\n" + page, QSize(2, 2), 8).pageCount, 0);
}

// The preview shows a page whole in its window, however large the screen it was drawn for.
TEST(PreviewPages, APageFitsTheWindow) {
    QTemporaryDir dir(TestUtil::testHome() + "/fit-XXXXXX");
    const QString path = dir.path() + "/brief.pdf";
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&writer);
        p.drawText(100, 100, QStringLiteral("Sehr geehrte Damen und Herren"));
        writer.newPage();
    }
    PreviewWindow w;
    w.resize(760, 600);
    w.setPaths({path});
    w.show();
    QTRY_VERIFY(!w.loading());
    ASSERT_EQ(w.shownKind(), PreviewContent::Kind::pdf);
    auto *pages = w.findChild<FitPages *>(QStringLiteral("previewPages"));
    ASSERT_TRUE(pages);
    ASSERT_TRUE(pages->isVisible());
    EXPECT_EQ(pages->pageCount(), 2);
    const QRect first = pages->pageRect(0);
    const QRect area = pages->viewport()->rect();
    EXPECT_TRUE(area.contains(first)) << first.width() << "x" << first.height();
    EXPECT_GT(first.height(), area.height() * 8 / 10); // fitted, not a stamp either
    // On white paper.
    const QImage shot = pages->viewport()->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(first.center().x(), first.bottom() - 3)), QColor(Qt::white));
}

} // namespace
