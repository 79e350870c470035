#include "common/TestChild.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QMap>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace TestChild {
namespace {

constexpr char kFlag[] = "--kestrin-test-child";
constexpr char kAlone[] = "KESTRIN_TEST_ALONE";

QMap<QByteArray, Body> &bodies() {
    static QMap<QByteArray, Body> all;
    return all;
}

int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// This program again with these arguments; its pid, or -1 with errno.
pid_t spawnSelf(QList<QByteArray> words) {
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawn runs nothing of this process between the clone and the exec.
    if (const int e = ::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ)) {
        errno = e;
        return -1;
    }
    return pid;
}

int waitFor(pid_t pid) {
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return status;
}

} // namespace

bool add(const char *name, Body body) {
    bodies().insert(name, body);
    return true;
}

pid_t start(const char *name, const QStringList &args) {
    if (!bodies().contains(name)) {
        errno = ENOENT;
        return -1;
    }
    QList<QByteArray> words{QByteArray("kestrin-test-child"), kFlag, name};
    for (const QString &a : args)
        words << a.toUtf8();
    return spawnSelf(words);
}

int run(const char *name, const QStringList &args) {
    return waitFor(start(name, args));
}

bool ranInOwnProcess() {
    if (qEnvironmentVariableIsSet(kAlone)) return false;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QByteArray filter = QByteArray("--gtest_filter=") + test->test_suite_name() + '.' + test->name();
    qputenv(kAlone, "1");
    const int status = waitFor(spawnSelf({QByteArray("kestrin-test-alone"), filter}));
    qunsetenv(kAlone);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "in a process of its own: " << status;
    return true;
}

bool asked(int argc, char **argv) {
    return argc >= 3 && std::strcmp(argv[1], kFlag) == 0;
}

int runAsked(int argc, char **argv) {
    const Body body = bodies().value(argv[2]);
    if (!body) {
        std::fprintf(stderr, "no test child named %s\n", argv[2]);
        return 125;
    }
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << QString::fromUtf8(argv[i]);
    return body(args);
}

pid_t forkAlone() {
    // Idle threads of the shared pool end here; those of a finished job's pool are on their way out.
    QThreadPool::globalInstance()->waitForDone();
    const QDeadlineTimer deadline(10000);
    while (threadCount() > 1) {
        if (deadline.hasExpired()) {
            errno = EBUSY;
            return -1;
        }
        ::usleep(1000);
    }
    return ::fork();
}

std::optional<QByteArray> outputOf(const std::function<QByteArray()> &body) {
    int fds[2];
    if (::pipe(fds) != 0) return std::nullopt;
    const pid_t child = forkAlone();
    if (child == 0) {
        ::close(fds[0]);
        const QByteArray out = body();
        if (::write(fds[1], out.constData(), size_t(out.size())) != out.size()) ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buf[4096];
    for (ssize_t n; child > 0 && (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return out;
}

} // namespace TestChild
