// Hears the kernel announce link, address and route changes on one run loop. It owns
// a netlink socket joined to those multicast groups, watched by an FdSource in the
// loop's default mode; on each wake-up it drains every queued message and asks the
// provider to re-read the flags of the handles scheduled on that loop.
//
// Each loop has a socket of its own rather than sharing one: a datagram read on one
// loop's thread is gone for every other reader.
#pragma once

#include <memory>

#include "NetlinkSocket.h"

namespace waterline {

class FdSource;
class RunLoop;
class ScheduledRunLoops;

class RouteChangeMonitor : public std::enable_shared_from_this<RouteChangeMonitor> {
public:
    // None when the event socket cannot be opened. The socket belongs to the calling
    // thread's network namespace.
    static std::shared_ptr<RouteChangeMonitor> attach(RunLoop& loop, std::weak_ptr<ScheduledRunLoops> handles);

    // Takes the source off the loop; the loop must still exist.
    ~RouteChangeMonitor();

private:
    RouteChangeMonitor(RunLoop& loop, NetlinkSocket socket, std::weak_ptr<ScheduledRunLoops> handles);
    void readEvents();

    RunLoop& m_loop;
    NetlinkSocket m_socket;
    std::shared_ptr<FdSource> m_events;
    std::weak_ptr<ScheduledRunLoops> m_handles;
};

} // namespace waterline
