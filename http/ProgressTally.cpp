// Aggregated progress of one direction of a NetworkQueue.
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/ProgressTally.h>

namespace waterline {

namespace {

std::uint64_t saturatingDifference(std::uint64_t from, std::uint64_t take)
{
    return take > from ? 0 : from - take;
}

} // namespace

void ProgressTally::expectMore(std::uint64_t units)
{
    auto target = receiver();
    if (!target)
        return;
    std::lock_guard guard(m_lock);
    m_expected.store(m_expected.load() + units);
    changeDone(Change::Add, 0);
}

void ProgressTally::expectLess(std::uint64_t units)
{
    auto target = receiver();
    if (!target)
        return;
    std::lock_guard guard(m_lock);
    m_expected.store(saturatingDifference(m_expected.load(), units));
    changeDone(Change::Add, 0);
}

void ProgressTally::add(std::uint64_t units)
{
    changeDone(Change::Add, units);
}

void ProgressTally::remove(std::uint64_t units)
{
    changeDone(Change::Remove, units);
}

void ProgressTally::changeDone(Change change, std::uint64_t units)
{
    auto target = receiver();
    if (!target)
        return;
    std::lock_guard guard(m_lock);
    if (m_expected.load() == 0)
        return;
    auto done = m_done.load();
    m_done.store(change == Change::Add ? done + units : saturatingDifference(done, units));
    deliver(target);
}

void ProgressTally::deliver(const std::shared_ptr<ProgressReceiver>& target) const
{
    // Not clamped: a total learned late can make the fraction pass 1 for a while.
    double fraction = static_cast<double>(m_done.load()) / static_cast<double>(m_expected.load());
    HTTPRequest::setProgress(fraction, target);
}

void ProgressTally::reset()
{
    std::lock_guard guard(m_lock);
    m_done.store(0);
    m_expected.store(0);
}

} // namespace waterline
