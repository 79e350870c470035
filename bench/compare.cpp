// Folder compare and sync against rsync on the same trees.
//   compare [folders] [files]: two trees of 1,000 folders x 100 files, 1 % sizes changed, 1 % times shifted,
//     0.5 % one-sided; reference: rsync -rlt -u --modify-window=2 --delete -n -i (a dry run).
//   sync [files]: 100,000 one-sided 4 KiB files; reference: rsync -a, then a flush of its volume.
#include "Bench.h"

#include "core/filesteps/TransferProgress.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeFile(const QByteArray &path, qsizetype size, qint64 mtime) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    static const QByteArray block(4096, 'k');
    bool ok = true;
    for (qsizetype left = size; left > 0 && ok; left -= block.size())
        ok = ::write(fd, block.constData(), size_t(std::min<qsizetype>(left, block.size()))) > 0;
    const timespec ts[2] = {{mtime, 0}, {mtime, 0}};
    ok = ok && ::futimens(fd, ts) == 0;
    ::close(fd);
    return ok;
}

// rsync's itemised changes: files to send and deletions, as relative paths.
QSet<QString> rsyncChanges(const QString &left, const QString &right, bool update) {
    QStringList args{QStringLiteral("-rlt"),
                     QStringLiteral("--modify-window=2"),
                     QStringLiteral("--delete"),
                     QStringLiteral("-n"),
                     QStringLiteral("-i"),
                     left + u'/',
                     right + u'/'};
    if (update) args.prepend(QStringLiteral("-u"));
    QProcess p;
    p.start(QStringLiteral("rsync"), args);
    p.waitForFinished(-1);
    QSet<QString> out;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("*deleting "))
            out.insert(QString::fromUtf8(line.mid(10).trimmed()));
        else if (line.startsWith(">f"))
            out.insert(QString::fromUtf8(line.mid(12).trimmed()));
    }
    return out;
}

int compareRun(const QStringList &args) {
    const int folders = args.size() > 0 ? args[0].toInt() : 1000;
    const int files = args.size() > 1 ? args[1].toInt() : 100;
    QTemporaryDir tmp;
    if (!tmp.isValid() || folders <= 0 || files <= 0) return 1;
    const QString left = tmp.path() + QStringLiteral("/L"), right = tmp.path() + QStringLiteral("/R");
    const qint64 base = 1'700'000'000;
    int sized = 0, shifted = 0, oneSided = 0;
    for (int d = 0; d < folders; ++d) {
        const QByteArray l = QFile::encodeName(left + QStringLiteral("/dir %1").arg(d));
        const QByteArray r = QFile::encodeName(right + QStringLiteral("/dir %1").arg(d));
        QDir().mkpath(QFile::decodeName(l));
        QDir().mkpath(QFile::decodeName(r));
        for (int f = 0; f < files; ++f) {
            const int n = d * files + f;
            const QByteArray name = "/file " + QByteArray::number(f) + ".dat";
            const qsizetype size = 100 + (n % 7) * 10;
            // Spread over the tree: every 100th sized, every 100th (offset 50) newer on the left, every 200th
            // (offset 25) on one side only, alternating.
            const bool changeSize = n % 100 == 0, shift = n % 100 == 50,
                       one = n % 200 == 25 || n % 200 == 125;
            if (one) {
                ++oneSided;
                if (!writeFile((n % 200 == 25 ? l : r) + name, size, base)) return 1;
                continue;
            }
            sized += changeSize;
            shifted += shift;
            if (!writeFile(l + name, size + (changeSize ? 1 : 0), shift ? base + 60 : base)) return 1;
            if (!writeFile(r + name, size, base)) return 1;
        }
    }
    // Warm cache and collation tables.
    FolderCompare::scan(left, right, [] { return false; });
    CompareResult result;
    const QStringList rsyncArgs{QStringLiteral("-rlt"),
                                QStringLiteral("-u"),
                                QStringLiteral("--modify-window=2"),
                                QStringLiteral("--delete"),
                                QStringLiteral("-n"),
                                QStringLiteral("-i"),
                                left + u'/',
                                right + u'/'};
    const Bench::Pair times = Bench::alternate(
        3,
        [&] {
            return Bench::timeOf([&] { result = FolderCompare::scan(left, right, [] { return false; }); });
        },
        [&] { return Bench::timeOfCommand(QStringLiteral("rsync"), rsyncArgs); });
    QSet<QString> ids, notSizeOnly;
    int counts[8] = {};
    for (const CompareRow &row : result.rows) {
        ids.insert(row.id);
        if (row.status != CompareRow::Status::different) notSizeOnly.insert(row.id);
        ++counts[int(row.status)];
    }
    // With -u and a modify window rsync passes over files whose times agree but sizes differ; without -u it
    // lists them too.
    const QSet<QString> withU = rsyncChanges(left, right, true), withoutU = rsyncChanges(left, right, false);
    std::printf("entries per side: %d, planted: %d sizes, %d times, %d one-sided\n", folders * files, sized,
                shifted, oneSided);
    std::printf(
        "rows: %lld (onlyLeft %d, onlyRight %d, leftNewer %d, rightNewer %d, different %d, other %d)\n",
        static_cast<long long>(result.rows.size()), counts[0], counts[1], counts[2], counts[3], counts[4],
        counts[5] + counts[6] + counts[7]);
    std::printf("rsync -u changes: %lld, same as the rows other than size-only differences: %s\n",
                static_cast<long long>(withU.size()), withU == notSizeOnly ? "yes" : "no");
    std::printf("rsync without -u changes: %lld, same as all rows: %s\n",
                static_cast<long long>(withoutU.size()), withoutU == ids ? "yes" : "no");
    Bench::report(QStringLiteral("compare two trees"), times.ours, 1, QStringLiteral("rsync -n -i"),
                  times.theirs, 1);
    return withU == notSizeOnly && withoutU == ids ? 0 : 1;
}

int syncRun(const QStringList &args) {
    const int count = args.isEmpty() ? 100000 : args.first().toInt();
    QTemporaryDir tmp;
    if (!tmp.isValid() || count <= 0) return 1;
    const QString src = tmp.path() + QStringLiteral("/src");
    QDir().mkpath(src);
    const QByteArray s = QFile::encodeName(src);
    for (int i = 0; i < count; ++i)
        if (!writeFile(s + "/f" + QByteArray::number(i), 4096, 1'700'000'000 + i % 1000)) return 1;
    // Each run into a folder of its own, never one just emptied. All made at once: a new folder's files
    // are placed near it, and what it costs to find free inodes differs from place to place.
    constexpr int runs = 4; // each tool first in two of them
    for (int i = 1; i <= runs; ++i)
        for (const char *who : {"/ours", "/rsync"})
            QDir().mkpath(tmp.path() + QLatin1String(who) + QString::number(i));
    // ext4 without a journal makes every new file search past the inodes freed in the last minute (five
    // more while their table is not written back), at up to ten times the cost of a file: whoever runs
    // first after a clean-up pays it. The runs start from a written-back volume, a minute on.
    Bench::flushVolume(src);
    QThread::sleep(65);
    int round = 0, theirsRound = 0;
    const Bench::TimedPair times = Bench::alternateWithCpu(
        runs,
        [&] {
            const QString dst = tmp.path() + QStringLiteral("/ours%1").arg(++round);
            return Bench::timeOf([&] {
                // With the roots the compare read, as the compare sheet hands them over.
                const CompareResult compared = FolderCompare::scan(src, dst, [] { return false; });
                QList<SyncStep> steps;
                for (const CompareRow &row : compared.rows)
                    steps << SyncStep{row, FolderCompare::action(row, SyncMode::leftToRight, false)};
                TransferProgress progress;
                FolderSync::run(src, dst, steps, progress, {compared.leftId, compared.rightId});
            });
        },
        [&] {
            const QString dst = tmp.path() + QStringLiteral("/rsync%1").arg(++theirsRound);
            // Our sync ends with a flush of the volume it wrote, so the reference's time holds one too.
            bool ok = false;
            const double s = Bench::timeOf([&] {
                ok = Bench::timeOfCommand(QStringLiteral("rsync"),
                                          {QStringLiteral("-a"), src + u'/', dst + u'/'}) >= 0;
                Bench::flushVolume(dst);
            });
            return ok ? s : -1.0;
        });
    const qsizetype rowsAfter =
        FolderCompare::scan(src, tmp.path() + QStringLiteral("/ours%1").arg(round), [] {
            return false;
        }).rows.size();
    std::printf("files: %d, rows of a second compare: %lld\n", count, static_cast<long long>(rowsAfter));
    // Nor is the next bench left a volume full of freed inodes not yet written back.
    tmp.remove();
    Bench::flushVolume(QDir::tempPath());
    // Each run's seconds in turn: where a run's files landed shows in its time.
    for (size_t i = 0; i < times.ours.samples.size() && i < times.theirs.samples.size(); ++i)
        std::printf("round %zu: kestrin %.2f s, rsync %.2f s\n", i + 1, times.ours.samples[i],
                    times.theirs.samples[i]);
    Bench::processorReport(QStringLiteral("sync"), times.oursCpu, QStringLiteral("rsync -a"),
                           times.theirsCpu);
    Bench::report(QStringLiteral("sync one-sided files (compare and copy)"), times.ours, 1,
                  QStringLiteral("rsync -a, then syncfs"), times.theirs, 1);
    return rowsAfter == 0 ? 0 : 1;
}

const Bench::Registration
    compareReg("compare", "compare two trees of 1,000 folders x 100 files (reference: rsync -n -i)",
               compareRun);
const Bench::Registration
    syncReg("sync", "sync 100,000 one-sided 4 KiB files (reference: rsync -a, then a flush of its volume)",
            syncRun);

} // namespace
