#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <vector>

// The benchmark harness: each subcommand registers itself with a static Bench::Registration.
namespace Bench {

using Run = std::function<int(const QStringList &args)>;

struct Registration {
    Registration(const char *name, const char *help, Run run);
};

// The spread of a few timings, in seconds.
struct Stats {
    std::vector<double> samples;
    double min() const;
    double median() const;
    double max() const;
    bool ok() const { return !samples.empty(); }
};

// Seconds one run of fn takes.
double timeOf(const std::function<void()> &fn);
// Seconds one run of a system tool takes, its output discarded; negative when it fails or is missing.
// Writes back the dirty data of the file system that holds path only: a global sync would wait for what
// other programs have written, too.
void flushVolume(const QString &path);
// exitCode, where given, receives the program's exit code (a pipeline's may be non-zero by design).
double timeOfCommand(const QString &program, const QStringList &args, const QString &workDir = {},
                     int *exitCode = nullptr);

// Ours and the reference taking turns (AB BA AB…), `times` runs each; each returns its seconds, negative
// when it failed (the reference's failure leaves its stats empty). prepare, when given, runs before every
// single run and is not timed.
struct Pair {
    Stats ours, theirs;
};
Pair alternate(int times, const std::function<double()> &ours, const std::function<double()> &theirs,
               const std::function<void()> &prepare = {});

// Prints "<label>: kestrin min/median/max … s (N threads), <tool> … (M threads)" and the closing
// "ratio: X … Y" line (median ÷ median, minimum ÷ minimum).
void report(const QString &label, const Stats &ours, int oursThreads, const QString &tool,
            const Stats &theirs, int theirsThreads);
// Processor time (user and system) used so far by this process's threads, or by its finished children.
double processorSeconds();
double childrenProcessorSeconds();
// Ours and a reference taking turns as alternate does, with the processor time of each run kept beside its
// wall time: ours as this process's (all its threads), theirs as the finished children's.
struct TimedPair : Pair {
    Stats oursCpu, theirsCpu;
};
TimedPair alternateWithCpu(int times, const std::function<double()> &ours,
                           const std::function<double()> &theirs, const std::function<void()> &prepare = {});
// "<label> processor time: kestrin min/median/max … s, <tool> … s".
void processorReport(const QString &label, const Stats &ours, const QString &tool, const Stats &theirs);
// "<label>: min/median/max a / b / c <unit>" for a figure without a reference; values scaled by factor.
void spread(const QString &label, const Stats &s, const char *unit, double factor = 1.0, int decimals = 1);

// A file of `size` bytes and the modification time mtime (seconds); false when it cannot be written.
bool writeFile(const QByteArray &path, qsizetype size, qint64 mtime);

// The value of "--files N" among args, else fallback. The first bare number counts too (older usage).
int filesArg(const QStringList &args, int fallback);
// The threads our listing uses for a folder of n entries.
int listingThreads(int n);

// The fixture of the pane benchmarks under root: "big" with count empty files, an empty "small", and private
// settings so that the user's stored sort order does not change what is measured. Nothing when a file can't
// be made.
struct PaneFolders {
    QString big, small;
};
std::optional<PaneFolders> paneFixture(const QString &root, int count);

// Installed by main for every bench: a signal that ends it (Ctrl+C, kill) first removes what TempDir and
// mountTmpfs made.
void cleanUpOnSignals();

// A temporary folder (a QTemporaryDir template; default: kestrin-bench-XXXXXX in TMPDIR) that goes on every
// way out: a return, an exception, or a signal, which first unmounts what mountTmpfs mounted.
class TempDir {
public:
    explicit TempDir(const QString &templatePath = {});
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    int m_slot = -1;
};

// Mounts a tmpfs of the given size on dir when we are root; false otherwise (the caller then uses the disk).
// Unmounted by unmount(), or by a signal that ends the bench.
bool mountTmpfs(const QString &dir, const QString &size);
// Another mount of the bench's, unmounted by unmount() or by a signal.
void holdMount(const QString &dir);
void unmount(const QString &dir);

// Resident set size of this process in bytes (from /proc/self/statm).
qint64 residentBytes();
// The largest resident set size this process has had so far, in bytes (getrusage; no lock taken).
qint64 peakResidentBytes();
// Starts the peak over from what is resident now.
void resetPeak();

} // namespace Bench
