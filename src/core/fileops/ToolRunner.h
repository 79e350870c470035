#pragma once

// Runs one system tool as a child process and waits for it, stopping it when the job
// is cancelled. Blocks: call it from a background thread.

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TransferProgress;
namespace FileSteps {
class HeldFolder;
}

namespace FileActions {

struct ToolTimings {
    int pollMs = 150;   // how often the cancel flag is looked at
    int graceMs = 2000; // after SIGTERM, before SIGKILL
};

// What a tool gets of ours beyond its arguments: a held folder to work in (entered by its descriptor,
// whatever its path leads to by then), and a descriptor left open for it, named to it as
// /proc/self/fd/N (passedPath).
struct ToolFiles {
    const FileSteps::HeldFolder *workingFolder = nullptr;
    int passed = -1;
    QString passedPath() const { return QStringLiteral("/proc/self/fd/") + QString::number(passed); }
};

// Looked at with the cancel flag while a tool runs; false stops it (and *stopped is set).
using ToolWatch = std::function<bool()>;

// Nothing on success; otherwise one line for a toast: the tool's own error text, or
// "Beendet mit Fehler %d.". Arguments go to the tool as they are (no shell). The tool
// always runs with LC_ALL=C.UTF-8, so names reach it and come back as UTF-8; `environment`
// adds to (and overrides) the inherited variables. On success `said` gets the warnings the tool wrote.
std::optional<QString> runTool(const QString &tool, const QStringList &arguments, const ToolFiles &files = {},
                               const QHash<QString, QString> &environment = {},
                               TransferProgress *progress = nullptr, const ToolTimings &timings = {},
                               const ToolWatch &watch = {}, bool *stopped = nullptr, QString *said = nullptr);
// `producer | consumer`, with every piece of the producer's output passing through us: admit(piece size)
// is asked before a piece goes on, and false stops both tools (*stopped is set). So the consumer never
// gets more than was admitted. Nothing on success, else the failing tool's words as for runTool
// (the producer's first: a consumer fails too when its input breaks off). A producer is heard to its end,
// also after a consumer that needed no more. `said`: the consumer's warnings, as for runTool.
std::optional<QString> runToolPipe(const QString &producer, const QStringList &producerArguments,
                                   const QString &consumer, const QStringList &consumerArguments,
                                   const std::function<bool(qint64)> &admit, bool *stopped = nullptr,
                                   TransferProgress *progress = nullptr, const ToolTimings &timings = {},
                                   const ToolFiles &producerFiles = {}, const ToolFiles &consumerFiles = {},
                                   QString *said = nullptr);
// The same, handing the tool's standard output to `output` piece by piece as it arrives.
std::optional<QString> runToolReading(const QString &tool, const QStringList &arguments,
                                      const std::function<void(QByteArrayView)> &output,
                                      TransferProgress *progress = nullptr, const ToolTimings &timings = {},
                                      const ToolFiles &files = {});

} // namespace FileActions
