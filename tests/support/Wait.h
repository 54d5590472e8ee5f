#pragma once
// Waiting for the panel inside a GoogleTest test: the event loop keeps turning while a condition
// is checked, and a condition that never comes true fails the test (Qt's own QTRY_ macros only
// report to a Qt test runner, which these suites do not use).
#include <functional>
#include <gtest/gtest.h>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

#define EXPECT_EVENTUALLY(cond, ms) \
    EXPECT_TRUE(WaitUntil([&] { return static_cast<bool>(cond); }, ms)) << "never came true: " #cond
#define ASSERT_EVENTUALLY(cond, ms) \
    ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(cond); }, ms)) << "never came true: " #cond
// Waits for a == b, then checks it, so that a failure shows both values.
#define EVENTUALLY_EQ_(check, a, b, ms) \
    do {                                \
        WaitUntil([&] { return (a) == (b); }, ms); \
        check(a, b);                    \
    } while (0)
#define EXPECT_EVENTUALLY_EQ(a, b, ms) EVENTUALLY_EQ_(EXPECT_EQ, a, b, ms)
#define ASSERT_EVENTUALLY_EQ(a, b, ms) EVENTUALLY_EQ_(ASSERT_EQ, a, b, ms)
