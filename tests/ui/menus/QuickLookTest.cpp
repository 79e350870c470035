// The preview window: which viewer a file gets and the bounds on what is read, then opening, closing and
// moving through the selection.
#include "common/StuckReader.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/PreviewContent.h"
#include "ui/panecontent/QuickLook.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>
#include <QThreadPool>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Kind = PreviewContent::Kind;

class PreviewContentTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.path() + u'/' + name; }
    QString file(const QString &name, const QByteArray &bytes) const {
        EXPECT_TRUE(TestUtil::writeFile(path(name), bytes));
        return path(name);
    }
    QString pdf(const QString &name, int pages) const {
        QPdfWriter writer(path(name));
        QPainter painter(&writer);
        for (int i = 0; i < pages; ++i) {
            if (i) writer.newPage();
            painter.drawText(100, 100, QStringLiteral("Seite %1").arg(i + 1));
        }
        painter.end();
        return path(name);
    }
    QTemporaryDir dir{TestUtil::testHome() + "/preview-XXXXXX"};
};

TEST_F(PreviewContentTest, EachKindOfFileGetsItsViewer) {
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path("Bild.png")));
    auto picture = PreviewContent::load(path("Bild.png"), QSize(150, 150));
    EXPECT_EQ(picture.kind, Kind::image);
    ASSERT_EQ(picture.images.size(), 1);
    EXPECT_EQ(picture.images[0].size(), QSize(150, 50)); // fitted, never enlarged

    auto doc = PreviewContent::load(pdf("Brief.pdf", 2), QSize(400, 400));
    EXPECT_EQ(doc.kind, Kind::pdf);
    EXPECT_EQ(doc.pageCount, 2);
    EXPECT_EQ(doc.images.size(), 2);

    EXPECT_EQ(PreviewContent::kindFor(file("Notizen.txt", "Hallo")), Kind::text);
    EXPECT_EQ(PreviewContent::kindFor(file("ohne Endung", "nur Text\n")), Kind::text);
    EXPECT_EQ(PreviewContent::kindFor(file("leer.dat", "")), Kind::text);
    EXPECT_EQ(PreviewContent::kindFor(file("daten.bin", QByteArray("\x01\x00\x02\x00\xff\xfe\x00\x00", 8))),
              Kind::facts);
    EXPECT_EQ(PreviewContent::kindFor(dir.path()), Kind::facts);
    // A broken picture and a broken PDF fall back to the facts.
    EXPECT_EQ(PreviewContent::load(file("kaputt.png", "\x89PNG nope"), {}).kind, Kind::facts);
    EXPECT_EQ(PreviewContent::load(file("kaputt.pdf", "%PDF-1.4 nope"), {}).kind, Kind::facts);
}

TEST_F(PreviewContentTest, WhatIsReadStaysWithinItsBounds) {
    // Text: the first mebibyte.
    auto text = PreviewContent::load(file("gross.txt", QByteArray(3 * 1024 * 1024, 'a')), {});
    EXPECT_EQ(text.kind, Kind::text);
    EXPECT_EQ(text.text.count(u'a'), PreviewContent::kTextBytes);
    EXPECT_TRUE(text.truncated);
    // PDFs: the first pages.
    auto doc = PreviewContent::load(pdf("lang.pdf", PreviewContent::kPdfPages + 3), QSize(200, 200));
    EXPECT_EQ(doc.pageCount, PreviewContent::kPdfPages + 3);
    EXPECT_EQ(doc.images.size(), PreviewContent::kPdfPages);
    // A picture file too large to read, and one whose declared size is beyond the pixel cap.
    const QString huge = path("riesig.png");
    ASSERT_TRUE(TestUtil::writeFile(huge, "\x89PNG"));
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), PreviewContent::kFileBytes + 1), 0);
    EXPECT_EQ(PreviewContent::kindFor(huge), Kind::facts);
    EXPECT_EQ(PreviewContent::load(file("weit.pgm", "P5\n60000 60000\n255\n"), {}).kind, Kind::facts);
    // A FIFO is never opened (opening it would wait for a writer).
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("rohr.txt")).constData(), 0600), 0);
    auto pending =
        std::async(std::launch::async, [this] { return PreviewContent::load(path("rohr.txt"), {}); });
    const bool done = pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!done) { // let the reader go, then fail
        QFile writer(path("rohr.txt"));
        writer.open(QIODevice::WriteOnly);
    }
    ASSERT_TRUE(done);
    EXPECT_EQ(pending.get().kind, Kind::facts);
}

// A mebibyte in one line is shown whole, in pieces the text view lays out quickly: never cut inside a
// character, nor before an accent that belongs to the letter before it.
TEST_F(PreviewContentTest, ALongLineIsShownInPiecesWhole) {
    const QByteArray pattern = "Wort \xf0\x9f\x98\x80 e\xcc\x81 ";
    QByteArray line = "Anfang ";
    while (line.size() + pattern.size() < PreviewContent::kTextBytes)
        line += pattern;
    const auto text = PreviewContent::load(file("eine Zeile.txt", line + "\nkurz\n"), {});
    ASSERT_EQ(text.kind, Kind::text);
    EXPECT_FALSE(text.truncated);
    const QStringList lines = text.text.split(u'\n');
    ASSERT_GT(lines.size(), 700); // some 770 thousand characters
    for (const QString &piece : lines) {
        ASSERT_LE(piece.size(), PreviewContent::kLinePiece);
        if (piece.isEmpty()) continue;
        ASSERT_FALSE(piece.front().isLowSurrogate());
        ASSERT_NE(piece.front(), QChar(0x0301));
    }
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{"kurz", ""}));
    EXPECT_EQ(QString(text.text).remove(u'\n'), QString::fromUtf8(line + "kurz"));
    // Short lines stay as they are; a cluster longer than a piece is cut all the same.
    EXPECT_EQ(PreviewContent::inPieces("eins\nzwei\n"), "eins\nzwei\n");
    const QString stacked = u'e' + QString(3000, QChar(0x0301));
    for (const QString &piece : PreviewContent::inPieces(stacked).split(u'\n'))
        EXPECT_LE(piece.size(), PreviewContent::kLinePiece);
}

// A file swapped for a FIFO after it was looked at: what is read comes from the file that was looked at,
// and a picture is read the same way.
TEST_F(PreviewContentTest, AFileSwappedForAFifoAfterTheLookIsNeverOpenedAgain) {
    const QString name = file("brief.txt", "Hallo");
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path("bild.png")));
    PreviewContent::setCheckedHook([](const QString &p) {
        QFile::remove(p);
        ASSERT_TRUE(StuckReader::makeFifo(p));
    });
    PreviewContent::Result text, picture;
    EXPECT_TRUE(StuckReader::returnsWithin(3000, name, [&] { text = PreviewContent::load(name, {}); }));
    EXPECT_TRUE(StuckReader::returnsWithin(3000, path("bild.png"),
                                           [&] { picture = PreviewContent::load(path("bild.png"), {}); }));
    PreviewContent::setCheckedHook({});
    EXPECT_EQ(text.kind, Kind::text);
    EXPECT_EQ(text.text, "Hallo");
    ASSERT_EQ(picture.kind, Kind::image);
    EXPECT_EQ(picture.images.value(0).size(), QSize(8, 6));
}

TEST(PreviewEncoding, TheEncodingIsDetected) {
    QByteArray enc;
    EXPECT_EQ(PreviewContent::decode(QByteArray("Gr\xfc\xdf"
                                                "e"),
                                     &enc),
              "Grüße");
    EXPECT_EQ(enc, "windows-1252");
    // A UTF-8 sequence cut at the end of what was read is still UTF-8; the cut character goes.
    const QByteArray utf8 = QStringLiteral("Grüße ä").toUtf8();
    EXPECT_EQ(PreviewContent::decode(utf8.left(utf8.size() - 1), &enc), "Grüße ");
    EXPECT_EQ(enc, "UTF-8");
    QByteArray le;
    for (QChar c : QStringLiteral("Hallo Welt"))
        le.append(char(c.unicode())).append('\0');
    EXPECT_EQ(PreviewContent::decode(le, &enc), "Hallo Welt");
    EXPECT_EQ(enc, "UTF-16LE");
    EXPECT_EQ(PreviewContent::decode(QByteArray("\xfe\xff\0H\0i", 6), &enc), "Hi");
    EXPECT_EQ(enc, "UTF-16BE");
}

// UTF-16 without a byte-order mark in a script other than Latin (no zero bytes at all in Thai), in either
// byte order; binary stays binary; a character carrying a mebibyte of marks shows only a few of them.
TEST(PreviewEncoding, UnmarkedUtf16OfAnyScriptAndStackedMarks) {
    const QString thai = QStringLiteral("สวัสดีครับ ภาษาไทย\nบรรทัดที่สอง");
    QByteArray le, be;
    for (QChar c : thai) {
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    QByteArray enc;
    EXPECT_EQ(PreviewContent::decode(le, &enc), thai);
    EXPECT_EQ(enc, "UTF-16LE");
    EXPECT_EQ(PreviewContent::decode(be, &enc), thai);
    EXPECT_EQ(enc, "UTF-16BE");
    EXPECT_TRUE(PreviewContent::detectEncoding(le.left(le.size() - 1)).startsWith("UTF-16"));
    // Pseudo-random bytes and a run of zeros with a few values are no text.
    QByteArray noise;
    quint32 x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245 + 12345;
        noise.append(char(x >> 16));
    }
    EXPECT_EQ(PreviewContent::detectEncoding(noise), QByteArray());
    EXPECT_EQ(PreviewContent::detectEncoding(QByteArray("\x7f"
                                                        "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                                                        16)),
              QByteArray());

    QString stacked = QStringLiteral("a");
    stacked += QString(512 * 1024, QChar(0x0301));
    stacked += QStringLiteral("b\u0E01\u0E34\u0E4Ac");
    const QString shown = PreviewContent::decode(stacked.toUtf8());
    EXPECT_LT(shown.size(), 40);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("a\u0301\u0301")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("b\u0E01\u0E34\u0E4Ac"))); // ordinary marks stay
}

class QuickLookTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        for (const char *name : {"c.txt", "a.txt", "b.txt"})
            ASSERT_TRUE(TestUtil::writeFile(dir.path() + "/" + name, name));
        app = std::make_unique<AppState>();
        look = std::make_unique<QuickLook>(app->sides(), app->requests(), app->toasts());
    }
    QString at(const char *name) const { return dir.path() + "/" + name; }

    TestUtil::LanguageScope german{AppLanguage::de};
    QTemporaryDir dir{TestUtil::testHome() + "/look-XXXXXX"};
    std::unique_ptr<AppState> app;
    std::unique_ptr<QuickLook> look;
};

TEST_F(QuickLookTest, TheCommandOpensClosesOrSaysWhatToDo) {
    ASSERT_TRUE(app->requests().quickLook);
    app->requests().quickLook();
    EXPECT_FALSE(look->isVisible());
    ASSERT_TRUE(app->toast());
    EXPECT_EQ(app->toast()->text, L("Nichts ausgewählt. Markiere eine Datei und drücke die Leertaste."));

    app->activePane()->setSelection({at("c.txt"), at("a.txt"), at("b.txt")});
    app->requests().quickLook();
    ASSERT_TRUE(look->isVisible());
    EXPECT_EQ(look->window()->paths(), (QStringList{at("a.txt"), at("b.txt"), at("c.txt")}));
    EXPECT_EQ(look->window()->index(), 0);
    // Closing needs no selection.
    app->activePane()->setSelection({});
    app->requests().quickLook();
    EXPECT_FALSE(look->isVisible());
    // Opened again, it shows the selection of now.
    app->activePane()->setSelection({at("b.txt")});
    app->requests().quickLook();
    EXPECT_EQ(look->window()->paths(), QStringList{at("b.txt")});
    QTest::keyClick(look->window(), Qt::Key_Space);
    EXPECT_FALSE(look->isVisible());
    look->toggle({at("a.txt")});
    QTest::keyClick(look->window(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_FALSE(look->isVisible());
    look.reset();
    EXPECT_FALSE(app->requests().quickLook);
}

TEST_F(QuickLookTest, ArrowsMoveThroughTheSelectionAndNamesArePlainText) {
    const QString odd = dir.path() + "/<b>fett<i> & Co.txt";
    ASSERT_TRUE(TestUtil::writeFile(odd, "x"));
    look->toggle({at("a.txt"), at("b.txt"), odd});
    PreviewWindow *w = look->window();
    QTRY_VERIFY(!w->loading());
    EXPECT_EQ(w->shownKind(), Kind::text);
    EXPECT_EQ(w->shownText(), "a.txt");
    QTest::keyClick(w, Qt::Key_Right);
    QTest::keyClick(w, Qt::Key_Down);
    EXPECT_EQ(w->index(), 2);
    QTest::keyClick(w, Qt::Key_Right); // no further than the last
    EXPECT_EQ(w->index(), 2);
    QTRY_VERIFY(!w->loading());
    EXPECT_EQ(w->shownText(), "x");
    EXPECT_EQ(w->nameLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(w->nameLabel()->text(), "<b>fett<i> & Co.txt");
    QTest::keyClick(w, Qt::Key_Left);
    QTest::keyClick(w, Qt::Key_Up);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_EQ(w->index(), 0);
    w->showItem(3);
    EXPECT_EQ(w->index(), 0);
}

// A reader stuck on a file runs where quitting does not wait for it (the application's own pool is waited
// for when it ends).
TEST_F(QuickLookTest, AStuckReaderNeverHoldsUpQuitting) {
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    PreviewContent::setCheckedHook([&](const QString &) {
        started = true;
        while (!release)
            QThread::msleep(5);
    });
    look->toggle({at("a.txt")});
    QTRY_VERIFY(started);
    // The facts beside the preview may still be read in the application's pool; the stuck reader is not
    // there.
    QTRY_COMPARE_WITH_TIMEOUT(QThreadPool::globalInstance()->activeThreadCount(), 0, 5000);
    release = true;
    QTRY_VERIFY(!look->window()->loading());
    PreviewContent::setCheckedHook({});
}

// Read in the background, each viewer shows up in the window; a folder shows its facts.
TEST_F(QuickLookTest, TheWindowShowsEachViewer) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(at("bild.png")));
    {
        QPdfWriter writer(at("doc.pdf"));
        QPainter(&writer).drawText(100, 100, "PDF");
    }
    look->toggle({at("bild.png"), at("doc.pdf"), dir.path()});
    PreviewWindow *w = look->window();
    for (Kind kind : {Kind::image, Kind::pdf, Kind::facts}) {
        QTRY_VERIFY(!w->loading());
        EXPECT_EQ(w->shownKind(), kind) << w->index();
        QTest::keyClick(w, Qt::Key_Right);
    }
    EXPECT_TRUE(w->shownText().contains(L("Ordner")));
}

} // namespace
