#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The benchmark harness: each subcommand registers itself with a static Bench::Registration.
namespace Bench {

using Run = std::function<int(const QStringList &args)>;

struct Registration {
    Registration(const char *name, const char *help, Run run);
};

// Seconds of the fastest of `times` runs of fn.
double bestOf(int times, const std::function<void()> &fn);
// Seconds of the fastest of `times` runs of a system tool; its output is discarded. A tool that fails or
// is missing gives a negative value.
double bestOfCommand(int times, const QString &program, const QStringList &args, const QString &workDir = {});
// Prints "<label>: ours X s, <tool> Y s" and the closing "ratio: X" line (ours ÷ theirs).
void report(const QString &label, double ours, const QString &tool, double theirs);
// The fixture of the pane benchmarks under root: "big" with count empty files, an empty "small", and private
// settings so that the user's stored sort order does not change what is measured. Nothing when a file can't
// be made.
struct PaneFolders {
    QString big, small;
};
std::optional<PaneFolders> paneFixture(const QString &root, int count);

// Resident set size of this process in bytes (from /proc/self/statm).
qint64 residentBytes();

} // namespace Bench
