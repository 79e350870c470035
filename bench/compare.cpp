// Folder compare against rsync on the same trees.
//   compare [folders] [files]: two trees of 1,000 folders x 100 files, 1 % sizes changed, 1 % times shifted,
//     0.5 % one-sided; reference: rsync -rlt -u --modify-window=2 --delete -n -i (a dry run).
#include "Bench.h"

#include "core/tools/FolderCompare.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    Bench::TempDir tmp;
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
                if (!Bench::writeFile((n % 200 == 25 ? l : r) + name, size, base)) return 1;
                continue;
            }
            sized += changeSize;
            shifted += shift;
            if (!Bench::writeFile(l + name, size + (changeSize ? 1 : 0), shift ? base + 60 : base)) return 1;
            if (!Bench::writeFile(r + name, size, base)) return 1;
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

const Bench::Registration
    compareReg("compare",
               "compare two trees of 1,000 folders x 100 files (reference: rsync -n -i); about 2 min",
               compareRun);
} // namespace
