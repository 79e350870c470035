#pragma once

// Children of a test that run the program's operations. A child forked while other threads run inherits
// every lock those threads held at that moment, held for good: GLib's allocator, Qt's own. A child that
// then starts threads (the copy's pool does) may wait forever. So a child either runs in a new image of
// this test program (start, run), with the parent's home, XDG folders and mounts, or is forked while the
// process has no other thread (forkAlone).

#include <QStringList>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace TestChild {

// A child's work: the arguments its parent gave, its exit code.
using Body = int (*)(const QStringList &args);

// Makes body startable under name; see TEST_CHILD.
bool add(const char *name, Body body);

// Starts this test program again as the named child; its pid, or -1 with errno.
pid_t start(const char *name, const QStringList &args = {});
// The same, waited for: the child's wait status, or -1.
int run(const char *name, const QStringList &args = {});

// Whether the program was started as a child.
bool asked(int argc, char **argv);
// Runs the child asked for; its exit code.
int runAsked(int argc, char **argv);

// Runs the current test again in a new run of this program that holds it alone, unless this is that run:
// true when it ran there (its failure there fails it here), false in the run that is to do it. For tests
// that fork: an earlier test may have left a thread for the rest of the process (GLib's mount watcher).
bool ranInOwnProcess();

// fork() once this process runs no other thread (threads of a pool that just ended get a few seconds to
// go); -1 with errno EBUSY when some thread stays.
pid_t forkAlone();

// What `body` returned in a child forked alone; nullopt where there was no fork or the child did not end
// with 0 (a body may end it with ::_exit on a failed step).
std::optional<QByteArray> outputOf(const std::function<QByteArray()> &body);

} // namespace TestChild

// A child body taking `const QStringList &args`, started by TestChild::start(#name, args).
#define TEST_CHILD(name)                                                                                     \
    static int name([[maybe_unused]] const QStringList &args);                                               \
    [[maybe_unused]] static const bool name##Added = TestChild::add(#name, name);                            \
    static int name([[maybe_unused]] const QStringList &args)
