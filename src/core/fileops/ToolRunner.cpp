#include "core/fileops/ToolRunner.h"

#include "core/fileops/TransferProgress.h"
#include "core/localisation/Lang.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

#include <unistd.h>

namespace FileActions {
namespace {

// Enough for any message worth showing; the rest is read and thrown away.
constexpr qsizetype errorKeep = 256 * 1024;

void keep(QByteArray &into, const QByteArray &more) {
    if (into.size() < errorKeep) into += more.left(errorKeep - into.size());
}

std::optional<QString> run(const QString &tool, const QStringList &arguments,
                           const std::optional<QString> &directory,
                           const QHash<QString, QString> &environment,
                           const std::function<void(QByteArrayView)> &output, TransferProgress *progress,
                           const ToolTimings &timings) {
    QProcess process;
    process.setProgram(tool);
    process.setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    if (directory) process.setWorkingDirectory(*directory);
    // Unread output goes nowhere, so a chatty tool can never fill a pipe and stall.
    if (!output) process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    // No controlling terminal: a tool that wants a password can't wait for one on ours.
    process.setChildProcessModifier([] { ::setsid(); });

    process.start();
    if (!process.waitForStarted(-1))
        return LF("„%@“ ließ sich nicht starten: %@", QFileInfo(tool).fileName(), process.errorString());

    QByteArray errors;
    bool terminated = false;
    QDeadlineTimer killAt;
    for (;;) {
        // waitForFinished also reads standard error as it arrives, so that pipe never fills either.
        if (process.waitForFinished(timings.pollMs) || process.state() == QProcess::NotRunning) break;
        keep(errors, process.readAllStandardError());
        if (output) output(process.readAllStandardOutput());
        if (!progress) continue;
        if (!terminated && progress->isCancelled()) {
            process.terminate();
            terminated = true;
            killAt.setRemainingTime(timings.graceMs);
        } else if (terminated && killAt.hasExpired()) {
            process.kill();
        }
    }
    keep(errors, process.readAllStandardError());
    if (output) output(process.readAllStandardOutput());

    const int status = process.exitCode(); // the signal number when the tool was killed
    if (process.exitStatus() == QProcess::NormalExit && status == 0) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(decode(errors)).trimmed();
    if (!decode.hasError() && !text.isEmpty()) return text;
    return LF("Beendet mit Fehler %d.", status);
}

} // namespace

std::optional<QString> runTool(const QString &tool, const QStringList &arguments,
                               const std::optional<QString> &directory,
                               const QHash<QString, QString> &environment, TransferProgress *progress,
                               const ToolTimings &timings) {
    return run(tool, arguments, directory, environment, {}, progress, timings);
}

std::optional<QString> runToolReading(const QString &tool, const QStringList &arguments,
                                      const std::function<void(QByteArrayView)> &output,
                                      TransferProgress *progress, const ToolTimings &timings) {
    return run(tool, arguments, std::nullopt, {}, output, progress, timings);
}

} // namespace FileActions
