#include "Harness.h"
#include "platform/Trash.h"

#include "common/FatFuse.h"
#include "common/SwappedFolder.h"
#include "common/TestChild.h"
#include "core/fileops/Archives.h"
#include "core/filesteps/StepHooks.h"
#include "core/filesteps/TransferProgress.h"
#include "core/localisation/FileFmt.h"

#include <QElapsedTimer>
#include <QProcess>

#include <atomic>
#include <thread>

#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

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
// Python: add(t, name, data, mode) puts a file into the tarfile t, or a folder (0755 unless said) where data
// is None.
constexpr char tarAdd[] = R"(import io, tarfile
def add(t, name, data=None, mode=None):
    i = tarfile.TarInfo(name)
    if data is None:
        i.type, i.mode = tarfile.DIRTYPE, 0o755
    else:
        i.size = len(data)
    if mode is not None:
        i.mode = mode
    t.addfile(i, None if data is None else io.BytesIO(data))
)";

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

// How many central directory entries of a zip have non-ASCII names, and how many of those are marked
// as UTF-8 (flag bit 11).
std::pair<int, int> zipNameFlags(const QByteArray &zip) {
    int wide = 0, utf8 = 0;
    for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0 && at + 46 <= zip.size();
         at = zip.indexOf("PK\x01\x02", at + 4)) {
        const int length = uchar(zip[at + 28]) | uchar(zip[at + 29]) << 8;
        const QByteArray name = zip.mid(at + 46, length);
        if (std::all_of(name.cbegin(), name.cend(), [](char c) { return uchar(c) < 0x80; })) continue;
        ++wide;
        if (uchar(zip[at + 9]) & 0x08) ++utf8;
    }
    return {wide, utf8};
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
    // Unpacked as an ordinary user would, into the folder the tool works in.
    EXPECT_EQ(extractCall("/proc/self/fd/7").arguments,
              QStringList({"-xf", "/proc/self/fd/7", "--no-same-owner", "--no-same-permissions",
                           "--no-xattrs", "--no-acls", "--no-fflags"}));
    // The archive's modes only where the volume keeps them; never its attributes, ACLs or flags.
    EXPECT_EQ(extractCall("-", true).arguments,
              QStringList({"-xf", "-", "--no-same-owner", "--same-permissions", "--no-xattrs", "--no-acls",
                           "--no-fflags"}));
}

TEST_F(ArchivesTest, ZipOfAFolderPassesOtherTools) {
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
    EXPECT_EQ(status("/usr/bin/unzip", {"-tq", zip}), 0); // extracting it again: the round trip below
    EXPECT_EQ(names(d), QStringList({"Projekt", "Projekt.zip"}));
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
    EXPECT_EQ(run("/usr/bin/tar", {"-tf", d + "/a + 2 Kopie.tar"}), "a.jpg\n-v.MP4\n@a.png\n");

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

    // A failed walk names the item and leaves no temporary file.
    const Toast failed = wait([&](auto c) { compress(c, {d + "/missing"}, ArchiveFormat::tarGz); });
    EXPECT_TRUE(failed.error);
    EXPECT_EQ(
        failed.text,
        "Komprimieren fehlgeschlagen: „missing“: Die Datei gibt es nicht mehr oder sie wurde verschoben.");
    EXPECT_EQ(names(d).size(), 5);
}

TEST_F(ArchivesTest, ArchivesOfOtherToolsExtractIntoNewFolders) {
    makeProject(d + "/src");
    ASSERT_EQ(status("/usr/bin/zip", {"-rqy", d + "/Fotos.zip", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/tar", {"czf", d + "/Fotos.tar.gz", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/tar", {"cjf", d + "/Daten.tar.bz2", "Projekt"}, d + "/src"), 0);
    ASSERT_EQ(status("/usr/bin/bsdtar", {"--format", "7zip", "-cf", d + "/Sieben.7z", "Projekt"}, d + "/src"),
              0);
    // Names in CP437 and in UTF-8, neither flagged as UTF-8, as tools on Windows write them; in "Beide"
    // one name in both, which once decoded is the same.
    const char *windows =
        "import sys, zipfile as z\nz.ZipInfo._encodeFilenameFlags = lambda i: "
        "(i.filename.encode('cp437'), 0)\nwith z.ZipFile(sys.argv[1], 'w') as f:\n for n, t in "
        "('Ärger/Müller.txt', ''), ('Grüße.txt'.encode().decode('cp437'), ''), ('Beide/Müller.txt', 'dos'), "
        "('Beide/Müller.txt'.encode().decode('cp437'), 'utf8'): f.writestr(n, t)";
    ASSERT_EQ(status("/usr/bin/python3", {"-c", windows, d + "/Windows.zip"}), 0);
    mkdir(d + "/Fotos"); // taken
    TestUtil::writeFile(d + "/notes.txt", "not an archive");
    const Toast t = wait([&](auto c) {
        extract(c, {d + "/notes.txt", d + "/Fotos.zip", d + "/Fotos.tar.gz", d + "/Daten.tar.bz2",
                    d + "/Sieben.7z", d + "/Windows.zip"});
    });
    EXPECT_EQ(t.text, "5 Objekte entpackt.");
    const QStringList made = {d + "/Fotos (zip)", d + "/Fotos (tar.gz)", d + "/Daten", d + "/Sieben",
                              d + "/Windows"};
    EXPECT_EQ(selected, made);
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].action, UndoAction::makeCreated(made));
    for (const QString &folder : made.first(4))
        expectProject(folder + "/Projekt");
    EXPECT_EQ(names(d + "/Windows"), QStringList({"Beide", "Grüße.txt", "Ärger"}));
    EXPECT_EQ(names(d + "/Windows/Ärger"), QStringList{"Müller.txt"});
    // Both kept: the UTF-8 one under its name, the other under the tool's.
    const QByteArray dos = QFile::encodeName(d) + "/Windows/Beide/M\x81ller.txt";
    EXPECT_EQ(Trash::list(d + "/Windows/Beide").names.size(), 2);
    EXPECT_EQ(TestUtil::readFile(d + "/Windows/Beide/Müller.txt"), "utf8");
    EXPECT_EQ(::unlink(dos.constData()), 0); // a name QDir cannot remove
}

TEST_F(ArchivesTest, RoundTripInEveryFormat) {
    makeProject(d);
    TestUtil::writeFile(d + "/ข้อมูล.txt", "thai");
    const QString decomposed =
        QString::fromUtf8("/Projekt/A\xcc\x88rger.txt"); // "Ärger" with a separate mark
    TestUtil::writeFile(d + decomposed, "nfd");
    for (ArchiveFormat f : Archive::allCases()) {
        SCOPED_TRACE(Archive::rawValue(f).toStdString());
        ASSERT_FALSE(wait([&](auto c) { compress(c, {d + "/Projekt", d + "/ข้อมูล.txt"}, f); }).error);
        const QString archive = selected.value(0);
        EXPECT_EQ(archive, d + "/Projekt + 1" + Archive::ext(f));
        if (f == ArchiveFormat::zip) { // every reader shows the same names
            const auto [wide, utf8] = zipNameFlags(TestUtil::readFile(archive));
            EXPECT_EQ(wide, 3);
            EXPECT_EQ(utf8, wide);
        }
        ASSERT_FALSE(wait([&](auto c) { extract(c, {archive}); }).error);
        expectProject(selected.value(0) + "/Projekt");
        EXPECT_EQ(TestUtil::readFile(selected.value(0) + "/ข้อมูล.txt"), "thai");
        EXPECT_EQ(TestUtil::readFile(selected.value(0) + decomposed), "nfd");
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

// An archive whose own checks fail is never unpacked as if whole: a tar header's checksum, the checksum at
// the end of a gzip, bzip2 or xz stream (heard to its end, after bsdtar is done), a 7z that breaks off.
TEST_F(ArchivesTest, DamagedArchivesAreNeverShownAsDone) {
    // "P" with a.txt and b.txt (3000 random bytes), each archive damaged where its own check sees it.
    const QString make = QString(tarAdd) + R"(import gzip, bz2, lzma, random, subprocess
random.seed(7)
buf = io.BytesIO()
t = tarfile.open(fileobj=buf, mode='w', format=tarfile.GNU_FORMAT)
for name, data in (('P', None), ('P/a.txt', b'aaaa'), ('P/b.txt', random.randbytes(3000))):
    add(t, name, data)
t.close()
tar = buf.getvalue()
def flip(b, at):
    b = bytearray(b)
    b[at] ^= 1
    return bytes(b)
open('Kopf.tar', 'wb').write(flip(tar, 512 + 100))
open('Inhalt.tar.gz', 'wb').write(flip(gzip.compress(tar, 0, mtime=0), 2200))
q = io.BytesIO()
t = tarfile.open(fileobj=q, mode='w', format=tarfile.GNU_FORMAT)
i = tarfile.TarInfo('Q/a.txt')
i.size = 4
t.addfile(i, io.BytesIO(b'aaaa'))
t.close()
open('Q.tar.gz', 'wb').write(gzip.compress(q.getvalue(), 6, mtime=0) + b'\\x00' * 512 + b'padding')
c = bz2.compress(tar)
open('Ende.tar.bz2', 'wb').write(flip(c, len(c) - 2))
c = lzma.compress(tar)
open('Ende.tar.xz', 'wb').write(flip(c, len(c) - 8))
)";
    const QString src = mkdir(d + "/src");
    ASSERT_EQ(status("/usr/bin/python3", {"-c", make}, src), 0);
    ASSERT_EQ(status("/bin/sh",
                     {"-c", "mkdir -p P && echo a > P/a.txt && head -c 3000 /dev/urandom > P/b.txt && "
                            "bsdtar --format 7zip -cf t.7z P && head -c 1000 t.7z > Kurz.7z && rm -r P t.7z"},
                     src),
              0);
    const struct {
        QString archive, said;
    } rows[] = {
        {"Kopf.tar", "Das Archiv „Kopf.tar“ ist beschädigt und wurde nicht entpackt: Damaged tar archive"},
        {"Inhalt.tar.gz", "Das Archiv „Inhalt.tar.gz“ ist beschädigt und wurde nicht entpackt: invalid "
                          "compressed data--crc error"},
        {"Ende.tar.bz2",
         "Das Archiv „Ende.tar.bz2“ ist beschädigt und wurde nicht entpackt: Data integrity error "
         "when decompressing."},
        {"Ende.tar.xz",
         "Das Archiv „Ende.tar.xz“ ist beschädigt und wurde nicht entpackt: Compressed data is corrupt"},
        {"Kurz.7z", "Das Archiv „Kurz.7z“ ist beschädigt und wurde nicht entpackt."},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.archive.toStdString());
        const Toast t = wait([&](auto c) { extract(c, {src + "/" + row.archive}); });
        EXPECT_TRUE(t.error);
        EXPECT_EQ(t.text, row.said);
        EXPECT_TRUE(records.isEmpty());
        EXPECT_EQ(names(src).filter(QRegularExpression("^[A-Z]\\w+$")), QStringList())
            << "nothing unpacked is left";
        EXPECT_EQ(names(src).filter(".Kestrin-"), QStringList());
    }
    // A whole stream that a tape or a download padded after its end is no damage: gzip only warns of it.
    const Toast padded = wait([&](auto c) { extract(c, {src + "/Q.tar.gz"}); });
    EXPECT_FALSE(padded.error) << padded.text.toStdString();
    EXPECT_TRUE(names(src).contains("Q"));
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
    EXPECT_LT(t.elapsed(), 500); // nothing more is compressed once cancelled
    EXPECT_EQ(toast.text, "Abgebrochen. Das unfertige Archiv wurde entfernt.");
    EXPECT_EQ(names(d), QStringList{"big.bin"});

    cancelOnBegin = true; // cancelled before the tool starts
    ASSERT_EQ(status("/usr/bin/zip", {"-q", d + "/a.zip", "big.bin"}, d), 0);
    EXPECT_EQ(wait([&](auto c) { extract(c, {d + "/a.zip"}); }).text,
              "Abgebrochen. Unvollständiges wurde entfernt.");
    EXPECT_EQ(names(d), QStringList({"a.zip", "big.bin"}));
    EXPECT_TRUE(records.isEmpty());
}

// A cancel that comes when the tool is done stops nothing: the archive is said to be unpacked and is there.
// One that comes before the tool starts stops it, and nothing is left.
TEST_F(ArchivesTest, ACancelAfterTheEndKeepsWhatWasDone) {
    TestUtil::writeFile(d + "/src/inner.txt", "from the archive");
    ASSERT_EQ(status("/usr/bin/zip", {"-q", d + "/arc.zip", "inner.txt"}, d + "/src"), 0);
    for (const FileSteps::Step at : {FileSteps::Step::unpacked, FileSteps::Step::privateFolderHeld}) {
        const bool done = at == FileSteps::Step::unpacked;
        SCOPED_TRACE(done ? "after the tool" : "before the tool");
        FileSteps::setStepHook([this, at](FileSteps::Step s, const QString &) {
            if (s == at) job->cancel();
        });
        const Toast t = wait([&](auto c) { extract(c, {d + "/arc.zip"}); });
        FileSteps::setStepHook({});
        EXPECT_EQ(t.text, done ? "1 Objekt entpackt." : "Abgebrochen. Unvollständiges wurde entfernt.");
        EXPECT_EQ(TestUtil::readFile(d + "/arc/inner.txt"), done ? "from the archive" : "");
        EXPECT_EQ(records.size(), done ? 1 : 0);
        EXPECT_EQ(names(d), done ? QStringList({"arc", "arc.zip", "src"}) : QStringList({"arc.zip", "src"}));
        QDir(d + "/arc").removeRecursively();
        records.clear();
    }
}

// Folders come back with the archive's modes, also where it lists a folder after its contents (7z always,
// tars made depth-first), within what the umask allows and without set-id or sticky bits. An odd mode
// never shuts its owner out, also when the extraction fails.
TEST_F(ArchivesTest, FolderModesComeBackAsTheArchiveHoldsThem) {
    const QString make = QString(tarAdd) + R"(import gzip
buf = io.BytesIO()
t = tarfile.open(fileobj=buf, mode='w', format=tarfile.PAX_FORMAT)
add(t, 'Box/privat/p.txt', b'p', 0o600)
add(t, 'Box/privat', None, 0o700)
add(t, 'Box/lesen/l.txt', b'l', 0o666)
add(t, 'Box/lesen', None, 0o555)
add(t, 'Box/odd/o.txt', b'o', 0o044)
add(t, 'Box/odd', None, 0o3077)
add(t, 'Box/offen', None, 0o777)
add(t, 'Box', None, 0o755)
t.close()
tar = buf.getvalue()
open('Box.tar', 'wb').write(tar)
z = bytearray(gzip.compress(tar, 0, mtime=0))
z[len(z) - 60] ^= 1 # in the zeros after the tar's end: caught only by the stream's checksum
open('Kaputt.tar.gz', 'wb').write(z)
)";
    const QString src = mkdir(d + "/src");
    ASSERT_EQ(status("/usr/bin/python3", {"-c", make}, src), 0);
    ASSERT_EQ(status("/usr/bin/bsdtar", {"--format", "7zip", "-cf", "Box.7z", "@Box.tar"}, src), 0);
    const mode_t before = ::umask(022);
    const Toast t = wait([&](auto c) { extract(c, {src + "/Box.tar", src + "/Box.7z"}); });
    const Toast broken = wait([&](auto c) { extract(c, {src + "/Kaputt.tar.gz"}); });
    ::umask(before);
    EXPECT_EQ(t.text, "2 Objekte entpackt.");
    for (const QString &folder : {src + "/Box/Box", src + "/Box (7z)/Box"}) {
        SCOPED_TRACE(folder.toStdString());
        const auto mode = [&](const QString &name) {
            return TestUtil::lstatOf(folder + name).st_mode & 07777;
        };
        EXPECT_EQ(mode(""), 0755u);
        EXPECT_EQ(mode("/privat"), 0700u);
        EXPECT_EQ(mode("/privat/p.txt"), 0600u);
        EXPECT_EQ(mode("/lesen"), 0555u);
        EXPECT_EQ(mode("/lesen/l.txt"), 0644u);
        // Without the set-id and sticky bits; its owner may open and read it.
        EXPECT_EQ(mode("/odd"), 0555u);
        EXPECT_EQ(mode("/odd/o.txt"), 0444u);
        EXPECT_EQ(mode("/offen"), 0755u);
        EXPECT_EQ(TestUtil::readFile(folder + "/odd/o.txt"), "o");
    }
    EXPECT_TRUE(broken.error);
    EXPECT_TRUE(broken.text.startsWith("Das Archiv „Kaputt.tar.gz“ ist beschädigt"))
        << broken.text.toStdString();
    EXPECT_EQ(names(src), QStringList({"Box", "Box (7z)", "Box.7z", "Box.tar", "Kaputt.tar.gz"}));
    ASSERT_EQ(status("/bin/chmod", {"-R", "u+rwx", src}), 0);
}

// An entry that is not on the disk under its own name is said: a name the archive lists twice (only one
// version is left), or one the volume takes for another. Folders listed twice lose nothing.
TEST_F(ArchivesTest, EntriesWhoseNamesCoincideAreNamed) {
    const QString make = QString(tarAdd) + R"(import zipfile, warnings
warnings.simplefilter('ignore')
t = tarfile.open('Doppelt.tar', 'w', format=tarfile.PAX_FORMAT)
z = zipfile.ZipFile('Doppelt.zip', 'w')
p = 'Pa\u0308/'  # a folder stored decomposed is still found under its listed name
for name, data in ((p, None), (p + 'same.txt', b'1'), (p + 'other.txt', b'o'), (p, None), (p + 'same.txt', b'2')):
    add(t, name, data)
    z.writestr(name, data or b'')
t.close()
z.close()
)";
    const QString src = mkdir(d + "/src");
    ASSERT_EQ(status("/usr/bin/python3", {"-c", make}, src), 0);
    ASSERT_EQ(status("/bin/sh", {"-c", "gzip -k Doppelt.tar && mv Doppelt.tar.gz Gepackt.tar.gz"}, src), 0);
    const Toast t = wait([&](auto c) {
        extract(c, {src + "/Doppelt.tar", src + "/Doppelt.zip", src + "/Gepackt.tar.gz"});
    });
    EXPECT_TRUE(t.error);
    const QString once = "Einträge, deren Namen hier zusammenfallen, wurden nur einmal entpackt: Pä/same.txt";
    const QString folder = QString::fromUtf8("Pa\xcc\x88");
    EXPECT_EQ(t.text, "3 Objekte entpackt. „Doppelt.tar“: " + once + " „Doppelt.zip“: " + once +
                          " „Gepackt.tar.gz“: " + once);
    EXPECT_EQ(TestUtil::readFile(src + "/Doppelt/" + folder + "/same.txt"), "2"); // the last one listed
    EXPECT_EQ(TestUtil::readFile(src + "/Doppelt (zip)/" + folder + "/other.txt"), "o");

    // Eight files, two of them one name to a stick that knows no letter case. Root's is mounted for another
    // account, as a shared stick is: it shows everything as that account's and lets no owner change (only
    // root may write to a stick the tests show as another's).
    KESTRIN_FAT_OR_SKIP(stick, false, false, false, false, TestUtil::isRoot() ? int(::getuid()) + 1000 : -1);
    TestUtil::writeFile(d + "/acht/README.txt", "upper");
    TestUtil::writeFile(d + "/acht/readme.txt", "lower");
    for (int i = 0; i < 6; ++i)
        TestUtil::writeFile(d + QString("/acht/f%1.txt").arg(i), "f");
    ASSERT_EQ(status("/usr/bin/zip", {"-qr", stick.path() + "/acht.zip", "acht"}, d), 0);
    const Toast fat = wait([&](auto c) { extract(c, {stick.path() + "/acht.zip"}); });
    EXPECT_TRUE(fat.error);
    EXPECT_TRUE(
        fat.text.startsWith("1 Objekt entpackt. „acht.zip“: Einträge, deren Namen hier zusammenfallen, "
                            "wurden nur einmal entpackt: acht/"))
        << fat.text.toStdString();
    EXPECT_EQ(names(stick.path() + "/acht/acht").size(), 7);
}

// Names come back with the bytes they were stored with: "café" composed and decomposed are two files, in
// a zip, a pax tar read from the file and through a pipe, and a 7z; a link's target keeps its bytes too.
TEST_F(ArchivesTest, NamesComeBackAsStored) {
    const QString make = QString(tarAdd) + R"(import os, zipfile
nfc, nfd = 'caf\u00e9.txt', 'cafe\u0301.txt'
z = zipfile.ZipFile('Z.zip', 'w')
z.writestr('Paar/' + nfd, b'd')
z.writestr('Paar/' + nfc, b'c')
z.close()
t = tarfile.open('T.tar', 'w', format=tarfile.PAX_FORMAT)
add(t, 'Paar/' + nfc, b'c')
add(t, 'Paar/' + nfd, b'd')
i = tarfile.TarInfo('Paar/zu')
i.type, i.linkname = tarfile.SYMTYPE, nfd
t.addfile(i)
i = tarfile.TarInfo('Paar/hart')
i.type, i.linkname = tarfile.LNKTYPE, 'Paar/' + nfd
t.addfile(i)
t.close()
os.makedirs('Paar')
for name, data in ((nfd, b'd'), (nfc, b'c')):
    open('Paar/' + name, 'wb').write(data)
)";
    const QString src = mkdir(d + "/src");
    ASSERT_EQ(status("/usr/bin/python3", {"-c", make}, src), 0);
    ASSERT_EQ(
        status("/bin/sh", {"-c", "gzip -c T.tar > G.tar.gz && bsdtar --format 7zip -cf S.7z Paar"}, src), 0);
    const Toast t = wait([&](auto c) {
        extract(c, {src + "/Z.zip", src + "/T.tar", src + "/G.tar.gz", src + "/S.7z"});
    });
    EXPECT_EQ(t.text, "4 Objekte entpackt.");
    const QString nfc = QString::fromUtf8("caf\xc3\xa9.txt"), nfd = QString::fromUtf8("cafe\xcc\x81.txt");
    for (const QString stem : {"Z", "T", "G", "S"}) {
        SCOPED_TRACE(stem.toStdString());
        const QString paar = src + "/" + stem + "/Paar/";
        EXPECT_EQ(TestUtil::readFile(paar + nfc), "c");
        EXPECT_EQ(TestUtil::readFile(paar + nfd), "d");
        if (stem != "T" && stem != "G") continue;
        EXPECT_EQ(QFile::encodeName(QFile::symLinkTarget(paar + "zu")), QFile::encodeName(paar + nfd));
        struct stat hard {
        }, target{};
        ASSERT_EQ(::lstat(QFile::encodeName(paar + "hart"), &hard), 0);
        ASSERT_EQ(::lstat(QFile::encodeName(paar + nfd), &target), 0);
        EXPECT_EQ(hard.st_ino, target.st_ino);
    }
}

// As root bsdtar would recreate all of this; we unpack as an ordinary user would.
TEST_F(ArchivesTest, ExtractionAsRootMakesNothingAnOrdinaryUserCouldNot) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "only root can build and unpack such an archive";
    const QString src = mkdir(d + "/src/Fremd");
    TestUtil::writeFile(src + "/plain.txt", "p");
    TestUtil::writeFile(src + "/setuid", "s");
    const QByteArray s = QFile::encodeName(src);
    ASSERT_EQ(::mknod(s + "/null", S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo(s + "/pipe", 0644), 0);
    ASSERT_EQ(::chmod(s + "/setuid", 04755), 0);
    ASSERT_EQ(::chmod(s, 02775), 0);
    ASSERT_EQ(::lchown(s + "/plain.txt", 4321, 4321), 0);
    ASSERT_EQ(::lsetxattr(s + "/plain.txt", "user.fremd", "1", 1, 0), 0);
    ASSERT_EQ(::lsetxattr(s + "/plain.txt", "trusted.fremd", "1", 1, 0), 0);
    for (const QString &archive : {d + "/Fremd.tar", d + "/Fremd.zip"})
        ASSERT_EQ(status("/usr/bin/bsdtar", {"--xattrs", "-acf", archive, "Fremd"}, d + "/src"), 0);

    // What was left out is said, as every refusal is (a zip holds no devices or pipes).
    const Toast t = wait([&](auto c) { extract(c, {d + "/Fremd.tar", d + "/Fremd.zip"}); });
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "2 Objekte entpackt. „Fremd.tar“: Pipes, Sockets und Geräte werden nicht entpackt. "
                      "Ausgelassen: Fremd/null, Fremd/pipe");
    ASSERT_EQ(selected.size(), 2);
    for (const QString &folder : selected) {
        SCOPED_TRACE(folder.toStdString());
        const QString root = folder + "/Fremd";
        EXPECT_EQ(names(root), QStringList({"plain.txt", "setuid"})); // no device, no pipe
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(root + "/setuid"), &st), 0);
        EXPECT_EQ(st.st_mode & 07000, 0u);
        ASSERT_EQ(::lstat(QFile::encodeName(root), &st), 0);
        EXPECT_EQ(st.st_mode & 07000, 0u);
        ASSERT_EQ(::lstat(QFile::encodeName(root + "/plain.txt"), &st), 0);
        EXPECT_EQ(st.st_uid, ::getuid());
        EXPECT_EQ(st.st_gid, ::getgid());
        EXPECT_EQ(::lgetxattr(QFile::encodeName(root + "/plain.txt"), "user.fremd", nullptr, 0), -1);
        EXPECT_EQ(::lgetxattr(QFile::encodeName(root + "/plain.txt"), "trusted.fremd", nullptr, 0), -1);
    }
    EXPECT_EQ(names(d).filter(".Kestrin-"), QStringList()); // the private folder is gone
}

// What a tool kept of an archive against our wishes is tamed all the same: a sticky bit goes, and a link
// of another account becomes ours without its target changing hands.
TEST_F(ArchivesTest, TamingTakesWhatTheToolLeftNeverThroughALink) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "another account's entries need root";
    TestUtil::writeFile(d + "/src/Box/plain.txt", "p");
    mkdir(d + "/src/Box/shared");
    const QString theirs = d + "/theirs.txt";
    ::symlink(QFile::encodeName(theirs).constData(), QFile::encodeName(d + "/src/Box/link").constData());
    ASSERT_EQ(status("/usr/bin/bsdtar", {"-cf", d + "/Box.tar", "Box"}, d + "/src"), 0);
    TestUtil::writeFile(theirs, "theirs");
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 4321, 4321), 0);
    // As a tool would leave them that kept the archive's bits and owners.
    FileSteps::setStepHook([](FileSteps::Step s, const QString &unpacked) {
        if (s != FileSteps::Step::unpacked) return;
        const QByteArray box = QFile::encodeName(unpacked + "/Box");
        ::chmod(box + "/shared", 01777);
        ::chmod(box + "/plain.txt", 01644);
        ::lchown(box + "/link", 4321, 4321);
    });
    const Toast t = wait([&](auto c) { extract(c, {d + "/Box.tar"}); });
    FileSteps::setStepHook({});
    EXPECT_EQ(t.text, "1 Objekt entpackt.");
    const QString box = d + "/Box/Box";
    EXPECT_EQ(TestUtil::lstatOf(box + "/shared").st_mode & 07000, 0u);
    EXPECT_EQ(TestUtil::lstatOf(box + "/plain.txt").st_mode & 07000, 0u);
    EXPECT_EQ(TestUtil::lstatOf(box + "/link").st_uid, ::geteuid());
    EXPECT_EQ(TestUtil::lstatOf(theirs).st_uid, 4321u);
}

// A group folder (setgid) gives its bit to every folder made in it, the private work folder too: that is no
// swap, and the archive is unpacked there, its folders and files in the folder's group as anything made
// there.
TEST_F(ArchivesTest, ExtractionIntoAGroupFolder) {
    const QString group = mkdir(d + "/Gruppe");
    if (TestUtil::isRoot()) {
        ASSERT_EQ(::chown(QFile::encodeName(group).constData(), 0, 100), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(group).constData(), 02775), 0);
    TestUtil::writeFile(d + "/src/sub/inner.txt", "from the archive");
    ASSERT_EQ(status("/usr/bin/zip", {"-qr", group + "/arc.zip", "sub"}, d + "/src"), 0);
    const Toast t = wait([&](auto c) { extract(c, {group + "/arc.zip"}); });
    EXPECT_FALSE(t.error);
    EXPECT_EQ(t.text, "1 Objekt entpackt.");
    EXPECT_EQ(TestUtil::readFile(group + "/arc/sub/inner.txt"), "from the archive");
    EXPECT_EQ(names(group), QStringList({"arc", "arc.zip"}));
    const gid_t gid = TestUtil::lstatOf(group).st_gid;
    for (const QString &made : {group + "/arc", group + "/arc/sub", group + "/arc/sub/inner.txt"}) {
        SCOPED_TRACE(made.toStdString());
        const struct stat st = TestUtil::lstatOf(made);
        EXPECT_EQ(st.st_gid, gid);
        EXPECT_EQ(st.st_mode & 07000, S_ISDIR(st.st_mode) ? mode_t(S_ISGID) : 0u);
    }
}

// Whoever may rename in the archive's folder can put one of the user's own private folders (0700) in
// place of the new work folder: it is used only when empty, so nothing in it is unpacked over or removed.
TEST_F(ArchivesTest, AWorkFolderThatIsNotEmptyIsNotUsed) {
    TestUtil::writeFile(d + "/src/inner.txt", "from the archive");
    ASSERT_EQ(status("/usr/bin/zip", {"-q", d + "/arc.zip", "inner.txt"}, d + "/src"), 0);
    const QString mine = mkdir(d + "/mine");
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0700), 0);
    TestUtil::writeFile(mine + "/keep.txt", "keep");
    QString took;
    FileSteps::setStepHook([&](FileSteps::Step s, const QString &made) {
        if (s != FileSteps::Step::privateFolderMade || !took.isEmpty()) return;
        if (::rename(QFile::encodeName(made), QFile::encodeName(made + ".fresh")) == 0 &&
            ::rename(QFile::encodeName(mine), QFile::encodeName(made)) == 0)
            took = made;
    });
    const Toast t = wait([&](auto c) { extract(c, {d + "/arc.zip"}); });
    FileSteps::setStepHook({});
    ASSERT_FALSE(took.isEmpty());
    EXPECT_TRUE(t.error);
    EXPECT_TRUE(t.text.endsWith("Kestrin hat darin nichts gelesen oder geändert.")) << t.text.toStdString();
    EXPECT_EQ(names(took), QStringList{"keep.txt"});
    EXPECT_EQ(TestUtil::readFile(took + "/keep.txt"), "keep");
    EXPECT_FALSE(exists(d + "/arc"));
}

// A tool that cannot enter its held work folder does nothing at all, and never where the program runs.
TEST_F(ArchivesTest, AToolThatCannotEnterItsFolderUnpacksNowhere) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root to drop to another account";
    const QString box = mkdir(d + "/box"), here = mkdir(d + "/here");
    TestUtil::writeFile(d + "/src/inner.txt", "from the archive");
    ASSERT_EQ(status("/usr/bin/zip", {"-q", box + "/arc.zip", "inner.txt"}, d + "/src"), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(d).constData(), 0755), 0);
    for (const QString &p : {box, here, box + "/arc.zip"})
        ASSERT_EQ(::chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
    const pid_t child = TestChild::forkAlone();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::chdir(QFile::encodeName(here)) != 0) ::_exit(2);
        // The folder the tool is to work in is made without the right to enter it.
        FileSteps::setStepHook([](FileSteps::Step s, const QString &) {
            if (s == FileSteps::Step::privateFolderHeld) ::umask(0177);
        });
        TransferProgress progress;
        const ExtractResult r = extractArchives({box + "/arc.zip"}, progress);
        ::_exit(r.created.isEmpty() && r.errors.size() == 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(names(here), QStringList());
    EXPECT_EQ(names(box), QStringList{"arc.zip"});
}

// Tool failures are our sentences with the tool's words cleaned up, and a full disk is known before.
TEST_F(ArchivesTest, FailuresAreOurSentencesAndAFullDiskIsFoundFirst) {
    TestUtil::writeFile(d + "/kaputt.zip", "no archive at all");
    TestUtil::writeFile(d + "/geheim/a.txt", QByteArray(1000, 'a'));
    ASSERT_EQ(status("/usr/bin/zip", {"-q", "-r", "-P", "pw", d + "/geheim.zip", "geheim"}, d), 0);
    const Toast broken = wait([&](auto c) { extract(c, {d + "/kaputt.zip"}); });
    EXPECT_TRUE(broken.error);
    EXPECT_TRUE(broken.text.startsWith("„kaputt.zip“ ließ sich nicht entpacken: "))
        << broken.text.toStdString();
    const Toast locked = wait([&](auto c) { extract(c, {d + "/geheim.zip"}); });
    EXPECT_EQ(locked.text, "„geheim.zip“ ließ sich nicht entpacken: Das Archiv ist mit einem Passwort "
                           "geschützt. Verschlüsselte Archive kann Kestrin nicht entpacken.");
    for (const QString &text : {broken.text, locked.text})
        for (const char *noise : {"bsdtar:", "Unknown error", "Success", "delayed", "passphrase:"})
            EXPECT_FALSE(text.contains(noise)) << text.toStdString();
    EXPECT_EQ(names(d), QStringList({"geheim", "geheim.zip", "kaputt.zip"}));

    TestUtil::TmpfsMount small("2m");
    if (!small.valid()) GTEST_SKIP() << "a small volume needs root";
    QFile zeros(small.path() + "/zeros.bin");
    ASSERT_TRUE(zeros.open(QIODevice::WriteOnly));
    zeros.write(QByteArray(1 << 20, '\0'));
    zeros.close();
    // 64 MB of zeros packed into a few KB, next to 1 MB that is free.
    ASSERT_EQ(
        status("/bin/sh", {"-c", "head -c 64000000 /dev/zero > big && zip -q big.zip big && rm big"}, d), 0);
    ASSERT_TRUE(QFile::copy(d + "/big.zip", small.path() + "/big.zip"));
    const Toast full = wait([&](auto c) { extract(c, {small.path() + "/big.zip"}); });
    EXPECT_TRUE(full.text.startsWith("„big.zip“ ließ sich nicht entpacken: Nicht genug freier Speicherplatz "
                                     "auf dem Ziel: 64,1 MB nötig, ")) // with 5 % of the volume left free

        << full.text.toStdString();
    EXPECT_EQ(names(small.path()), QStringList({"big.zip", "zeros.bin"}));
    // Packing onto the full disk says so in our words too.
    const Toast packing =
        wait([&](auto c) { compress(c, {small.path() + "/zeros.bin"}, ArchiveFormat::tar); });
    EXPECT_TRUE(packing.error);
    EXPECT_EQ(packing.text, "Komprimieren fehlgeschlagen: Nicht genug freier Speicherplatz auf dem Ziel.");
}

// A quota used up and a volume out of entries are no full disk: each is said for what it is.
TEST_F(ArchivesTest, PackingOntoAFullQuotaOrAVolumeOutOfEntriesSaysWhich) {
    const struct {
        const char *mkfs;
        QStringList options;
        qint64 bytes;
        QString said;
    } volumes[] = {
        {"mkfs.ext4",
         {"-q", "-N", "16"},
         8 << 20,
         "Das Laufwerk kann keine weiteren Objekte aufnehmen: Alle Einträge seines Dateisystems sind belegt, "
         "obwohl noch Speicherplatz frei ist."},
        {"mkfs.btrfs", {"-q"}, 128 << 20, "Das Kontingent (Quota) auf diesem Laufwerk ist aufgebraucht."},
    };
    int tried = 0;
    for (const auto &v : volumes) {
        TestUtil::KernelImage image(v.mkfs, v.options, v.bytes);
        if (!image.valid()) continue;
        const bool quota = QString(v.mkfs) == "mkfs.btrfs";
        if (quota && (status("btrfs", {"quota", "enable", image.path()}, d) != 0 ||
                      status("btrfs", {"qgroup", "limit", "3M", image.path()}, d) != 0))
            continue;
        ++tried;
        // 2 MB that no packing makes smaller; then every entry taken where entries are few.
        ASSERT_EQ(status("/bin/sh", {"-c", "head -c 2000000 /dev/urandom > data.bin"}, image.path()), 0);
        for (int i = 0;
             !quota && i < 64 && TestUtil::writeFile(image.path() + QString("/fill%1").arg(i), "x"); ++i) {
        }
        const Toast packing =
            wait([&](auto c) { compress(c, {image.path() + "/data.bin"}, ArchiveFormat::tar); });
        EXPECT_TRUE(packing.error);
        EXPECT_EQ(packing.text, "Komprimieren fehlgeschlagen: " + v.said);
        EXPECT_FALSE(names(image.path()).contains("data.bin.tar"));
    }
    if (tried == 0) GTEST_SKIP() << "no loop image could be made";
}

// A compressed tar tells nothing of its size before it is unpacked. The free space is watched while it is,
// and unpacking stops before less than 5 % of the volume would be left, for whatever else writes there.
TEST_F(ArchivesTest, CompressedBombsStopBeforeTheFreeMargin) {
    TestUtil::TmpfsMount small("24m");
    if (!small.valid()) GTEST_SKIP() << "a small volume needs root";
    const QByteArray volume = QFile::encodeName(small.path());
    const auto freeNow = [&] {
        struct statvfs vfs {};
        ::statvfs(volume.constData(), &vfs);
        return qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    };
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(volume.constData(), &vfs), 0);
    const qint64 margin = qint64(vfs.f_blocks) * qint64(vfs.f_frsize) / 20;
    // 60 MB of zeros (not stored sparse) in a few hundred KB, in every compression we unpack.
    ASSERT_EQ(status("/bin/sh",
                     {"-c", "truncate -s 60000000 zeros && tar czf bomb.tar.gz zeros && "
                            "cp bomb.tar.gz bomb.tgz && tar cjf bomb.tar.bz2 zeros && "
                            "tar cJf bomb.tar.xz zeros && rm zeros"},
                     d),
              0);
    const QStringList bombs = {"bomb.tar.gz", "bomb.tgz", "bomb.tar.bz2", "bomb.tar.xz"};
    for (const QString &bomb : bombs)
        ASSERT_TRUE(QFile::copy(d + "/" + bomb, small.path() + "/" + bomb));
    for (const QString &bomb : bombs) {
        SCOPED_TRACE(bomb.toStdString());
        std::atomic<bool> done{false};
        std::atomic<qint64> least{freeNow()};
        std::thread watch([&] {
            while (!done) {
                least = std::min<qint64>(least, freeNow());
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        const Toast t = wait([&](auto c) { extract(c, {small.path() + "/" + bomb}); });
        done = true;
        watch.join();
        EXPECT_TRUE(t.error);
        EXPECT_EQ(t.text, "„" + bomb +
                              "“ ließ sich nicht entpacken: Nicht genug freier Speicherplatz auf dem "
                              "Ziel: Das Entpacken wurde angehalten, bevor weniger als " +
                              FileFmt::size(margin) + " frei blieben.");
        EXPECT_GE(least, margin);
        EXPECT_LT(least, margin + 8 * 1024 * 1024); // it did unpack until near the margin
        EXPECT_EQ(names(small.path()),
                  QStringList({"bomb.tar.bz2", "bomb.tar.gz", "bomb.tar.xz", "bomb.tgz"}))
            << "nothing is left of the attempt";
    }
    // A small one still unpacks there, through the same watch.
    makeProject(d + "/src");
    ASSERT_EQ(status("/usr/bin/tar", {"cJf", small.path() + "/Klein.tar.xz", "Projekt"}, d + "/src"), 0);
    EXPECT_EQ(wait([&](auto c) { extract(c, {small.path() + "/Klein.tar.xz"}); }).text, "1 Objekt entpackt.");
    expectProject(small.path() + "/Klein/Projekt");
}

// A stick keeps no owners or modes of its own: the work folder there is ours all the same.
TEST_F(ArchivesTest, PackAndUnpackOnAStickWithoutModes) {
    KESTRIN_EXFAT_OR_SKIP(stick);
    makeProject(d);
    ::unlink(QFile::encodeName(d + "/Projekt/link")); // the stick holds no links
    ASSERT_TRUE(QFile::copy(d + "/Projekt/Grüße an Łódź.txt", stick.path() + "/a.txt"));
    ASSERT_EQ(status("/usr/bin/zip", {"-qr", stick.path() + "/Projekt.zip", "Projekt"}, d), 0);
    EXPECT_EQ(wait([&](auto c) { extract(c, {stick.path() + "/Projekt.zip"}); }).text, "1 Objekt entpackt.");
    EXPECT_EQ(TestUtil::readFile(stick.path() + "/Projekt/Projekt/Grüße an Łódź.txt"), "hallo");
    EXPECT_EQ(wait([&](auto c) { compress(c, {stick.path() + "/a.txt"}, ArchiveFormat::zip); }).text,
              "„a.txt.zip“ angelegt.");
    EXPECT_EQ(names(stick.path()), QStringList({"Projekt", "Projekt.zip", "a.txt", "a.txt.zip"}));
}

// Another account that shares the folder swaps what the work goes through for a link into a private
// folder of its own: before the job begins, right after the work folder was made, once it is in use, or a
// subfolder while it is packed. Nothing of the private folder is read or changed, and no success is said
// for what was refused.
class SwappedArchivesTest : public Harness {
protected:
    void SetUp() override {
        if (!TestUtil::isRoot()) GTEST_SKIP() << "another account's link needs root";
    }
    void TearDown() override { FileSteps::setStepHook({}); }
    // Swaps the folder at the path the hook names when `at` is reached, once.
    void swapAt(FileSteps::Step at, const QString &suffix = {}) {
        FileSteps::setStepHook([this, at, suffix](FileSteps::Step step, const QString &path) {
            if (step != at || swapped || !path.endsWith(suffix)) return;
            swapped = TestUtil::swapForLink(path, secret.path());
        });
    }
    TestUtil::PrivateFolder secret{{"arc/inner.txt", "arc.zip", "sub/deep.txt"}};
    bool swapped = false;
};

TEST_F(SwappedArchivesTest, ExtractWorksOnlyInItsOwnHeldFolders) {
    const QString shared = mkdir(d + "/shared");
    TestUtil::writeFile(d + "/src/inner.txt", "from the archive");
    ASSERT_EQ(status("/usr/bin/zip", {"-q", shared + "/arc.zip", "inner.txt"}, d + "/src"), 0);
    const auto before = secret.state();

    // Right after it was made: whatever has the name then is not used.
    swapAt(FileSteps::Step::privateFolderMade);
    Toast t = wait([&](auto c) { extract(c, {shared + "/arc.zip"}); });
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(t.error);
    EXPECT_TRUE(t.text.endsWith("Kestrin hat darin nichts gelesen oder geändert.")) << t.text.toStdString();
    EXPECT_EQ(secret.state(), before);
    EXPECT_FALSE(exists(shared + "/arc"));

    // Once in use: the tool works on in the held folder, and the result comes out of it.
    swapped = false;
    swapAt(FileSteps::Step::privateFolderHeld);
    t = wait([&](auto c) { extract(c, {shared + "/arc.zip"}); });
    ASSERT_TRUE(swapped);
    EXPECT_EQ(t.text, "1 Objekt entpackt.");
    EXPECT_EQ(TestUtil::readFile(shared + "/arc/inner.txt"), "from the archive");
    EXPECT_EQ(secret.state(), before);

    // The archive's folder itself, before the job: the private archive there is not even read.
    FileSteps::setStepHook({});
    ASSERT_TRUE(TestUtil::swapForLink(shared, secret.path()));
    t = wait([&](auto c) { extract(c, {shared + "/arc.zip"}); });
    EXPECT_TRUE(t.error);
    EXPECT_TRUE(t.text.contains("ist nicht mehr der Ordner, der angezeigt wurde")) << t.text.toStdString();
    EXPECT_EQ(secret.state(), before);
}

TEST_F(SwappedArchivesTest, CompressPacksOnlyWhatItsOwnWalkHolds) {
    const QString shared = mkdir(d + "/shared");
    TestUtil::writeFile(shared + "/A/sub/mine.txt", "mine");
    TestUtil::writeFile(shared + "/A/top.txt", "top");
    const auto before = secret.state();

    // A subfolder swapped while it is being packed.
    swapAt(FileSteps::Step::walkEntering, "/A/sub");
    Toast t = wait([&](auto c) { compress(c, {shared + "/A"}, ArchiveFormat::zip); });
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(t.error);
    EXPECT_EQ(t.text, "Komprimieren fehlgeschlagen: „" + shared +
                          "/A/sub“ ist nicht mehr der Ordner, der angezeigt wurde: Er wurde ersetzt oder "
                          "verschoben. Was jetzt dort liegt, bleibt unberührt.");
    EXPECT_EQ(names(shared), QStringList{"A"}); // no archive, no temporary file
    EXPECT_EQ(secret.state(), before);

    // The folder itself, before the job: nothing is written into the private folder.
    FileSteps::setStepHook({});
    ASSERT_TRUE(TestUtil::swapForLink(shared, secret.path()));
    for (ArchiveFormat f : {ArchiveFormat::zip, ArchiveFormat::tarGz}) {
        t = wait([&](auto c) { compress(c, {shared + "/sub"}, f); });
        EXPECT_TRUE(t.error);
        EXPECT_TRUE(t.text.contains("ist nicht mehr der Ordner, der angezeigt wurde"))
            << t.text.toStdString();
        EXPECT_EQ(secret.state(), before);
    }
}
