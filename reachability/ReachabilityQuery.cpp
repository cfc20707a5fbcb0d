#include <waterline/reachability/ReachabilityQuery.h>

#include <algorithm>

#include <waterline/foundation/NotificationCenter.h>
#include <waterline/reachability/Reachability.h>

namespace waterline {

namespace {

// Every change of any scheduled target becomes the same notification; observers ask
// for the status they care about. The handle, flags and query are not needed.
void reachabilityChangedCallback(ReachabilityHandle&, ReachabilityFlags, ReachabilityQuery*)
{
    NotificationCenter::defaultCenter().post(kReachabilityChangedNotification, nullptr);
}

} // namespace

ReachabilityQuery::ReachabilityQuery(const Reachability& monitor)
    : m_monitor(monitor)
{
}

bool ReachabilityQuery::isScheduledOnRunLoop(const RunLoop* runLoop) const
{
    return std::find(m_runLoops.begin(), m_runLoops.end(), runLoop) != m_runLoops.end();
}

void ReachabilityQuery::scheduleOnRunLoop(RunLoop* runLoop)
{
    if (!m_monitor.networkStatusNotificationsEnabled() || !runLoop)
        return;
    // A loop whose thread has ended was dropped by the handle; forget it here too, or
    // a new loop that happens to reuse its address would never be scheduled.
    if (m_reachabilityRef) {
        std::erase_if(m_runLoops,
                      [&](const RunLoop* listed) { return !m_reachabilityRef->isScheduledWithRunLoop(listed); });
    }
    if (isScheduledOnRunLoop(runLoop))
        return;
    if (auto* scheduled = startListeningForReachabilityChanges(m_reachabilityRef.get(), runLoop))
        m_runLoops.push_back(scheduled);
}

RunLoop* ReachabilityQuery::startListeningForReachabilityChanges(ReachabilityHandle* reachabilityRef, RunLoop* runLoop)
{
    if (!reachabilityRef || !runLoop)
        return nullptr;
    reachabilityRef->setCallback([info = this](ReachabilityHandle& handle, ReachabilityFlags flags) {
        reachabilityChangedCallback(handle, flags, info);
    });
    reachabilityRef->scheduleWithRunLoop(*runLoop);
    return runLoop;
}

void ReachabilityQuery::setReachabilityRef(std::shared_ptr<ReachabilityHandle> reachabilityRef)
{
    m_reachabilityRef = std::move(reachabilityRef);
}

void ReachabilityQuery::setRunLoops(std::vector<RunLoop*> runLoops)
{
    m_runLoops = std::move(runLoops);
}

void ReachabilityQuery::setHostNameOrAddress(std::string hostNameOrAddress)
{
    m_hostNameOrAddress = std::move(hostNameOrAddress);
}

} // namespace waterline
