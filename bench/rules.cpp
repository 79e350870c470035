// Matches one cleanup rule in a folder of 100,000 files; reference: find -maxdepth 1 with the same condition.
#include "Bench.h"

#include "core/tools/RulesEngine.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int run(const QStringList &args) {
    const int count = args.isEmpty() ? 100000 : args.first().toInt();
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    const QByteArray dir = QFile::encodeName(tmp.path() + QStringLiteral("/big"));
    ::mkdir(dir.constData(), 0755);
    const char *const names[] = {"Bildschirmfoto ", "Dokument ", "shot ", "Foto "};
    const char *const exts[] = {".png", ".jpg", ".txt", ".png"};
    // Old enough to match: a day ago.
    const time_t old = time_t(QDateTime::currentSecsSinceEpoch() - 86400);
    const struct timespec times[2] = {{old, 0}, {old, 0}};
    for (int i = 0; i < count; ++i) {
        const QByteArray name = dir + '/' + names[i % 4] + QByteArray::number(i) + exts[(i / 4) % 4];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return 1;
        ::futimens(fd, times);
        ::close(fd);
    }
    CleanRule rule;
    rule.folder = QFile::decodeName(dir);
    rule.nameContains = QStringLiteral("foto");
    rule.extensions = QStringLiteral("png");
    rule.action = QStringLiteral("trash");
    qsizetype found = 0;
    const QStringList findArgs{rule.folder,
                               QStringLiteral("-maxdepth"),
                               QStringLiteral("1"),
                               QStringLiteral("-type"),
                               QStringLiteral("f"),
                               QStringLiteral("-iname"),
                               QStringLiteral("*foto*.png"),
                               QStringLiteral("!"),
                               QStringLiteral("-name"),
                               QStringLiteral(".*")};
    const Bench::Pair timing = Bench::alternate(
        3, [&] { return Bench::timeOf([&] { found = RulesEngine::matches(rule).size(); }); },
        [&] { return Bench::timeOfCommand(QStringLiteral("find"), findArgs); });
    std::printf("matches: %lld of %d files\n", static_cast<long long>(found), count);
    Bench::report(QStringLiteral("rule matching"), timing.ours, 1, QStringLiteral("find -maxdepth 1 -iname"),
                  timing.theirs, 1);
    return found > 0 ? 0 : 1;
}

const Bench::Registration
    reg("rules", "match one cleanup rule in a folder of 100,000 files (reference: find); about half a minute",
        run);

} // namespace
