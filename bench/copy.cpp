// kestrin-bench copy: the transfer engine against cp -a and mv, each followed by a flush of its volume.
#include "Bench.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/StepHooks.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

bool runTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void writeFile(const QString &path, qint64 size, char seed) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 31 + seed) & 0xff);
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        chunk[0] = char(left & 0xff); // no two chunks alike
        f.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    }
}

void makeSmallTree(const QString &root, int files) {
    QByteArray data(4096, 'k');
    for (int d = 0; d * 100 < files; ++d) {
        const QString dir = root + QStringLiteral("/d%1").arg(d);
        QDir().mkpath(dir);
        for (int f = 0; f < 100 && d * 100 + f < files; ++f) {
            QFile file(dir + QStringLiteral("/f%1").arg(f));
            data[0] = char(f);
            if (file.open(QIODevice::WriteOnly)) file.write(data);
        }
    }
}

// A tree like a large source tree: folders nested up to ten deep, three subfolders and nine files of
// 0.5 to 4 KiB each, filled depth first until `files` files exist. Written with plain system calls (a
// quarter of a million files).
int makeDeepTree(const QByteArray &dir, int files, int depth = 0) {
    if (::mkdir(dir.constData(), 0755) != 0) return 0;
    static const QByteArray data(4096, 's');
    int made = 0;
    for (int f = 0; f < 9 && made < files; ++f, ++made) {
        const QByteArray name = dir + "/file" + QByteArray::number(f) + ".c";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return made;
        const size_t size = 512 + size_t((made * 397 + depth * 131) % 3585);
        const bool ok = ::write(fd, data.constData(), size) == ssize_t(size);
        ::close(fd);
        if (!ok) return made;
    }
    for (int d = 0; d < 3 && depth < 10 && made < files; ++d)
        made += makeDeepTree(dir + "/sub" + QByteArray::number(d), files - made, depth + 1);
    return made;
}

QString fixtureRoot;

void clear(const QString &path) {
    FileSteps::removeTree(path);
    Bench::flushVolume(fixtureRoot);
}

// The entries of a tree split for eight copiers of about equal work: the largest folder is opened until no
// piece holds more than a sixteenth of the share of one copier (files met on the way are pieces too), then
// the pieces go, largest first, to the copier with the least so far. Paths relative to the tree's parent;
// the folders opened are returned too, to be made in the target first.
struct Split {
    std::vector<QStringList> groups;
    QStringList folders;
};

qint64 entriesBelow(const QString &path) {
    qint64 n = 1;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    for (; it.hasNext(); it.next())
        ++n;
    return n;
}

Split splitTree(const QString &parent, const QString &top, int ways) {
    Split s;
    struct Piece {
        QString path;
        qint64 size;
        bool folder;
    };
    std::vector<Piece> pieces{{top, entriesBelow(parent + u'/' + top), true}};
    const qint64 limit = std::max<qint64>(1, pieces[0].size / (ways * 16));
    for (;;) {
        auto largest = std::max_element(pieces.begin(), pieces.end(), [](const Piece &a, const Piece &b) {
            return (a.folder ? a.size : 0) < (b.folder ? b.size : 0);
        });
        if (!largest->folder || largest->size <= limit) break;
        const QString folder = largest->path;
        pieces.erase(largest);
        s.folders << folder;
        for (const QFileInfo &info :
             QDir(parent + u'/' + folder)
                 .entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                QDir::Name)) {
            const bool isFolder = info.isDir() && !info.isSymLink();
            pieces.push_back(
                {folder + u'/' + info.fileName(), isFolder ? entriesBelow(info.filePath()) : 1, isFolder});
        }
    }
    std::sort(pieces.begin(), pieces.end(), [](const Piece &a, const Piece &b) { return a.size > b.size; });
    s.groups.resize(size_t(ways));
    std::vector<qint64> load(size_t(ways), 0);
    for (const Piece &piece : pieces) {
        const size_t least = size_t(std::min_element(load.begin(), load.end()) - load.begin());
        s.groups[least] << piece.path;
        load[least] += piece.size;
    }
    return s;
}

// Eight cp -a at once, each over its share of the tree; the target's upper folders are made first (they
// are few) so that no two copiers race to make them.
bool eightCopies(const QString &parent, const Split &split, const QString &out) {
    for (const QString &folder : split.folders)
        QDir().mkpath(out + u'/' + folder);
    std::vector<std::unique_ptr<QProcess>> running;
    for (const QStringList &group : split.groups) {
        if (group.isEmpty()) continue;
        auto p = std::make_unique<QProcess>();
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setWorkingDirectory(parent);
        p->start(QStringLiteral("cp"), QStringList{QStringLiteral("-a"), QStringLiteral("--parents")} +
                                           group + QStringList{out + u'/'});
        running.push_back(std::move(p));
    }
    bool ok = true;
    for (auto &p : running)
        ok &= p->waitForFinished(-1) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    return ok;
}

double cpuSeconds(int who) {
    struct rusage u;
    ::getrusage(who, &u);
    auto sec = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

// Ours and theirs taking turns; every run writes into a folder of its own that no earlier run used, so no
// run creates files where another has just deleted them. On a tmpfs, whose creations cost the same after a
// deletion, the copy before the last is removed before a run (untimed), so that a large fixture fits.
void compare(const QString &label, const QString &tool, int oursThreads, int times, const QString &outBase,
             const std::function<bool(const QString &out)> &ours,
             const std::function<bool(const QString &out)> &theirs,
             const std::function<bool(const QString &out)> &eightTheirs = {}) {
    int n = 0;
    QStringList made;
    struct statfs fs;
    const bool tmpfs = ::statfs(QFile::encodeName(QFileInfo(outBase).path()).constData(), &fs) == 0 &&
                       fs.f_type == TMPFS_MAGIC;
    const auto fresh = [&] {
        if (tmpfs && made.size() >= 2) FileSteps::removeTree(made.takeFirst());
        const QString out = outBase + QStringLiteral("-%1").arg(n++);
        QDir().mkpath(out);
        made << out;
        Bench::flushVolume(out);
        return out;
    };
    // A reference run in a process of its own: its wall time, or -1 when it failed.
    const auto timeTool = [&](const std::function<bool(const QString &)> &tool, Bench::Stats &cpu) {
        const QString out = fresh();
        bool ok = true;
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        // Our jobs end with a flush of the destination's volume, so the reference's time holds one too.
        const double s = Bench::timeOf([&] {
            ok = tool(out);
            Bench::flushVolume(out);
        });
        cpu.samples.push_back(cpuSeconds(RUSAGE_CHILDREN) - before);
        return ok ? s : -1.0;
    };
    // Processor time (user and system) beside the wall time: with other work on the machine, a pool of
    // threads may get no more processor than one thread does.
    Bench::Stats oursCpu, theirsCpu, eightCpu, eight;
    bool eightFailed = false, oursFailed = false;
    const Bench::Pair t = Bench::alternate(
        times,
        [&] {
            // The eight-way reference takes its turn before ours: ours, one, eight, ours, one, eight …
            if (eightTheirs && n > 0) {
                const double s = timeTool(eightTheirs, eightCpu);
                eightFailed |= s < 0;
                eight.samples.push_back(s);
            }
            const QString out = fresh();
            const double before = cpuSeconds(RUSAGE_SELF);
            bool ok = true;
            const double s = Bench::timeOf([&] { ok = ours(out); });
            oursCpu.samples.push_back(cpuSeconds(RUSAGE_SELF) - before);
            // A run that failed (a full target, say) would pass for a fast one.
            oursFailed |= !ok;
            return ok ? s : -1.0;
        },
        [&] { return timeTool(theirs, theirsCpu); });
    if (eightTheirs) {
        const double s = timeTool(eightTheirs, eightCpu);
        eightFailed |= s < 0;
        eight.samples.push_back(s);
    }
    if (oursFailed) {
        std::printf("%s: kestrin failed\nratio: n/a (kestrin failed)\n", qPrintable(label));
        std::fflush(stdout);
    } else {
        Bench::report(label, t.ours, oursThreads, tool + QStringLiteral(", then syncfs"), t.theirs, 1);
    }
    Bench::spread(label + QStringLiteral(" processor time, kestrin"), oursCpu, "s", 1.0, 4);
    Bench::spread(label + QStringLiteral(" processor time, ") + tool, theirsCpu, "s", 1.0, 4);
    if (eightTheirs) {
        if (eightFailed) {
            std::printf("%s: 8 x %s at once failed\n", qPrintable(label), qPrintable(tool));
        } else {
            Bench::spread(label + QStringLiteral(", 8 x ") + tool + QStringLiteral(" at once (wall)"), eight,
                          "s", 1.0, 4);
            Bench::spread(label + QStringLiteral(" processor time, 8 x ") + tool, eightCpu, "s", 1.0, 4);
            std::printf("ratio to 8 x %s at once: %.3f (medians)\n", qPrintable(tool),
                        t.ours.median() / eight.median());
        }
        std::fflush(stdout);
    }
    for (const QString &out : made)
        FileSteps::removeTree(out);
    Bench::flushVolume(fixtureRoot);
}

// "--deep N": the files of case (d).
int deepArg(const QStringList &args) {
    for (qsizetype i = 0; i + 1 < args.size(); ++i)
        if (args[i] == u"--deep") return std::max(1, args[i + 1].toInt());
    return 250000;
}

// "--to DIR": where the copies are written (another volume, say), instead of beside the fixture.
QString targetArg(const QStringList &args, const QString &fallback) {
    for (qsizetype i = 0; i + 1 < args.size(); ++i)
        if (args[i] == u"--to") return args[i + 1];
    return fallback;
}

// Files of 8 to 64 KiB and one large file, in one folder.
void makeMixedSet(const QString &root, int files, qint64 large) {
    QDir().mkpath(root);
    for (int f = 0; f < files; ++f)
        writeFile(root + QStringLiteral("/f%1.bin").arg(f, 3, 10, QLatin1Char('0')),
                  (8 + (f * 37) % 57) << 10, char(f));
    writeFile(root + QStringLiteral("/large.bin"), large, 3);
}

QByteArray bytesOf(const QString &path) {
    return FileSteps::PathBytes(path).bytes();
}

// A tree is walked by one thread while others copy its files; a single file is copied by one.
constexpr int treeThreads = 1 + FileSteps::copyThreads;

int run(const QStringList &args) {
    // Cases to run ("a" … "d"); all of them by default.
    auto want = [&](const char *c) {
        for (const QString &a : args)
            if (a.size() == 1 && a[0].isLetter()) return args.contains(QString::fromLatin1(c));
        return true;
    };
    const int files = Bench::filesArg(args, 20000);
    Bench::TempDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-XXXXXX"));
    if (!tmp.isValid()) return 1;
    const QString base = tmp.path();
    fixtureRoot = base;
    Bench::TempDir target(targetArg(args, base) + QStringLiteral("/kestrin-bench-out-XXXXXX"));
    if (!target.isValid()) return 1;
    const QString outs = target.path();
    struct statfs where;
    if (::statfs(QFile::encodeName(base).constData(), &where) == 0)
        std::printf("fixture in %s (%s)\n", qPrintable(base), where.f_type == TMPFS_MAGIC ? "tmpfs" : "disk");

    // (a) one file of 1 GiB within one file system.
    const QString big = base + QStringLiteral("/big.bin");
    if (want("a")) {
        writeFile(big, qint64(1) << 30, 7);
        Bench::flushVolume(fixtureRoot);
        compare(
            QStringLiteral("(a) 1 GiB file"), QStringLiteral("cp -a"), 1, 7, outs + QStringLiteral("/out-a"),
            [&](const QString &out) {
                TransferProgress p;
                return FileOps::runWithProgress({big}, out, false, p).errors.isEmpty();
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), big, out + QStringLiteral("/")});
            });
        clear(big);
    }

    // (b) small files of 4 KiB, 100 to a folder.
    const QString tree = base + QStringLiteral("/tree");
    if (want("b")) {
        makeSmallTree(tree, files);
        Bench::flushVolume(fixtureRoot);
        compare(
            QStringLiteral("(b) %1 files of 4 KiB").arg(files), QStringLiteral("cp -a"), treeThreads, 5,
            outs + QStringLiteral("/out-b"),
            [&](const QString &out) {
                TransferProgress p;
                return FileOps::runWithProgress({tree}, out, false, p).errors.isEmpty();
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), tree, out + QStringLiteral("/")});
            },
            [&, split = splitTree(base, QStringLiteral("tree"), 8)](const QString &out) {
                return eightCopies(base, split, out);
            });
        clear(tree);
    }

    // (d) a deep tree of many small files, like a large source tree.
    const QString deep = base + QStringLiteral("/deep");
    if (want("d")) {
        const int deepFiles = deepArg(args);
        const int made = makeDeepTree(bytesOf(deep), deepFiles);
        Bench::flushVolume(fixtureRoot);
        compare(
            QStringLiteral("(d) %1 files in a deep tree").arg(made), QStringLiteral("cp -a"), treeThreads, 3,
            outs + QStringLiteral("/out-d"),
            [&](const QString &out) {
                TransferProgress p;
                return FileOps::runWithProgress({deep}, out, false, p).errors.isEmpty();
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), deep, out + QStringLiteral("/")});
            },
            [&, split = splitTree(base, QStringLiteral("deep"), 8)](const QString &out) {
                return eightCopies(base, split, out);
            });
        clear(deep);
    }
    // (e) 200 files of 8 to 64 KiB and one of 200 MiB.
    const QString mixed = base + QStringLiteral("/mixed");
    if (want("e")) {
        makeMixedSet(mixed, 200, qint64(200) << 20);
        Bench::flushVolume(fixtureRoot);
        compare(
            QStringLiteral("(e) 200 files of 8 to 64 KiB and one of 200 MiB"), QStringLiteral("cp -a"),
            treeThreads, 7, outs + QStringLiteral("/out-e"),
            [&](const QString &out) {
                TransferProgress p;
                return FileOps::runWithProgress({mixed}, out, false, p).errors.isEmpty();
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"),
                               {QStringLiteral("-a"), mixed, out + QStringLiteral("/")});
            });
        clear(mixed);
    }
    if (!want("c")) return 0;

    // (c) moving (b) to another file system.
    const QString vol = base + QStringLiteral("/vol");
    if (!Bench::mountTmpfs(vol, QStringLiteral("2g"))) {
        std::printf("(c) move to another volume: skipped (needs root for a tmpfs)\nratio: n/a (skipped)\n");
        return 0;
    }
    // Each run moves a tree of its own, made beforehand in a folder of its own, into a fresh folder.
    int n = 0;
    QString source, into;
    const auto prepare = [&] {
        source = base + QStringLiteral("/src-c-%1/tree").arg(n);
        into = vol + QStringLiteral("/in-%1").arg(n);
        ++n;
        makeSmallTree(source, files);
        QDir().mkpath(into);
        Bench::flushVolume(fixtureRoot);
    };
    // The phases of our move, timed where the engine reports its steps: the last file copied, the copy
    // put in place (after the one flush of the target), and the end (verification and removal of the
    // originals).
    QElapsedTimer clock;
    qint64 lastCopied = 0, placed = 0;
    FileSteps::setStepHook([&](FileSteps::Step step, const QString &) {
        if (step == FileSteps::Step::fileCopied) lastCopied = clock.nsecsElapsed();
        if (step == FileSteps::Step::placed) placed = clock.nsecsElapsed();
    });
    Bench::Stats flush, verify;
    const Bench::Pair t = Bench::alternate(
        5,
        [&] {
            clock.start();
            TransferProgress p;
            FileOps::runWithProgress({source}, into, true, p);
            const qint64 end = clock.nsecsElapsed();
            flush.samples.push_back((placed - lastCopied) / 1e9);
            verify.samples.push_back((end - placed) / 1e9);
            return end / 1e9;
        },
        [&] {
            bool ok = true;
            const double s = Bench::timeOf([&] {
                ok = runTool(QStringLiteral("mv"), {source, into + QStringLiteral("/")});
            });
            return ok ? s : -1.0;
        },
        prepare);
    FileSteps::setStepHook({});
    Bench::report(QStringLiteral("(c) move of (b) to a tmpfs"), t.ours, treeThreads, QStringLiteral("mv"),
                  t.theirs, 1);
    Bench::spread(QStringLiteral("(c) flush of the target"), flush, "ms", 1000);
    Bench::spread(QStringLiteral("(c) verification and removal of the originals"), verify, "ms", 1000);
    Bench::unmount(vol);
    return 0;
}

const Bench::Registration registration(
    "copy",
    "copy/move engine against cp -a and mv, each followed by a flush of its volume: (a) 1 GiB, (b) 20000 "
    "small files (--files N), "
    "(c) move of (b) to a tmpfs, (d) 250000 files in a deep tree (--deep N), (e) 200 files of 8 to 64 KiB "
    "and one of 200 MiB; the fixture lies in TMPDIR, the copies in --to DIR (default: beside it); cases a to "
    "e (all by default); about half an hour, most of it (d)",
    run);

} // namespace
