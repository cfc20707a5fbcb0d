// A lock that carries an integer condition: a thread can wait until the lock is free
// AND the condition has a given value, and set the value as it unlocks. Two threads
// hand work back and forth with it ("1: nothing pending, 2: answered"):
//
//     ConditionLock handOff(1);
//     // worker                                  // main thread
//     askMainThreadForCredentials();             handOff.lockWhenCondition(1);
//     handOff.lockWhenCondition(2);              fillInCredentials();
//     useCredentials();                          handOff.unlockWithCondition(2);
//     handOff.unlockWithCondition(1);
//
// Not recursive. The thread that locked it need not be the one that unlocks it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace waterline {

class ConditionLock {
public:
    explicit ConditionLock(int condition = 0)
        : m_condition(condition)
    {
    }
    ConditionLock(const ConditionLock&) = delete;
    ConditionLock& operator=(const ConditionLock&) = delete;

    void lock();
    bool tryLock();
    void unlock(); // leaves the condition as it is

    void lockWhenCondition(int condition);
    bool tryLockWhenCondition(int condition);
    // Gives up after `timeout`; returns whether the lock was taken.
    bool lockWhenCondition(int condition, std::chrono::nanoseconds timeout);
    void unlockWithCondition(int condition);

    int condition() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_locked = false;
    int m_condition;
};

} // namespace waterline
