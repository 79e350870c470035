// kestrin-bench copy: the transfer engine against cp -a and mv.
#include "Bench.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/FileSteps.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

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

void clear(const QString &path) {
    FileOps::detail::removeTree(path);
    ::sync();
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
             const std::function<void(const QString &out)> &ours,
             const std::function<bool(const QString &out)> &theirs) {
    int n = 0;
    QStringList made;
    struct statfs fs;
    const bool tmpfs = ::statfs(QFile::encodeName(QFileInfo(outBase).path()).constData(), &fs) == 0 &&
                       fs.f_type == TMPFS_MAGIC;
    const auto fresh = [&] {
        if (tmpfs && made.size() >= 2) FileOps::detail::removeTree(made.takeFirst());
        const QString out = outBase + QStringLiteral("-%1").arg(n++);
        QDir().mkpath(out);
        made << out;
        ::sync();
        return out;
    };
    // Processor time (user and system) beside the wall time: with other work on the machine, a pool of
    // threads may get no more processor than one thread does.
    Bench::Stats oursCpu, theirsCpu;
    const Bench::Pair t = Bench::alternate(
        times,
        [&] {
            const QString out = fresh();
            const double before = cpuSeconds(RUSAGE_SELF);
            const double s = Bench::timeOf([&] { ours(out); });
            oursCpu.samples.push_back(cpuSeconds(RUSAGE_SELF) - before);
            return s;
        },
        [&] {
            const QString out = fresh();
            bool ok = true;
            const double before = cpuSeconds(RUSAGE_CHILDREN);
            const double s = Bench::timeOf([&] { ok = theirs(out); });
            theirsCpu.samples.push_back(cpuSeconds(RUSAGE_CHILDREN) - before);
            return ok ? s : -1.0;
        });
    Bench::report(label, t.ours, oursThreads, tool, t.theirs, 1);
    Bench::spread(label + QStringLiteral(" processor time, kestrin"), oursCpu, "s", 1.0, 4);
    Bench::spread(label + QStringLiteral(" processor time, ") + tool, theirsCpu, "s", 1.0, 4);
    for (const QString &out : made)
        FileOps::detail::removeTree(out);
    ::sync();
}

// "--deep N": the files of case (d).
int deepArg(const QStringList &args) {
    for (qsizetype i = 0; i + 1 < args.size(); ++i)
        if (args[i] == u"--deep") return std::max(1, args[i + 1].toInt());
    return 250000;
}

QByteArray bytesOf(const QString &path) {
    return FileOps::detail::bytesOf(path);
}

// A tree is walked by one thread while others copy its files; a single file is copied by one.
constexpr int treeThreads = 1 + FileOps::detail::copyThreads;

int run(const QStringList &args) {
    // Cases to run ("a" … "d"); all of them by default.
    auto want = [&](const char *c) {
        for (const QString &a : args)
            if (a.size() == 1 && a[0].isLetter()) return args.contains(QString::fromLatin1(c));
        return true;
    };
    const int files = Bench::filesArg(args, 20000);
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-XXXXXX"));
    if (!tmp.isValid()) return 1;
    const QString base = tmp.path();

    // (a) one file of 1 GiB within one file system.
    const QString big = base + QStringLiteral("/big.bin");
    if (want("a")) {
        writeFile(big, qint64(1) << 30, 7);
        ::sync();
        compare(
            QStringLiteral("(a) 1 GiB file"), QStringLiteral("cp -a"), 1, 3, base + QStringLiteral("/out-a"),
            [&](const QString &out) {
                TransferProgress p;
                FileOps::runWithProgress({big}, out, false, p);
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
        ::sync();
        compare(
            QStringLiteral("(b) %1 files of 4 KiB").arg(files), QStringLiteral("cp -a"), treeThreads, 5,
            base + QStringLiteral("/out-b"),
            [&](const QString &out) {
                TransferProgress p;
                FileOps::runWithProgress({tree}, out, false, p);
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), tree, out + QStringLiteral("/")});
            });
        clear(tree);
    }

    // (d) a deep tree of many small files, like a large source tree.
    const QString deep = base + QStringLiteral("/deep");
    if (want("d")) {
        const int deepFiles = deepArg(args);
        const int made = makeDeepTree(bytesOf(deep), deepFiles);
        ::sync();
        compare(
            QStringLiteral("(d) %1 files in a deep tree").arg(made), QStringLiteral("cp -a"), treeThreads, 3,
            base + QStringLiteral("/out-d"),
            [&](const QString &out) {
                TransferProgress p;
                FileOps::runWithProgress({deep}, out, false, p);
            },
            [&](const QString &out) {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), deep, out + QStringLiteral("/")});
            });
        clear(deep);
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
        ::sync();
    };
    // The phases of our move, timed where the engine reports its steps: the last file copied, the copy
    // put in place (after the one flush of the target), and the end (verification and removal of the
    // originals).
    QElapsedTimer clock;
    qint64 lastCopied = 0, placed = 0;
    FileOps::detail::setStepHook([&](FileOps::detail::Step step, const QString &) {
        if (step == FileOps::detail::Step::fileCopied) lastCopied = clock.nsecsElapsed();
        if (step == FileOps::detail::Step::placed) placed = clock.nsecsElapsed();
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
    FileOps::detail::setStepHook({});
    Bench::report(QStringLiteral("(c) move of (b) to a tmpfs"), t.ours, treeThreads, QStringLiteral("mv"),
                  t.theirs, 1);
    Bench::spread(QStringLiteral("(c) flush of the target"), flush, "ms", 1000);
    Bench::spread(QStringLiteral("(c) verification and removal of the originals"), verify, "ms", 1000);
    Bench::unmount(vol);
    return 0;
}

const Bench::Registration registration(
    "copy",
    "copy/move engine against cp -a and mv: (a) 1 GiB, (b) 20000 small files (--files N), "
    "(c) move of (b) to a tmpfs, (d) 250000 files in a deep tree (--deep N); the fixture lies in TMPDIR",
    run);

} // namespace
