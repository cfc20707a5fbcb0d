// One-shot timers and the main-run-loop helpers built on them.
#include <waterline/foundation/Timer.h>

#include "RunLoopCore.h"

#include <stdexcept>

namespace waterline {

namespace {

std::atomic<std::uint64_t> nextSequence{0};

std::chrono::nanoseconds fromSeconds(double seconds)
{
    if (!(seconds > 0)) // also NaN
        return std::chrono::nanoseconds(0);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(std::min(seconds, 1e9)));
}

} // namespace

Timer::Timer(Clock::time_point fireDate, std::uint64_t sequence, std::function<void()> onFire,
             std::vector<std::string> modes)
    : m_fireDate(fireDate)
    , m_sequence(sequence)
    , m_onFire(std::move(onFire))
    , m_modes(std::move(modes))
{
}

std::shared_ptr<Timer> Timer::singleShot(std::chrono::nanoseconds delay, std::function<void()> onFire, RunLoop& loop,
                                         std::vector<RunLoopMode> modes)
{
    if (modes.empty())
        throw std::invalid_argument("Timer::singleShot: no mode given");
    std::vector<std::string> names;
    for (auto mode : modes)
        names.emplace_back(mode.name);
    auto fireDate = Clock::now() + std::max(delay, std::chrono::nanoseconds(0));
    std::shared_ptr<Timer> timer(new Timer(fireDate, nextSequence++, std::move(onFire), std::move(names)));
    timer->m_loop = loop.m_core;
    loop.m_core->addTimer(timer);
    return timer;
}

void Timer::invalidate()
{
    if (!m_valid.exchange(false))
        return;
    if (auto loop = m_loop.lock())
        loop->removeTimer(*this);
}

std::shared_ptr<Timer> scheduledTimer(double seconds, std::function<void()> onFire)
{
    return Timer::singleShot(fromSeconds(seconds), std::move(onFire), RunLoop::main(), {kDefaultRunLoopMode});
}

std::shared_ptr<Timer> performAfterDelay(double seconds, std::function<void()> fn)
{
    return scheduledTimer(seconds, std::move(fn));
}

} // namespace waterline
