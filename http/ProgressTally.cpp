// Aggregated progress of one direction of a NetworkQueue.
#include <waterline/foundation/MainThread.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/ProgressTally.h>

namespace waterline {

void ProgressTally::takeAway(std::atomic<std::uint64_t>& count, std::uint64_t units)
{
    auto current = count.load();
    while (!count.compare_exchange_weak(current, units > current ? 0 : current - units)) {}
}

void ProgressTally::expectMore(std::uint64_t units)
{
    if (!receiver())
        return;
    m_state->expected.fetch_add(units);
    scheduleRefresh();
}

void ProgressTally::expectLess(std::uint64_t units)
{
    if (!receiver())
        return;
    takeAway(m_state->expected, units);
    scheduleRefresh();
}

void ProgressTally::add(std::uint64_t units)
{
    if (!receiver() || m_state->expected.load() == 0)
        return;
    m_state->done.fetch_add(units);
    scheduleRefresh();
}

void ProgressTally::remove(std::uint64_t units)
{
    if (!receiver() || m_state->expected.load() == 0)
        return;
    takeAway(m_state->done, units);
    scheduleRefresh();
}

void ProgressTally::reset()
{
    m_state->done.store(0);
    m_state->expected.store(0);
}

void ProgressTally::scheduleRefresh()
{
    if (isMainThread()) {
        m_state->refresh();
        return;
    }
    if (m_state->refreshPending.exchange(true))
        return; // the refresh on its way will show this report too
    performOnMainThread(
        [state = m_state] {
            state->refreshPending.store(false); // before reading: a later report posts again
            state->refresh();
        },
        false);
}

void ProgressTally::State::refresh()
{
    auto target = receiver.get().lock();
    auto total = expected.load();
    if (!target || total == 0)
        return;
    // Not clamped: a total learned late can make the fraction pass 1 for a while.
    HTTPRequest::setProgress(static_cast<double>(done.load()) / static_cast<double>(total), target);
}

} // namespace waterline
