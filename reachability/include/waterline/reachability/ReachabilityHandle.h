// One target (a host name or an IPv4 address) as a flags provider tracks it. The
// monitor keeps one handle per target for the life of the process: it reads the
// target's flags on demand and, once scheduled on run loops, hears on each of them
// when those flags change. Dropping the last reference unschedules the handle.
#pragma once

#include <functional>
#include <optional>

#include <waterline/reachability/ReachabilityFlags.h>

namespace waterline {

class RunLoop;

class ReachabilityHandle {
public:
    // Called on a run loop the handle is scheduled on, in its default mode, with the
    // flags that differ from the ones last seen there.
    using ChangeCallback = std::function<void(ReachabilityHandle&, ReachabilityFlags)>;

    virtual ~ReachabilityHandle() = default;

    // The target's flags now; none when they cannot be read at all (a target that is
    // simply not reachable reads as 0).
    virtual std::optional<ReachabilityFlags> getFlags() = 0;

    // Replaces the change callback; an empty one silences the handle.
    virtual bool setCallback(ChangeCallback callback) = 0;

    // Starts or stops change delivery on a run loop, in its default mode. Scheduling
    // twice on one loop is the same as once. A handle scheduled on the calling
    // thread's own loop forgets that loop by itself when the thread ends, so below
    // loops are only compared by identity and a pointer to such a loop that is gone
    // is harmless. (A loop of another thread must be unscheduled before that thread
    // ends.)
    virtual bool scheduleWithRunLoop(RunLoop& runLoop) = 0;
    virtual bool unscheduleFromRunLoop(const RunLoop* runLoop) = 0;
    virtual bool isScheduledWithRunLoop(const RunLoop* runLoop) const = 0;

    ReachabilityHandle() = default;
    ReachabilityHandle(const ReachabilityHandle&) = delete;
    ReachabilityHandle& operator=(const ReachabilityHandle&) = delete;
};

} // namespace waterline
