// Folder sync against rsync, as users sync, in three shapes:
//   one folder: N one-sided 4 KiB files in one folder (reference: rsync -a);
//   folders on both sides: the same N files in 1,000 folders the target already has (rsync -a);
//   the re-sync of a real tree made from the machine's own files (/usr/share, Python's library) after 1 %
//     of its files changed, 0.5 % added and 0.5 % deleted (ours mirrors, surplus to the Trash; rsync -a
//     --delete).
// As root each round runs on a fresh ext4 volume made as a user's disk is (at least 10 GiB, mkfs's own
// inode count, the source copied onto it beside both targets; --fitted: a volume sized to the fixture with
// the source on the bench's disk, as before); otherwise in fresh folders of a temporary folder. The tools
// take turns, each first in every other round; each timed span ends with a flush of the volume. Our sync
// runs as the compare sheet runs it: a compare, its rows' steps, the run. Beside the times: the processor
// time of each tool (its children's included) and, from one more untimed round under strace, the system
// calls each makes per copied file.
#include "Bench.h"

#include "core/filesteps/TransferProgress.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// --- volumes for the rounds

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
    explicit Scratch(const QString &base) : base_(base), loop_(::geteuid() == 0) {}
    ~Scratch() { release(); }
    bool loop() const { return loop_; }

    // A new empty volume (or folder) for one round; empty when it cannot be made. inodes 0: as many as
    // mkfs gives a volume of that size.
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
        QStringList mkfs{QStringLiteral("-q"), QStringLiteral("-F")};
        if (inodes > 0) mkfs << QStringLiteral("-N") << QString::number(inodes);
        mkfs << QStringLiteral("-E") << QStringLiteral("lazy_itable_init=0,lazy_journal_init=0") << image;
        const bool made = runTool(QStringLiteral("mkfs.ext4"), mkfs);
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
        Bench::holdMount(dir);
        // The loop device holds the image open: its space goes with the unmount, however the bench ends.
        QFile::remove(image);
        return current_ = dir;
    }

    // The round's volume unmounted, or its folder removed.
    void release() {
        if (current_.isEmpty()) return;
        if (loop_) {
            Bench::unmount(current_);
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
    qint64 copied = 0;                               // files each tool copies
};

// Where the rounds run: a user's disk (the source on the volume beside the targets, mkfs's inode count,
// at least 10 GiB), or a volume fitted to the fixture with the source on the bench's own disk.
struct Layout {
    bool fitted = false;
};

struct Outcome {
    Bench::Stats ours, theirs, oursCpu, theirsCpu, ratios;
    qsizetype rowsOurs = -1, rowsTheirs = -1; // rows of a compare afterwards (of the last round)
    qsizetype leftOut = 0;
    QString firstError;
};

qsizetype rowsBetween(const QString &a, const QString &b) {
    return FolderCompare::scan(a, b, [] { return false; }).rows.size();
}

// As the compare sheet runs it: the rows' steps in the chosen mode, with the roots the compare read.
SyncResult syncOnce(const QString &source, const QString &dst, bool mirror, qsizetype *leftOut = nullptr) {
    const CompareResult compared = FolderCompare::scan(source, dst, [] { return false; });
    QList<SyncStep> steps;
    for (const CompareRow &row : compared.rows)
        if (const SyncAction a = FolderCompare::action(row, SyncMode::leftToRight, mirror);
            a != SyncAction::none)
            steps << SyncStep{row, a};
    if (leftOut) *leftOut = FolderCompare::leftOut(compared.rows).size();
    TransferProgress progress;
    return FolderSync::run(source, dst, steps, progress, {compared.leftId, compared.rightId});
}

double oursOnce(const QString &source, bool mirror, const QString &dst, Outcome &out) {
    // Ours in this process; what it may start counts too.
    const double cpu = Bench::processorSeconds() + Bench::childrenProcessorSeconds();
    const double s = Bench::timeOf([&] {
        const SyncResult r = syncOnce(source, dst, mirror, &out.leftOut);
        if (!r.errors.isEmpty() && out.firstError.isEmpty()) out.firstError = r.errors.first();
        Bench::flushVolume(dst);
    });
    out.oursCpu.samples.push_back(Bench::processorSeconds() + Bench::childrenProcessorSeconds() - cpu);
    return s;
}

QStringList rsyncArgs(const QString &source, bool mirror, const QString &dst) {
    QStringList args{QStringLiteral("-a")};
    if (mirror) args << QStringLiteral("--delete");
    return args << source + u'/' << dst + u'/';
}

double theirsOnce(const QString &source, bool mirror, const QString &dst, Outcome &out) {
    const double cpu = Bench::childrenProcessorSeconds();
    bool ok = false;
    const double s = Bench::timeOf([&] {
        int code = -1;
        ok = Bench::timeOfCommand(QStringLiteral("rsync"), rsyncArgs(source, mirror, dst), {}, &code) >= 0 &&
             code == 0;
        Bench::flushVolume(dst);
    });
    out.theirsCpu.samples.push_back(Bench::childrenProcessorSeconds() - cpu);
    return ok ? s : -1;
}

// One round's volume with the targets as the shape finds them, and the source the tools read: on the
// volume itself unless the layout is fitted. Empty when it cannot be made.
struct RoundVolume {
    QString volume, source;
};
std::optional<RoundVolume> roundVolume(Scratch &scratch, const Shape &shape, const Layout &layout) {
    RoundVolume v;
    v.volume = layout.fitted || !scratch.loop()
                   ? scratch.fresh(2 * shape.bytes + (qint64(256) << 20),
                                   layout.fitted ? 2 * shape.inodes + 4096 : 0)
                   : scratch.fresh(std::max(qint64(10) << 30, 3 * shape.bytes + (qint64(512) << 20)), 0);
    if (v.volume.isEmpty()) return std::nullopt;
    v.source = shape.source;
    if (!layout.fitted) {
        v.source = v.volume + QStringLiteral("/source");
        if (!runTool(QStringLiteral("cp"), {QStringLiteral("-a"), shape.source, v.source}))
            return std::nullopt;
    }
    if (!shape.prepare(v.volume + QStringLiteral("/ours")) ||
        !shape.prepare(v.volume + QStringLiteral("/rsync")))
        return std::nullopt;
    Bench::flushVolume(v.volume);
    return v;
}

std::optional<Outcome> measure(Scratch &scratch, const Shape &shape, const Layout &layout, int rounds) {
    Outcome out;
    for (int round = 0; round < rounds; ++round) {
        const std::optional<RoundVolume> v = roundVolume(scratch, shape, layout);
        if (!v) {
            std::fprintf(stderr, "sync: no volume for round %d\n", round + 1);
            return std::nullopt;
        }
        const QString ours = v->volume + QStringLiteral("/ours"),
                      theirs = v->volume + QStringLiteral("/rsync");
        double a = -1, b = -1;
        for (int turn = 0; turn < 2; ++turn) {
            // Each tool first in every other round.
            if ((turn == 0) == (round % 2 == 0))
                a = oursOnce(v->source, shape.mirror, ours, out);
            else
                b = theirsOnce(v->source, shape.mirror, theirs, out);
            Bench::flushVolume(v->volume);
        }
        if (b < 0) {
            std::fprintf(stderr, "sync: rsync failed\n");
            return std::nullopt;
        }
        out.ours.samples.push_back(a);
        out.theirs.samples.push_back(b);
        out.ratios.samples.push_back(a / b);
        std::printf(
            "  round %d: kestrin %.2f s, rsync %.2f s (%.3f); processor kestrin %.2f s, rsync %.2f s\n",
            round + 1, a, b, a / b, out.oursCpu.samples.back(), out.theirsCpu.samples.back());
        std::fflush(stdout);
        if (round == rounds - 1) {
            out.rowsOurs = rowsBetween(v->source, ours);
            out.rowsTheirs = rowsBetween(v->source, theirs);
        }
    }
    scratch.release();
    return out;
}

// --- system calls, counted by strace in one more round outside the timed ones

// The calls of each system call of one run of program under `strace -f -c`; empty when it fails.
std::map<QString, qint64> tracedCalls(const QString &program, const QStringList &args,
                                      const QString &summary) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("strace"),
            QStringList{QStringLiteral("-f"), QStringLiteral("-c"), QStringLiteral("-o"), summary,
                        QStringLiteral("--"), program} +
                args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    QFile f(summary);
    if (!f.open(QIODevice::ReadOnly)) return {};
    // "% time  seconds  usecs/call  calls  [errors]  syscall" after a dashed line.
    std::map<QString, qint64> calls;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> cols = line.simplified().split(' ');
        if (cols.size() < 5 || line.startsWith('%') || line.startsWith('-')) continue;
        bool number = false;
        const qint64 n = cols[3].toLongLong(&number);
        if (number) calls[QString::fromLatin1(cols.last())] += n;
    }
    f.remove();
    return calls;
}

// The calls of `run` less those of `idle` (a program's start and end), per copied file.
void printCalls(const char *tool, const std::map<QString, qint64> &run, const std::map<QString, qint64> &idle,
                qint64 files) {
    std::vector<std::pair<double, QString>> per;
    double total = 0;
    for (const auto &[name, n] : run) {
        const auto base = idle.find(name);
        const double each = double(n - (base == idle.end() ? 0 : base->second)) / double(files);
        if (name == u"total") {
            total = each;
            continue;
        }
        if (each >= 0.05) per.emplace_back(each, name);
    }
    std::sort(per.begin(), per.end(), std::greater<>());
    QStringList most;
    for (size_t i = 0; i < per.size() && i < 16; ++i)
        most << QStringLiteral("%1 %2").arg(per[i].second).arg(per[i].first, 0, 'f', 2);
    std::printf("  system calls per copied file, %s: %.1f (%s)\n", tool, total, qPrintable(most.join(u", ")));
}

// One more round on a fresh volume, each tool under strace; nothing of it is timed.
void countCalls(Scratch &scratch, const Shape &shape, const Layout &layout, const QString &tempRoot) {
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty()) {
        std::printf("  system calls: not counted (strace is missing)\n");
        return;
    }
    const std::optional<RoundVolume> v = roundVolume(scratch, shape, layout);
    if (!v) return;
    const QString self = QCoreApplication::applicationFilePath(),
                  summary = tempRoot + QStringLiteral("/strace");
    const QString mirror = shape.mirror ? QStringLiteral("mirror") : QStringLiteral("copy");
    const QString empty = tempRoot + QStringLiteral("/empty"), empty2 = tempRoot + QStringLiteral("/empty2");
    QDir().mkpath(empty);
    QDir().mkpath(empty2);
    // What a start and an end cost, with nothing to do: left out of both.
    const auto oursIdle = tracedCalls(
        self, {QStringLiteral("sync"), QStringLiteral("--traced-run"), empty, empty2, mirror}, summary);
    const auto ours = tracedCalls(self,
                                  {QStringLiteral("sync"), QStringLiteral("--traced-run"), v->source,
                                   v->volume + QStringLiteral("/ours"), mirror},
                                  summary);
    const auto theirsIdle =
        tracedCalls(QStringLiteral("rsync"), rsyncArgs(empty, shape.mirror, empty2), summary);
    const auto theirs =
        tracedCalls(QStringLiteral("rsync"),
                    rsyncArgs(v->source, shape.mirror, v->volume + QStringLiteral("/rsync")), summary);
    scratch.release();
    if (ours.empty() || theirs.empty() || shape.copied <= 0) {
        std::printf("  system calls: not counted (a traced run failed)\n");
        return;
    }
    printCalls("kestrin", ours, oursIdle, shape.copied);
    printCalls("rsync", theirs, theirsIdle, shape.copied);
    std::fflush(stdout);
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
    // The run strace counts: sync --traced-run SOURCE TARGET mirror|copy.
    if (args.value(0) == u"--traced-run" && args.size() == 4)
        return syncOnce(args[1], args[2], args[3] == u"mirror").errors.isEmpty() ? 0 : 1;
    const int rounds = intArg(args, QStringLiteral("--rounds"), 4);
    const Layout layout{args.contains(QStringLiteral("--fitted"))};
    QStringList rest = args;
    rest.removeAll(QStringLiteral("--fitted"));
    for (const QString &option : {QStringLiteral("--rounds"), QStringLiteral("--shape")})
        if (const qsizetype i = rest.indexOf(option); i >= 0)
            rest.remove(i, std::min<qsizetype>(2, rest.size() - i));
    // One shape alone (1, 2 or 3), for a closer look at it.
    const qsizetype shapeAt = args.indexOf(QStringLiteral("--shape"));
    const int only = shapeAt >= 0 && shapeAt + 1 < args.size() ? args[shapeAt + 1].toInt() : 0;
    const int count = Bench::filesArg(rest, 100000);
    const int folders = std::min(1000, count);
    Bench::TempDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-sync-XXXXXX"));
    if (!tmp.isValid()) return 1;
    // The Trash's records and the journal in the bench's own folder, not the user's.
    for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = tmp.path() + QStringLiteral("/home/") + QLatin1String(var);
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
    }
    const QString fixtures = tmp.path() + QStringLiteral("/fixtures");
    Scratch scratch(tmp.path() + QStringLiteral("/volumes"));
    QDir().mkpath(tmp.path() + QStringLiteral("/volumes"));
    pinToTwoCores();
    std::printf("volumes: %s\n",
                !scratch.loop() ? "fresh folders of a temporary folder (not root)"
                : layout.fitted
                    ? "a fresh loop ext4 image with its journal for each round, sized to the fixture; "
                      "the source on the bench's disk"
                    : "a fresh loop ext4 image of at least 10 GiB for each round, mkfs's inode count, "
                      "the source on it beside both targets");

    QList<Shape> shapes;
    const qint64 fileBytes = qint64(count) * 4096;
    // Only the fixtures of the shapes that run are made.
    const auto wanted = [only](int shape) { return only == 0 || only == shape; };
    // One folder.
    const QString one = fixtures + QStringLiteral("/one");
    if (wanted(1) && (!QDir().mkpath(one) || !generated(one, count, 0)))
        return failed("the one folder's files");
    shapes << Shape{QStringLiteral("one folder, %1 files x 4 KiB").arg(count),
                    one,
                    false,
                    [](const QString &dst) { return QDir().mkpath(dst); },
                    fileBytes,
                    count + 16,
                    count};
    // Folders on both sides.
    const QString spread = fixtures + QStringLiteral("/spread");
    if (wanted(2) && !generated(spread, count, folders)) return failed("the folders' files");
    shapes << Shape{QStringLiteral("folders on both sides, %1 files in %2 folders").arg(count).arg(folders),
                    spread,
                    false,
                    [folders](const QString &dst) {
                        for (int d = 0; d < folders; ++d)
                            if (!QDir().mkpath(dst + QStringLiteral("/d%1").arg(d))) return false;
                        return true;
                    },
                    fileBytes,
                    count + folders + 16,
                    count};
    // The re-sync of a real tree: the targets hold the tree as it was, the source is the tree after use.
    const QString base = fixtures + QStringLiteral("/tree"), changed = fixtures + QStringLiteral("/changed");
    const std::optional<Tree> tree = wanted(3) ? realTree(base, count) : Tree{};
    if (wanted(3) && (!tree || tree->files.isEmpty() ||
                      !runTool(QStringLiteral("cp"), {QStringLiteral("-a"), base, changed})))
        return failed("the real tree");
    const Changes c = wanted(3) ? change(changed, *tree) : Changes{};
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
        tree->bytes * 11 / 10 + tree->entries * 4096 + (qint64(64) << 20), tree->entries + 4096,
        c.changed + c.added};
    Bench::flushVolume(fixtures);

    double worst = -1;
    QString worstLabel;
    bool equal = true;
    for (qsizetype n = 0; n < shapes.size(); ++n) {
        const Shape &shape = shapes[n];
        if (only > 0 && only != n + 1) continue;
        std::printf("%s\n", qPrintable(shape.label));
        std::fflush(stdout);
        const std::optional<Outcome> out = measure(scratch, shape, layout, rounds);
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
        // The shape's ratio: the median of its rounds' ratios.
        const double ratio = out->ratios.median();
        std::printf("ratio of the rounds: min/median/max %.3f / %.3f / %.3f\n", out->ratios.min(), ratio,
                    out->ratios.max());
        countCalls(scratch, shape, layout, tmp.path());
        if (ratio > worst) {
            worst = ratio;
            worstLabel = shape.label.section(u',', 0, 0);
        }
    }
    std::printf("ratio: %.3f (the worst of the shapes' medians of the rounds' ratios: %s)\n", worst,
                qPrintable(worstLabel));
    return equal ? 0 : 1;
}

const Bench::Registration syncReg("sync",
                                  "sync in three shapes: one folder, folders on both sides, the re-sync of a "
                                  "real tree (reference: rsync -a; --files N, --rounds N, --shape 1|2|3, "
                                  "--fitted); about 20 min",
                                  syncRun);

} // namespace
