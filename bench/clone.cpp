// kestrin-bench clone: a copy within a btrfs volume that clones, with less free space than the file's size,
// against cp --reflink=auto. Needs root, mkfs.btrfs and losetup.
#include "Bench.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

#include <sys/mount.h>
#include <unistd.h>

namespace {

// The program's output, or a null string when it failed.
QString tool(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput() + ' ');
}

// "--size N": the file's MiB (1024 by default); the volume is made twice as large less a fifth, so that
// what is free after the file is less than the file.
qint64 sizeArg(const QStringList &args) {
    for (qsizetype i = 0; i + 1 < args.size(); ++i)
        if (args[i] == u"--size") return std::max(64, args[i + 1].toInt());
    return 1024;
}

int run(const QStringList &args) {
    const qint64 mib = sizeArg(args);
    const QString mkfs = QStandardPaths::findExecutable(
        QStringLiteral("mkfs.btrfs"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (::geteuid() != 0 || mkfs.isEmpty()) {
        std::printf("clone: skipped (needs root and mkfs.btrfs)\nratio: n/a (skipped)\n");
        return 0;
    }
    Bench::TempDir tmp(QDir::tempPath() + QStringLiteral("/kestrin-bench-XXXXXX"));
    const QString image = tmp.path() + QStringLiteral("/btrfs.img"),
                  vol = tmp.path() + QStringLiteral("/vol");
    QFile img(image);
    if (!tmp.isValid() || !QDir().mkpath(vol) || !img.open(QIODevice::WriteOnly) ||
        !img.resize((mib * 2 - mib / 5 + 128) << 20))
        return 1;
    img.close();
    const QString loop =
        tool(QStringLiteral("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image})
            .trimmed();
    if (loop.isEmpty()) return 1;
    int rc = 1;
    const bool mounted = !tool(mkfs, {QStringLiteral("-q"), QStringLiteral("-f"), loop}).isNull() &&
                         ::mount(QFile::encodeName(loop).constData(), QFile::encodeName(vol).constData(),
                                 "btrfs", 0, nullptr) == 0;
    // Detached at once: once mounted, the device goes with the unmount, however the bench ends.
    tool(QStringLiteral("losetup"), {QStringLiteral("-d"), loop});
    if (mounted) {
        Bench::holdMount(vol);
        const QString big = vol + QStringLiteral("/big.bin");
        QFile f(big);
        if (f.open(QIODevice::WriteOnly)) {
            QByteArray chunk(1 << 20, Qt::Uninitialized);
            for (qint64 i = 0; i < mib; ++i) {
                for (int j = 0; j < chunk.size(); ++j)
                    chunk[j] = char((j * 31 + i) & 0xff);
                f.write(chunk);
            }
            f.close();
        }
        Bench::flushVolume(vol);
        const std::optional<qint64> free = FileOps::freeBytes(vol);
        std::printf("clone: %lld MiB file on btrfs, %.0f MiB free\n", static_cast<long long>(mib),
                    free ? double(*free) / (1 << 20) : -1.0);
        int n = 0;
        QString out;
        const auto prepare = [&] {
            if (!out.isEmpty()) FileSteps::removeTree(out);
            out = vol + QStringLiteral("/out-%1").arg(n++);
            QDir().mkpath(out);
            Bench::flushVolume(vol);
        };
        const Bench::Pair t = Bench::alternate(
            15,
            [&] {
                QString error;
                const double s = Bench::timeOf([&] {
                    TransferProgress p;
                    const TransferOutcome o = FileOps::runWithProgress({big}, out, false, p);
                    if (!o.errors.isEmpty()) error = o.errors.first();
                });
                if (!error.isEmpty()) std::printf("kestrin: %s\n", qPrintable(error));
                return error.isEmpty() ? s : -1.0;
            },
            [&] {
                // Our jobs end with a flush of the destination's volume, so the reference's time holds one
                // too.
                bool ok = true;
                const double s = Bench::timeOf([&] {
                    ok = !tool(QStringLiteral("cp"), {QStringLiteral("--reflink=auto"), big, out + u'/'})
                              .isNull();
                    Bench::flushVolume(vol);
                });
                return ok ? s : -1.0;
            },
            prepare);
        Bench::report(QStringLiteral("(clone) %1 MiB within btrfs").arg(mib), t.ours, 1,
                      QStringLiteral("cp --reflink=auto"), t.theirs, 1);
        rc = t.ours.ok() ? 0 : 1;
        Bench::unmount(vol);
    }
    return rc;
}

const Bench::Registration registration(
    "clone",
    "a copy of a file within a btrfs volume that holds less free space than the file (--size MiB, 1024 by "
    "default) against cp --reflink=auto; needs root and mkfs.btrfs; under a minute",
    run);

} // namespace
