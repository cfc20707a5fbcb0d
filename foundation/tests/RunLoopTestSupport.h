// Helpers for run-loop tests: every run is bounded by a guard timer, so a test whose
// awaited event never comes fails instead of hanging CI.
#pragma once

#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <thread>

namespace waterline {
inline void PrintTo(RunLoopResult result, std::ostream* out)
{
    *out << toString(result);
}
} // namespace waterline

namespace waterline::test {

inline constexpr double kGuardSeconds = 10;

// Runs `mode` of `loop` (one source at a time) until `done` holds or the guard
// timer fires; returns whether `done` held.
inline bool runUntil(RunLoop& loop, RunLoopMode mode, const std::function<bool()>& done,
                     double guardSeconds = kGuardSeconds)
{
    bool expired = false;
    auto guard = Timer::singleShot(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(guardSeconds)),
        [&] { expired = true; }, loop, {mode});
    while (!done() && !expired) {
        if (loop.runMode(mode, guardSeconds, true) == RunLoopResult::Finished)
            break;
    }
    guard->invalidate();
    return done();
}

inline bool runMainUntil(const std::function<bool()>& done, double guardSeconds = kGuardSeconds)
{
    return runUntil(RunLoop::main(), kDefaultRunLoopMode, done, guardSeconds);
}

// A pipe whose ends close with the test.
struct Pipe {
    int readEnd = -1;
    int writeEnd = -1;
    Pipe()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            readEnd = fds[0];
            writeEnd = fds[1];
        }
    }
    ~Pipe()
    {
        ::close(readEnd);
        ::close(writeEnd);
    }
    void put(char c = 'x') const { [[maybe_unused]] auto n = ::write(writeEnd, &c, 1); }
    void take() const
    {
        char c;
        [[maybe_unused]] auto n = ::read(readEnd, &c, 1);
    }
};

// A thread running its own run loop in the default mode until a source stops it (or
// the guard timer does). `loop()` is ready once the constructor returns; the
// destructor joins the thread.
class WorkerRunLoop {
public:
    WorkerRunLoop()
        : m_thread([this] {
            RunLoop& loop = RunLoop::current();
            auto guard = Timer::singleShot(
                std::chrono::seconds(static_cast<int>(kGuardSeconds)), [&] { loop.stop(); }, loop);
            m_loop = &loop;
            loop.run();
            guard->invalidate();
        })
    {
        while (!m_loop.load())
            std::this_thread::yield();
    }
    ~WorkerRunLoop() { join(); }
    RunLoop& loop() const { return *m_loop.load(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<RunLoop*> m_loop{nullptr};
    std::thread m_thread;
};

inline double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace waterline::test
