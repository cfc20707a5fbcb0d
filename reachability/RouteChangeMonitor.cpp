#include "RouteChangeMonitor.h"

#include <linux/rtnetlink.h>

#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/RunLoop.h>

#include "ScheduledRunLoops.h"

namespace waterline {

std::shared_ptr<RouteChangeMonitor> RouteChangeMonitor::attach(RunLoop& loop, std::weak_ptr<ScheduledRunLoops> handles)
{
    auto socket = NetlinkSocket::open(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE);
    if (!socket)
        return nullptr;
    std::shared_ptr<RouteChangeMonitor> monitor(new RouteChangeMonitor(loop, std::move(*socket), std::move(handles)));
    monitor->m_events->onReady = [weak = std::weak_ptr<RouteChangeMonitor>(monitor)] {
        auto self = weak.lock();
        if (!self)
            return;
        // Keeps the source (and so this hook) alive should a callback unschedule the
        // last handle of this loop and with it the monitor.
        auto events = self->m_events;
        self->readEvents();
    };
    loop.addSource(monitor->m_events, kDefaultRunLoopMode);
    return monitor;
}

RouteChangeMonitor::RouteChangeMonitor(RunLoop& loop, NetlinkSocket socket, std::weak_ptr<ScheduledRunLoops> handles)
    : m_loop(loop)
    , m_socket(std::move(socket))
    , m_events(FdSource::create(m_socket.fd(), FdSource::Read))
    , m_handles(std::move(handles))
{
}

RouteChangeMonitor::~RouteChangeMonitor()
{
    m_loop.removeSource(m_events);
}

void RouteChangeMonitor::readEvents()
{
    if (m_socket.drain() == 0)
        return;
    if (auto handles = m_handles.lock())
        handles->reevaluate(&m_loop);
}

} // namespace waterline
