// Measures a tree of 500,000 files in 20,000 folders (2,000,000 on a tmpfs with --tmpfs); reference: du -s.
#include "Bench.h"

#include "core/tools/StorageScanner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <memory>
#include <vector>
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

// du -s over the given folders, eight processes at once, each over its share.
double eightDu(const QString &root, int tops) {
    std::vector<std::unique_ptr<QProcess>> running;
    QElapsedTimer t;
    t.start();
    for (int w = 0; w < 8; ++w) {
        QStringList args{QStringLiteral("-s")};
        for (int i = w; i < tops; i += 8)
            args << root + QStringLiteral("/top%1").arg(i);
        if (args.size() == 1) continue;
        auto p = std::make_unique<QProcess>();
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(QStringLiteral("du"), args);
        running.push_back(std::move(p));
    }
    bool ok = true;
    for (auto &p : running)
        ok &= p->waitForFinished(-1) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    return ok ? double(t.nsecsElapsed()) / 1e9 : -1;
}

StorageSnapshot scanWith(const QString &root, int walkers) {
    StorageScanner::Options o;
    o.threads = walkers;
    return StorageScanner::scan(
        root, [] { return false; }, {}, o);
}

// One folder holding `files` empty files, scanned by us against du -s: time and peak memory.
int flatRun(const QString &root, int files) {
    const QByteArray dir = QFile::encodeName(root + QStringLiteral("/flat"));
    ::mkdir(dir.constData(), 0755);
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (dfd < 0) return 1;
    for (int f = 0; f < files; ++f) {
        const QByteArray name = "file-" + QByteArray::number(f) + ".dat";
        const int fd = ::openat(dfd, name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 1;
        ::close(fd);
    }
    ::close(dfd);
    const QString path = QFile::decodeName(dir);
    std::printf("fixture: one folder of %d files\n", files);
    Bench::timeOfCommand(QStringLiteral("du"), {QStringLiteral("-s"), path});
    qint64 counted = 0, peak = 0;
    const qint64 before = Bench::residentBytes();
    const Bench::Pair t = Bench::alternate(
        3,
        [&] {
            Bench::resetPeak();
            const double s = Bench::timeOf([&] { counted = scanWith(path, 0).files; });
            peak = std::max(peak, Bench::peakResidentBytes());
            return s;
        },
        [&] {
            return Bench::timeOfCommand(QStringLiteral("du"), {QStringLiteral("-s"), path});
        });
    std::printf("counted: %lld files\n", static_cast<long long>(counted));
    std::printf("peak memory of the scan of one folder: %.1f MB (process; %.1f MB resident before)\n",
                double(peak) / 1e6, double(before) / 1e6);
    Bench::report(QStringLiteral("storage scan of one folder of %1 files").arg(files), t.ours,
                  StorageScanner::defaultWalkers() + 1, QStringLiteral("du -s"), t.theirs, 1);
    return counted == files ? 0 : 1;
}

int run(const QStringList &args) {
    const bool onTmpfs = args.contains(QStringLiteral("--tmpfs"));
    const int files = onTmpfs ? 2000000 : 500000, folders = onTmpfs ? 80000 : 20000;
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    QString root = tmp.path();
    if (onTmpfs) {
        if (!Bench::mountTmpfs(root, QStringLiteral("2g,nr_inodes=3000000"))) {
            std::fprintf(stderr, "--tmpfs needs root (mount)\n");
            return 1;
        }
    }
    const qsizetype flatAt = args.indexOf(QStringLiteral("--flat"));
    if (flatAt >= 0) {
        const int rc = flatRun(root, std::max(1, args.value(flatAt + 1).toInt()));
        if (onTmpfs) Bench::unmount(root);
        return rc;
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
            3, [&] { return Bench::timeOf([&] { last = scanWith(root, 0); }); },
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
        // The walkers and the calling thread, which lists the top folder and then waits.
        const int walkers = StorageScanner::defaultWalkers();
        Bench::report(QStringLiteral("storage scan (%1 walkers and the caller)").arg(walkers), times.ours,
                      walkers + 1, QStringLiteral("du -s"), times.theirs, 1);

        // Like with like: one walker against one du, eight walkers against eight du at once.
        const Bench::Pair one = Bench::alternate(
            3, [&] { return Bench::timeOf([&] { scanWith(root, 1); }); },
            [&] {
                return Bench::timeOfCommand(QStringLiteral("du"), {QStringLiteral("-s"), root});
            });
        Bench::report(QStringLiteral("storage scan, one walker"), one.ours, 1, QStringLiteral("du -s"),
                      one.theirs, 1);
        const int tops = std::max(1, folders / 100);
        const Bench::Pair eight = Bench::alternate(
            3, [&] { return Bench::timeOf([&] { scanWith(root, 8); }); },
            [&] { return eightDu(root, tops); });
        Bench::report(QStringLiteral("storage scan, 8 walkers"), eight.ours, 8,
                      QStringLiteral("8 x du -s at once"), eight.theirs, 8);
        rc = last.files > 0 ? 0 : 1;
    }
    if (onTmpfs) Bench::unmount(root);
    return rc;
}

const Bench::Registration
    reg("storage",
        "storage scan of 500,000 files in 20,000 folders (--tmpfs: 2,000,000 on a tmpfs; "
        "--flat N: one folder of N files, with the peak memory; reference: du -s); about 3 min (--tmpfs: "
        "10)",
        run);

} // namespace
