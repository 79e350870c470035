#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Runs a helper program of ours on outside data that may be hostile: in its own process, with an address
// space limit, a time limit and a bound on what it may answer on its standard output. Whatever the helper
// does (crash, hang, flood), the caller gets back at once after the limit with what it said so far.
namespace Confined {

struct Limits {
    int timeoutMs = 2000;
    qint64 memoryBytes = 256LL * 1024 * 1024; // the child's address space
    qint64 maxOutput = 64 * 1024;             // more than this ends the child
};

enum class End {
    finished,   // exited with status 0
    failed,     // another exit status, or a signal (a crash)
    timedOut,   // killed at the time limit
    tooLarge,   // killed for saying more than maxOutput
    cancelled,  // killed because the caller no longer wanted the answer
    notStarted, // the program could not be started
};

struct Outcome {
    End end = End::notStarted;
    QByteArray output; // standard output, at most maxOutput bytes; partial unless finished
};

// Polled while the child runs (every few tens of milliseconds, on the calling thread); true ends it.
using Cancelled = std::function<bool()>;

// program gets args, standard input from /dev/null, standard error discarded, no other descriptors.
// Blocks the calling thread: never call it on the window's thread.
Outcome run(const QString &program, const QStringList &args, const Limits &limits,
            const Cancelled &cancelled = {});

} // namespace Confined
