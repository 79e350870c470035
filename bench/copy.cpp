// kestrin-bench copy: the transfer engine against cp -a and mv.
#include "Bench.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TreeWalk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <limits>

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

void makeSmallTree(const QString &root) {
    QByteArray data(4096, 'k');
    for (int d = 0; d < 200; ++d) {
        const QString dir = root + QStringLiteral("/d%1").arg(d);
        QDir().mkpath(dir);
        for (int f = 0; f < 100; ++f) {
            QFile file(dir + QStringLiteral("/f%1").arg(f));
            data[0] = char(f);
            if (file.open(QIODevice::WriteOnly)) file.write(data);
        }
    }
}

void clear(const QString &path) {
    FileOps::detail::removeTree(path);
    ::sync();
}

// Best of three, ours and theirs taking turns on the same fixture.
void compare(const QString &label, const QString &tool, const std::function<void()> &prepare,
             const std::function<void()> &ours, const std::function<bool()> &theirs) {
    double best = std::numeric_limits<double>::max(), bestTheirs = best;
    for (int i = 0; i < 3; ++i) {
        prepare();
        best = std::min(best, Bench::bestOf(1, ours));
        prepare();
        bool ok = true;
        const double t = Bench::bestOf(1, [&] { ok = theirs(); });
        bestTheirs = ok ? std::min(bestTheirs, t) : -1;
    }
    Bench::report(label, best, tool, bestTheirs);
}

int run(const QStringList &args) {
    // Cases to run ("a", "b", "c"); all of them by default.
    auto want = [&](const char *c) { return args.isEmpty() || args.contains(QString::fromLatin1(c)); };
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-XXXXXX"));
    if (!tmp.isValid()) return 1;
    const QString base = tmp.path();
    const QString out = base + QStringLiteral("/out");

    // (a) one file of 1 GiB within one file system.
    const QString big = base + QStringLiteral("/big.bin");
    if (want("a")) {
        writeFile(big, qint64(1) << 30, 7);
        ::sync();
        compare(
            QStringLiteral("(a) 1 GiB file"), QStringLiteral("cp -a"),
            [&] { clear(out), QDir().mkpath(out); },
            [&] {
                TransferProgress p;
                FileOps::runWithProgress({big}, out, false, p);
            },
            [&] {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), big, out + QStringLiteral("/")});
            });
        clear(out);
        clear(big);
    }

    // (b) 20,000 files of 4 KiB in 200 folders.
    const QString tree = base + QStringLiteral("/tree");
    if (want("b")) {
        makeSmallTree(tree);
        ::sync();
        compare(
            QStringLiteral("(b) 20000 files of 4 KiB"), QStringLiteral("cp -a"),
            [&] { clear(out), QDir().mkpath(out); },
            [&] {
                TransferProgress p;
                FileOps::runWithProgress({tree}, out, false, p);
            },
            [&] {
                return runTool(QStringLiteral("cp"), {QStringLiteral("-a"), tree, out + QStringLiteral("/")});
            });
        clear(out);
    }
    if (!want("c")) return 0;

    // (c) moving (b) to another file system.
    if (::geteuid() != 0) {
        std::printf("(c) move to another volume: skipped (needs root for a tmpfs)\nratio: n/a (skipped)\n");
        return 0;
    }
    const QString vol = base + QStringLiteral("/vol");
    QDir().mkpath(vol);
    if (!runTool(QStringLiteral("mount"),
                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                  QStringLiteral("size=1g"), QStringLiteral("kestrinbench"), vol})) {
        std::printf("(c) move to another volume: skipped (no tmpfs)\nratio: n/a (skipped)\n");
        return 0;
    }
    const QString moved = vol + QStringLiteral("/tree");
    auto prepare = [&] {
        FileOps::detail::removeTree(moved);
        FileOps::detail::removeTree(tree);
        makeSmallTree(tree);
        ::sync();
    };
    // What the flush and the verification cost: the same move without them.
    double bare = std::numeric_limits<double>::max();
    for (int i = 0; i < 3; ++i) {
        prepare();
        bare = std::min(bare, Bench::bestOf(1, [&] {
                            TransferProgress p;
                            FileOps::copyTree(tree, moved, p, false);
                            FileOps::detail::removeTree(tree);
                        }));
    }
    double full = std::numeric_limits<double>::max();
    compare(
        QStringLiteral("(c) move of (b) to a tmpfs"), QStringLiteral("mv"), prepare,
        [&] {
            full = std::min(full, Bench::bestOf(1, [&] {
                                TransferProgress p;
                                FileOps::runWithProgress({tree}, vol, true, p);
                            }));
        },
        [&] {
            return runTool(QStringLiteral("mv"), {tree, vol + QStringLiteral("/")});
        });
    std::printf("(c) flush and verification: %.4f s of %.4f s (unverified copy and delete %.4f s)\n",
                std::max(0.0, full - bare), full, bare);
    runTool(QStringLiteral("umount"), {QStringLiteral("-l"), vol});
    return 0;
}

const Bench::Registration
    registration("copy",
                 "copy/move engine against cp -a and mv: (a) 1 GiB, (b) 20000 small files, "
                 "(c) move of (b) to a tmpfs",
                 run);

} // namespace
