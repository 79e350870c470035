// Measures a tree of 500,000 files in 20,000 folders (2,000,000 on a tmpfs with --tmpfs); reference: du -s.
#include "Bench.h"

#include "core/tools/StorageScanner.h"

#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Peak resident size of this process so far (VmHWM), in bytes.
qint64 peakBytes() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

bool makeTree(const QByteArray &root, int files, int folders) {
    const int top = std::max(1, folders / 100);
    const int perTop = std::max(1, folders / top);
    const int perFolder = std::max(1, files / (top * perTop));
    for (int t = 0; t < top; ++t) {
        const QByteArray a = root + "/top" + QByteArray::number(t);
        ::mkdir(a.constData(), 0755);
        for (int s = 0; s < perTop; ++s) {
            const QByteArray b = a + "/sub" + QByteArray::number(s);
            ::mkdir(b.constData(), 0755);
            const int dfd = ::open(b.constData(), O_RDONLY | O_DIRECTORY);
            if (dfd < 0) return false;
            for (int f = 0; f < perFolder; ++f) {
                const QByteArray name = "file" + QByteArray::number(f) + ".dat";
                const int fd = ::openat(dfd, name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0) {
                    ::close(dfd);
                    return false;
                }
                if (f % 16 == 0 && ::write(fd, "0123456789", 10) < 0) return false;
                ::close(fd);
            }
            ::close(dfd);
        }
    }
    return true;
}

int run(const QStringList &args) {
    const bool onTmpfs = args.contains(QStringLiteral("--tmpfs"));
    const int files = onTmpfs ? 2000000 : 500000, folders = onTmpfs ? 80000 : 20000;
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    QString root = tmp.path();
    if (onTmpfs) {
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=2g,nr_inodes=3000000"), QStringLiteral("kestrinbench"),
                               root}) != 0) {
            std::fprintf(stderr, "--tmpfs needs root (mount)\n");
            return 1;
        }
    }
    std::printf("fixture: %d files in %d folders%s\n", files, folders, onTmpfs ? " on tmpfs" : "");
    std::fflush(stdout);
    const bool made = makeTree(QFile::encodeName(root), files, folders);
    int rc = made ? 0 : 1;
    if (made) {
        // Warm the cache for both.
        Bench::timeOfCommand(QStringLiteral("du"), {QStringLiteral("-s"), root});
        StorageSnapshot last;
        const qint64 before = peakBytes();
        const Bench::Pair times = Bench::alternate(
            3,
            [&] {
                return Bench::timeOf([&] { last = StorageScanner::scan(root, [] { return false; }, {}); });
            },
            [&] {
                return Bench::timeOfCommand(QStringLiteral("du"), {QStringLiteral("-s"), root});
            });
        const qint64 peak = peakBytes();
        const double ours = times.ours.median();
        std::printf("counted: %lld files, %lld folders, %lld bytes\n", static_cast<long long>(last.files),
                    static_cast<long long>(last.folders), static_cast<long long>(last.total));
        std::printf("files per second: %.0f\n", double(last.files) / ours);
        std::printf("peak memory: %.1f MB (process), %.1f MB more during the scans\n", double(peak) / 1e6,
                    double(peak - before) / 1e6);
        Bench::report(QStringLiteral("storage scan"), times.ours, QThread::idealThreadCount(),
                      QStringLiteral("du -s"), times.theirs, 1);
        rc = last.files > 0 ? 0 : 1;
    }
    if (onTmpfs) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), root});
    return rc;
}

const Bench::Registration
    reg("storage",
        "storage scan of 500,000 files in 20,000 folders (--tmpfs: 2,000,000 on a tmpfs; "
        "reference: du -s)",
        run);

} // namespace
