// Lists and sorts a folder of 100,000 files; reference: ls -l of the same folder.
#include "Bench.h"

#include "core/model/FileLoader.h"

#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kExtensions[] = {".txt", ".jpg", ".pdf", ".md", ".zip", "", ".cpp", ".mp3"};

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 100000);
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    const QByteArray dir = QFile::encodeName(tmp.path() + QStringLiteral("/big"));
    ::mkdir(dir.constData(), 0755);
    for (int i = 0; i < count; ++i) {
        const QByteArray name = dir + "/Datei " + QByteArray::number((i * 7919) % count) + kExtensions[i % 8];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 1;
        if (i % 3 == 0 && ::write(fd, "x", 1) < 0) return 1;
        ::close(fd);
    }
    const QString path = QFile::decodeName(dir);
    // Type tables and collation data load once per process; they are not part of a listing.
    FileLoader::sorted(FileLoader::list(tmp.path()).items, SortKey::name, false);

    qint64 growth = 0;
    qsizetype listed = 0;
    const Bench::TimedPair t = Bench::alternateWithCpu(
        5,
        [&] {
            const qint64 before = Bench::residentBytes();
            return Bench::timeOf([&] {
                FileLoader::Listing l = FileLoader::list(path);
                const QList<FileItem> items = FileLoader::sorted(std::move(l.items), SortKey::name, false);
                growth = std::max(growth, Bench::residentBytes() - before);
                listed = items.size();
            });
        },
        [&] {
            return Bench::timeOfCommand(QStringLiteral("ls"), {QStringLiteral("-l"), path});
        });
    std::printf("entries: %lld\n", static_cast<long long>(listed));
    std::printf("resident growth: %.1f MB (%.0f bytes per item)\n", double(growth) / 1e6,
                double(growth) / std::max(1, count));
    Bench::processorReport(QStringLiteral("list and sort by name"), t.oursCpu, QStringLiteral("ls -l"),
                           t.theirsCpu);
    Bench::report(QStringLiteral("list and sort by name"), t.ours, Bench::listingThreads(count),
                  QStringLiteral("ls -l"), t.theirs, 1);
    return listed == count ? 0 : 1;
}

const Bench::Registration
    reg("list", "list and sort a folder of 100,000 files (reference: ls -l); --files N; about 1.5 min", run);

} // namespace
