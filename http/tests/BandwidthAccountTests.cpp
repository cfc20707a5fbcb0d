// The shared bandwidth allowance with times given by the test: pacing inside a window,
// windows that follow on while traffic flows, the usage samples and their average,
// read lengths, and when a limit applies at all.
#include <waterline/http/BandwidthAccount.h>

#include <gtest/gtest.h>

using namespace waterline;
using namespace std::chrono_literals;
using Clock = BandwidthAccount::Clock;

namespace {

// An account with `limit` whose first window begins at `start`.
void begin(BandwidthAccount& account, std::uint32_t limit, Clock::time_point start)
{
    account.setLimit(limit);
    (void)account.averageUsedPerSecond(start);
}

TEST(BandwidthAccount, PacesTheLimitAcrossTheWindow)
{
    BandwidthAccount account;
    auto start = Clock::now();
    begin(account, 10000, start);
    EXPECT_EQ(account.allowance(start), 0u);
    EXPECT_EQ(account.allowance(start + 250ms), 2500u);
    account.addUsage(2000, start + 250ms);
    EXPECT_EQ(account.allowance(start + 250ms), 500u);
    EXPECT_EQ(account.allowance(start + 500ms), 3000u);
    // Overspent: nothing until the pace catches up.
    account.addUsage(9000, start + 500ms);
    EXPECT_EQ(account.allowance(start + 900ms), 0u);
    // The next window follows on from the end of this one, not from the late caller,
    // and pays back the overdraft first.
    EXPECT_EQ(account.allowance(start + 1100ms), 0u);
    EXPECT_EQ(account.allowance(start + 1200ms), 1000u);
    // What a window leaves unused is kept, up to a tenth of a second's worth.
    EXPECT_EQ(account.allowance(start + 2000ms), 1000u);
    EXPECT_EQ(account.allowance(start + 2100ms), 1000u + 1000u);
    // After an idle second nothing is carried.
    EXPECT_EQ(account.allowance(start + 4500ms), 0u);
}

TEST(BandwidthAccount, WaitsUntilAUsefulShareHasBeenPacedOut)
{
    BandwidthAccount account;
    auto start = Clock::now();
    begin(account, 10000, start);
    // A hundredth of the limit (100 bytes) is worth waiting for: 10 ms.
    auto wait = account.waitForAllowance(start);
    EXPECT_GE(wait, 9ms);
    EXPECT_LE(wait, 11ms);
    EXPECT_EQ(account.waitForAllowance(start + 20ms), Clock::duration::zero());
    // Spent beyond the window: wait for its end.
    account.addUsage(20000, start + 20ms);
    auto toEnd = account.waitForAllowance(start + 300ms);
    EXPECT_GE(toEnd, 699ms);
    EXPECT_LE(toEnd, 700ms);
    // A small limit still waits for 8 bytes at least.
    BandwidthAccount tiny;
    begin(tiny, 100, start);
    EXPECT_GE(tiny.waitForAllowance(start), 79ms);
}

TEST(BandwidthAccount, ReadLengthsAreAQuarterOfWhatIsAllowed)
{
    BandwidthAccount account;
    auto start = Clock::now();
    EXPECT_EQ(account.responseReadLength(65536, start), 65536u) << "no limit: the caller's length";
    begin(account, 40000, start);
    EXPECT_EQ(account.responseReadLength(65536, start), 0u) << "nothing paced out yet";
    EXPECT_EQ(account.responseReadLength(65536, start + 500ms), 5000u);
    EXPECT_EQ(account.responseReadLength(2048, start + 500ms), 2048u);
    account.addUsage(19998, start + 500ms);
    EXPECT_EQ(account.responseReadLength(65536, start + 500ms), 1u) << "a little left: at least one byte";
    // Body reads: a quarter of the limit, cut to the allowance.
    EXPECT_EQ(account.maxUploadReadLength(start + 1500ms), 10000u);
    account.addUsage(15000, start + 1500ms);
    EXPECT_EQ(account.maxUploadReadLength(start + 1500ms), 9000u) << "20000 paced, 4000 kept from the last window";
    account.addUsage(14000, start + 1500ms);
    EXPECT_EQ(account.maxUploadReadLength(start + 1600ms), 0u);
    account.returnUnused(4000);
    EXPECT_EQ(account.maxUploadReadLength(start + 1600ms), 3000u);
}

TEST(BandwidthAccount, SamplesAverageTheLastWindowsAndAgeWhileIdle)
{
    BandwidthAccount account;
    auto start = Clock::now();
    begin(account, 0, start);
    std::uint32_t used[] = {1000, 2000, 3000, 4000, 5000, 6000, 7000};
    for (int second = 0; second < 7; ++second)
        account.addUsage(used[second], start + std::chrono::milliseconds(1000 * second + 10));
    // Six samples at most; a window closed a moment late drops nothing.
    EXPECT_EQ(account.averageUsedPerSecond(start + 7005ms), (2000u + 3000 + 4000 + 5000 + 6000 + 7000) / 6);
    EXPECT_EQ(account.samples().size(), 6u);

    // Two and a half idle seconds after the last window ended drop two old samples.
    account.addUsage(100, start + 7100ms);
    EXPECT_EQ(account.averageUsedPerSecond(start + 10500ms), (4000u + 5000 + 6000 + 7000 + 100) / 5);
    // A window without traffic clears the history.
    EXPECT_EQ(account.averageUsedPerSecond(start + 11600ms), 0u);
    EXPECT_EQ(account.samples(), std::vector<std::uint32_t>{0});
}

TEST(BandwidthAccount, ALimitAppliesOnlyWhenSetAndOnTheRightNetwork)
{
    BandwidthAccount account;
    EXPECT_FALSE(account.isThrottled());
    account.setLimit(14800);
    EXPECT_TRUE(account.isThrottled());
    account.setCarrierOnly(true);
    EXPECT_FALSE(account.isThrottled()) << "carrier-only, not on a carrier network";
    account.setOnCarrierNetwork(true);
    EXPECT_TRUE(account.isThrottled());
    // A limit of 0 means none, also on a carrier network: uploads never stall on it.
    account.setLimit(0);
    EXPECT_FALSE(account.isThrottled());
    EXPECT_EQ(account.responseReadLength(4096, Clock::now()), 4096u);
    EXPECT_EQ(account.waitForAllowance(Clock::now()), Clock::duration::zero());
}

} // namespace
