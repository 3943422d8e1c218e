// The waits between reconnection attempts and the codes that count as a lost server.

#include "ZelkReconnect.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(ReconnectBackoff, DoublesFromOneSecondToAMinuteAndJitterOnlyShortens) {
    TZelkBackoff backoff;
    backoff.Random = [] { return 0.0; };
    const std::chrono::milliseconds expected[] = {1s, 1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s};
    for (int attempt = 0; attempt < 9; ++attempt)
        EXPECT_EQ(backoff.Delay(attempt), expected[attempt]) << "attempt " << attempt;
    EXPECT_EQ(backoff.Delay(1'000'000), 60s);

    // The largest cut is a fifth of the wait; it never goes above the plain wait.
    backoff.Random = [] { return 0.999999; };
    EXPECT_GE(backoff.Delay(1), 800ms);
    EXPECT_LT(backoff.Delay(1), 1s);
    EXPECT_GE(backoff.Delay(40), 48s);
    // Without a generator of its own the process's is used, within the same bounds.
    backoff.Random = nullptr;
    for (int i = 0; i < 50; ++i) {
        const std::chrono::milliseconds wait = backoff.Delay(3);
        EXPECT_GE(wait, 3200ms);
        EXPECT_LE(wait, 4s);
    }
}

TEST(ReconnectBackoff, ShortenedWaitsForTestsAndProgramsStayOrdered) {
    TZelkBackoff backoff;
    backoff.Random = [] { return 0.0; };
    backoff.First = 20ms;
    backoff.Max = 50ms;
    EXPECT_EQ(backoff.Delay(1), 20ms);
    EXPECT_EQ(backoff.Delay(2), 40ms);
    EXPECT_EQ(backoff.Delay(3), 50ms);
    // A maximum below the first wait cannot make the first wait shorter; nothing is 0.
    backoff.Max = 1ms;
    EXPECT_EQ(backoff.Delay(5), 20ms);
    backoff.First = 0ms;
    EXPECT_EQ(backoff.Delay(1), 1ms);
}

TEST(ReconnectBackoff, LostServerCodes) {
    EXPECT_TRUE(IsConnectionLostCode(RPC_E_DISCONNECTED));
    EXPECT_TRUE(IsConnectionLostCode(static_cast<HRESULT>(0x800706BA)));
    EXPECT_TRUE(IsConnectionLostCode(static_cast<HRESULT>(0x800706BE)));
    EXPECT_FALSE(IsConnectionLostCode(E_FAIL));
    EXPECT_FALSE(IsConnectionLostCode(RPC_E_CALL_REJECTED));
    EXPECT_FALSE(IsConnectionLostCode(S_OK));
    EXPECT_EQ(DelayText(1s), QStringLiteral("1.0 s"));
    EXPECT_EQ(DelayText(250ms), QStringLiteral("0.25 s"));
}
