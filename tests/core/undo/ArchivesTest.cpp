#include "Harness.h"

#include "core/fileops/Archives.h"
#include "core/fileops/RestoreMove.h"

#include <QRegularExpression>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

using namespace FileActions;
using UndoTest::exists;
using UndoTest::tree;

namespace {

int run(const QString &tool, const QStringList &args, const QString &dir = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(tool, args);
    if (!p.waitForFinished(60000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

mode_t modeOf(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A folder "Projekt" with a nested file, an executable, a link and non-ASCII names.
void makeProject(const QString &folder) {
    TestUtil::writeFile(folder + "/Projekt/Grüße an Łódź.txt", "hallo");
    TestUtil::writeFile(folder + "/Projekt/sub/run.sh", "#!/bin/sh\n");
    QFile::setPermissions(folder + "/Projekt/sub/run.sh", QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadGroup |
                                                              QFile::ExeGroup);
    ::symlink("sub/run.sh", QFile::encodeName(folder + "/Projekt/link").constData());
}

void expectProject(const QString &root) {
    EXPECT_EQ(TestUtil::readFile(root + "/Grüße an Łódź.txt"), "hallo");
    EXPECT_EQ(TestUtil::readFile(root + "/sub/run.sh"), "#!/bin/sh\n");
    EXPECT_EQ(modeOf(root + "/sub/run.sh"), mode_t(0750));
    EXPECT_TRUE(QFileInfo(root + "/link").isSymLink());
    EXPECT_EQ(QFile::encodeName(QFileInfo(root + "/link").symLinkTarget()),
              QFile::encodeName(QDir(root).filePath("sub/run.sh")));
}

class ArchivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        d = dir.path();
    }
    QTemporaryDir dir{TestUtil::testHome() + "/arch-XXXXXX"};
    QString d;
    Harness h;
    TestUtil::LanguageScope de{AppLanguage::de};
};

} // namespace

TEST(ArchiveNames, BaseNameOfTheSelection) {
    EXPECT_EQ(archiveBaseName({"/x/Projekt"}), "Projekt");
    EXPECT_EQ(archiveBaseName({"/x/Bericht.pdf"}), "Bericht.pdf");
    EXPECT_EQ(archiveBaseName({"/x/Bericht.pdf", "/x/a", "/x/b"}), "Bericht + 2");
    EXPECT_EQ(archiveBaseName({"/x/.profile", "/x/a"}), ".profile + 1");
    const QString s24(24, u'a'), s25(25, u'b');
    EXPECT_EQ(archiveBaseName({"/x/" + s24 + ".txt", "/x/a"}), s24 + " + 1");
    EXPECT_EQ(archiveBaseName({"/x/" + s25 + ".txt", "/x/a"}), QString(23, u'b') + "… + 1");
}

TEST(ArchiveNames, ToolCalls) {
    const ToolCall zip = compressCall(ArchiveFormat::zip, false, "/x", {"a", "-v"}, "/x/.t.zip");
    EXPECT_EQ(zip.tool, "/usr/bin/zip");
    EXPECT_EQ(zip.arguments, QStringList({"-r", "-q", "-y", "-nw", "/x/.t.zip", "--", "a", "./-v"}));
    EXPECT_EQ(zip.directory, "/x");
    EXPECT_EQ(compressCall(ArchiveFormat::zip, true, "/x", {"a"}, "/x/.t.zip").arguments,
              QStringList({"-r", "-q", "-y", "-nw", "-0", "/x/.t.zip", "--", "a"}));
    const ToolCall tar = compressCall(ArchiveFormat::tar, false, "/x", {"-v", "b"}, "/x/.t.tar");
    EXPECT_EQ(tar.tool, "/usr/bin/bsdtar");
    EXPECT_EQ(tar.arguments, QStringList({"-cf", "/x/.t.tar", "./-v", "b"}));
    EXPECT_EQ(tar.environment.value("COPYFILE_DISABLE"), "1");
    EXPECT_EQ(compressCall(ArchiveFormat::sevenZip, true, "/x", {"a"}, "/x/.t.7z").arguments.at(3),
              "7zip:compression=copy");
    const ToolCall x = extractCall("/x/a.zip", "/x/a");
    EXPECT_EQ(x.arguments, QStringList({"-xf", "/x/a.zip", "-C", "/x/a"}));
}

TEST_F(ArchivesTest, ZipOfAFolderPassesOtherTools) {
    makeProject(d);
    compress(h.ctx(), {d + "/Projekt"}, ArchiveFormat::zip);
    ASSERT_TRUE(h.job);
    EXPECT_EQ(h.job->snapshot().name, "Projekt.zip");
    ASSERT_TRUE(h.waitForToast());
    const QString zip = d + "/Projekt.zip";
    EXPECT_EQ(h.last().text, "„Projekt.zip“ angelegt.");
    EXPECT_FALSE(h.last().error);
    EXPECT_EQ(h.jobTitles, QStringList{"Komprimiere"});
    EXPECT_EQ(h.jobsEnded, 1);
    EXPECT_EQ(h.selected, QStringList{zip});
    ASSERT_EQ(h.records.size(), 1);
    EXPECT_EQ(h.records[0].title, "Komprimiert zu „Projekt.zip“");
    EXPECT_EQ(h.records[0].action, UndoAction::makeCreated({zip}));
    EXPECT_EQ(run("/usr/bin/unzip", {"-tq", zip}), 0);
    EXPECT_EQ(run("/usr/bin/bsdtar", {"-tf", zip}), 0);
    // Nothing else is left beside it.
    EXPECT_EQ(tree(d).filter(QRegularExpression("^[^/]*$")), QStringList({"Projekt", "Projekt.zip"}));

    // Our own round trip keeps names, links and modes.
    QDir(d + "/Projekt").removeRecursively();
    h.toasts.clear();
    extract(h.ctx(), {zip});
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "1 Objekt entpackt.");
    expectProject(d + "/Projekt/Projekt");
}

TEST_F(ArchivesTest, SeveralItemsAndFreeNames) {
    TestUtil::writeFile(d + "/Fotos", "a");
    TestUtil::writeFile(d + "/-v", "dash");
    TestUtil::writeFile(d + "/Fotos.zip", "existing");
    TestUtil::writeFile(d + "/Fotos + 1.zip", "existing");
    compress(h.ctx(), {d + "/Fotos", d + "/-v"}, ArchiveFormat::zip);
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "„Fotos + 1 Kopie.zip“ angelegt.");
    EXPECT_EQ(TestUtil::readFile(d + "/Fotos + 1.zip"), "existing");
    QProcess list;
    list.start("/usr/bin/unzip", {"-Z1", d + "/Fotos + 1 Kopie.zip"});
    list.waitForFinished();
    EXPECT_EQ(QString::fromUtf8(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
              QStringList({"Fotos", "-v"}));

    h.toasts.clear();
    compress(h.ctx(), {d + "/-v"}, ArchiveFormat::tar);
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "„-v.tar“ angelegt.");
}

TEST_F(ArchivesTest, AlreadyCompressedInputIsOnlyBundled) {
    TestUtil::writeFile(d + "/a.jpg", QByteArray(5000, 'j'));
    TestUtil::writeFile(d + "/b.MP4", QByteArray(5000, 'm'));
    compress(h.ctx(), {d + "/a.jpg", d + "/b.MP4"}, ArchiveFormat::tarBz2);
    // The banner names the format asked for.
    EXPECT_EQ(h.job->snapshot().name, "a + 1.tar.bz2");
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text,
              "„a + 1.tar“ angelegt. Die Dateien sind schon komprimiert, Kestrin hat sie nur gebündelt.");
    EXPECT_EQ(run("/usr/bin/tar", {"-tf", d + "/a + 1.tar"}), 0);

    h.toasts.clear();
    compress(h.ctx(), {d + "/a.jpg"}, ArchiveFormat::zip);
    ASSERT_TRUE(h.waitForToast());
    QProcess v;
    v.start("/usr/bin/unzip", {"-v", d + "/a.jpg.zip"});
    v.waitForFinished();
    EXPECT_TRUE(v.readAllStandardOutput().contains("Stored")); // -0: no compression
}

TEST_F(ArchivesTest, RefusalsAndFailures) {
    compress(h.ctx(), {}, ArchiveFormat::zip);
    EXPECT_EQ(h.last().text, "Nichts ausgewählt.");
    compress(h.ctx(), {d + "/a", d + "/sub/b"}, ArchiveFormat::zip);
    EXPECT_EQ(h.last().text, "Zum Komprimieren müssen alle Objekte im selben Ordner liegen.");
    EXPECT_TRUE(h.last().error);
    extract(h.ctx(), {d + "/notes.txt", d + "/a.gz"});
    EXPECT_EQ(h.last().text, "Zum Entpacken ein Archiv markieren (ZIP, 7z, RAR, TAR).");
    EXPECT_TRUE(h.jobTitles.isEmpty());

    // Another job runs: nothing starts.
    h.refuseJob = true;
    TestUtil::writeFile(d + "/a", "x");
    compress(h.ctx(), {d + "/a"}, ArchiveFormat::zip);
    EXPECT_EQ(h.jobTitles, QStringList{"Komprimiere"});
    EXPECT_EQ(h.toasts.size(), 3);
    h.refuseJob = false;

    // A tool that fails leaves no temporary file behind.
    h.toasts.clear();
    compress(h.ctx(), {d + "/missing"}, ArchiveFormat::tarGz);
    ASSERT_TRUE(h.waitForToast());
    EXPECT_TRUE(h.last().error);
    EXPECT_TRUE(h.last().text.startsWith("Komprimieren fehlgeschlagen: ")) << h.last().text.toStdString();
    EXPECT_EQ(tree(d), QStringList{"a"});
    EXPECT_TRUE(h.records.isEmpty());
}

TEST_F(ArchivesTest, ArchivesOfOtherToolsExtractIntoNewFolders) {
    makeProject(d + "/src");
    struct Case {
        QString archive;
        QString tool;
        QStringList args;
    };
    const QList<Case> cases = {
        {"Fotos.zip", "/usr/bin/zip", {"-r", "-q", "-y", d + "/Fotos.zip", "Projekt"}},
        {"Fotos.tar.gz", "/usr/bin/tar", {"czf", d + "/Fotos.tar.gz", "Projekt"}},
        {"Daten.tar.bz2", "/usr/bin/tar", {"cjf", d + "/Daten.tar.bz2", "Projekt"}},
        {"Sieben.7z", "/usr/bin/bsdtar", {"--format", "7zip", "-cf", d + "/Sieben.7z", "Projekt"}},
    };
    for (const Case &c : cases)
        ASSERT_EQ(run(c.tool, c.args, d + "/src"), 0) << c.archive.toStdString();
    UndoTest::mkdir(d + "/Fotos"); // taken: the .tar.gz goes to "Fotos (tar.gz)"
    TestUtil::writeFile(d + "/notes.txt", "not an archive");

    extract(h.ctx(), {d + "/notes.txt", d + "/Fotos.zip", d + "/Fotos.tar.gz", d + "/Daten.tar.bz2",
                      d + "/Sieben.7z"});
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "4 Objekte entpackt.");
    const QStringList made = {d + "/Fotos (zip)", d + "/Fotos (tar.gz)", d + "/Daten", d + "/Sieben"};
    EXPECT_EQ(h.selected, made);
    ASSERT_EQ(h.records.size(), 1);
    EXPECT_EQ(h.records[0].title, "4 Objekte entpackt");
    EXPECT_EQ(h.records[0].action, UndoAction::makeCreated(made));
    for (const QString &folder : made)
        expectProject(folder + "/Projekt");
    EXPECT_FALSE(exists(d + "/notes"));
}

TEST_F(ArchivesTest, NamesSurviveOurRoundTripInEveryFormat) {
    for (ArchiveFormat f : Archive::allCases()) {
        SCOPED_TRACE(Archive::rawValue(f).toStdString());
        QTemporaryDir sub(d + "/f-XXXXXX");
        makeProject(sub.path());
        TestUtil::writeFile(sub.path() + "/ข้อมูล.txt", "thai");
        h.toasts.clear();
        compress(h.ctx(), {sub.path() + "/Projekt", sub.path() + "/ข้อมูล.txt"}, f);
        ASSERT_TRUE(h.waitForToast());
        ASSERT_FALSE(h.last().error) << h.last().text.toStdString();
        const QString archive = h.selected.value(0);
        EXPECT_EQ(Restore::name(archive), "Projekt + 1" + Archive::ext(f));
        h.toasts.clear();
        extract(h.ctx(), {archive});
        ASSERT_TRUE(h.waitForToast());
        ASSERT_FALSE(h.last().error) << h.last().text.toStdString();
        const QString out = sub.path() + "/Projekt + 1";
        expectProject(out + "/Projekt");
        EXPECT_EQ(TestUtil::readFile(out + "/ข้อมูล.txt"), "thai");
    }
}

TEST_F(ArchivesTest, EmptyAndHostileArchives) {
    // An archive with no entries leaves no folder.
    ASSERT_EQ(run("/usr/bin/bsdtar", {"-cf", d + "/leer.tar", "-T", "/dev/null"}), 0);
    extract(h.ctx(), {d + "/leer.tar"});
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "„leer.tar“: Das Archiv ist leer oder noch nicht fertig geschrieben.");
    EXPECT_TRUE(h.last().error);
    EXPECT_FALSE(exists(d + "/leer"));
    EXPECT_TRUE(h.records.isEmpty());

    // Entries that climb out of the folder are refused; nothing appears outside it.
    UndoTest::mkdir(d + "/in");
    UndoTest::mkdir(d + "/box");
    TestUtil::writeFile(d + "/in/ok.txt", "ok");
    TestUtil::writeFile(d + "/in/evil.txt", "evil");
    ASSERT_EQ(run("/usr/bin/bsdtar",
                  {"-cf", d + "/box/böse.tar", "-s", ",^evil,../../evil,", "ok.txt", "evil.txt"}, d + "/in"),
              0);
    QFile::remove(d + "/in/evil.txt");
    h.toasts.clear();
    extract(h.ctx(), {d + "/box/böse.tar"});
    ASSERT_TRUE(h.waitForToast());
    EXPECT_TRUE(h.last().error);
    EXPECT_TRUE(h.last().text.startsWith("„böse.tar“: ")) << h.last().text.toStdString();
    EXPECT_FALSE(exists(d + "/evil.txt"));
    EXPECT_FALSE(exists(d + "/box/evil.txt"));
    EXPECT_FALSE(exists(d + "/box/böse")); // the half-filled folder went again
}

TEST_F(ArchivesTest, CancelOfALongCompressionStopsWithinASecond) {
    // Random data compresses slowly with xz.
    QFile big(d + "/big.bin");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    QFile random("/dev/urandom");
    ASSERT_TRUE(random.open(QIODevice::ReadOnly));
    for (int i = 0; i < 64; ++i)
        big.write(random.read(1 << 20));
    big.close();

    h.tickMs = 50;
    compress(h.ctx(), {d + "/big.bin"}, ArchiveFormat::tarXz);
    ASSERT_TRUE(h.job);
    auto job = h.job;
    // The ticker shows the time spent.
    QDeadlineTimer until(3000);
    while (!job->snapshot().name.contains("·") && !until.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(job->snapshot().name.startsWith("big.bin.tar.xz · 0:0"))
        << job->snapshot().name.toStdString();
    ASSERT_TRUE(h.toasts.isEmpty()) << "finished too early to test cancelling";
    QElapsedTimer t;
    t.start();
    job->cancel();
    ASSERT_TRUE(h.waitForToast(10000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(h.last().text, "Abgebrochen. Das unfertige Archiv wurde entfernt.");
    EXPECT_FALSE(h.last().error);
    EXPECT_EQ(tree(d), QStringList{"big.bin"});
    EXPECT_TRUE(h.records.isEmpty());
}

TEST_F(ArchivesTest, CancelledBeforeTheToolStarts) {
    TestUtil::writeFile(d + "/a.txt", "x");
    h.cancelOnBegin = true;
    compress(h.ctx(), {d + "/a.txt"}, ArchiveFormat::zip);
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "Abgebrochen. Das unfertige Archiv wurde entfernt.");
    EXPECT_EQ(tree(d), QStringList{"a.txt"});

    ASSERT_EQ(run("/usr/bin/zip", {"-q", d + "/a.zip", "a.txt"}, d), 0);
    h.toasts.clear();
    extract(h.ctx(), {d + "/a.zip"});
    ASSERT_TRUE(h.waitForToast());
    EXPECT_EQ(h.last().text, "Abgebrochen. Unvollständiges wurde entfernt.");
    EXPECT_EQ(tree(d), QStringList({"a.txt", "a.zip"}));
}
