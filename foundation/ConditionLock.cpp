// The lock is a flag under a mutex rather than the mutex itself, so that it may be
// released by a thread other than the one that took it.
#include <waterline/foundation/ConditionLock.h>

namespace waterline {

void ConditionLock::lock()
{
    std::unique_lock guard(m_mutex);
    m_changed.wait(guard, [&] { return !m_locked; });
    m_locked = true;
}

bool ConditionLock::tryLock()
{
    std::lock_guard guard(m_mutex);
    if (m_locked)
        return false;
    m_locked = true;
    return true;
}

void ConditionLock::unlock()
{
    {
        std::lock_guard guard(m_mutex);
        m_locked = false;
    }
    m_changed.notify_all();
}

void ConditionLock::lockWhenCondition(int condition)
{
    std::unique_lock guard(m_mutex);
    m_changed.wait(guard, [&] { return !m_locked && m_condition == condition; });
    m_locked = true;
}

bool ConditionLock::tryLockWhenCondition(int condition)
{
    std::lock_guard guard(m_mutex);
    if (m_locked || m_condition != condition)
        return false;
    m_locked = true;
    return true;
}

bool ConditionLock::lockWhenCondition(int condition, std::chrono::nanoseconds timeout)
{
    std::unique_lock guard(m_mutex);
    if (!m_changed.wait_for(guard, timeout, [&] { return !m_locked && m_condition == condition; }))
        return false;
    m_locked = true;
    return true;
}

void ConditionLock::unlockWithCondition(int condition)
{
    {
        std::lock_guard guard(m_mutex);
        m_condition = condition;
        m_locked = false;
    }
    m_changed.notify_all(); // waiters for different conditions share the variable
}

int ConditionLock::condition() const
{
    std::lock_guard guard(m_mutex);
    return m_condition;
}

} // namespace waterline
