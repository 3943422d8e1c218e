#include "ScopeExit.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

TEST(ScopeExit, RunsOnceWhenTheBlockEndsOrUnwinds) {
    int calls = 0;
    {
        const zelk::rtl::ScopeExit guard([&] { ++calls; });
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(calls, 1);

    EXPECT_THROW(
        {
            const zelk::rtl::ScopeExit guard([&] { ++calls; });
            throw std::runtime_error("body");
        },
        std::runtime_error);
    EXPECT_EQ(calls, 2);
}

TEST(RunThenClose, ClosesAlwaysAndTheBodysExceptionWins) {
    std::string trace;
    zelk::rtl::RunThenClose([&] { trace += "body "; }, [&] { trace += "close"; });
    EXPECT_EQ(trace, "body close");

    // The body fails and so does the close: the caller sees the body's failure.
    trace.clear();
    try {
        zelk::rtl::RunThenClose(
            [&] {
                trace += "body ";
                throw std::runtime_error("body failed");
            },
            [&] {
                trace += "close";
                throw std::logic_error("close failed");
            });
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "body failed");
    }
    EXPECT_EQ(trace, "body close");

    // Only the close fails: its exception reaches the caller.
    EXPECT_THROW(zelk::rtl::RunThenClose([] {}, [] { throw std::logic_error("close failed"); }),
                 std::logic_error);
}
