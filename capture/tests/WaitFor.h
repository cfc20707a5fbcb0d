// Waiting in tests without timing anything: turn the main run loop (so hand-offs to the
// main thread complete) until a condition holds, giving up only after a generous limit
// so a bug fails the test instead of hanging CI.
#pragma once

#include <waterline/foundation/RunLoop.h>

#include <chrono>
#include <functional>
#include <thread>

namespace waterline {

inline bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = std::chrono::seconds(20))
{
    auto giveUp = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        if (RunLoop::main().runMode(kDefaultRunLoopMode, 0.01, true) == RunLoopResult::Finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Turns the main run loop for `duration`, serving hand-offs meanwhile.
inline void pumpFor(std::chrono::milliseconds duration)
{
    auto end = std::chrono::steady_clock::now() + duration;
    waitFor([&] { return std::chrono::steady_clock::now() >= end; });
}

} // namespace waterline
