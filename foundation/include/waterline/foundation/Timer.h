// A one-shot timer: after a delay, calls its hook once on the run loop it was
// scheduled on, while that loop runs one of the timer's modes. It never fires early:
// the deadline is taken on the monotonic clock when the timer is made, and the hook
// runs no sooner than that. It may fire late, by as long as the loop is busy or runs
// other modes. Timers with the same deadline fire in the order they were made.
// The loop holds the timer until it fires or is invalidated, so the returned pointer
// may be dropped when there is no need to cancel.
//
//     auto tick = Timer::singleShot(20ms, [this] { plinter(); });   // current loop
//     tick->invalidate();                                             // if no longer wanted
//
//     scheduledTimer(0.02, [this] { plinter(); });      // main run loop, default mode
//     performAfterDelay(90, [this] { showratedialog(); });
#pragma once

#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/RunLoopMode.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace waterline {

class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC

    // Makes a timer firing `delay` from now (negative delays count as zero) and
    // schedules it on `loop` in `modes`. Thread-safe: the loop may belong to another
    // thread; the hook then runs on that thread.
    static std::shared_ptr<Timer> singleShot(std::chrono::nanoseconds delay, std::function<void()> onFire,
                                             RunLoop& loop = RunLoop::current(),
                                             std::vector<RunLoopMode> modes = {kDefaultRunLoopMode});

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Unschedules the timer; its hook will not be called. Thread-safe; calling it
    // after the timer fired, or twice, does nothing.
    void invalidate();

    // True until the timer fires or is invalidated.
    bool isValid() const { return m_valid.load(); }

    Clock::time_point fireDate() const { return m_fireDate; }

private:
    Timer(Clock::time_point fireDate, std::uint64_t sequence, std::function<void()> onFire,
          std::vector<std::string> modes);
    friend class detail::RunLoopCore;

    const Clock::time_point m_fireDate;
    const std::uint64_t m_sequence; // orders timers with the same deadline
    std::function<void()> m_onFire;
    const std::vector<std::string> m_modes;
    std::atomic<bool> m_valid{true};
    std::weak_ptr<detail::RunLoopCore> m_loop;
};

// A one-shot timer of `seconds` on the main run loop, default mode.
std::shared_ptr<Timer> scheduledTimer(double seconds, std::function<void()> onFire);

// Runs `fn` on the main run loop, default mode, no sooner than `seconds` from now.
// The same as scheduledTimer; the name says what the caller means.
std::shared_ptr<Timer> performAfterDelay(double seconds, std::function<void()> fn);

} // namespace waterline
