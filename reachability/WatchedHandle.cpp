#include "WatchedHandle.h"

namespace waterline {

bool WatchedHandle::setCallback(ChangeCallback callback)
{
    std::lock_guard lock(m_callbackLock);
    m_callback = std::move(callback);
    return true;
}

void WatchedHandle::deliver(ReachabilityFlags flags)
{
    ChangeCallback callback;
    {
        std::lock_guard lock(m_callbackLock);
        callback = m_callback;
    }
    if (callback)
        callback(*this, flags);
}

} // namespace waterline
