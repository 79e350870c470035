#pragma once

// Runs a program under ptrace and counts the system calls that change a file system (or a file's
// content, the journal's included) once the program raised SIGURG; kills it with SIGKILL right before the
// call after the first `limit`, so that exactly those reached the kernel. A seccomp filter stops the
// program only at such calls: stopping at every call costs two switches each, too slow on a busy machine.
// The child is forked and execs at once: a process with threads must run nothing else between fork and
// exec.

#include <QByteArray>
#include <QStringList>

#include <csignal>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <linux/openat2.h>
#include <cstddef>
#include <cstdio>

#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace SyscallTracer {

struct Run {
    bool refused = false;  // ptrace is not permitted here
    long calls = 0;        // counted calls that ran
    bool killed = false;   // killed before the call after the limit
    int exitCode = -1;     // when it ended on its own
    std::vector<long> nrs; // the numbers of the counted calls, in turn
};

#ifdef __x86_64__
inline bool writesToAFile(pid_t tid, unsigned long long fd) {
    char link[64], target[64];
    std::snprintf(link, sizeof link, "/proc/%d/fd/%llu", int(tid), fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 && target[0] == '/' && std::strncmp(target, "/dev/", 5) != 0;
}

inline bool creates(unsigned long long flags) {
    return flags & (O_CREAT | O_TRUNC);
}

// The calls that may change a file system, whatever their arguments.
constexpr long plainCalls[] = {
    SYS_write,        SYS_pwrite64,        SYS_writev,          SYS_pwritev,   SYS_pwritev2,
    SYS_openat2,      SYS_creat,           SYS_fsync,           SYS_fdatasync, SYS_syncfs,
    SYS_sync,         SYS_sync_file_range, SYS_rename,          SYS_renameat,  SYS_renameat2,
    SYS_link,         SYS_linkat,          SYS_symlink,         SYS_symlinkat, SYS_unlink,
    SYS_unlinkat,     SYS_rmdir,           SYS_mkdir,           SYS_mkdirat,   SYS_mknod,
    SYS_mknodat,      SYS_setxattr,        SYS_lsetxattr,       SYS_fsetxattr, SYS_removexattr,
    SYS_lremovexattr, SYS_fremovexattr,    SYS_copy_file_range, SYS_sendfile,  SYS_splice,
    SYS_chmod,        SYS_fchmod,          SYS_fchmodat,        SYS_chown,     SYS_fchown,
    SYS_lchown,       SYS_fchownat,        SYS_utime,           SYS_utimes,    SYS_utimensat,
    SYS_futimesat,    SYS_truncate,        SYS_ftruncate,       SYS_fallocate};

// Stops the program (SECCOMP_RET_TRACE) at those calls, at opens that create or truncate, and at clones
// of a file's blocks; lets every other call pass.
inline std::vector<sock_filter> filter() {
    const auto stmt = [](unsigned short code, unsigned k) { return sock_filter BPF_STMT(code, k); };
    const auto jump = [](unsigned short code, unsigned k, unsigned char t, unsigned char f) {
        return sock_filter BPF_JUMP(code, k, t, f);
    };
    const auto arg = [](int i) { return unsigned(offsetof(seccomp_data, args) + 8 * i); }; // its low half
    const sock_filter trace = stmt(BPF_RET | BPF_K, SECCOMP_RET_TRACE);
    const sock_filter allow = stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    std::vector<sock_filter> f{stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
                               jump(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0), allow,
                               stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
    for (const long nr : plainCalls) {
        f.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, unsigned(nr), 0, 1));
        f.push_back(trace);
    }
    for (const auto &[nr, flags] : {std::pair{SYS_open, 1}, std::pair{SYS_openat, 2}}) {
        f.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, unsigned(nr), 0, 4));
        f.push_back(stmt(BPF_LD | BPF_W | BPF_ABS, arg(flags)));
        f.push_back(jump(BPF_JMP | BPF_JSET | BPF_K, O_CREAT | O_TRUNC, 0, 1));
        f.push_back(trace);
        f.push_back(allow);
    }
    f.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, SYS_ioctl, 0, 5));
    f.push_back(stmt(BPF_LD | BPF_W | BPF_ABS, arg(1)));
    f.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, unsigned(FICLONE), 1, 0));
    f.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, unsigned(FICLONERANGE), 0, 1));
    f.push_back(trace);
    f.push_back(allow);
    f.push_back(allow);
    return f;
}

// Whether the call the filter stopped at changes a file system.
inline bool mutating(pid_t tid, unsigned long long nr, const unsigned long long *a) {
    switch (nr) {
    case SYS_write:
    case SYS_pwrite64:
    case SYS_writev:
    case SYS_pwritev:
    case SYS_pwritev2:
        return writesToAFile(tid, a[0]);
    case SYS_open:
        return creates(a[1]);
    case SYS_openat:
        return creates(a[2]);
    case SYS_openat2: {
        open_how how{};
        iovec local{&how, sizeof how}, remote{reinterpret_cast<void *>(a[2]), sizeof how};
        return ::process_vm_readv(tid, &local, 1, &remote, 1, 0) != ssize_t(sizeof how) || creates(how.flags);
    }
    default:
        return true; // only the filter's calls stop here
    }
}

// limit < 0: never killed. With `atLimit`, the program is not killed but runs on once that was called.
// Output of the program goes to /dev/null.
inline Run run(const QByteArray &program, const QList<QByteArray> &args, long limit,
               const std::function<void()> &atLimit = {}) {
    Run out;
    std::vector<QByteArray> kept{program};
    for (const QByteArray &a : args)
        kept.push_back(a);
    std::vector<char *> argv;
    for (QByteArray &a : kept)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<sock_filter> filters = filter();
    const sock_fprog stops{static_cast<unsigned short>(filters.size()), filters.data()};
    const pid_t child = ::fork();
    if (child < 0) return out;
    if (child == 0) {
        // Only async-signal-safe calls until the exec.
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0 ||
            ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &stops) != 0)
            ::_exit(77);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    bool started = false, counting = false;
    for (;;) {
        int status = 0;
        const pid_t tid = ::waitpid(-1, &status, __WALL);
        if (tid < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            if (tid != child) continue;
            if (WIFEXITED(status)) out.exitCode = WEXITSTATUS(status);
            if (out.exitCode == 77 && !started) out.refused = true;
            break;
        }
        if (!WIFSTOPPED(status)) continue;
        const int sig = WSTOPSIG(status);
        int pass = 0;
        if (!started) {
            // The stop at the exec.
            started = true;
            ::ptrace(PTRACE_SETOPTIONS, child, nullptr,
                     PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACESECCOMP | PTRACE_O_TRACECLONE | PTRACE_O_EXITKILL);
        } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_SECCOMP << 8))) {
            __ptrace_syscall_info info{};
            if (counting && ::ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 &&
                info.op == PTRACE_SYSCALL_INFO_SECCOMP &&
                mutating(tid, info.seccomp.nr,
                         reinterpret_cast<const unsigned long long *>(info.seccomp.args))) {
                if (limit >= 0 && out.calls >= limit && atLimit) {
                    atLimit();
                    limit = -1;
                } else if (limit >= 0 && out.calls >= limit) {
                    ::kill(child, SIGKILL);
                    out.killed = true;
                    continue;
                }
                ++out.calls;
                out.nrs.push_back(long(info.seccomp.nr));
            }
        } else if (sig == SIGURG) {
            counting = true;
        } else if (sig != SIGTRAP && sig != SIGSTOP) {
            pass = sig;
        }
        ::ptrace(PTRACE_CONT, tid, nullptr, pass);
    }
    // Whatever is left of it (none, normally).
    while (::waitpid(-1, nullptr, __WALL | WNOHANG) > 0) {
    }
    return out;
}
#else
inline Run run(const QByteArray &, const QList<QByteArray> &, long, const std::function<void()> & = {}) {
    Run out;
    out.refused = true;
    return out;
}
#endif

} // namespace SyscallTracer
