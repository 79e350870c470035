#include "Harness.h"

#include "core/fileops/Archives.h"

#include <QElapsedTimer>
#include <QProcess>

using namespace FileActions;
using ArchivesTest = Harness;

namespace {

QByteArray run(const QString &tool, const QStringList &args, const QString &dir = {}, int *rc = nullptr) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(tool, args);
    p.waitForFinished(60000);
    if (rc) *rc = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}
int status(const QString &tool, const QStringList &args, const QString &dir = {}) {
    int rc = -1;
    run(tool, args, dir, &rc);
    return rc;
}

// "Projekt" with non-ASCII names, a nested executable and a link.
void makeProject(const QString &folder) {
    TestUtil::writeFile(folder + "/Projekt/Grüße an Łódź.txt", "hallo");
    TestUtil::writeFile(folder + "/Projekt/sub/run.sh", "#!/bin/sh\n");
    ::chmod(QFile::encodeName(folder + "/Projekt/sub/run.sh"), 0750);
    ::symlink("sub/run.sh", QFile::encodeName(folder + "/Projekt/link").constData());
}

void expectProject(const QString &root) {
    EXPECT_EQ(TestUtil::readFile(root + "/Grüße an Łódź.txt"), "hallo") << root.toStdString();
    struct stat st {};
    ::stat(QFile::encodeName(root + "/sub/run.sh"), &st);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(QFile::symLinkTarget(root + "/link"), root + "/sub/run.sh");
}

} // namespace

TEST(ArchiveNames, BaseNamesAndToolCalls) {
    EXPECT_EQ(archiveBaseName({"/x/Bericht.pdf"}), "Bericht.pdf");
    EXPECT_EQ(archiveBaseName({"/x/Bericht.pdf", "/x/a", "/x/b"}), "Bericht + 2");
    EXPECT_EQ(archiveBaseName({"/x/" + QString(24, 'a') + ".txt", "/x/b"}), QString(24, 'a') + " + 1");
    EXPECT_EQ(archiveBaseName({"/x/" + QString(25, 'a') + ".txt", "/x/b"}), QString(23, 'a') + "… + 1");
    // Names are never options: "--" and "./" for zip, "./" for bsdtar; zip keeps links as links.
    EXPECT_EQ(compressCall(ArchiveFormat::zip, true, "/x", {"a", "-v"}, "/x/.t.zip").arguments,
              QStringList({"-r", "-q", "-y", "-nw", "-0", "/x/.t.zip", "--", "a", "./-v"}));
    const ToolCall tar = compressCall(ArchiveFormat::tar, false, "/x", {"-v", "@old.tar"}, "/x/.t.tar");
    EXPECT_EQ(tar.arguments, QStringList({"-cf", "/x/.t.tar", "./-v", "./@old.tar"}));
    EXPECT_EQ(tar.directory, "/x");
    EXPECT_EQ(tar.environment.value("COPYFILE_DISABLE"), "1");
}

TEST_F(ArchivesTest, ZipOfAFolderPassesOtherToolsAndComesBack) {
    makeProject(d);
    const Toast t = wait([&](auto c) {
        compress(c, {d + "/Projekt"}, ArchiveFormat::zip);
        EXPECT_EQ(job->snapshot().name, "Projekt.zip");
    });
    const QString zip = d + "/Projekt.zip";
    EXPECT_EQ(t.text, "„Projekt.zip“ angelegt.");
    EXPECT_EQ(jobsEnded, 1);
    EXPECT_EQ(selected, QStringList{zip});
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].title, "Komprimiert zu „Projekt.zip“");
    EXPECT_EQ(records[0].action, UndoAction::makeCreated({zip}));
    EXPECT_EQ(status("/usr/bin/unzip", {"-tq", zip}), 0);
    EXPECT_EQ(status("/usr/bin/bsdtar", {"-tf", zip}), 0);
    EXPECT_EQ(names(d), QStringList({"Projekt", "Projekt.zip"}));

    EXPECT_EQ(wait([&](auto c) { extract(c, {zip}); }).text, "1 Objekt entpackt.");
    expectProject(d + "/Projekt (zip)/Projekt");
}

TEST_F(ArchivesTest, FreeNamesBundlingAndRefusals) {
    TestUtil::writeFile(d + "/a.jpg", "j");
    TestUtil::writeFile(d + "/-v.MP4", "m");
    TestUtil::writeFile(d + "/@a.png", "p"); // not another archive to copy from
    TestUtil::writeFile(d + "/a + 2.tar", "existing");
    const Toast t = wait([&](auto c) {
        compress(c, {d + "/a.jpg", d + "/-v.MP4", d + "/@a.png"}, ArchiveFormat::tarBz2);
        EXPECT_EQ(job->snapshot().name, "a + 2.tar.bz2"); // the format asked for
    });
    EXPECT_EQ(t.text, "„a + 2 Kopie.tar“ angelegt. Die Dateien sind schon komprimiert, Kestrin hat sie nur "
                      "gebündelt.");
    EXPECT_EQ(TestUtil::readFile(d + "/a + 2.tar"), "existing");
    EXPECT_EQ(run("/usr/bin/tar", {"-tf", d + "/a + 2 Kopie.tar"}), "a.jpg\n./-v.MP4\n./@a.png\n");

    toasts.clear();
    compress(ctx(), {}, ArchiveFormat::zip);
    EXPECT_EQ(toasts.last().text, "Nichts ausgewählt.");
    compress(ctx(), {d + "/a", d + "/sub/b"}, ArchiveFormat::zip);
    EXPECT_TRUE(toasts.last().error);
    extract(ctx(), {d + "/a.jpg", d + "/x.gz"});
    EXPECT_EQ(toasts.last().text, "Zum Entpacken ein Archiv markieren (ZIP, 7z, RAR, TAR).");
    refuseJob = true;
    compress(ctx(), {d + "/a.jpg"}, ArchiveFormat::zip);
    EXPECT_EQ(toasts.size(), 3);
    refuseJob = false;

    // A failing tool leaves no temporary file.
    const Toast failed = wait([&](auto c) { compress(c, {d + "/missing"}, ArchiveFormat::tarGz); });
    EXPECT_TRUE(failed.error);
    EXPECT_TRUE(failed.text.startsWith("Komprimieren fehlgeschlagen: "));
    EXPECT_EQ(names(d).size(), 5);
}

TEST_F(ArchivesTest, ArchivesOfOtherToolsExtractIntoNewFolders) {
    makeProject(d + "/src");
    ASSERT_EQ(status("/usr/bin/zip", {"-rqy", d + "/Fotos.zip", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/tar", {"czf", d + "/Fotos.tar.gz", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/tar", {"cjf", d + "/Daten.tar.bz2", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/bsdtar", {"--format", "7zip", "-cf", d + "/Sieben.7z", "Projekt"}, d + "/src"),
              0);
    mkdir(d + "/Fotos"); // taken
    TestUtil::writeFile(d + "/notes.txt", "not an archive");
    const Toast t = wait([&](auto c) {
        extract(c, {d + "/notes.txt", d + "/Fotos.zip", d + "/Fotos.tar.gz", d + "/Daten.tar.bz2",
                    d + "/Sieben.7z"});
    });
    EXPECT_EQ(t.text, "4 Objekte entpackt.");
    const QStringList made = {d + "/Fotos (zip)", d + "/Fotos (tar.gz)", d + "/Daten", d + "/Sieben"};
    EXPECT_EQ(selected, made);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].action, UndoAction::makeCreated(made));
    for (const QString &folder : made)
        expectProject(folder + "/Projekt");
}

TEST_F(ArchivesTest, RoundTripInEveryFormat) {
    makeProject(d);
    TestUtil::writeFile(d + "/ข้อมูล.txt", "thai");
    for (ArchiveFormat f : Archive::allCases()) {
        SCOPED_TRACE(Archive::rawValue(f).toStdString());
        ASSERT_FALSE(wait([&](auto c) { compress(c, {d + "/Projekt", d + "/ข้อมูล.txt"}, f); }).error);
        const QString archive = selected.value(0);
        EXPECT_EQ(archive, d + "/Projekt + 1" + Archive::ext(f));
        ASSERT_FALSE(wait([&](auto c) { extract(c, {archive}); }).error);
        expectProject(selected.value(0) + "/Projekt");
        EXPECT_EQ(TestUtil::readFile(selected.value(0) + "/ข้อมูล.txt"), "thai");
        QDir(selected.value(0)).removeRecursively();
        QFile::remove(archive);
    }
}

TEST_F(ArchivesTest, EmptyAndHostileArchivesLeaveNothing) {
    ASSERT_EQ(status("/usr/bin/bsdtar", {"-cf", d + "/leer.tar", "-T", "/dev/null"}), 0);
    const Toast empty = wait([&](auto c) { extract(c, {d + "/leer.tar"}); });
    EXPECT_EQ(empty.text, "„leer.tar“: Das Archiv ist leer oder noch nicht fertig geschrieben.");
    EXPECT_TRUE(records.isEmpty());

    // One entry climbs out with "..", another through a link the archive brings along.
    const QString outside = mkdir(d + "/outside");
    TestUtil::writeFile(d + "/in/m/x.txt", "x");
    TestUtil::writeFile(d + "/in/evil.txt", "evil");
    ::symlink(QFile::encodeName(outside), QFile::encodeName(d + "/in/l"));
    mkdir(d + "/box");
    ASSERT_EQ(status("/usr/bin/bsdtar", {"-cf", d + "/box/dots.tar", "-s", ",^evil,../../evil,", "evil.txt"},
                     d + "/in"),
              0);
    ASSERT_EQ(
        status("/usr/bin/bsdtar", {"-cf", d + "/box/link.tar", "-s", ",^m,l,", "l", "m/x.txt"}, d + "/in"),
        0);
    const Toast t = wait([&](auto c) { extract(c, {d + "/box/dots.tar", d + "/box/link.tar"}); });
    EXPECT_TRUE(t.error);
    EXPECT_TRUE(t.text.startsWith("„dots.tar“ ließ sich nicht entpacken: ")) << t.text.toStdString();
    EXPECT_FALSE(exists(d + "/evil.txt"));
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_EQ(names(d + "/box"), QStringList({"dots.tar", "link.tar"}));
    EXPECT_EQ(names(d), QStringList({"box", "in", "leer.tar", "outside"}));
}

TEST_F(ArchivesTest, CancelOfALongCompressionWithinASecond) {
    QFile big(d + "/big.bin"), random("/dev/urandom");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && random.open(QIODevice::ReadOnly));
    for (int i = 0; i < 64; ++i)
        big.write(random.read(1 << 20)); // xz is slow on random data
    big.close();
    QElapsedTimer t;
    const Toast toast = wait([&](auto) {
        compress(ctx(50), {d + "/big.bin"}, ArchiveFormat::tarXz);
        auto progress = job;
        QDeadlineTimer until(3000);
        while (!progress->snapshot().name.contains("·") && !until.hasExpired())
            QCoreApplication::processEvents();
        EXPECT_TRUE(progress->snapshot().name.startsWith("big.bin.tar.xz · 0:0")); // elapsed time
        ASSERT_TRUE(toasts.isEmpty()) << "finished before the cancel";
        t.start();
        progress->cancel();
    });
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(toast.text, "Abgebrochen. Das unfertige Archiv wurde entfernt.");
    EXPECT_EQ(names(d), QStringList{"big.bin"});

    cancelOnBegin = true; // cancelled before the tool starts
    ASSERT_EQ(status("/usr/bin/zip", {"-q", d + "/a.zip", "big.bin"}, d), 0);
    EXPECT_EQ(wait([&](auto c) { extract(c, {d + "/a.zip"}); }).text,
              "Abgebrochen. Unvollständiges wurde entfernt.");
    EXPECT_EQ(names(d), QStringList({"a.zip", "big.bin"}));
    EXPECT_TRUE(records.isEmpty());
}
