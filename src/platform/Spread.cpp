#include "platform/Spread.h"

#include <algorithm>
#include <thread>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

namespace Spread {

void run(qsizetype n, int parts, const std::function<void(qsizetype, qsizetype)> &fn) {
    if (parts <= 1 || n <= 1) {
        fn(0, n);
        return;
    }
    const qsizetype chunk = (n + parts - 1) / parts;
    std::vector<std::thread> threads;
    for (int w = 0; w < parts; ++w) {
        const qsizetype from = std::min(n, w * chunk), to = std::min(n, (w + 1) * chunk);
        if (from >= to) continue;
        threads.emplace_back([&fn, from, to] {
            // Only this thread: on Linux the nice value belongs to the thread. Failure just leaves it as is.
            const id_t self = id_t(::gettid());
            errno = 0;
            const int now = ::getpriority(PRIO_PROCESS, self);
            if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, now + kLower));
            fn(from, to);
        });
    }
    for (std::thread &t : threads)
        t.join();
}

} // namespace Spread
