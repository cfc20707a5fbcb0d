// The process-wide bandwidth limit shared by every request and body stream, and the
// carrier-only mode that follows the shared reachability monitor. The accounting
// itself is BandwidthAccount's; this file connects it to requests.
#include <waterline/foundation/NotificationCenter.h>
#include <waterline/http/BandwidthAccount.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/reachability/Reachability.h>

#include <algorithm>
#include <thread>

namespace waterline {

namespace {

constexpr std::uint32_t kDefaultCarrierLimit = 14800;
// A throttled request waits in steps this short, so that a cancel is seen soon.
constexpr auto kWaitStep = std::chrono::milliseconds(10);

BandwidthAccount& account()
{
    return BandwidthAccount::shared();
}

// The observer of reachability changes while the carrier-only mode is on.
struct CarrierWatch {
    std::mutex lock;
    NotificationCenter::ObserverToken observer;
};

CarrierWatch& carrierWatch()
{
    static auto* watch = new CarrierWatch;
    return *watch;
}

} // namespace

std::uint32_t HTTPRequest::maxBandwidthPerSecond()
{
    return account().limit();
}

void HTTPRequest::setMaxBandwidthPerSecond(std::uint32_t bytesPerSecond)
{
    account().setLimit(bytesPerSecond);
}

bool HTTPRequest::isBandwidthThrottled()
{
    return account().isThrottled();
}

void HTTPRequest::incrementBandwidthUsedInLastSecond(std::uint64_t bytes)
{
    account().addUsage(bytes, Clock::now());
}

void HTTPRequest::returnUnusedBandwidth(std::uint64_t bytes)
{
    account().returnUnused(bytes);
}

std::uint32_t HTTPRequest::averageBandwidthUsedPerSecond()
{
    return account().averageUsedPerSecond(Clock::now());
}

std::uint32_t HTTPRequest::maxUploadReadLength()
{
    return account().maxUploadReadLength(Clock::now());
}

std::size_t HTTPRequest::bandwidthLimitedReadLength(std::size_t wanted)
{
    return account().responseReadLength(wanted, Clock::now());
}

// While throttled, the transport holds about one read's worth, so that response bytes
// the request may not take yet stay in the connection rather than in our memory.
std::optional<std::size_t> HTTPRequest::receiveBufferLimitForThrottling()
{
    if (!isBandwidthThrottled())
        return std::nullopt;
    return std::clamp<std::size_t>(maxBandwidthPerSecond() / 4, 1024, 65536);
}

// Waits until the shared allowance has something to give. The wait is made in short
// steps that see a cancel (this runs while the request holds cancelledLock), and the
// time spent waiting is not silence: the inactivity clock is moved on by it.
void HTTPRequest::measureBandwidthUsage()
{
    auto began = Clock::now();
    (void)account().averageUsedPerSecond(began); // closes an ended window
    while (!m_cancelRequested.load()) {
        auto wait = account().waitForAllowance(Clock::now());
        if (wait <= Clock::duration::zero())
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(wait, kWaitStep));
    }
    if (m_lastActivityTime)
        *m_lastActivityTime += Clock::now() - began;
}

void HTTPRequest::setShouldThrottleBandwidthForWWAN(bool throttle)
{
    if (throttle) {
        throttleBandwidthForWWANUsingLimit(kDefaultCarrierLimit);
        return;
    }
    auto& watch = carrierWatch();
    std::lock_guard guard(watch.lock);
    if (watch.observer)
        NotificationCenter::defaultCenter().removeObserver(watch.observer);
    watch.observer = {};
    account().configure(0, false, false);
}

void HTTPRequest::throttleBandwidthForWWANUsingLimit(std::uint32_t limit)
{
    {
        auto& watch = carrierWatch();
        std::lock_guard guard(watch.lock);
        account().setLimit(limit);
        account().setCarrierOnly(true);
        Reachability::sharedReachability().setNetworkStatusNotificationsEnabled(true);
        if (!watch.observer)
            watch.observer = NotificationCenter::defaultCenter().addObserver(
                kReachabilityChangedNotification, [](const Notification&) { reachabilityChanged(); });
    }
    reachabilityChanged();
}

// The status is read before the account is locked: a reading may take a while.
void HTTPRequest::reachabilityChanged()
{
    bool onCarrier = Reachability::sharedReachability().internetConnectionStatus() == NetStatusViaWWAN;
    account().setOnCarrierNetwork(onCarrier);
}

} // namespace waterline
