// A provider's book of which handles are scheduled on which run loops, with the flags
// last reported for each handle on each loop. A change event on a loop re-reads the
// flags of the handles there and calls back only those whose flags differ from what
// that loop last saw, so a burst of kernel messages for one change yields one call.
//
// Each loop gets an attachment when its first handle arrives (the Linux provider's is
// a netlink event source on the loop) and loses it with its last handle, or when the
// loop's thread ends. Thread-safe; callbacks run without the lock held.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <waterline/reachability/ReachabilityFlags.h>

#include "WatchedHandle.h"

namespace waterline {

class ScheduledRunLoops : public std::enable_shared_from_this<ScheduledRunLoops> {
public:
    // Makes a loop's attachment; empty refuses the scheduling. Destroying the
    // attachment detaches it; that happens while the loop still exists.
    using Attach = std::function<std::shared_ptr<void>(RunLoop&, const std::weak_ptr<ScheduledRunLoops>&)>;
    using HandleFilter = std::function<bool(WatchedHandle&)>;

    static std::shared_ptr<ScheduledRunLoops> create(Attach attach);

    bool schedule(WatchedHandle& handle, RunLoop& loop);
    bool unschedule(const WatchedHandle& handle, const RunLoop* loop);
    bool isScheduled(const WatchedHandle& handle, const RunLoop* loop) const;
    void unscheduleEverywhere(const WatchedHandle& handle);

    // On `loop`'s thread: re-reads the flags of the handles scheduled there (those
    // `filter` accepts, or all) and calls back each whose flags changed.
    void reevaluate(const RunLoop* loop, const HandleFilter& filter = {});

    // Calls `visit` under the lock for every loop that has a handle `filter` accepts;
    // the loop is alive for the call (RunLoop::post is the intended use).
    void forEachLoopWith(const HandleFilter& filter, const std::function<void(RunLoop&)>& visit);

private:
    explicit ScheduledRunLoops(Attach attach)
        : m_attach(std::move(attach))
    {
    }

    struct Watch {
        std::weak_ptr<WatchedHandle> handle;
        const WatchedHandle* identity = nullptr;
        ReachabilityFlags lastFlags = 0;
    };
    struct LoopEntry {
        RunLoop* loop = nullptr;
        std::shared_ptr<void> attachment;
        std::vector<Watch> watches;
    };

    LoopEntry* findLoop(const RunLoop* loop);
    const LoopEntry* findLoop(const RunLoop* loop) const;
    void forgetLoop(const RunLoop* loop);
    void dropEmptyLoops();

    Attach m_attach;
    mutable std::mutex m_lock; // guards m_loops; held while attachments are made and destroyed
    std::vector<LoopEntry> m_loops;
};

} // namespace waterline
