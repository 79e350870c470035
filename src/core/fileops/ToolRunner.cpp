#include "core/fileops/ToolRunner.h"

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/TransferProgress.h"
#include "core/localisation/Lang.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

#include <initializer_list>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace FileActions {
namespace {

// Enough for any message worth showing; the rest is read and thrown away.
constexpr qsizetype errorKeep = 256 * 1024;

void keep(QByteArray &into, const QByteArray &more) {
    if (into.size() < errorKeep) into += more.left(errorKeep - into.size());
}

void prepare(QProcess &process, const QString &tool, const QStringList &arguments,
             const QHash<QString, QString> &environment, const ToolFiles &files = {}) {
    process.setProgram(tool);
    process.setArguments(arguments);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    process.setProcessEnvironment(env);
    // No controlling terminal: a tool that wants a password can't wait for one on ours.
    // A held folder is entered by its descriptor in the child: no path is looked up again.
    const int folder = files.workingFolder ? files.workingFolder->fd() : -1;
    process.setChildProcessModifier([folder, passed = files.passed] {
        ::setsid();
        if (folder >= 0 && ::fchdir(folder) != 0) ::_exit(127);
        if (passed >= 0 && ::fcntl(passed, F_SETFD, 0) != 0) ::_exit(127);
    });
}

std::optional<QString> notStarted(const QString &tool, const QProcess &process) {
    return LF("„%@“ ließ sich nicht starten: %@", QFileInfo(tool).fileName(), process.errorString());
}

// Nothing when the tool ended well, else its words or its exit status.
// `said` gets what it wrote to standard error when it ended well.
std::optional<QString> outcome(const QProcess &process, const QByteArray &errors, QString *said = nullptr) {
    const int status = process.exitCode(); // the signal number when the tool was killed
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(decode(errors)).trimmed();
    if (process.exitStatus() == QProcess::NormalExit && status == 0) {
        if (said) *said = text;
        return std::nullopt;
    }
    if (!decode.hasError() && !text.isEmpty()) return text;
    return LF("Beendet mit Fehler %d.", status);
}

// SIGTERM, then SIGKILL after the grace time; reads standard error meanwhile.
void stopAll(std::initializer_list<std::pair<QProcess *, QByteArray *>> processes,
             const ToolTimings &timings) {
    for (const auto &[process, errors] : processes)
        if (process->state() != QProcess::NotRunning) process->terminate();
    QDeadlineTimer killAt(timings.graceMs);
    for (const auto &[process, errors] : processes) {
        while (process->state() != QProcess::NotRunning) {
            if (killAt.hasExpired()) process->kill();
            process->waitForFinished(timings.pollMs);
            keep(*errors, process->readAllStandardError());
        }
        keep(*errors, process->readAllStandardError());
    }
}

std::optional<QString> run(const QString &tool, const QStringList &arguments, const ToolFiles &files,
                           const QHash<QString, QString> &environment,
                           const std::function<void(QByteArrayView)> &output, TransferProgress *progress,
                           const ToolTimings &timings, const ToolWatch &watch, bool *stopped, QString *said) {
    QProcess process;
    prepare(process, tool, arguments, environment, files);
    // Unread output goes nowhere, so a chatty tool can never fill a pipe and stall.
    if (!output) process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());

    process.start();
    if (!process.waitForStarted(-1)) return notStarted(tool, process);

    QByteArray errors;
    for (;;) {
        // waitForFinished also reads standard error as it arrives, so that pipe never fills either.
        if (process.waitForFinished(timings.pollMs) || process.state() == QProcess::NotRunning) break;
        keep(errors, process.readAllStandardError());
        if (output) output(process.readAllStandardOutput());
        const bool halt = watch && !watch();
        if (halt && stopped) *stopped = true;
        if (halt || (progress && progress->isCancelled())) {
            stopAll({{&process, &errors}}, timings);
            break;
        }
    }
    keep(errors, process.readAllStandardError());
    if (output) output(process.readAllStandardOutput());
    return outcome(process, errors, said);
}

} // namespace

std::optional<QString> runTool(const QString &tool, const QStringList &arguments, const ToolFiles &files,
                               const QHash<QString, QString> &environment, TransferProgress *progress,
                               const ToolTimings &timings, const ToolWatch &watch, bool *stopped,
                               QString *said) {
    return run(tool, arguments, files, environment, {}, progress, timings, watch, stopped, said);
}

std::optional<QString> runToolReading(const QString &tool, const QStringList &arguments,
                                      const std::function<void(QByteArrayView)> &output,
                                      TransferProgress *progress, const ToolTimings &timings,
                                      const ToolFiles &files) {
    return run(tool, arguments, files, {}, output, progress, timings, {}, nullptr, nullptr);
}

std::optional<QString> runToolPipe(const QString &producer, const QStringList &producerArguments,
                                   const QString &consumer, const QStringList &consumerArguments,
                                   const std::function<bool(qint64)> &admit, bool *stopped,
                                   TransferProgress *progress, const ToolTimings &timings,
                                   const ToolFiles &producerFiles, const ToolFiles &consumerFiles,
                                   QString *said) {
    // Pieces no larger than a pipe holds: the consumer is never far ahead of what was admitted.
    constexpr qint64 piece = 64 * 1024;
    QProcess from, to;
    prepare(from, producer, producerArguments, {}, producerFiles);
    prepare(to, consumer, consumerArguments, {}, consumerFiles);
    from.setStandardInputFile(QProcess::nullDevice());
    to.setStandardOutputFile(QProcess::nullDevice());
    from.start();
    if (!from.waitForStarted(-1)) return notStarted(producer, from);
    to.start();
    if (!to.waitForStarted(-1)) {
        QByteArray ignored;
        stopAll({{&from, &ignored}}, timings);
        return notStarted(consumer, to);
    }

    QByteArray fromErrors, toErrors;
    const auto cancelled = [progress] { return progress && progress->isCancelled(); };
    bool halt = false;
    while (!halt && to.state() != QProcess::NotRunning) {
        if (from.bytesAvailable() == 0 && !from.waitForReadyRead(timings.pollMs)) {
            keep(fromErrors, from.readAllStandardError());
            keep(toErrors, to.readAllStandardError());
            if (cancelled()) halt = true;
            if (from.state() == QProcess::NotRunning && from.bytesAvailable() == 0) break;
            continue;
        }
        const QByteArray chunk = from.read(piece);
        if (!admit(chunk.size())) {
            if (stopped) *stopped = true;
            halt = true;
            break;
        }
        to.write(chunk);
        while (to.bytesToWrite() > 0 && to.state() != QProcess::NotRunning && !halt) {
            to.waitForBytesWritten(timings.pollMs);
            keep(toErrors, to.readAllStandardError());
            halt = cancelled();
        }
        keep(fromErrors, from.readAllStandardError());
    }
    if (!halt) {
        to.closeWriteChannel();
        while (!to.waitForFinished(timings.pollMs) && to.state() != QProcess::NotRunning) {
            keep(toErrors, to.readAllStandardError());
            if (cancelled()) break;
        }
    }
    // A consumer that is done before its input ends (a tar's end marker comes before a stream's checksum)
    // leaves the producer the rest to check: it is read and dropped until the producer says how it went.
    // Bounded: what follows a tar's end is a record's padding, not the endless output of a producer that
    // never ends (or a stream that inflates to terabytes); past the bound the producer is stopped as before.
    constexpr qint64 drainBound = 16 << 20;
    if (!halt && to.exitStatus() == QProcess::NormalExit && to.exitCode() == 0)
        for (qint64 drained = 0; !cancelled() && drained <= drainBound;) {
            drained += from.readAllStandardOutput().size();
            keep(fromErrors, from.readAllStandardError());
            if (from.state() == QProcess::NotRunning) break;
            from.waitForReadyRead(timings.pollMs);
        }
    // A consumer that gave up first leaves a producer that we stop: its end says nothing.
    const bool producerEnded = from.state() == QProcess::NotRunning;
    stopAll({{&from, &fromErrors}, {&to, &toErrors}}, timings);
    if (producerEnded) {
        const std::optional<QString> failed = outcome(from, fromErrors);
        // gzip ends with 2 where it only warns of what follows a whole, checked stream (a tape's zeros).
        const bool onlyWarned = failed && from.exitStatus() == QProcess::NormalExit && from.exitCode() == 2 &&
                                failed->contains(QLatin1String("decompression OK"));
        if (failed && !onlyWarned) return failed;
    }
    return outcome(to, toErrors, said);
}

} // namespace FileActions
