// A run-loop source that waits for a file descriptor to become readable or writable
// (a socket, a pipe, a netlink socket, an eventfd). It is level-triggered: onReady is
// called on the loop's thread on every pass of a run of one of its modes for as long
// as the fd stays ready, so the hook must read or write (or remove the source) to
// stop being called. Errors and hang-ups count as ready for the interest set, so the
// hook finds them out from its own read or write.
//
//     auto events = FdSource::create(netlinkFd, FdSource::Read);
//     events->onReady = [this] { readLinkEvents(); };
//     RunLoop::current().addSource(events);               // default mode
//     ...
//     RunLoop::current().removeSource(events);
//
// The source does not own the fd: remove the source before closing it.
#pragma once

#include <waterline/foundation/Guarded.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace waterline {

namespace detail {
class RunLoopCore;
}

class FdSource : public std::enable_shared_from_this<FdSource> {
public:
    enum Interest : std::uint8_t { Read = 1, Write = 2, ReadWrite = Read | Write };

    static std::shared_ptr<FdSource> create(int fd, Interest interest);

    FdSource(const FdSource&) = delete;
    FdSource& operator=(const FdSource&) = delete;

    // Called on the loop's thread when the fd is ready. Empty: nothing is called, but
    // the source still counts as handled.
    std::function<void()> onReady;

    int fd() const { return m_fd; }
    Interest interest() const { return m_interest.load(); }

    // Changes what to wait for, in every loop and mode the source is in. Thread-safe.
    void setInterest(Interest);

    // Inside onReady: what the fd was found ready for (a subset of the interest).
    Interest readiness() const { return m_readiness.load(); }

private:
    FdSource(int fd, Interest interest);
    friend class detail::RunLoopCore;

    const int m_fd;
    const std::uint64_t m_id;
    std::atomic<Interest> m_interest;
    std::atomic<Interest> m_readiness{Interest{}};

    // The loops this source was added to, so setInterest can reach them.
    Guarded<std::vector<std::weak_ptr<detail::RunLoopCore>>> m_loops;
};

} // namespace waterline
