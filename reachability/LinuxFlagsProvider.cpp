#include <waterline/reachability/LinuxFlagsProvider.h>

#include <optional>
#include <string>

#include "HostResolver.h"
#include "KernelRoutes.h"
#include "RouteChangeMonitor.h"
#include "ScheduledRunLoops.h"

namespace waterline {

namespace {

// A target as the kernel is asked about it: a fixed address, or a name resolved anew
// at every reading so that a change of address is noticed too.
class LinuxReachabilityHandle final : public WatchedHandle {
public:
    LinuxReachabilityHandle(std::shared_ptr<ScheduledRunLoops> scheduled, std::optional<IPv4Bytes> address,
                            std::string hostName, std::chrono::milliseconds resolveTimeLimit)
        : m_scheduled(std::move(scheduled))
        , m_address(address)
        , m_hostName(std::move(hostName))
        , m_resolveTimeLimit(resolveTimeLimit)
    {
    }

    ~LinuxReachabilityHandle() override { m_scheduled->unscheduleEverywhere(*this); }

    std::optional<ReachabilityFlags> getFlags() override
    {
        auto routes = KernelRoutes::open();
        if (!routes)
            return std::nullopt;
        auto address = m_address ? m_address : resolveIPv4(m_hostName, m_resolveTimeLimit);
        if (!address)
            return 0;
        return routes->flagsForAddress(*address);
    }

    bool scheduleWithRunLoop(RunLoop& runLoop) override { return m_scheduled->schedule(*this, runLoop); }
    bool unscheduleFromRunLoop(const RunLoop* runLoop) override { return m_scheduled->unschedule(*this, runLoop); }
    bool isScheduledWithRunLoop(const RunLoop* runLoop) const override
    {
        return m_scheduled->isScheduled(*this, runLoop);
    }

private:
    std::shared_ptr<ScheduledRunLoops> m_scheduled;
    std::optional<IPv4Bytes> m_address;
    std::string m_hostName;
    std::chrono::milliseconds m_resolveTimeLimit;
};

} // namespace

LinuxFlagsProvider::LinuxFlagsProvider()
    : LinuxFlagsProvider(Options{})
{
}

LinuxFlagsProvider::LinuxFlagsProvider(Options options)
    : m_options(options)
    , m_scheduled(ScheduledRunLoops::create(
          [](RunLoop& loop, const std::weak_ptr<ScheduledRunLoops>& handles) -> std::shared_ptr<void> {
              return RouteChangeMonitor::attach(loop, handles);
          }))
{
}

std::shared_ptr<ReachabilityHandle> LinuxFlagsProvider::createWithName(const std::string& hostName)
{
    if (hostName.empty())
        return nullptr;
    return std::make_shared<LinuxReachabilityHandle>(m_scheduled, std::nullopt, hostName, m_options.resolveTimeLimit);
}

std::shared_ptr<ReachabilityHandle> LinuxFlagsProvider::createWithAddress(const SocketAddressIPv4& address)
{
    if (address.length != SocketAddressIPv4::kLength || address.family != SocketAddressIPv4::kFamilyInet)
        return nullptr;
    return std::make_shared<LinuxReachabilityHandle>(m_scheduled, address.address, std::string{},
                                                     m_options.resolveTimeLimit);
}

} // namespace waterline
