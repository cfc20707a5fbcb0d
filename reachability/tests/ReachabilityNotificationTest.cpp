// The query cache, the run-loop lists and the change notification, with flags set by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <waterline/foundation/NotificationCenter.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>
#include <waterline/reachability/Reachability.h>
#include <waterline/reachability/TestFlagsProvider.h>

namespace waterline {
namespace {

using namespace ReachabilityFlag;

// Counts "NetworkReachabilityChangedNotification" while it lives.
struct NotificationCounter {
    int count = 0;
    bool objectWasNull = true;
    NotificationCenter::ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        "NetworkReachabilityChangedNotification", [this](const Notification& notification) {
            ++count;
            objectWasNull = objectWasNull && notification.object == nullptr;
        });
    ~NotificationCounter() { NotificationCenter::defaultCenter().removeObserver(token); }

    // Runs this thread's loop until a notification has come, or for at most `limit`.
    void runLoopUntilNotified(std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        auto deadline = std::chrono::steady_clock::now() + limit;
        int before = count;
        while (count == before && std::chrono::steady_clock::now() < deadline)
            RunLoop::current().runMode(kDefaultRunLoopMode, 0.05, true);
    }
};

struct NotificationTest : ::testing::Test {
    std::shared_ptr<TestFlagsProvider> provider = std::make_shared<TestFlagsProvider>();
    Reachability reachability{provider};

    ReachabilityQuery* query(const std::string& target)
    {
        auto it = reachability.reachabilityQueries().find(target);
        return it == reachability.reachabilityQueries().end() ? nullptr : it->second.get();
    }
};

TEST_F(NotificationTest, AStatusCheckSchedulesOnTheCallingThreadsLoopOnce)
{
    reachability.setNetworkStatusNotificationsEnabled(true);
    reachability.internetConnectionStatus();
    ASSERT_NE(query("0.0.0.0"), nullptr);
    EXPECT_EQ(query("0.0.0.0")->hostNameOrAddress(), "0.0.0.0");
    EXPECT_EQ(query("0.0.0.0")->runLoops(), std::vector<RunLoop*>{&RunLoop::current()});

    reachability.internetConnectionStatus();
    reachability.isNetworkAvailableFlags();
    EXPECT_EQ(query("0.0.0.0")->runLoops().size(), 1u);
    EXPECT_EQ(provider->handlesCreated("0.0.0.0"), 1);
    EXPECT_EQ(provider->scheduledRunLoopCount("0.0.0.0"), 1);

    // Another thread's check adds that thread's loop, once.
    std::thread([&] {
        reachability.internetConnectionStatus();
        reachability.internetConnectionStatus();
        EXPECT_EQ(query("0.0.0.0")->runLoops().size(), 2u);
        EXPECT_TRUE(query("0.0.0.0")->isScheduledOnRunLoop(&RunLoop::current()));
    }).join();
    // That thread's loop is gone; the handle has let go of it, and the next check
    // drops it from the list, so a new loop at the same address would be scheduled.
    EXPECT_EQ(provider->scheduledRunLoopCount("0.0.0.0"), 1);
    reachability.internetConnectionStatus();
    EXPECT_EQ(query("0.0.0.0")->runLoops(), std::vector<RunLoop*>{&RunLoop::current()});
}

TEST_F(NotificationTest, NothingIsScheduledWhileNotificationsAreOff)
{
    reachability.setAddress("10.0.0.1");
    reachability.internetConnectionStatus();
    reachability.localWiFiConnectionStatus();
    reachability.remoteHostStatus();
    for (const auto* target : {"0.0.0.0", "169.254.0.0", "10.0.0.1"}) {
        ASSERT_NE(query(target), nullptr) << target;
        EXPECT_TRUE(query(target)->runLoops().empty()) << target;
    }

    // Switching on schedules the fixed targets at their next check; the address
    // query was made while notifications were off and stays silent.
    reachability.setNetworkStatusNotificationsEnabled(true);
    reachability.internetConnectionStatus();
    reachability.localWiFiConnectionStatus();
    reachability.remoteHostStatus();
    EXPECT_EQ(query("0.0.0.0")->runLoops().size(), 1u);
    EXPECT_EQ(query("169.254.0.0")->runLoops().size(), 1u);
    EXPECT_TRUE(query("10.0.0.1")->runLoops().empty());

    NotificationCounter notifications;
    provider->setFlags("10.0.0.1", Reachable);
    RunLoop::current().runMode(kDefaultRunLoopMode, 0.2, false);
    EXPECT_EQ(notifications.count, 0);

    provider->setFlags("0.0.0.0", Reachable);
    notifications.runLoopUntilNotified();
    EXPECT_EQ(notifications.count, 1);
}

TEST_F(NotificationTest, ChangeNotifiesUntilStopListeningThenAgainAfterACheck)
{
    NotificationCounter notifications;
    reachability.setNetworkStatusNotificationsEnabled(true);
    provider->setFlags("0.0.0.0", Reachable);
    EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWiFi);

    provider->setFlags("0.0.0.0", Reachable | TransientConnection);
    notifications.runLoopUntilNotified();
    EXPECT_EQ(notifications.count, 1);
    EXPECT_TRUE(notifications.objectWasNull);
    EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusViaWWAN);

    // The same flags again are no change.
    provider->setFlags("0.0.0.0", Reachable | TransientConnection);
    RunLoop::current().runMode(kDefaultRunLoopMode, 0.1, false);
    EXPECT_EQ(notifications.count, 1);

    reachability.stopListeningForReachabilityChanges();
    EXPECT_TRUE(query("0.0.0.0")->runLoops().empty());
    EXPECT_EQ(provider->scheduledRunLoopCount("0.0.0.0"), 0);
    provider->setFlags("0.0.0.0", 0);
    RunLoop::current().runMode(kDefaultRunLoopMode, 0.2, false);
    EXPECT_EQ(notifications.count, 1);

    // The next check schedules the cached handle again.
    EXPECT_EQ(reachability.internetConnectionStatus(), NetStatusUnreachable);
    EXPECT_EQ(provider->handlesCreated("0.0.0.0"), 1);
    provider->setFlags("0.0.0.0", Reachable);
    notifications.runLoopUntilNotified();
    EXPECT_EQ(notifications.count, 2);
}

TEST_F(NotificationTest, ChangesAreDeliveredInTheDefaultModeOnly)
{
    static constexpr RunLoopMode kOtherMode{"ReachabilityTestOther"};
    NotificationCounter notifications;
    reachability.setNetworkStatusNotificationsEnabled(true);
    reachability.internetConnectionStatus();
    provider->setFlags("0.0.0.0", Reachable);
    auto keepBusy = Timer::singleShot(std::chrono::seconds(60), [] {}, RunLoop::current(), {kOtherMode});
    RunLoop::current().runMode(kOtherMode, 0.1, false);
    EXPECT_EQ(notifications.count, 0);
    keepBusy->invalidate();
    notifications.runLoopUntilNotified();
    EXPECT_EQ(notifications.count, 1);
}

TEST_F(NotificationTest, HandlesAreCachedByTargetText)
{
    reachability.setNetworkStatusNotificationsEnabled(true);
    auto first = reachability.reachabilityRefForAddress("10.0.0.1");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reachability.reachabilityRefForAddress("10.0.0.1"), first);
    EXPECT_EQ(provider->handlesCreated("10.0.0.1"), 1);
    EXPECT_EQ(query("10.0.0.1")->runLoops().size(), 1u);

    // Another spelling of the same address is another key.
    auto shortened = reachability.reachabilityRefForAddress("10.1");
    EXPECT_NE(shortened, first);
    EXPECT_NE(query("10.1"), nullptr);

    auto host = reachability.reachabilityRefForHostName("host.test");
    EXPECT_EQ(reachability.reachabilityRefForHostName("host.test"), host);
    EXPECT_EQ(provider->handlesCreated("host.test"), 1);

    EXPECT_EQ(reachability.reachabilityRefForAddress("abc"), nullptr);
    EXPECT_EQ(reachability.reachabilityRefForAddress(""), nullptr);
    EXPECT_EQ(reachability.reachabilityRefForHostName(""), nullptr);
    EXPECT_EQ(reachability.reachabilityQueries().size(), 3u);
}

TEST_F(NotificationTest, QueryScheduleNeedsAHandleAndALoop)
{
    reachability.setNetworkStatusNotificationsEnabled(true);
    ReachabilityQuery query(reachability);
    EXPECT_EQ(query.startListeningForReachabilityChanges(nullptr, &RunLoop::current()), nullptr);
    query.scheduleOnRunLoop(&RunLoop::current()); // no handle yet
    EXPECT_TRUE(query.runLoops().empty());

    query.setReachabilityRef(provider->createWithName("host.test"));
    query.scheduleOnRunLoop(nullptr);
    EXPECT_TRUE(query.runLoops().empty());
    query.scheduleOnRunLoop(&RunLoop::current());
    EXPECT_EQ(query.runLoops().size(), 1u);
    EXPECT_EQ(provider->scheduledRunLoopCount("host.test"), 1);
}

TEST(ReachabilityLifetime, DestroyingTheMonitorStopsListening)
{
    auto provider = std::make_shared<TestFlagsProvider>();
    std::shared_ptr<ReachabilityHandle> kept;
    {
        Reachability reachability(provider);
        reachability.setNetworkStatusNotificationsEnabled(true);
        reachability.internetConnectionStatus();
        kept = reachability.reachabilityRefForAddress("10.0.0.1");
        EXPECT_EQ(provider->scheduledRunLoopCount("10.0.0.1"), 1);
    }
    EXPECT_EQ(provider->scheduledRunLoopCount("0.0.0.0"), 0);
    EXPECT_EQ(provider->scheduledRunLoopCount("10.0.0.1"), 0); // unscheduled, though still held
}

} // namespace
} // namespace waterline
