// The part every provider's handle shares: the change callback and the way a change
// is handed to it. Which run loops a handle is scheduled on is kept by the provider
// (ScheduledRunLoops), since a change event concerns all handles of a loop at once.
#pragma once

#include <memory>

#include <waterline/foundation/Guarded.h>
#include <waterline/reachability/ReachabilityHandle.h>

namespace waterline {

class WatchedHandle : public ReachabilityHandle, public std::enable_shared_from_this<WatchedHandle> {
public:
    bool setCallback(ChangeCallback callback) override;

    // Calls the callback, if any, with the new flags. The callback runs without any
    // lock held, so it may use the handle and the monitor freely.
    void deliver(ReachabilityFlags flags);

private:
    Guarded<ChangeCallback> m_callback;
};

} // namespace waterline
