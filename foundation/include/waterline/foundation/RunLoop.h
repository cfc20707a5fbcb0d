// One run loop per thread: the thread's single place to wait for events. A loop
// serves three kinds of sources — file descriptors (FdSource), one-shot timers
// (Timer) and posted tasks — each added in one or more modes (RunLoopMode). While
// the loop runs mode M it waits in epoll for exactly the sources of M and calls
// their hooks on its own thread; sources of other modes keep waiting until a run
// of their mode comes along. A hook may itself run the loop again, in the same or
// another mode (a nested run): the inner run serves only its own mode and returns
// to the outer one, which carries on. Waiting is done by the kernel (epoll over an
// eventfd for wake-ups and a timerfd for the earliest timer); nothing spins.
//
//     RunLoop& loop = RunLoop::current();
//     auto readable = FdSource::create(fd, FdSource::Read);
//     readable->onReady = [&] { handleInput(); };
//     loop.addSource(readable, kHTTPRequestMode);
//     while (!done)
//         loop.runMode(kHTTPRequestMode, 0.25, /*returnAfterSourceHandled=*/true);
//     loop.removeSource(readable, kHTTPRequestMode);
//
//     RunLoop::main().post([] { updateScreen(); });   // from any thread
//
// Thread safety: post(), stop(), wakeUp(), addSource() and removeSource() may be
// called from any thread. runMode() and run() only on the loop's own thread. A source
// removed (or a timer invalidated) on the loop's own thread is never called again; one
// removed from another thread may still be called once if its hook was already being
// dispatched.
// A task, timer or source hook that throws lets the exception leave runMode();
// the loop stays usable.
#pragma once

#include <waterline/foundation/RunLoopMode.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class FdSource;
class Timer;

namespace detail {
class RunLoopCore;
}

// Why a runMode() slice returned.
enum class RunLoopResult {
    Finished,      // the mode has no sources, timers or pending tasks at all
    Stopped,       // stop() was called
    TimedOut,      // the slice's time ran out
    HandledSource, // one source was handled and returnAfterSourceHandled was set
};

const char* toString(RunLoopResult);

class RunLoop {
public:
    // The calling thread's loop, made on first use and destroyed when the thread ends.
    static RunLoop& current();

    // The loop of the process's main thread (the thread whose id is the process id),
    // callable from any thread. It lives until the process exits.
    static RunLoop& main();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Runs `mode` for at most `seconds` (0 or less: one pass without waiting).
    // Returns Finished at once when the mode has nothing in it; Stopped when stop()
    // was called (also when it was called before this run began); HandledSource after
    // the first task, timer or ready fd when `returnAfterSourceHandled`; otherwise
    // TimedOut when the time is up. Only on the loop's own thread (std::logic_error
    // otherwise).
    RunLoopResult runMode(RunLoopMode mode, double seconds, bool returnAfterSourceHandled);

    // Runs the default mode until stop(). Unlike runMode() it also waits while the
    // mode is empty, so tasks posted later from other threads are still run.
    void run();

    // Makes the innermost run of this loop return Stopped as soon as the hook in
    // progress (if any) returns. When the loop is not running, the next run returns
    // Stopped at once. Thread-safe.
    void stop();

    // Queues `task` to run on this loop's thread in the default mode (or the given
    // modes), in the order posted, and wakes the loop. Thread-safe.
    void post(std::function<void()> task);
    void post(std::function<void()> task, std::vector<RunLoopMode> modes);

    // Adds a file-descriptor source in a mode; its onReady runs on this loop's thread
    // whenever the fd is ready while the loop runs that mode. A source may be in
    // several modes and several loops; one fd may have only one source per mode and
    // loop (std::invalid_argument otherwise). Thread-safe.
    void addSource(const std::shared_ptr<FdSource>&, RunLoopMode mode = kDefaultRunLoopMode);
    void removeSource(const std::shared_ptr<FdSource>&, RunLoopMode mode);
    void removeSource(const std::shared_ptr<FdSource>&); // from every mode of this loop
    bool containsSource(const std::shared_ptr<FdSource>&, RunLoopMode mode) const;

    // The mode of the innermost run in progress on this loop, or none when idle.
    std::optional<std::string> currentMode() const;

    // True when called on this loop's thread.
    bool isCurrent() const;

    // Wakes a waiting run so that it looks at its sources again. Thread-safe.
    void wakeUp();

private:
    RunLoop();

    friend class Timer;
    friend class FdSource;
    friend class detail::RunLoopCore;
    std::shared_ptr<detail::RunLoopCore> m_core;
};

} // namespace waterline
