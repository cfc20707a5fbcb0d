// The run loop's machinery: posted tasks, one-shot timers and fd sources, served per
// mode through epoll. See RunLoopCore.h for the layout.
#include "RunLoopCore.h"

#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/Timer.h>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace waterline::detail {

namespace {

// Ids in epoll_event.data for the loop's own two fds; source ids start above them.
constexpr std::uint64_t kWakeId = 0;
constexpr std::uint64_t kTimerId = 1;

// Longer slices are clamped so that the deadline arithmetic cannot overflow.
constexpr double kLongestSliceSeconds = 1e9;

[[noreturn]] void throwErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

std::uint32_t epollEventsFor(FdSource::Interest interest)
{
    std::uint32_t events = 0;
    if (interest & FdSource::Read)
        events |= EPOLLIN;
    if (interest & FdSource::Write)
        events |= EPOLLOUT;
    return events;
}

FdSource::Interest readinessFor(std::uint32_t events, FdSource::Interest interest)
{
    unsigned ready = 0;
    if (events & EPOLLIN)
        ready |= FdSource::Read;
    if (events & EPOLLOUT)
        ready |= FdSource::Write;
    if (events & (EPOLLERR | EPOLLHUP))
        ready |= interest; // the hook's own read or write will report the error
    return static_cast<FdSource::Interest>(ready & interest);
}

void drain(int fd)
{
    std::uint64_t count;
    while (::read(fd, &count, sizeof count) == sizeof count) {}
}

bool containsMode(const std::vector<std::string>& modes, const std::string& mode)
{
    return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

} // namespace

struct RunLoopCore::Pass {
    bool returnAfterSourceHandled;
    bool handled = false; // something was handled during the current pass
};

RunLoopCore::RunLoopCore(pid_t ownerThread)
    : m_ownerThread(ownerThread)
    , m_wakeEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_wakeEvent)
        throwErrno("eventfd");
    m_timer = FileDescriptor(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    if (!m_timer)
        throwErrno("timerfd_create");
}

RunLoopCore::~RunLoopCore() = default;

bool RunLoopCore::isOwnerThread() const
{
    thread_local const pid_t self = ::gettid(); // a system call; ask once per thread
    return self == m_ownerThread;
}

void RunLoopCore::wakeUp()
{
    std::uint64_t one = 1;
    // A full counter (EAGAIN) still means the loop is awake; nothing else can fail.
    [[maybe_unused]] auto written = ::write(m_wakeEvent.get(), &one, sizeof one);
}

void RunLoopCore::wakeUnlessOwner()
{
    // The owner recomputes its wait before every epoll_wait, so it needs no nudge.
    if (!isOwnerThread())
        wakeUp();
}

RunLoopCore::Mode& RunLoopCore::modeLocked(const std::string& name)
{
    auto it = m_modes.find(name);
    if (it != m_modes.end())
        return it->second;
    FileDescriptor epoll(::epoll_create1(EPOLL_CLOEXEC));
    if (!epoll)
        throwErrno("epoll_create1");
    for (auto [fd, id] : {std::pair{m_wakeEvent.get(), kWakeId}, std::pair{m_timer.get(), kTimerId}}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = id;
        if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, fd, &event) < 0)
            throwErrno("epoll_ctl");
    }
    return m_modes.emplace(name, Mode{std::move(epoll), {}, {}}).first->second;
}

bool RunLoopCore::hasTaskLocked(const std::string& mode) const
{
    return std::any_of(m_tasks.begin(), m_tasks.end(),
                       [&](const Task& task) { return containsMode(task.modes, mode); });
}

std::optional<RunLoopCore::Clock::time_point> RunLoopCore::nextTimerLocked(const std::string& mode) const
{
    for (const auto& [key, timer] : m_timers) {
        if (containsMode(timer->m_modes, mode))
            return key.first;
    }
    return std::nullopt;
}

bool RunLoopCore::isEmptyLocked(const std::string& mode, const Mode& state) const
{
    return state.sources.empty() && !nextTimerLocked(mode) && !hasTaskLocked(mode);
}

bool RunLoopCore::takeStopRequest()
{
    // Cheap test first: this runs after every handled source.
    return m_stopRequested.load(std::memory_order_relaxed) && m_stopRequested.exchange(false);
}

void RunLoopCore::stop()
{
    m_stopRequested.store(true);
    wakeUp();
}

std::optional<std::string> RunLoopCore::currentMode() const
{
    std::lock_guard guard(m_lock);
    if (m_runningModes.empty())
        return std::nullopt;
    return m_runningModes.back();
}

RunLoopResult RunLoopCore::runMode(RunLoopMode runMode, double seconds, bool returnAfterSourceHandled,
                                   bool waitWhenEmpty)
{
    if (!isOwnerThread())
        throw std::logic_error("RunLoop::runMode: a loop runs only on its own thread");
    const std::string mode(runMode.name);
    const auto deadline = Clock::now()
        + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(std::clamp(seconds, 0.0, kLongestSliceSeconds)));

    Mode* state;
    {
        std::lock_guard guard(m_lock);
        state = &modeLocked(mode); // map nodes are stable and modes are never erased
        m_runningModes.push_back(mode);
    }
    struct PopMode {
        RunLoopCore& core;
        ~PopMode()
        {
            std::lock_guard guard(core.m_lock);
            core.m_runningModes.pop_back();
        }
    } popMode{*this};

    Pass pass{returnAfterSourceHandled};
    while (true) {
        if (takeStopRequest())
            return RunLoopResult::Stopped;
        {
            std::lock_guard guard(m_lock);
            if (!waitWhenEmpty && isEmptyLocked(mode, *state))
                return RunLoopResult::Finished;
        }
        pass.handled = false;
        if (auto result = runTasks(mode, pass))
            return *result;
        if (auto result = fireDueTimers(mode, pass))
            return *result;
        Clock::time_point wakeAt = deadline;
        {
            std::lock_guard guard(m_lock);
            if (auto timer = nextTimerLocked(mode); timer && *timer < deadline)
                wakeAt = *timer;
        }
        // Block only until a moment still ahead; anything due already is served next pass.
        const bool mayBlock = !pass.handled && Clock::now() < wakeAt;
        if (mayBlock)
            armTimerFd(wakeAt); // a poll without blocking needs no wake-up time
        if (auto result = waitAndHandleFds(*state, pass, mayBlock))
            return *result;
        if (Clock::now() >= deadline)
            return RunLoopResult::TimedOut;
    }
}

std::optional<RunLoopResult> RunLoopCore::afterHandling(Pass& pass)
{
    pass.handled = true;
    if (takeStopRequest())
        return RunLoopResult::Stopped;
    if (pass.returnAfterSourceHandled)
        return RunLoopResult::HandledSource;
    return std::nullopt;
}

std::optional<RunLoopResult> RunLoopCore::runTasks(const std::string& mode, Pass& pass)
{
    // Only the tasks queued when the pass began: a task that posts another cannot
    // keep the loop from its timers and fds.
    std::size_t budget;
    {
        std::lock_guard guard(m_lock);
        budget = std::count_if(m_tasks.begin(), m_tasks.end(),
                               [&](const Task& task) { return containsMode(task.modes, mode); });
    }
    for (; budget > 0; --budget) {
        std::function<void()> task;
        {
            std::lock_guard guard(m_lock);
            auto it = std::find_if(m_tasks.begin(), m_tasks.end(),
                                   [&](const Task& t) { return containsMode(t.modes, mode); });
            if (it == m_tasks.end())
                break;
            task = std::move(it->run);
            m_tasks.erase(it);
        }
        if (task)
            task();
        if (auto result = afterHandling(pass))
            return result;
    }
    return std::nullopt;
}

std::optional<RunLoopResult> RunLoopCore::fireDueTimers(const std::string& mode, Pass& pass)
{
    // Timers made by a firing hook are due no sooner than `now`, so this ends.
    const auto now = Clock::now();
    while (true) {
        std::shared_ptr<Timer> timer;
        {
            std::lock_guard guard(m_lock);
            auto it = std::find_if(m_timers.begin(), m_timers.end(),
                                   [&](const auto& entry) { return containsMode(entry.second->m_modes, mode); });
            if (it == m_timers.end() || it->first.first > now)
                return std::nullopt;
            timer = std::move(it->second);
            m_timers.erase(it);
            if (!timer->m_valid.exchange(false))
                continue; // invalidated on another thread a moment ago
        }
        auto onFire = std::move(timer->m_onFire);
        if (onFire)
            onFire();
        if (auto result = afterHandling(pass))
            return result;
    }
}

void RunLoopCore::armTimerFd(std::optional<Clock::time_point> when)
{
    // Only the owner thread arms, so m_armedFor needs no lock. An expiry that came
    // and went unread leaves the fd readable, which at worst costs one extra pass.
    if (when == m_armedFor)
        return;
    m_armedFor = when;
    itimerspec setting{};
    if (when) {
        auto sinceEpoch = std::chrono::duration_cast<std::chrono::nanoseconds>(when->time_since_epoch());
        if (sinceEpoch.count() <= 0)
            sinceEpoch = std::chrono::nanoseconds(1); // zero would disarm
        setting.it_value.tv_sec = sinceEpoch.count() / 1'000'000'000;
        setting.it_value.tv_nsec = sinceEpoch.count() % 1'000'000'000;
    }
    if (::timerfd_settime(m_timer.get(), TFD_TIMER_ABSTIME, &setting, nullptr) < 0)
        throwErrno("timerfd_settime");
}

std::optional<RunLoopResult> RunLoopCore::waitAndHandleFds(Mode& state, Pass& pass, bool mayBlock)
{
    epoll_event events[16];
    int count;
    do {
        count = ::epoll_wait(state.epoll.get(), events, std::size(events), mayBlock ? -1 : 0);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        throwErrno("epoll_wait");

    for (int i = 0; i < count; ++i) {
        const std::uint64_t id = events[i].data.u64;
        if (id == kWakeId) {
            drain(m_wakeEvent.get());
            continue;
        }
        if (id == kTimerId) {
            drain(m_timer.get());
            continue;
        }
        std::shared_ptr<FdSource> source;
        {
            std::lock_guard guard(m_lock);
            auto it = state.sources.find(id);
            if (it == state.sources.end())
                continue; // removed by an earlier hook of this batch
            source = it->second;
        }
        source->m_readiness.store(readinessFor(events[i].events, source->interest()));
        if (source->onReady)
            source->onReady();
        // Level-triggered: any other ready fd of this batch is reported again next time.
        if (auto result = afterHandling(pass))
            return result;
    }
    return std::nullopt;
}

void RunLoopCore::post(std::function<void()> task, std::vector<RunLoopMode> modes)
{
    std::vector<std::string> names;
    for (auto mode : modes)
        names.emplace_back(mode.name);
    {
        std::lock_guard guard(m_lock);
        m_tasks.push_back(Task{std::move(task), std::move(names)});
    }
    wakeUnlessOwner();
}

void RunLoopCore::addSource(const std::shared_ptr<RunLoopCore>& self, const std::shared_ptr<FdSource>& source,
                            RunLoopMode runMode)
{
    if (!source)
        throw std::invalid_argument("RunLoop::addSource: no source");
    {
        std::lock_guard guard(m_lock);
        Mode& state = modeLocked(std::string(runMode.name));
        if (state.sources.contains(source->m_id))
            return;
        epoll_event event{};
        event.events = epollEventsFor(source->interest());
        event.data.u64 = source->m_id;
        if (::epoll_ctl(state.epoll.get(), EPOLL_CTL_ADD, source->fd(), &event) < 0) {
            if (errno == EEXIST)
                throw std::invalid_argument("RunLoop::addSource: the fd already has a source in this mode");
            throwErrno("epoll_ctl");
        }
        state.sources.emplace(source->m_id, source);
        state.registeredSources[source->fd()] = source->m_id;

        source->m_loops.with([&](auto& loops) {
            bool known = std::any_of(loops.begin(), loops.end(),
                                     [&](const std::weak_ptr<RunLoopCore>& loop) { return loop.lock() == self; });
            if (!known)
                loops.push_back(self);
        });
    }
    wakeUnlessOwner();
}

void RunLoopCore::removeSource(FdSource& source, std::optional<RunLoopMode> only)
{
    std::lock_guard guard(m_lock);
    bool stillHere = false;
    for (auto& [name, state] : m_modes) {
        if (!only || name == only->name) {
            if (state.sources.erase(source.m_id) && isRegistered(state, source)) {
                state.registeredSources.erase(source.fd());
                ::epoll_ctl(state.epoll.get(), EPOLL_CTL_DEL, source.fd(), nullptr); // fails harmlessly if closed
            }
        } else if (state.sources.contains(source.m_id)) {
            stillHere = true;
        }
    }
    if (!stillHere) {
        source.m_loops.with([&](auto& loops) {
            std::erase_if(loops, [&](const std::weak_ptr<RunLoopCore>& loop) {
                auto locked = loop.lock();
                return !locked || locked.get() == this;
            });
        });
    }
    // A run waiting on the removed fd only needs to notice on its next pass.
}

bool RunLoopCore::isRegistered(const Mode& state, const FdSource& source)
{
    auto it = state.registeredSources.find(source.fd());
    return it != state.registeredSources.end() && it->second == source.m_id;
}

bool RunLoopCore::containsSource(const FdSource& source, RunLoopMode runMode) const
{
    std::lock_guard guard(m_lock);
    auto it = m_modes.find(runMode.name);
    return it != m_modes.end() && it->second.sources.contains(source.m_id);
}

void RunLoopCore::updateInterest(const FdSource& source)
{
    std::lock_guard guard(m_lock);
    for (auto& [name, state] : m_modes) {
        if (!state.sources.contains(source.m_id) || !isRegistered(state, source))
            continue;
        epoll_event event{};
        event.events = epollEventsFor(source.interest());
        event.data.u64 = source.m_id;
        ::epoll_ctl(state.epoll.get(), EPOLL_CTL_MOD, source.fd(), &event);
    }
    wakeUnlessOwner();
}

void RunLoopCore::addTimer(const std::shared_ptr<Timer>& timer)
{
    {
        std::lock_guard guard(m_lock);
        m_timers.emplace(TimerKey{timer->m_fireDate, timer->m_sequence}, timer);
    }
    wakeUnlessOwner();
}

void RunLoopCore::removeTimer(const Timer& timer)
{
    std::shared_ptr<Timer> removed; // released outside the lock: its hook may own anything
    std::lock_guard guard(m_lock);
    auto it = m_timers.find(TimerKey{timer.m_fireDate, timer.m_sequence});
    if (it != m_timers.end()) {
        removed = std::move(it->second);
        m_timers.erase(it);
    }
}

} // namespace waterline::detail
