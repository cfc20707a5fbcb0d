#include "WatchedHandle.h"

namespace waterline {

bool WatchedHandle::setCallback(ChangeCallback callback)
{
    m_callback.with([&](ChangeCallback& stored) { stored = std::move(callback); });
    return true;
}

void WatchedHandle::deliver(ReachabilityFlags flags)
{
    // A copy, so the callback runs without the lock.
    ChangeCallback callback = m_callback.with([](const ChangeCallback& stored) { return stored; });
    if (callback)
        callback(*this, flags);
}

} // namespace waterline
