// Flags read from the kernel, in network namespaces the tests build themselves. Each
// check runs on a thread that has entered the namespace, so the netlink sockets it
// opens see that namespace's links and routes and nothing of the machine's own.
#include <gtest/gtest.h>

#include <chrono>

#include <waterline/foundation/NotificationCenter.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/reachability/LinuxFlagsProvider.h>
#include <waterline/reachability/Reachability.h>

#include "NetworkNamespace.h"

namespace waterline {
namespace {

using namespace ReachabilityFlag;
using testing::NetworkNamespace;

#define REQUIRE_VETH(made)                                                                                             \
    if (!(made))                                                                                                       \
    GTEST_SKIP() << "the kernel refused to make a veth pair in the test namespace"

std::optional<ReachabilityFlags> flagsOf(FlagsProvider& provider, const std::string& addressText)
{
    SocketAddressIPv4 address;
    if (!Reachability::addressFromString(addressText, address))
        return std::nullopt;
    auto handle = provider.createWithAddress(address);
    return handle ? handle->getFlags() : std::nullopt;
}

struct KernelTest : ::testing::Test {
    NetworkNamespace ns;
    std::shared_ptr<LinuxFlagsProvider> provider
        = std::make_shared<LinuxFlagsProvider>(LinuxFlagsProvider::Options{std::chrono::milliseconds(1500)});

    void SetUp() override { WATERLINE_REQUIRE_NAMESPACE(ns); }

    // A veth pair v0 (10.20.0.1/24) – v1, both up.
    bool addConnectedNetwork(const std::string& end = "v0", const std::string& peer = "v1")
    {
        return ns.addVeth(end, peer, "10.20.0.1/24");
    }

    void inside(const std::function<void()>& work) { ASSERT_TRUE(ns.runInside(work)) << "setns failed"; }
};

TEST_F(KernelTest, NoRouteReadsAsZero)
{
    inside([&] {
        EXPECT_EQ(flagsOf(*provider, "10.1.2.3"), 0u);
        EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), 0u);
        Reachability reachability(provider);
        reachability.setAddress("10.1.2.3");
        EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);
        EXPECT_EQ(reachability.remoteHostStatus(), NetStatusUnreachable);
        EXPECT_EQ(reachability.localWiFiConnectionStatus(), NetStatusUnreachable);
    });
}

TEST_F(KernelTest, DirectlyConnectedNetworkIsReachableAndDirect)
{
    REQUIRE_VETH(addConnectedNetwork());
    ASSERT_TRUE(ns.ip({"route", "add", "169.254.0.0/16", "dev", "v0"}));
    inside([&] {
        EXPECT_EQ(flagsOf(*provider, "10.20.0.2"), Reachable | IsDirect);
        EXPECT_EQ(flagsOf(*provider, "10.21.0.2"), 0u); // outside the connected network
        EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), 0u);   // no default route
        Reachability reachability(provider);
        EXPECT_EQ(reachability.localWiFiConnectionStatus(), NetStatusViaWiFi);
        EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);
    });
}

TEST_F(KernelTest, DefaultRouteViaAGatewayIsTheInternet)
{
    REQUIRE_VETH(addConnectedNetwork());
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2"}));
    inside([&] {
        EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), Reachable);
        EXPECT_EQ(flagsOf(*provider, "192.0.2.1"), Reachable);
        Reachability reachability(provider);
        EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWiFi);
        EXPECT_EQ(reachability.localWiFiConnectionStatus(), NetStatusUnreachable); // reached via the gateway
        reachability.setAddress("192.0.2.1");
        EXPECT_EQ(reachability.remoteHostStatus(), NetStatusViaWiFi);
    });
}

TEST_F(KernelTest, CellularInterfaceCarryingTheDefaultRouteIsWWAN)
{
    REQUIRE_VETH(addConnectedNetwork("wwan0", "wwpeer"));
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2", "dev", "wwan0"}));
    inside([&] {
        EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), Reachable | TransientConnection | IsWWAN);
        // No gateway, but a carrier link is not an ad-hoc network.
        EXPECT_EQ(flagsOf(*provider, "10.20.0.2"), Reachable | TransientConnection | IsWWAN);
        Reachability reachability(provider);
        EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWWAN);
    });
}

TEST_F(KernelTest, LinkWithoutCarrierRequiresAConnection)
{
    REQUIRE_VETH(addConnectedNetwork());
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2"}));
    ASSERT_TRUE(ns.ip({"link", "set", "v1", "down"})); // v0 stays up but loses its carrier
    inside([&] {
        EXPECT_EQ(flagsOf(*provider, "10.20.0.2"), ConnectionRequired | IsDirect);
        EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), ConnectionRequired);
        Reachability reachability(provider);
        EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);
    });
}

TEST_F(KernelTest, RouteKindsAndMetrics)
{
    REQUIRE_VETH(addConnectedNetwork());
    REQUIRE_VETH(ns.addVeth("v2", "v3", "10.21.0.1/24"));
    ASSERT_TRUE(ns.ip({"link", "set", "lo", "up"}));
    ASSERT_TRUE(ns.ip({"route", "add", "unreachable", "10.30.0.0/16"}));
    ASSERT_TRUE(ns.ip({"route", "add", "blackhole", "10.31.0.0/16"}));
    ASSERT_TRUE(ns.ip({"route", "add", "10.32.0.0/16", "via", "10.21.0.2"}));
    // The cheaper default route leaves by a link without carrier; the dearer one works.
    ASSERT_TRUE(ns.ip({"link", "set", "v3", "down"}));
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.21.0.2", "metric", "10"}));
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2", "metric", "20"}));
    inside([&] {
        struct Case {
            const char* address;
            ReachabilityFlags flags;
        } cases[] = {
            {"10.30.0.1", 0},                    // unreachable route
            {"10.31.0.1", 0},                    // blackhole route
            {"10.32.0.1", ConnectionRequired},   // via a gateway on the dead link
            {"10.20.0.1", Reachable | IsDirect}, // our own address, over loopback
            {"127.0.0.1", Reachable | IsDirect},
            {"0.0.0.0", Reachable}, // the working default route wins
        };
        for (auto [address, flags] : cases)
            EXPECT_EQ(flagsOf(*provider, address), flags) << address;
    });

    // With only the dead default route left, the default route needs a connection.
    ASSERT_TRUE(ns.ip({"route", "delete", "default", "via", "10.20.0.2", "metric", "20"}));
    inside([&] { EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), ConnectionRequired); });

    // A multipath default route stands for its first next hop.
    ASSERT_TRUE(ns.ip({"route", "delete", "default"}));
    ASSERT_TRUE(ns.ip({"route", "add", "default", "nexthop", "via", "10.20.0.2", "dev", "v0", "nexthop", "via",
                       "10.21.0.2", "dev", "v2"}));
    inside([&] { EXPECT_EQ(flagsOf(*provider, "0.0.0.0"), Reachable); });
}

TEST_F(KernelTest, HostNamesAreResolvedAtEachReading)
{
    ASSERT_TRUE(ns.ip({"link", "set", "lo", "up"}));
    inside([&] {
        Reachability reachability(provider);
        EXPECT_TRUE(reachability.isHostReachable("localhost")); // from the hosts file: 127.0.0.1
        reachability.setHostName("localhost");
        EXPECT_EQ(reachability.remoteHostStatus(), NetStatusViaWiFi);
        // Not a valid host name, so the resolver refuses it without asking any server
        // (and the namespace has no route to one anyway).
        EXPECT_FALSE(reachability.isHostReachable("no such host"));
        auto handle = provider->createWithName("no such host");
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(handle->getFlags(), 0u);
    });
}

TEST_F(KernelTest, ChangeIsNotifiedUntilStopListening)
{
    REQUIRE_VETH(addConnectedNetwork());
    ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2"}));
    inside([&] {
        int notifications = 0;
        auto& center = NotificationCenter::defaultCenter();
        auto token = center.addObserver("NetworkReachabilityChangedNotification",
                                        [&](const Notification&) { ++notifications; });
        auto runUntil = [&](auto done, std::chrono::milliseconds limit) {
            auto deadline = std::chrono::steady_clock::now() + limit;
            while (!done() && std::chrono::steady_clock::now() < deadline)
                RunLoop::current().runMode(kDefaultRunLoopMode, 0.05, true);
        };

        {
            Reachability reachability(provider);
            reachability.setNetworkStatusNotificationsEnabled(true);
            EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWiFi);

            ASSERT_TRUE(ns.ip({"link", "set", "v0", "down"}));
            runUntil([&] { return notifications > 0; }, std::chrono::seconds(5));
            EXPECT_GE(notifications, 1);
            EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);

            reachability.stopListeningForReachabilityChanges();
            int before = notifications;
            ASSERT_TRUE(ns.ip({"link", "set", "v0", "up"}));
            ASSERT_TRUE(ns.ip({"route", "add", "default", "via", "10.20.0.2"}));
            runUntil([] { return false; }, std::chrono::milliseconds(300));
            EXPECT_EQ(notifications, before);
            EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWiFi);
        }
        center.removeObserver(token);
    });
}

} // namespace
} // namespace waterline
