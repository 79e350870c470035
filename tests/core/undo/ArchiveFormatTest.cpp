#include "Harness.h"

#include "core/fileops/ArchiveFormat.h"

#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

using namespace Archive;

TEST(ArchiveFormat, RawValuesTitlesAndExtensions) {
    for (ArchiveFormat f : allCases())
        EXPECT_EQ(fromRaw(rawValue(f)), f);
    EXPECT_FALSE(fromRaw(QStringLiteral("Zip")).has_value());
    EXPECT_FALSE(fromRaw(QStringLiteral("")).has_value());
    EXPECT_EQ(allCases().size(), 7);
    EXPECT_EQ(otherFormats().size(), 6);
    EXPECT_EQ(otherFormats().first(), ArchiveFormat::sevenZip);
    EXPECT_EQ(ext(ArchiveFormat::sevenZipSmall), ".7z");
    EXPECT_EQ(ext(ArchiveFormat::tarBz2), ".tar.bz2");
    EXPECT_EQ(title(ArchiveFormat::tarGz), "TAR.GZ");
    {
        TestUtil::LanguageScope en(AppLanguage::en);
        EXPECT_EQ(title(ArchiveFormat::sevenZipSmall), "7z, maximum compression");
        EXPECT_EQ(title(ArchiveFormat::zip), "ZIP");
    }
    TestUtil::LanguageScope de(AppLanguage::de);
    EXPECT_EQ(title(ArchiveFormat::sevenZipSmall), "7z stark komprimiert");
}

TEST(ArchiveFormat, TarArguments) {
    for (ArchiveFormat f : allCases())
        EXPECT_EQ(tarArguments(f, false), tarArguments(f));
    EXPECT_TRUE(tarArguments(ArchiveFormat::zip, true).isEmpty());
    EXPECT_EQ(tarArguments(ArchiveFormat::sevenZip),
              QStringList({"--format", "7zip", "--options", "7zip:compression=deflate", "-cf"}));
    EXPECT_EQ(tarArguments(ArchiveFormat::sevenZipSmall).at(3), "7zip:compression=lzma2");
    EXPECT_EQ(tarArguments(ArchiveFormat::sevenZipSmall, true).at(3), "7zip:compression=copy");
    EXPECT_EQ(tarArguments(ArchiveFormat::tarGz, true),
              QStringList({"--options", "gzip:compression-level=1", "-czf"}));
    EXPECT_EQ(tarArguments(ArchiveFormat::tarXz), QStringList({"-cJf"}));
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::tarBz2), ArchiveFormat::tar);
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::tarXz), ArchiveFormat::tar);
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::tarGz), ArchiveFormat::tarGz);
    EXPECT_EQ(bundledEquivalent(ArchiveFormat::zip), ArchiveFormat::zip);
}

TEST(ArchiveFormat, AlreadyCompressed) {
    QTemporaryDir dir(TestUtil::testHome() + "/ac-XXXXXX");
    const QString d = dir.path();
    EXPECT_FALSE(allAlreadyCompressed({}));
    EXPECT_FALSE(allAlreadyCompressed({d + "/missing.jpg"}));
    UndoTest::mkdir(d + "/empty/sub/deeper");
    EXPECT_FALSE(allAlreadyCompressed({d + "/empty"}));

    TestUtil::writeFile(d + "/media/IMG_1.JPG", "x");
    TestUtil::writeFile(d + "/media/clip.mp4", "x");
    TestUtil::writeFile(d + "/media/.hidden/old.zip", "x");
    EXPECT_TRUE(allAlreadyCompressed({d + "/media"}));
    EXPECT_TRUE(allAlreadyCompressed({d + "/media/IMG_1.JPG", d + "/empty"}));

    TestUtil::writeFile(d + "/README", "x");
    EXPECT_FALSE(allAlreadyCompressed({d + "/media", d + "/README"}));
    TestUtil::writeFile(d + "/media/.hidden/notes.txt", "x");
    EXPECT_FALSE(allAlreadyCompressed({d + "/media"}));

    // A broken link counts as a file by its own name.
    UndoTest::mkdir(d + "/links");
    ::symlink("/nowhere/photo", QFile::encodeName(d + "/links/broken").constData());
    EXPECT_FALSE(allAlreadyCompressed({d + "/links"}));
}

TEST(ArchiveFormat, AlreadyCompressedLooksAtNoMoreThan100000Entries) {
    // Many small files are quick to make only in memory.
    TestUtil::TmpfsMount mount(QStringLiteral("64m"));
    if (!mount.valid()) GTEST_SKIP() << "needs root for a tmpfs";
    const QByteArray base = QFile::encodeName(mount.path()) + "/big";
    ::mkdir(base.constData(), 0755);
    for (int i = 0; i < 100001; ++i) {
        const QByteArray p = base + "/f" + QByteArray::number(i) + ".jpg";
        const int fd = ::open(p.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    EXPECT_FALSE(allAlreadyCompressed({QFile::decodeName(base)}));
    ::unlink((base + "/f0.jpg").constData());
    EXPECT_TRUE(allAlreadyCompressed({QFile::decodeName(base)}));
}

TEST(ArchiveFormat, NamesOfArchives) {
    EXPECT_FALSE(canExtract("a.tar.gz.part"));
    EXPECT_TRUE(canExtract("A.RAR"));
    EXPECT_FALSE(canExtract("notes.gz"));
    EXPECT_FALSE(canExtract("notes.bz2"));
    EXPECT_TRUE(canExtract("x.tbz"));
    EXPECT_TRUE(isZip("Fotos.ZIP"));
    EXPECT_FALSE(isZip("Fotos.zipx"));

    EXPECT_EQ(formatLabel("Backup.TGZ"), "tgz");
    EXPECT_EQ(formatLabel("Fotos.tar.gz"), "tar.gz");
    EXPECT_EQ(formatLabel("a.7z"), "7z");
    EXPECT_EQ(formatLabel("doc.PDF"), "pdf");
    EXPECT_EQ(formatLabel("README"), "");

    EXPECT_EQ(strippedName(".zip"), ".zip");
    EXPECT_EQ(strippedName("x.tar"), "x");
    EXPECT_EQ(strippedName("x.tar.gz"), "x");
    EXPECT_EQ(strippedName("Fotos.TAR.GZ"), "Fotos");
    EXPECT_EQ(strippedName("backup.tbz2"), "backup");
    EXPECT_EQ(strippedName("notes.txt"), "notes.txt");
}

TEST(ArchiveFormat, WhichArchivesWeUnpackOnOpen) {
    int asked = 0;
    const DefaultAppLookup none = [&](const QString &) -> std::optional<QString> {
        ++asked;
        return std::nullopt;
    };
    const DefaultAppLookup some = [](const QString &) -> std::optional<QString> {
        return QStringLiteral("some-archiver.desktop");
    };
    EXPECT_FALSE(prefersKestrinExtraction("/x/a.zip", none));
    EXPECT_FALSE(prefersKestrinExtraction("/x/a.tar.gz", none));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(prefersKestrinExtraction("/x/a.7z", none));
    EXPECT_TRUE(prefersKestrinExtraction("/x/A.RAR", none));
    EXPECT_FALSE(prefersKestrinExtraction("/x/a.7z", some));
}
