// File-descriptor sources: identity and interest; the waiting is the loop's.
#include <waterline/foundation/FdSource.h>

#include "RunLoopCore.h"

namespace waterline {

namespace {
std::atomic<std::uint64_t> nextSourceId{2}; // 0 and 1 are the loop's own fds
}

FdSource::FdSource(int fd, Interest interest)
    : m_fd(fd)
    , m_id(nextSourceId++)
    , m_interest(interest)
{
}

std::shared_ptr<FdSource> FdSource::create(int fd, Interest interest)
{
    return std::shared_ptr<FdSource>(new FdSource(fd, interest));
}

void FdSource::setInterest(Interest interest)
{
    m_interest.store(interest);
    auto loops = m_loops.with([](const auto& list) { return list; });
    for (auto& weak : loops) {
        if (auto loop = weak.lock())
            loop->updateInterest(*this);
    }
}

} // namespace waterline
