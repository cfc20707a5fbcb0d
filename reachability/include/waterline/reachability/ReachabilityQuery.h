// One cached reachability target: its provider handle, made once, and the run loops
// that handle is scheduled on for change notifications, each listed once. The list
// only names the loops (it keeps none of them alive); a loop is recognised by
// identity.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <waterline/reachability/ReachabilityHandle.h>

namespace waterline {

class Reachability;
class RunLoop;

class ReachabilityQuery {
public:
    // A query with an empty run-loop list. `monitor` is the Reachability whose
    // notification switch decides whether scheduling happens at all; it outlives the
    // query.
    explicit ReachabilityQuery(const Reachability& monitor);

    ReachabilityQuery(const ReachabilityQuery&) = delete;
    ReachabilityQuery& operator=(const ReachabilityQuery&) = delete;

    bool isScheduledOnRunLoop(const RunLoop* runLoop) const;

    // Schedules the handle for change notifications on the loop, unless notifications
    // are switched off, no loop is given, or the loop is already listed.
    void scheduleOnRunLoop(RunLoop* runLoop);

    // Installs the change callback on the handle and schedules it on the loop in the
    // default mode. Returns the loop, or none when either argument is missing; the
    // provider's own results are not examined.
    RunLoop* startListeningForReachabilityChanges(ReachabilityHandle* reachabilityRef, RunLoop* runLoop);

    const std::shared_ptr<ReachabilityHandle>& reachabilityRef() const { return m_reachabilityRef; }
    void setReachabilityRef(std::shared_ptr<ReachabilityHandle> reachabilityRef);
    const std::vector<RunLoop*>& runLoops() const { return m_runLoops; }
    void setRunLoops(std::vector<RunLoop*> runLoops);
    const std::string& hostNameOrAddress() const { return m_hostNameOrAddress; }
    void setHostNameOrAddress(std::string hostNameOrAddress);

private:
    const Reachability& m_monitor;
    std::shared_ptr<ReachabilityHandle> m_reachabilityRef;
    std::vector<RunLoop*> m_runLoops; // not owned
    std::string m_hostNameOrAddress;
};

} // namespace waterline
