// The reachability rules and status tables, with flags set by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include <waterline/reachability/Reachability.h>
#include <waterline/reachability/TestFlagsProvider.h>

namespace waterline {
namespace {

using namespace ReachabilityFlag;
constexpr ReachabilityFlags R = Reachable, N = ConnectionRequired, T = TransientConnection, D = IsDirect, W = IsWWAN;

struct RulesTest : ::testing::Test {
    std::shared_ptr<TestFlagsProvider> provider = std::make_shared<TestFlagsProvider>();
    Reachability reachability{provider};
};

TEST(ReachabilityRule, ReachableWithoutRequiringConnection)
{
    struct Case {
        ReachabilityFlags flags;
        bool reachable;
    } cases[] = {
        {0, false},     {R, true},     {R | N, false},    {R | N | W, true}, {N, false},
        {N | W, false}, {R | D, true}, {R | T | W, true}, {T | W, false},
    };
    for (auto [flags, reachable] : cases)
        EXPECT_EQ(Reachability::isReachableWithoutRequiringConnection(flags), reachable)
            << describeReachabilityFlags(flags);
}

TEST_F(RulesTest, InternetConnectionStatusFollowsTheDefaultRoute)
{
    struct Case {
        std::optional<ReachabilityFlags> flags;
        NetStatus status;
    } cases[] = {
        {R, NetStatusViaWiFi},
        {R | T, NetStatusViaWWAN},
        {R | D, NetStatusUnreachable},
        {R | N, NetStatusUnreachable},
        {R | N | T | W, NetStatusViaWWAN},
        {0, NetStatusUnreachable},
        {std::nullopt, NetStatusUnreachable},
        {R | D | T, NetStatusUnreachable},
    };
    for (auto [flags, status] : cases) {
        provider->setFlags("0.0.0.0", flags);
        EXPECT_EQ(reachability.internetConnectionStatus(), status)
            << (flags ? describeReachabilityFlags(*flags) : "unreadable");
    }
}

TEST_F(RulesTest, LocalWiFiStatusNeedsADirectLinkLocalRoute)
{
    struct Case {
        std::optional<ReachabilityFlags> flags;
        NetStatus status;
    } cases[] = {
        {R | D, NetStatusViaWiFi},
        {R, NetStatusUnreachable},
        {D, NetStatusUnreachable},
        {R | N | D, NetStatusUnreachable},
        {std::nullopt, NetStatusUnreachable},
    };
    for (auto [flags, status] : cases) {
        provider->setFlags("169.254.0.0", flags);
        EXPECT_EQ(reachability.localWiFiConnectionStatus(), status)
            << (flags ? describeReachabilityFlags(*flags) : "unreadable");
    }
}

TEST_F(RulesTest, RemoteHostStatusIgnoresTheDirectBit)
{
    reachability.setAddress("10.0.0.1");
    struct Case {
        std::optional<ReachabilityFlags> flags;
        NetStatus status;
    } cases[] = {
        {R, NetStatusViaWiFi},
        {R | D, NetStatusViaWiFi},
        {R | T, NetStatusViaWWAN},
        {R | N | T | W, NetStatusViaWWAN},
        {R | N, NetStatusUnreachable},
        {0, NetStatusUnreachable},
        {std::nullopt, NetStatusUnreachable},
    };
    for (auto [flags, status] : cases) {
        provider->setFlags("10.0.0.1", flags);
        EXPECT_EQ(reachability.remoteHostStatus(), status)
            << (flags ? describeReachabilityFlags(*flags) : "unreadable");
    }
}

TEST_F(RulesTest, RemoteHostStatusPrefersTheHostName)
{
    provider->setFlags("host.test", R | T);
    provider->setFlags("10.0.0.1", R);
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusUnreachable); // no target at all

    reachability.setAddress("10.0.0.1");
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusViaWiFi);
    reachability.setHostName("host.test");
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusViaWWAN);
    reachability.setHostName(""); // set, though empty: still preferred
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusUnreachable);
    reachability.setHostName(std::nullopt);
    reachability.setAddress("not an address");
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusUnreachable);
}

TEST_F(RulesTest, AFailedHandleOrFlagReadIsNotReachable)
{
    provider->setDefaultFlags(R);
    provider->setRefusesHandles(true);
    reachability.setHostName("host.test");
    EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);
    EXPECT_EQ(reachability.localWiFiConnectionStatus(), NetStatusUnreachable);
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusUnreachable);
    EXPECT_FALSE(reachability.isHostReachable("host.test"));
    EXPECT_EQ(reachability.reachabilityRefForHostName("host.test"), nullptr);
    EXPECT_FALSE(reachability.reachabilityQueries().contains("host.test"));

    // The fixed targets get their handle as soon as the provider can make one.
    provider->setRefusesHandles(false);
    EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWiFi);
    EXPECT_EQ(reachability.remoteHostStatus(), NetStatusViaWiFi);
}

TEST_F(RulesTest, OutFlagsAreLeftAloneWhenUnreadable)
{
    ReachabilityFlags flags = 0xdead;
    provider->setFlags("0.0.0.0", std::nullopt);
    EXPECT_FALSE(reachability.isNetworkAvailableFlags(&flags));
    EXPECT_EQ(flags, 0xdeadu);

    provider->setFlags("0.0.0.0", R | N);
    EXPECT_FALSE(reachability.isNetworkAvailableFlags(&flags));
    EXPECT_EQ(flags, R | N);
    provider->setFlags("169.254.0.0", R | D);
    EXPECT_TRUE(reachability.isAdHocWiFiNetworkAvailableFlags(&flags));
    EXPECT_EQ(flags, R | D);
    EXPECT_TRUE(reachability.isAdHocWiFiNetworkAvailableFlags());
}

TEST_F(RulesTest, HostCheckIsOneOffAndUncached)
{
    provider->setFlags("host.test", R | N | W);
    EXPECT_TRUE(reachability.isHostReachable("host.test"));
    EXPECT_TRUE(reachability.isHostReachable("host.test"));
    EXPECT_EQ(provider->handlesCreated("host.test"), 2);
    EXPECT_TRUE(reachability.reachabilityQueries().empty());

    provider->setFlags("host.test", std::nullopt);
    EXPECT_FALSE(reachability.isHostReachable("host.test"));
    EXPECT_FALSE(reachability.isHostReachable(""));
    EXPECT_FALSE(reachability.isHostReachable("unset.test")); // default flags 0
}

TEST(ReachabilityAddress, ParsesWithInetAtonRules)
{
    struct Case {
        const char* text;
        bool parses;
        std::array<std::uint8_t, 4> bytes;
    } cases[] = {
        {"10.0.0.1", true, {0x0A, 0, 0, 1}},
        {"169.254.0.0", true, {0xA9, 0xFE, 0, 0}},
        {"10.1", true, {0x0A, 0, 0, 1}},        // shortened: the last part fills the rest
        {"0x7f.1", true, {0x7F, 0, 0, 1}},      // hexadecimal
        {"010.0.0.1", true, {8, 0, 0, 1}},      // octal
        {"3232235777", true, {192, 168, 1, 1}}, // one 32-bit number
        {"", false, {}},
        {"abc", false, {}},
        {"256.0.0.1", false, {}},
        {"1.2.3.4.5", false, {}},
    };
    for (const auto& c : cases) {
        SocketAddressIPv4 address;
        ASSERT_EQ(Reachability::addressFromString(c.text, address), c.parses) << c.text;
        if (!c.parses)
            continue;
        std::array<std::uint8_t, 16> expected{16, 2, 0, 0, c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]};
        std::array<std::uint8_t, 16> actual;
        std::memcpy(actual.data(), &address, sizeof address);
        EXPECT_EQ(actual, expected) << c.text;
    }
}

TEST(ReachabilityNames, StatusAndFlagNames)
{
    EXPECT_EQ(toString(NetStatusUnreachable), "NetStatusUnreachable");
    EXPECT_EQ(toString(NetStatusViaWWAN), "NetStatusViaWWAN");
    EXPECT_EQ(toString(NetStatusViaWiFi), "NetStatusViaWiFi");
    EXPECT_EQ(NetStatusViaWWAN, 1);
    EXPECT_EQ(describeReachabilityFlags(0), "none");
    EXPECT_EQ(describeReachabilityFlags(R), "R");
    EXPECT_EQ(describeReachabilityFlags(R | N | T | W | D), "R+N+D+T+W");
    EXPECT_EQ(R | N | T | D | W, 1u | 2u | 4u | 131072u | 262144u);
}

TEST(ReachabilityShared, StartsEmptyAndIsOnePerProcess)
{
    auto& shared = Reachability::sharedReachability();
    EXPECT_EQ(&shared, &Reachability::sharedReachability());
    EXPECT_FALSE(shared.networkStatusNotificationsEnabled());
    EXPECT_FALSE(shared.hostName());
    EXPECT_FALSE(shared.address());
    EXPECT_TRUE(shared.reachabilityQueries().empty());
}

} // namespace
} // namespace waterline
