// The state behind a RunLoop, shared with the timers and fd sources scheduled on it
// (they hold it weakly, so a source that outlives its thread's loop finds it gone
// instead of dangling). One epoll set per mode holds the mode's fds plus the loop's
// wake-up eventfd and its timerfd; running a mode waits on that set alone, which is
// what keeps the sources of other modes quiet.
#pragma once

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/RunLoop.h>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace waterline {
class FdSource;
class Timer;
} // namespace waterline

namespace waterline::detail {

class RunLoopCore {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunLoopCore(pid_t ownerThread);
    ~RunLoopCore();
    RunLoopCore(const RunLoopCore&) = delete;
    RunLoopCore& operator=(const RunLoopCore&) = delete;

    RunLoopResult runMode(RunLoopMode mode, double seconds, bool returnAfterSourceHandled, bool waitWhenEmpty);
    void stop();
    void post(std::function<void()> task, std::vector<RunLoopMode> modes);

    void addSource(const std::shared_ptr<RunLoopCore>& self, const std::shared_ptr<FdSource>&, RunLoopMode mode);
    void removeSource(FdSource&, std::optional<RunLoopMode> mode);
    bool containsSource(const FdSource&, RunLoopMode mode) const;
    void updateInterest(const FdSource&);

    void addTimer(const std::shared_ptr<Timer>&);
    void removeTimer(const Timer&);

    std::optional<std::string> currentMode() const;
    bool isOwnerThread() const;
    void wakeUp();

private:
    struct Mode {
        FileDescriptor epoll;
        std::map<std::uint64_t, std::shared_ptr<FdSource>> sources; // by source id
        // Which source the epoll set holds each fd number for. A source whose fd was
        // closed (the kernel then dropped it from the set) may still be listed while
        // a new source has the reused number; only the registered one may change or
        // delete the number's entry.
        std::map<int, std::uint64_t> registeredSources;
    };
    struct Task {
        std::function<void()> run;
        std::vector<std::string> modes;
    };
    using TimerKey = std::pair<Clock::time_point, std::uint64_t>;

    // One pass of a run: tasks, due timers, then ready fds. Returns a result when the
    // run must end, or none to go on.
    struct Pass;
    std::optional<RunLoopResult> runTasks(const std::string& mode, Pass&);
    std::optional<RunLoopResult> fireDueTimers(const std::string& mode, Pass&);
    std::optional<RunLoopResult> waitAndHandleFds(Mode&, Pass&, bool mayBlock);
    std::optional<RunLoopResult> afterHandling(Pass&);

    Mode& modeLocked(const std::string& name);
    static bool isRegistered(const Mode&, const FdSource&);
    bool isEmptyLocked(const std::string& mode, const Mode&) const;
    bool hasTaskLocked(const std::string& mode) const;
    std::optional<Clock::time_point> nextTimerLocked(const std::string& mode) const;
    void armTimerFd(std::optional<Clock::time_point> when);
    bool takeStopRequest();
    void wakeUnlessOwner();

    const pid_t m_ownerThread;
    FileDescriptor m_wakeEvent;                  // an eventfd: written to end a wait early
    FileDescriptor m_timer;                      // a timerfd armed for the next timer's fire date
    std::optional<Clock::time_point> m_armedFor; // what m_timer is set to; owner thread only
    std::atomic<bool> m_stopRequested{false};

    mutable std::mutex m_lock; // guards everything below
    std::map<std::string, Mode, std::less<>> m_modes;
    std::map<TimerKey, std::shared_ptr<Timer>> m_timers;
    std::deque<Task> m_tasks;
    std::vector<std::string> m_runningModes; // innermost last
};

} // namespace waterline::detail
