#include "Harness.h"

#include "core/fileops/ArchiveFormat.h"

#include <fcntl.h>
#include <unistd.h>

using namespace Archive;
using ArchiveFormatTest = Harness;

TEST(ArchiveFormat, RawValuesRoundTripAndBundledEquivalents) {
    for (ArchiveFormat f : allCases()) {
        EXPECT_EQ(fromRaw(rawValue(f)), f);
        EXPECT_EQ(tarArguments(f, false), tarArguments(f));
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
