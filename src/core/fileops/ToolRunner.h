#pragma once

// Runs one system tool as a child process and waits for it, stopping it when the job
// is cancelled. Blocks: call it from a background thread.

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TransferProgress;

namespace FileActions {

struct ToolTimings {
    int pollMs = 150;   // how often the cancel flag is looked at
    int graceMs = 2000; // after SIGTERM, before SIGKILL
};

// Nothing on success; otherwise one line for a toast: the tool's own error text, or
// "Beendet mit Fehler %d.". Arguments go to the tool as they are (no shell). The tool
// always runs with LC_ALL=C.UTF-8, so names reach it and come back as UTF-8; `environment`
// adds to (and overrides) the inherited variables.
std::optional<QString> runTool(const QString &tool, const QStringList &arguments,
                               const std::optional<QString> &directory = std::nullopt,
                               const QHash<QString, QString> &environment = {},
                               TransferProgress *progress = nullptr, const ToolTimings &timings = {});
// The same, handing the tool's standard output to `output` piece by piece as it arrives.
std::optional<QString> runToolReading(const QString &tool, const QStringList &arguments,
                                      const std::function<void(QByteArrayView)> &output,
                                      TransferProgress *progress = nullptr, const ToolTimings &timings = {});

} // namespace FileActions
