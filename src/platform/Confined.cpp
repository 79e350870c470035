#include "platform/Confined.h"

#include "platform/Posix.h"

#include <QElapsedTimer>
#include <csignal>
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

} // namespace

Outcome run(const QString &program, const QStringList &args, const Limits &limits,
            const Cancelled &cancelled) {
    Outcome result;
    const auto programBytes = Posix::encode(program);
    if (!programBytes || program.isEmpty()) return result;
    std::vector<QByteArray> argBytes{*programBytes};
    for (const QString &a : args) {
        const auto b = Posix::encode(a);
        if (!b) return result;
        argBytes.push_back(*b);
    }
    std::vector<char *> argv;
    for (QByteArray &b : argBytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    const pid_t pid = ::fork();
    if (pid == 0) child(fds[1], devNull, programBytes->constData(), argv.data(), limits);
    ::close(fds[1]);
    ::close(devNull);
    if (pid < 0) {
        ::close(fds[0]);
        return result;
    }

    QElapsedTimer clock;
    clock.start();
    End end = End::finished;
    bool open = true;
    char buf[65536];
    while (open) {
        if (cancelled && cancelled()) {
            end = End::cancelled;
            break;
        }
        const qint64 left = limits.timeoutMs - clock.elapsed();
        if (left <= 0) {
            end = End::timedOut;
            break;
        }
        struct pollfd p {
            fds[0], POLLIN, 0
        };
        const int ready = ::poll(&p, 1, int(std::min<qint64>(left, kSliceMs)));
        if (ready < 0 && errno != EINTR) {
            end = End::failed;
            break;
        }
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            end = End::failed;
            break;
        }
        if (n == 0) {
            open = false;
            break;
        }
        if (result.output.size() + n > limits.maxOutput) {
            result.output.append(buf, limits.maxOutput - result.output.size());
            end = End::tooLarge;
            break;
        }
        result.output.append(buf, n);
    }
    ::close(fds[0]);
    if (open) {
        reap(pid, true);
        result.end = end;
        return result;
    }
    // Output closed: the child has ended or is about to; one that lingers still gets only the time left.
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            result.end = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? End::finished : End::failed;
            return result;
        }
        if (r < 0 && errno != EINTR) {
            result.end = End::failed;
            return result;
        }
        if (cancelled && cancelled()) {
            reap(pid, true);
            result.end = End::cancelled;
            return result;
        }
        if (clock.elapsed() >= limits.timeoutMs) {
            reap(pid, true);
            result.end = End::timedOut;
            return result;
        }
        ::usleep(5000);
    }
}

} // namespace Confined
