#include "Bench.h"

#include "core/base/Defaults.h"

#include <QApplication>
#include <algorithm>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <thread>
#include <vector>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

double Stats::min() const {
    return samples.empty() ? -1 : *std::min_element(samples.begin(), samples.end());
}

double Stats::max() const {
    return samples.empty() ? -1 : *std::max_element(samples.begin(), samples.end());
}

double Stats::median() const {
    if (samples.empty()) return -1;
    std::vector<double> s = samples;
    std::sort(s.begin(), s.end());
    const size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

double timeOf(const std::function<void()> &fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e9;
}

void flushVolume(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::syncfs(fd);
    ::close(fd);
}

double timeOfCommand(const QString &program, const QStringList &args, const QString &workDir, int *exitCode) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) return -1;
    if (exitCode) *exitCode = p.exitCode();
    return double(t.nsecsElapsed()) / 1e9;
}

Pair alternate(int times, const std::function<double()> &ours, const std::function<double()> &theirs,
               const std::function<void()> &prepare) {
    Pair out;
    bool theirsFailed = false;
    const auto runOurs = [&] {
        if (prepare) prepare();
        if (const double a = ours(); a >= 0) out.ours.samples.push_back(a);
    };
    const auto runTheirs = [&] {
        if (prepare) prepare();
        const double b = theirs();
        if (b < 0) theirsFailed = true;
        if (!theirsFailed) out.theirs.samples.push_back(b);
    };
    // Each round in the other order: whoever runs first after another's work pays for what that left
    // behind (on ext4, new files search past the inodes freed in the last minutes).
    for (int i = 0; i < times; ++i) {
        if (i % 2 == 0) {
            runOurs();
            runTheirs();
        } else {
            runTheirs();
            runOurs();
        }
    }
    if (theirsFailed) out.theirs.samples.clear();
    return out;
}

namespace {
double processorOf(int who) {
    struct rusage u {};
    ::getrusage(who, &u);
    auto sec = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}
} // namespace

double processorSeconds() {
    return processorOf(RUSAGE_SELF);
}

double childrenProcessorSeconds() {
    return processorOf(RUSAGE_CHILDREN);
}

TimedPair alternateWithCpu(int times, const std::function<double()> &ours,
                           const std::function<double()> &theirs, const std::function<void()> &prepare) {
    TimedPair out;
    const Pair p = alternate(
        times,
        [&] {
            const double before = processorSeconds();
            const double s = ours();
            out.oursCpu.samples.push_back(processorSeconds() - before);
            return s;
        },
        [&] {
            const double before = childrenProcessorSeconds();
            const double s = theirs();
            out.theirsCpu.samples.push_back(childrenProcessorSeconds() - before);
            return s;
        },
        prepare);
    out.ours = p.ours;
    out.theirs = p.theirs;
    return out;
}

void processorReport(const QString &label, const Stats &ours, const QString &tool, const Stats &theirs) {
    std::printf("%s processor time: kestrin min/median/max %.4f / %.4f / %.4f s, %s %.4f / %.4f / %.4f s\n",
                qPrintable(label), ours.min(), ours.median(), ours.max(), qPrintable(tool), theirs.min(),
                theirs.median(), theirs.max());
    std::fflush(stdout);
}

void report(const QString &label, const Stats &ours, int oursThreads, const QString &tool,
            const Stats &theirs, int theirsThreads) {
    std::printf("%s: kestrin min/median/max %.4f / %.4f / %.4f s (%d thread%s), ", qPrintable(label),
                ours.min(), ours.median(), ours.max(), oursThreads, oursThreads == 1 ? "" : "s");
    if (theirs.ok())
        std::printf("%s %.4f / %.4f / %.4f s (%d thread%s)\n", qPrintable(tool), theirs.min(),
                    theirs.median(), theirs.max(), theirsThreads, theirsThreads == 1 ? "" : "s");
    else
        std::printf("%s failed\n", qPrintable(tool));
    // Beside the medians, the minimums: on a virtual disk the times of either tool may fall into two
    // groups far apart, and a median of few runs then swings with the group it lands in.
    if (theirs.ok() && ours.ok() && theirs.median() > 0 && theirs.min() > 0)
        std::printf("ratio: %.3f (medians; %zu runs each, alternating), %.3f (minimums)\n",
                    ours.median() / theirs.median(), ours.samples.size(), ours.min() / theirs.min());
    else
        std::printf("ratio: n/a (%s failed)\n", qPrintable(tool));
    std::fflush(stdout);
}

void spread(const QString &label, const Stats &s, const char *unit, double factor, int decimals) {
    std::printf("%s: min/median/max %.*f / %.*f / %.*f %s\n", qPrintable(label), decimals, s.min() * factor,
                decimals, s.median() * factor, decimals, s.max() * factor, unit);
    std::fflush(stdout);
}

bool writeFile(const QByteArray &path, qsizetype size, qint64 mtime) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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

int filesArg(const QStringList &args, int fallback) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--files" && i + 1 < args.size()) return std::max(1, args[i + 1].toInt());
        if (args[i].startsWith(QLatin1String("--files="))) return std::max(1, args[i].mid(8).toInt());
    }
    for (const QString &a : args)
        if (a.toInt() > 0) return a.toInt();
    return fallback;
}

int listingThreads(int n) {
    // As the listing decides: a few threads from 4096 entries on.
    return n < 4096 ? 1 : int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

namespace {

// What a signal that ends the bench takes with it: the mounts first, then the folders they were in. Fixed
// buffers, for the handler allocates nothing.
constexpr int maxHeld = 8;
char g_mounts[maxHeld][512];
char g_folders[maxHeld][512];

int hold(char (&table)[maxHeld][512], const QString &path) {
    const QByteArray bytes = QFile::encodeName(path);
    for (int i = 0; i < maxHeld; ++i)
        if (!table[i][0] && size_t(bytes.size()) < sizeof table[i]) {
            std::memcpy(table[i], bytes.constData(), size_t(bytes.size()) + 1);
            return i;
        }
    return -1;
}

void letGo(char (&table)[maxHeld][512], const QString &path) {
    const QByteArray bytes = QFile::encodeName(path);
    for (char *held : table)
        if (bytes == held) held[0] = 0;
}

void onSignal(int sig) {
    for (char *m : g_mounts)
        if (m[0]) ::umount2(m, MNT_DETACH);
    for (char *f : g_folders) {
        if (!f[0]) continue;
        if (const pid_t child = ::fork(); child == 0) {
            ::execl("/bin/rm", "rm", "-rf", "--one-file-system", f, static_cast<char *>(nullptr));
            ::_exit(127);
        } else if (child > 0) {
            ::waitpid(child, nullptr, 0);
        }
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void cleanUpOnSignals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS})
        std::signal(sig, onSignal);
}

TempDir::TempDir(const QString &templatePath)
    : m_dir(templatePath.isEmpty() ? QDir::tempPath() + QStringLiteral("/kestrin-bench-XXXXXX")
                                   : templatePath) {
    if (m_dir.isValid()) m_slot = hold(g_folders, m_dir.path());
}

TempDir::~TempDir() {
    if (m_slot >= 0) g_folders[m_slot][0] = 0;
}

bool mountTmpfs(const QString &dir, const QString &size) {
    if (::geteuid() != 0) return false;
    QDir().mkpath(dir);
    QProcess p;
    p.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                      QStringLiteral("size=") + size, QStringLiteral("kestrinbench"), dir});
    const bool mounted = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (mounted) holdMount(dir);
    return mounted;
}

void holdMount(const QString &dir) {
    hold(g_mounts, dir);
}

void unmount(const QString &dir) {
    // A plain unmount first: it returns once the volume is written out, so no later measurement pays for
    // it; detached only where something still holds it.
    for (const QStringList &args : {QStringList{dir}, QStringList{QStringLiteral("-l"), dir}}) {
        QProcess p;
        p.start(QStringLiteral("umount"), args);
        if (p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) break;
    }
    letGo(g_mounts, dir);
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

qint64 peakResidentBytes() {
    // VmHWM, which resetPeak can start again; the process's lifetime peak where it can't be read.
    QFile f(QStringLiteral("/proc/self/status"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return qint64(u.ru_maxrss) * 1024;
}

void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

qint64 residentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

} // namespace Bench

static void usage() {
    std::printf(
        "usage: kestrin-bench <subcommand> [args]\n\n"
        "Each subcommand builds its own fixture in a temporary folder (TMPDIR) and removes it at the\n"
        "end, also when it fails or is stopped (Ctrl+C), after unmounting what it mounted. All but\n"
        "grid, menus and inspector time Kestrin's code and a reference in the same run, taking turns\n"
        "(ABABAB), print min/median/max of each side and the threads each used, and end with\n"
        "'ratio: X' (median of Kestrin / median of the reference; below 1 means Kestrin is faster);\n"
        "grid, menus and inspector measure against fixed goals. list, pane, view, grid, columns,\n"
        "menus, inspector, copy, scale and sync take --files N, the number of files of their fixture.\n"
        "The times given are rough, at the default sizes on a machine with an SSD, as root (which\n"
        "mounts volumes for copy, scale, clone, storage --tmpfs and sync).\n\nsubcommands:\n");
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
    Bench::cleanUpOnSignals();
    const auto it = Bench::registry().find(args[0]);
    if (it == Bench::registry().end()) {
        std::fprintf(stderr, "kestrin-bench: unknown subcommand %s\n", qPrintable(args[0]));
        usage();
        return 2;
    }
    return it->second.run(args.mid(1));
}
