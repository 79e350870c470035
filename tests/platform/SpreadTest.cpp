#include "platform/Spread.h"

#include <QMutex>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

TEST(Spread, CoversEveryRowOnceOnThreadsBelowTheCaller) {
    const int mine = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
    for (const auto &[n, parts] :
         std::vector<std::pair<qsizetype, int>>{{10, 4}, {3, 4}, {1001, 3}, {7, 1}}) {
        std::vector<int> seen(size_t(n), 0);
        std::vector<int> nice;
        QMutex lock;
        Spread::run(n, parts, [&](qsizetype from, qsizetype to) {
            for (qsizetype i = from; i < to; ++i)
                ++seen[size_t(i)];
            QMutexLocker hold(&lock);
            nice.push_back(::getpriority(PRIO_PROCESS, id_t(::gettid())));
        });
        for (qsizetype i = 0; i < n; ++i)
            EXPECT_EQ(seen[size_t(i)], 1) << "row " << i << " of " << n << " in " << parts;
        ASSERT_FALSE(nice.empty());
        for (int v : nice)
            EXPECT_EQ(v, parts > 1 && n > 1 ? std::min(19, mine + Spread::kLower) : mine)
                << n << " in " << parts;
    }
    // The caller itself keeps its priority.
    EXPECT_EQ(::getpriority(PRIO_PROCESS, id_t(::gettid())), mine);
}
