#include "Bench.h"

#include "core/base/Defaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <map>
#include <unistd.h>

namespace Bench {
namespace {
struct Entry {
    QString help;
    Run run;
};
std::map<QString, Entry> &registry() {
    static std::map<QString, Entry> r;
    return r;
}
} // namespace

Registration::Registration(const char *name, const char *help, Run run) {
    registry()[QString::fromUtf8(name)] = Entry{QString::fromUtf8(help), std::move(run)};
}

double bestOf(int times, const std::function<void()> &fn) {
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < times; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        best = std::min(best, double(t.nsecsElapsed()) / 1e9);
    }
    return best;
}

double bestOfCommand(int times, const QString &program, const QStringList &args, const QString &workDir) {
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < times; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) return -1;
        best = std::min(best, double(t.nsecsElapsed()) / 1e9);
    }
    return best;
}

void report(const QString &label, double ours, const QString &tool, double theirs) {
    std::printf("%s: kestrin %.4f s, %s %.4f s\n", qPrintable(label), ours, qPrintable(tool), theirs);
    if (theirs > 0)
        std::printf("ratio: %.3f\n", ours / theirs);
    else
        std::printf("ratio: n/a (%s failed)\n", qPrintable(tool));
    std::fflush(stdout);
}

std::optional<PaneFolders> paneFixture(const QString &root, int count) {
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
    Defaults::resetForTests();
    const PaneFolders f{root + QStringLiteral("/big"), root + QStringLiteral("/small")};
    QDir().mkpath(f.big);
    QDir().mkpath(f.small);
    std::printf("fixture: %d files\n", count);
    for (int i = 0; i < count; ++i) {
        const QByteArray name =
            (f.big + QStringLiteral("/file-%1.txt").arg(i, 6, 10, QLatin1Char('0'))).toLocal8Bit();
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return std::nullopt;
        ::close(fd);
    }
    return f;
}

qint64 residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

} // namespace Bench

static void usage() {
    std::printf("usage: kestrin-bench <subcommand> [args]\n\n"
                "Each subcommand builds its own fixture in a temporary folder, times Kestrin's code and a\n"
                "reference system tool in the same run (best of 3 each) and ends with 'ratio: X'\n"
                "(Kestrin / reference; below 1 means Kestrin is faster).\n\nsubcommands:\n");
    for (const auto &[name, entry] : Bench::registry())
        std::printf("  %-10s %s\n", qPrintable(name), qPrintable(entry.help));
    if (Bench::registry().empty()) std::printf("  (none yet)\n");
}

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
        usage();
        return args.isEmpty() ? 1 : 0;
    }
    const auto it = Bench::registry().find(args[0]);
    if (it == Bench::registry().end()) {
        std::fprintf(stderr, "kestrin-bench: unknown subcommand %s\n", qPrintable(args[0]));
        usage();
        return 2;
    }
    return it->second.run(args.mid(1));
}
