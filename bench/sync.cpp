// Folder sync against rsync, as users sync, in three shapes:
//   one folder: N one-sided 4 KiB files in one folder (reference: rsync -a);
//   folders on both sides: the same N files in 1,000 folders the target already has (rsync -a);
//   the re-sync of a real tree made from the machine's own files (/usr/share, Python's library) after 1 %
//     of its files changed, 0.5 % added and 0.5 % deleted (ours mirrors, surplus to the Trash; rsync -a
//     --delete).
// As root each round runs on a fresh ext4 volume with its journal (a loop image made for the round, so no
// earlier deletions bias it); otherwise in fresh folders of a temporary folder. The tools take turns, each
// first in every other round; each timed span ends with a flush of the volume. Our sync runs as the
// compare sheet runs it: a compare, its rows' steps, the run.
#include "Bench.h"

#include "core/filesteps/TransferProgress.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// --- volumes for the rounds

// Mount points still mounted, for a signal to unmount on its way out (fixed buffers: nothing allocates).
constexpr int maxMounts = 4;
char g_mounted[maxMounts][512];

void unmountAll() {
    for (char *m : g_mounted)
        if (m[0]) {
            ::umount2(m, MNT_DETACH);
            m[0] = 0;
        }
}

// The bench's temporary folder, removed on the way out too.
char g_tempRoot[512];

void onSignal(int sig) {
    unmountAll();
    if (g_tempRoot[0]) {
        if (const pid_t child = ::fork(); child == 0) {
            ::execl("/bin/rm", "rm", "-rf", "--one-file-system", g_tempRoot, static_cast<char *>(nullptr));
            ::_exit(127);
        } else if (child > 0) {
            ::waitpid(child, nullptr, 0);
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

bool runTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The first line a tool prints; empty when it fails.
QString toolOutput(const QString &program, const QStringList &args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

void flushFile(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Fresh volumes under one temporary folder: loop ext4 images with their journal as root, plain folders
// otherwise. Every image is unmounted when the scratch ends, by a return, an exception or a signal.
class Scratch {
public:
    Scratch(const QString &tempRoot, const QString &base) : base_(base), loop_(::geteuid() == 0) {
        std::snprintf(g_tempRoot, sizeof g_tempRoot, "%s", QFile::encodeName(tempRoot).constData());
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS})
            std::signal(sig, onSignal);
    }
    ~Scratch() {
        release();
        g_tempRoot[0] = 0;
    }
    bool loop() const { return loop_; }

    // A new empty volume (or folder) for one round; empty when it cannot be made.
    QString fresh(qint64 bytes, qint64 inodes) {
        release();
        const QString dir = base_ + QStringLiteral("/round%1").arg(++made_);
        if (!QDir().mkpath(dir)) return {};
        if (!loop_) return current_ = dir;
        const QString image = dir + QStringLiteral(".img");
        QFile f(image);
        // Whole mebibytes: the loop device takes whole sectors.
        if (!f.open(QIODevice::WriteOnly) || !f.resize((bytes | ((qint64(1) << 20) - 1)) + 1)) return {};
        f.close();
        const bool made = runTool(QStringLiteral("mkfs.ext4"),
                                  {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-N"),
                                   QString::number(inodes), QStringLiteral("-E"),
                                   QStringLiteral("lazy_itable_init=0,lazy_journal_init=0"), image});
        // What mkfs wrote is on the disk before a round starts, and the loop device writes past the page
        // cache (direct I/O): a flush of the volume is one of the disk, and no round pays for another's.
        if (made) flushFile(image);
        const QString device =
            made ? toolOutput(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"),
                                                          QStringLiteral("--direct-io=on"), image})
                 : QString();
        if (device.isEmpty() || !runTool(QStringLiteral("mount"), {device, dir})) {
            if (!device.isEmpty()) runTool(QStringLiteral("losetup"), {QStringLiteral("-d"), device});
            QFile::remove(image);
            return {};
        }
        // Detached while mounted: the device goes with the unmount.
        runTool(QStringLiteral("losetup"), {QStringLiteral("-d"), device});
        std::snprintf(g_mounted[0], sizeof g_mounted[0], "%s", QFile::encodeName(dir).constData());
        // The loop device holds the image open: its space goes with the unmount, however the bench ends.
        QFile::remove(image);
        return current_ = dir;
    }

    // The round's volume unmounted, or its folder removed.
    void release() {
        if (current_.isEmpty()) return;
        if (loop_) {
            if (!runTool(QStringLiteral("umount"), {current_})) unmountAll();
            g_mounted[0][0] = 0;
            QDir().rmdir(current_);
        } else {
            QDir(current_).removeRecursively();
        }
        current_.clear();
    }

private:
    QString base_;
    bool loop_;
    int made_ = 0;
    QString current_;
};

// --- fixtures

// count 4 KiB files, in one folder or spread over `folders` folders.
bool generated(const QString &root, int count, int folders) {
    for (int d = 0; d < folders; ++d)
        if (!QDir().mkpath(root + QStringLiteral("/d%1").arg(d))) return false;
    const QByteArray r = QFile::encodeName(root);
    for (int i = 0; i < count; ++i) {
        const QByteArray folder = folders > 0 ? "/d" + QByteArray::number(i % folders) : QByteArray();
        if (!Bench::writeFile(r + folder + "/f" + QByteArray::number(i), 4096, 1'700'000'000 + i % 1000))
            return false;
    }
    return true;
}

struct Tree {
    QStringList files; // relative paths of its regular files, in walk order
    qint64 bytes = 0;
    qint64 entries = 0; // files, links and folders
};

// Up to `count` files of the machine's own (/usr/share, Python's library), at most 1.5 GB, copied to root
// as they are (links as links).
std::optional<Tree> realTree(const QString &root, int count) {
    constexpr qint64 maxBytes = qint64(1536) << 20, maxFile = qint64(32) << 20;
    Tree tree;
    QStringList sources{QStringLiteral("/usr/share")};
    for (const QString &py :
         QDir(QStringLiteral("/usr/lib")).entryList({QStringLiteral("python3.*")}, QDir::Dirs))
        sources << QStringLiteral("/usr/lib/") + py;
    for (const QString &source : sources) {
        const QString into = root + u'/' + QFileInfo(source).fileName();
        QStringList list;
        QDirIterator it(source, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext() && tree.files.size() < count && tree.bytes < maxBytes) {
            const QFileInfo info = it.nextFileInfo();
            if (info.isSymLink()) {
                list << info.filePath().mid(source.size() + 1);
                continue;
            }
            if (!info.isFile() || !info.isReadable() || info.size() > maxFile) continue;
            const QString rel = info.filePath().mid(source.size() + 1);
            list << rel;
            tree.files << QFileInfo(into).fileName() + u'/' + rel;
            tree.bytes += info.size();
        }
        if (list.isEmpty()) continue;
        if (!QDir().mkpath(into)) return std::nullopt;
        const QString listFile = root + QStringLiteral(".list");
        QFile f(listFile);
        if (!f.open(QIODevice::WriteOnly)) return std::nullopt;
        f.write(list.join(u'\n').toUtf8() + '\n');
        f.close();
        // Unreadable items stay out (rsync's code 23); anything else is a failure.
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(QStringLiteral("rsync"), {QStringLiteral("-a"), QStringLiteral("--files-from=") + listFile,
                                          source + u'/', into + u'/'});
        p.waitForFinished(-1);
        QFile::remove(listFile);
        if (p.exitStatus() != QProcess::NormalExit || (p.exitCode() != 0 && p.exitCode() != 23))
            return std::nullopt;
    }
    QDirIterator all(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        all.next();
        ++tree.entries;
    }
    return tree;
}

// The tree after use: 1 % of its files changed (longer and newer), 0.5 % added beside others, 0.5 % deleted.
struct Changes {
    int changed = 0, added = 0, deleted = 0;
};
Changes change(const QString &root, const Tree &tree) {
    Changes c;
    const qint64 now = ::time(nullptr);
    for (qsizetype i = 0; i < tree.files.size(); ++i) {
        const QByteArray path = QFile::encodeName(root + u'/' + tree.files[i]);
        if (i % 100 == 7) {
            ::chmod(path.constData(), 0644);
            const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (fd < 0) continue;
            const QByteArray more(100, 'c');
            const bool ok = ::write(fd, more.constData(), size_t(more.size())) == more.size();
            const timespec ts[2] = {{now, 0}, {now, 0}};
            ::futimens(fd, ts);
            ::close(fd);
            c.changed += ok;
        } else if (i % 200 == 31) {
            c.deleted += ::unlink(path.constData()) == 0;
        } else if (i % 200 == 131) {
            c.added += Bench::writeFile(path + ".added", 4096, now);
        }
    }
    return c;
}

// --- the rounds

struct Shape {
    QString label;
    QString source;
    bool mirror = false;                             // surplus goes (ours to the Trash, rsync --delete)
    std::function<bool(const QString &dst)> prepare; // the target as the round finds it, untimed
    qint64 bytes = 0, inodes = 0;                    // what one target needs at most
};

struct Outcome {
    Bench::Stats ours, theirs, oursCpu, theirsCpu;
    qsizetype rowsOurs = -1, rowsTheirs = -1; // rows of a compare afterwards (of the last round)
    qsizetype leftOut = 0;
    QString firstError;
};

qsizetype rowsBetween(const QString &a, const QString &b) {
    return FolderCompare::scan(a, b, [] { return false; }).rows.size();
}

double oursOnce(const Shape &shape, const QString &dst, Outcome &out) {
    const double cpu = Bench::processorSeconds();
    const double s = Bench::timeOf([&] {
        // As the compare sheet runs it: the rows' steps in the chosen mode, with the roots the compare read.
        const CompareResult compared = FolderCompare::scan(shape.source, dst, [] { return false; });
        QList<SyncStep> steps;
        for (const CompareRow &row : compared.rows)
            if (const SyncAction a = FolderCompare::action(row, SyncMode::leftToRight, shape.mirror);
                a != SyncAction::none)
                steps << SyncStep{row, a};
        out.leftOut = FolderCompare::leftOut(compared.rows).size();
        TransferProgress progress;
        const SyncResult r =
            FolderSync::run(shape.source, dst, steps, progress, {compared.leftId, compared.rightId});
        if (!r.errors.isEmpty() && out.firstError.isEmpty()) out.firstError = r.errors.first();
        Bench::flushVolume(dst);
    });
    out.oursCpu.samples.push_back(Bench::processorSeconds() - cpu);
    return s;
}

double theirsOnce(const Shape &shape, const QString &dst, Outcome &out) {
    const double cpu = Bench::childrenProcessorSeconds();
    QStringList args{QStringLiteral("-a")};
    if (shape.mirror) args << QStringLiteral("--delete");
    args << shape.source + u'/' << dst + u'/';
    bool ok = false;
    const double s = Bench::timeOf([&] {
        int code = -1;
        ok = Bench::timeOfCommand(QStringLiteral("rsync"), args, {}, &code) >= 0 && code == 0;
        Bench::flushVolume(dst);
    });
    out.theirsCpu.samples.push_back(Bench::childrenProcessorSeconds() - cpu);
    return ok ? s : -1;
}

std::optional<Outcome> measure(Scratch &scratch, const Shape &shape, int rounds) {
    Outcome out;
    for (int round = 0; round < rounds; ++round) {
        const QString volume = scratch.fresh(2 * shape.bytes + (qint64(256) << 20), 2 * shape.inodes + 4096);
        if (volume.isEmpty()) {
            std::fprintf(stderr, "sync: no volume for round %d\n", round + 1);
            return std::nullopt;
        }
        const QString ours = volume + QStringLiteral("/ours"), theirs = volume + QStringLiteral("/rsync");
        if (!shape.prepare(ours) || !shape.prepare(theirs)) {
            std::fprintf(stderr, "sync: the targets of round %d could not be made\n", round + 1);
            return std::nullopt;
        }
        Bench::flushVolume(volume);
        double a = -1, b = -1;
        for (int turn = 0; turn < 2; ++turn) {
            // Each tool first in every other round.
            if ((turn == 0) == (round % 2 == 0))
                a = oursOnce(shape, ours, out);
            else
                b = theirsOnce(shape, theirs, out);
            Bench::flushVolume(volume);
        }
        if (b < 0) {
            std::fprintf(stderr, "sync: rsync failed\n");
            return std::nullopt;
        }
        out.ours.samples.push_back(a);
        out.theirs.samples.push_back(b);
        std::printf("  round %d: kestrin %.2f s, rsync %.2f s\n", round + 1, a, b);
        std::fflush(stdout);
        if (round == rounds - 1) {
            out.rowsOurs = rowsBetween(shape.source, ours);
            out.rowsTheirs = rowsBetween(shape.source, theirs);
        }
    }
    scratch.release();
    return out;
}

// Both tools on the same two processors, as on a small machine; the rest stays for everyone else.
void pinToTwoCores() {
    cpu_set_t allowed;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) <= 2) return;
    cpu_set_t two;
    CPU_ZERO(&two);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < 2; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) {
            CPU_SET(cpu, &two);
            ++taken;
        }
    ::sched_setaffinity(0, sizeof two, &two);
}

int intArg(const QStringList &args, const QString &name, int fallback) {
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? std::max(1, args[i + 1].toInt()) : fallback;
}

int failed(const char *what) {
    std::fprintf(stderr, "sync: %s could not be made\n", what);
    return 1;
}

int syncRun(const QStringList &args) {
    const int rounds = intArg(args, QStringLiteral("--rounds"), 4);
    QStringList rest = args;
    for (const QString &option : {QStringLiteral("--rounds"), QStringLiteral("--shape")})
        if (const qsizetype i = rest.indexOf(option); i >= 0)
            rest.remove(i, std::min<qsizetype>(2, rest.size() - i));
    // One shape alone (1, 2 or 3), for a closer look at it.
    const qsizetype shapeAt = args.indexOf(QStringLiteral("--shape"));
    const int only = shapeAt >= 0 && shapeAt + 1 < args.size() ? args[shapeAt + 1].toInt() : 0;
    const int count = Bench::filesArg(rest, 100000);
    const int folders = std::min(1000, count);
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-sync-XXXXXX"));
    if (!tmp.isValid()) return 1;
    // The Trash's records and the journal in the bench's own folder, not the user's.
    for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = tmp.path() + QStringLiteral("/home/") + QLatin1String(var);
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
    }
    const QString fixtures = tmp.path() + QStringLiteral("/fixtures");
    Scratch scratch(tmp.path(), tmp.path() + QStringLiteral("/volumes"));
    QDir().mkpath(tmp.path() + QStringLiteral("/volumes"));
    pinToTwoCores();
    std::printf("volumes: %s\n", scratch.loop() ? "a fresh loop ext4 image with its journal for each round"
                                                : "fresh folders of a temporary folder (not root)");

    QList<Shape> shapes;
    const qint64 fileBytes = qint64(count) * 4096;
    // One folder.
    const QString one = fixtures + QStringLiteral("/one");
    if (!QDir().mkpath(one) || !generated(one, count, 0)) return failed("the one folder's files");
    shapes << Shape{QStringLiteral("one folder, %1 files x 4 KiB").arg(count), one,       false,
                    [](const QString &dst) { return QDir().mkpath(dst); },     fileBytes, count + 16};
    // Folders on both sides.
    const QString spread = fixtures + QStringLiteral("/spread");
    if (!generated(spread, count, folders)) return failed("the folders' files");
    shapes << Shape{QStringLiteral("folders on both sides, %1 files in %2 folders").arg(count).arg(folders),
                    spread,
                    false,
                    [folders](const QString &dst) {
                        for (int d = 0; d < folders; ++d)
                            if (!QDir().mkpath(dst + QStringLiteral("/d%1").arg(d))) return false;
                        return true;
                    },
                    fileBytes,
                    count + folders + 16};
    // The re-sync of a real tree: the targets hold the tree as it was, the source is the tree after use.
    const QString base = fixtures + QStringLiteral("/tree"), changed = fixtures + QStringLiteral("/changed");
    const std::optional<Tree> tree = realTree(base, count);
    if (!tree || tree->files.isEmpty() ||
        !runTool(QStringLiteral("cp"), {QStringLiteral("-a"), base, changed}))
        return failed("the real tree");
    const Changes c = change(changed, *tree);
    shapes << Shape{
        QStringLiteral("re-sync of a real tree, %1 files, %2 MB: %3 changed, %4 added, %5 deleted")
            .arg(tree->files.size())
            .arg(tree->bytes >> 20)
            .arg(c.changed)
            .arg(c.added)
            .arg(c.deleted),
        changed, true,
        [base](const QString &dst) {
            return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), base, dst});
        },
        // Small files take a block each; the Trash holds what was replaced or deleted.
        tree->bytes * 11 / 10 + tree->entries * 4096 + (qint64(64) << 20), tree->entries + 4096};
    Bench::flushVolume(fixtures);

    double worst = -1;
    QString worstLabel;
    bool equal = true;
    for (qsizetype n = 0; n < shapes.size(); ++n) {
        const Shape &shape = shapes[n];
        if (only > 0 && only != n + 1) continue;
        std::printf("%s\n", qPrintable(shape.label));
        std::fflush(stdout);
        const std::optional<Outcome> out = measure(scratch, shape, rounds);
        if (!out) return 1;
        std::printf("  rows of a compare afterwards: kestrin %lld, rsync %lld; rows no sync acts on: %lld\n",
                    static_cast<long long>(out->rowsOurs), static_cast<long long>(out->rowsTheirs),
                    static_cast<long long>(out->leftOut));
        if (!out->firstError.isEmpty()) std::printf("  first error: %s\n", qPrintable(out->firstError));
        equal = equal && out->rowsOurs == 0 && out->rowsTheirs == 0 && out->firstError.isEmpty();
        Bench::processorReport(QStringLiteral("  sync"), out->oursCpu, QStringLiteral("rsync"),
                               out->theirsCpu);
        Bench::report(shape.label.section(u',', 0, 0), out->ours, 1,
                      shape.mirror ? QStringLiteral("rsync -a --delete, then syncfs")
                                   : QStringLiteral("rsync -a, then syncfs"),
                      out->theirs, 1);
        const double ratio = out->ours.median() / out->theirs.median();
        if (ratio > worst) {
            worst = ratio;
            worstLabel = shape.label.section(u',', 0, 0);
        }
    }
    std::printf("ratio: %.3f (the worst of the three shapes' medians: %s)\n", worst, qPrintable(worstLabel));
    return equal ? 0 : 1;
}

const Bench::Registration
    syncReg("sync",
            "sync in three shapes: one folder, folders on both sides, the re-sync of a "
            "real tree (reference: rsync -a; --files N, --rounds N, --shape 1|2|3); about 20 min",
            syncRun);

} // namespace
