#include "platform/Relaunch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cerrno>

#include <signal.h>
#include <unistd.h>

namespace {
const char *const predecessorVariable = "KESTRIN_PREDECESSOR_PID";
}

namespace Relaunch {

bool startSuccessor() {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(predecessorVariable), QString::number(::getpid()));
    process.setProcessEnvironment(env);
    return process.startDetached();
}

void awaitPredecessor() {
    const QByteArray raw = qgetenv(predecessorVariable);
    if (raw.isEmpty()) return;
    qunsetenv(predecessorVariable);
    bool ok = false;
    const qint64 pid = raw.toLongLong(&ok);
    if (!ok || pid <= 1 || pid == ::getpid()) return;
    // A second at least, as a new start after a restore is expected; then until the old one is gone.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        const bool gone = ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
        if (gone && clock.elapsed() >= 1000) return;
        QThread::msleep(50);
    }
}

} // namespace Relaunch
