#include "platform/Confined.h"

#include "platform/Posix.h"

#include <QElapsedTimer>
#include <csignal>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace Confined {

namespace {

constexpr int kSliceMs = 25;

// Everything the child needs is made before fork: after it only async-signal-safe calls may run.
[[noreturn]] void child(int out, int devNull, const char *program, char *const argv[], const Limits &limits) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A group of its own: whatever it starts ends with it.
    ::setpgid(0, 0);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    ::close_range(3, ~0U, 0);
    const struct rlimit memory { rlim_t(limits.memoryBytes), rlim_t(limits.memoryBytes) };
    ::setrlimit(RLIMIT_AS, &memory);
    const struct rlimit noCore { 0, 0 };
    ::setrlimit(RLIMIT_CORE, &noCore);
    // A backstop should the parent be stopped and not kill the child itself.
    const rlim_t seconds = rlim_t(limits.timeoutMs / 1000 + 2);
    const struct rlimit cpu { seconds, seconds };
    ::setrlimit(RLIMIT_CPU, &cpu);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program, argv);
    ::_exit(127);
}

End reap(pid_t pid, bool killFirst) {
    if (killFirst) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    if (Posix::retry([&] { return ::waitpid(pid, &status, 0); }) != pid) return End::failed;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? End::finished : End::failed;
}

// The program and its arguments as the system takes them; nullopt when one can't be encoded.
std::optional<std::vector<QByteArray>> encodeCommand(const QString &program, const QStringList &args) {
    const auto programBytes = Posix::encode(program);
    if (!programBytes || program.isEmpty()) return std::nullopt;
    std::vector<QByteArray> argBytes{*programBytes};
    for (const QString &a : args) {
        const auto b = Posix::encode(a);
        if (!b) return std::nullopt;
        argBytes.push_back(*b);
    }
    return argBytes;
}

// Starts the child with its output on a pipe; the pid and the pipe's reading end, or a pid below 0.
std::pair<pid_t, int> start(std::vector<QByteArray> &command, const Limits &limits) {
    std::vector<char *> argv;
    for (QByteArray &b : command)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const char *path = command.front().constData();

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {-1, -1};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {-1, -1};
    }
    const pid_t pid = ::fork();
    if (pid == 0) child(fds[1], devNull, path, argv.data(), limits);
    ::close(fds[1]);
    ::close(devNull);
    if (pid < 0) {
        ::close(fds[0]);
        return {-1, -1};
    }
    return {pid, fds[0]};
}

// Reads the child's output until it closes (nullopt) or something ends the run first (how it ended).
std::optional<End> readOutput(int fd, const Limits &limits, const Cancelled &cancelled,
                              const QElapsedTimer &clock, QByteArray &output) {
    char buf[65536];
    for (;;) {
        if (cancelled && cancelled()) return End::cancelled;
        const qint64 left = limits.timeoutMs - clock.elapsed();
        if (left <= 0) return End::timedOut;
        struct pollfd p {
            fd, POLLIN, 0
        };
        const int ready = ::poll(&p, 1, int(std::min<qint64>(left, kSliceMs)));
        if (ready < 0 && errno != EINTR) return End::failed;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return End::failed;
        }
        if (n == 0) return std::nullopt;
        if (output.size() + n > limits.maxOutput) {
            output.append(buf, limits.maxOutput - output.size());
            return End::tooLarge;
        }
        output.append(buf, n);
    }
}

// Output closed: the child has ended or is about to; one that lingers still gets only the time left.
End awaitExit(pid_t pid, const Limits &limits, const Cancelled &cancelled, const QElapsedTimer &clock) {
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? End::finished : End::failed;
        if (r < 0 && errno != EINTR) return End::failed;
        if (cancelled && cancelled()) {
            reap(pid, true);
            return End::cancelled;
        }
        if (clock.elapsed() >= limits.timeoutMs) {
            reap(pid, true);
            return End::timedOut;
        }
        ::usleep(5000);
    }
}

} // namespace

Outcome run(const QString &program, const QStringList &args, const Limits &limits,
            const Cancelled &cancelled) {
    Outcome result;
    auto command = encodeCommand(program, args);
    if (!command) return result;
    const auto [pid, out] = start(*command, limits);
    if (pid < 0) return result;

    QElapsedTimer clock;
    clock.start();
    const std::optional<End> stopped = readOutput(out, limits, cancelled, clock, result.output);
    ::close(out);
    if (stopped) {
        reap(pid, true);
        result.end = *stopped;
        return result;
    }
    result.end = awaitExit(pid, limits, cancelled, clock);
    return result;
}

} // namespace Confined
