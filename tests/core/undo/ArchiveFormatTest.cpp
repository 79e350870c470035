#include "Harness.h"

#include "core/fileops/ArchiveFormat.h"

#include <fcntl.h>
#include <unistd.h>

using namespace Archive;
using ArchiveFormatTest = Harness;

TEST(ArchiveFormat, RawValuesRoundTripAndBundledEquivalents) {
    for (ArchiveFormat f : allCases()) {
        EXPECT_EQ(fromRaw(rawValue(f)), f);
        EXPECT_EQ(writerSetup(f, false), writerSetup(f));
    }
    EXPECT_FALSE(fromRaw("Zip").has_value());
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::tarXz), ArchiveFormat::tar);
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::tarGz), ArchiveFormat::tarGz);
}

TEST_F(ArchiveFormatTest, AlreadyCompressed) {
    EXPECT_FALSE(allAlreadyCompressed({}));
    EXPECT_FALSE(allAlreadyCompressed({d + "/missing.jpg"}));
    mkdir(d + "/empty/sub");
    EXPECT_FALSE(allAlreadyCompressed({d + "/empty"}));
    TestUtil::writeFile(d + "/media/IMG_1.JPG", "x");
    TestUtil::writeFile(d + "/media/.hidden/old.zip", "x");
    EXPECT_TRUE(allAlreadyCompressed({d + "/media", d + "/empty"}));
    TestUtil::writeFile(d + "/README", "x");
    EXPECT_FALSE(allAlreadyCompressed({d + "/media", d + "/README"}));
    ::symlink("/nowhere/photo", QFile::encodeName(d + "/media/broken").constData());
    EXPECT_FALSE(allAlreadyCompressed({d + "/media"}));
}

TEST(ArchiveFormat, AtMost100000EntriesPerFolder) {
    TestUtil::TmpfsMount mount(QStringLiteral("64m")); // many small files are quick only in memory
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    const QByteArray base = QFile::encodeName(mount.path()) + "/";
    for (int i = 0; i < 100001; ++i)
        ::close(::open(base + QByteArray::number(i) + ".jpg", O_CREAT | O_WRONLY, 0644));
    EXPECT_FALSE(allAlreadyCompressed({mount.path()}));
    ::unlink(base + "0.jpg");
    EXPECT_TRUE(allAlreadyCompressed({mount.path()}));
}

TEST(ArchiveFormat, NamesOfArchives) {
    EXPECT_FALSE(canExtract("a.tar.gz.part"));
    EXPECT_TRUE(canExtract("A.RAR"));
    EXPECT_FALSE(canExtract("notes.gz"));
    EXPECT_EQ(formatLabel("Backup.TGZ"), "tgz");
    EXPECT_EQ(formatLabel("Fotos.tar.gz"), "tar.gz");
    EXPECT_EQ(formatLabel("README"), "");
    EXPECT_EQ(strippedName(".zip"), ".zip");
    EXPECT_EQ(strippedName("x.tar.gz"), "x");
    EXPECT_EQ(strippedName("Fotos.TAR.GZ"), "Fotos");
    EXPECT_EQ(strippedName("notes.txt"), "notes.txt");

    const DefaultAppLookup none = [](const QString &) { return std::optional<QString>(); };
    const DefaultAppLookup some = [](const QString &) { return std::optional<QString>("archiver.desktop"); };
    EXPECT_FALSE(prefersKestrinExtraction("/x/a.zip", none));
    EXPECT_TRUE(prefersKestrinExtraction("/x/A.RAR", none));
    EXPECT_FALSE(prefersKestrinExtraction("/x/a.7z", some));
}

TEST(ArchiveFormat, ListingsOfHostileArchivesAreReadSafely) {
    // A real listing, then what an archive can make of it: huge sizes, junk, endless lines.
    const QByteArray listing = "drwxr-xr-x  0 0      0           0 Dec  7 01:00 ./\n"
                               "-rw-r--r--  0 1234   1234     1500 Dec  7 01:00 ./a b -> c\n"
                               "crw-r--r--  0 0      0         1,3 Dec  7 01:00 ./dev\n"
                               "prw-r--r--  0 0      0           0 Dec  7 01:00 ./fifo\n"
                               "hrw-r--r--  0 0      0        9999 Dec  7 01:00 ./hard link to ./a\n"
                               "-rw-r--r--  0 0      0 999999999999999999 Dec  7 2020 ./big\n"
                               "-rw-r--r--  0 0      0 9999999999999999999999 Dec  7 2020 ./bigger\n"
                               "-rw-r--r--  0 0\n"
                               "\n"
                               "garbage";
    ListingReader whole = parseListing(listing);
    EXPECT_EQ(whole.entries(), 9);
    EXPECT_EQ(whole.special(), 2);
    EXPECT_EQ(whole.unreadable(), 3);
    EXPECT_EQ(whole.bytes(), 1500 + 999999999999999999LL);
    // Fed in pieces of any size, the result is the same; an endless line costs no memory.
    ListingReader pieces;
    for (qsizetype i = 0; i < listing.size(); i += 7)
        pieces.feed(QByteArrayView(listing).sliced(i, std::min<qsizetype>(7, listing.size() - i)));
    pieces.finish();
    EXPECT_EQ(pieces.bytes(), whole.bytes());
    EXPECT_EQ(pieces.entries(), whole.entries());
    ListingReader endless;
    for (int i = 0; i < 1000; ++i)
        endless.feed(QByteArray(1 << 16, 'x'));
    endless.feed("\n-rw-r--r--  0 0 0 5 Dec  7 01:00 ./x\n");
    EXPECT_EQ(endless.bytes(), 5);
    EXPECT_EQ(endless.unreadable(), 1);
    ListingReader many;
    for (int i = 0; i < 20; ++i)
        many.feed("-rw-r--r--  0 0 0 999999999999999999 Dec  7 01:00 ./x\n");
    EXPECT_GT(many.bytes(), 0); // capped, never wrapped round

    // The names, as the archive holds them: escapes undone, without a link's target.
    const QByteArray named = "drwxr-xr-x  0 0 0 0 Dec  7 01:00 ./\n"
                             "-rw-r--r--  0 0 0 1 Dec  7  2020  a\\\\b\\n\\303\\251\\377.txt\n"
                             "lrwxrwxrwx  0 0 0 0 Dec  7 01:00 l -> x -> y\n"
                             "hrw-r--r--  0 0 0 1 Dec  7 01:00 h link to ./a\n";
    const ListingReader withNames = parseListing(named, true);
    ASSERT_TRUE(withNames.namesComplete());
    QList<QByteArray> got;
    QByteArray kinds;
    for (const auto &e : withNames.named())
        got << e.name, kinds += e.kind;
    EXPECT_EQ(got, QList<QByteArray>({"./", " a\\b\n\xc3\xa9\xff.txt", "l", "h"}));
    EXPECT_EQ(kinds, "d-lh");
    EXPECT_FALSE(parseListing(named).namesComplete()); // not asked for
    // A line that can't be read, or cut short, leaves the names incomplete: nothing is judged by them.
    EXPECT_FALSE(parseListing(named + "-rw-r--r--  0 0 0 1 Dec\n", true).namesComplete());
    ListingReader longLine(true);
    longLine.feed("-rw-r--r--  0 0 0 1 Dec  7 01:00 ");
    for (int i = 0; i < 2; ++i)
        longLine.feed(QByteArray(1 << 16, 'x'));
    longLine.finish();
    EXPECT_FALSE(longLine.namesComplete());
}
