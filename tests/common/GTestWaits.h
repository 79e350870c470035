#pragma once

// QTest's QTRY_* macros report a failure to QTest, which GoogleTest never hears of: the test would just
// stop and pass. Every test program is built with this header first, so these fail the GoogleTest test.
#include <QTest>
#include <gtest/gtest.h>

#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE

#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                                                              \
    do {                                                                                                     \
        ASSERT_TRUE(QTest::qWaitFor([&]() { return bool(expr); }, timeout)) << "waited in vain for " #expr;  \
    } while (false)
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 5000)
#define QTRY_COMPARE_WITH_TIMEOUT(actual, expected, timeout)                                                 \
    do {                                                                                                     \
        (void)QTest::qWaitFor([&]() { return (actual) == (expected); }, timeout);                            \
        ASSERT_EQ(actual, expected);                                                                         \
    } while (false)
#define QTRY_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, 5000)
