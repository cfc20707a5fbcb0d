#include "ScheduledRunLoops.h"

#include <algorithm>

#include <waterline/foundation/RunLoop.h>

#include "ThreadExitHooks.h"

namespace waterline {

std::shared_ptr<ScheduledRunLoops> ScheduledRunLoops::create(Attach attach)
{
    return std::shared_ptr<ScheduledRunLoops>(new ScheduledRunLoops(std::move(attach)));
}

ScheduledRunLoops::LoopEntry* ScheduledRunLoops::findLoop(const RunLoop* loop)
{
    auto it = std::find_if(m_loops.begin(), m_loops.end(), [&](const LoopEntry& entry) { return entry.loop == loop; });
    return it == m_loops.end() ? nullptr : &*it;
}

const ScheduledRunLoops::LoopEntry* ScheduledRunLoops::findLoop(const RunLoop* loop) const
{
    return const_cast<ScheduledRunLoops*>(this)->findLoop(loop);
}

bool ScheduledRunLoops::schedule(WatchedHandle& handle, RunLoop& loop)
{
    // The baseline against which later events are compared; read before taking the
    // lock because resolving a host name may take a while.
    ReachabilityFlags baseline = handle.getFlags().value_or(0);

    std::lock_guard lock(m_lock);
    auto* entry = findLoop(&loop);
    if (!entry) {
        auto attachment = m_attach(loop, weak_from_this());
        if (!attachment)
            return false;
        m_loops.push_back({&loop, std::move(attachment), {}});
        entry = &m_loops.back();
        if (loop.isCurrent()) {
            runWhenThreadEnds(this, [weak = weak_from_this(), loopPointer = &loop] {
                if (auto self = weak.lock())
                    self->forgetLoop(loopPointer);
            });
        }
    }
    bool known = std::any_of(entry->watches.begin(), entry->watches.end(),
                             [&](const Watch& watch) { return watch.identity == &handle; });
    if (!known)
        entry->watches.push_back({handle.weak_from_this(), &handle, baseline});
    return true;
}

bool ScheduledRunLoops::unschedule(const WatchedHandle& handle, const RunLoop* loop)
{
    std::lock_guard lock(m_lock);
    auto* entry = findLoop(loop);
    if (!entry)
        return false;
    auto removed = std::erase_if(entry->watches, [&](const Watch& watch) { return watch.identity == &handle; });
    dropEmptyLoops();
    return removed > 0;
}

bool ScheduledRunLoops::isScheduled(const WatchedHandle& handle, const RunLoop* loop) const
{
    std::lock_guard lock(m_lock);
    auto* entry = findLoop(loop);
    return entry && std::any_of(entry->watches.begin(), entry->watches.end(), [&](const Watch& watch) {
               return watch.identity == &handle;
           });
}

void ScheduledRunLoops::unscheduleEverywhere(const WatchedHandle& handle)
{
    std::lock_guard lock(m_lock);
    for (auto& entry : m_loops)
        std::erase_if(entry.watches, [&](const Watch& watch) { return watch.identity == &handle; });
    dropEmptyLoops();
}

void ScheduledRunLoops::dropEmptyLoops()
{
    std::erase_if(m_loops, [](const LoopEntry& entry) { return entry.watches.empty(); });
}

void ScheduledRunLoops::forgetLoop(const RunLoop* loop)
{
    std::lock_guard lock(m_lock);
    std::erase_if(m_loops, [&](const LoopEntry& entry) { return entry.loop == loop; });
}

void ScheduledRunLoops::reevaluate(const RunLoop* loop, const HandleFilter& filter)
{
    // Handles are only ever released outside the lock: dropping the last reference
    // runs the handle's destructor, which takes the lock to unschedule itself.
    std::vector<std::shared_ptr<WatchedHandle>> handles;
    {
        std::lock_guard lock(m_lock);
        auto* entry = findLoop(loop);
        if (!entry)
            return;
        for (auto& watch : entry->watches) {
            if (auto handle = watch.handle.lock())
                handles.push_back(std::move(handle));
        }
    }
    if (filter)
        std::erase_if(handles, [&](const std::shared_ptr<WatchedHandle>& handle) { return !filter(*handle); });

    std::vector<std::pair<std::shared_ptr<WatchedHandle>, ReachabilityFlags>> changed;
    for (auto& handle : handles) {
        auto flags = handle->getFlags(); // outside the lock: may resolve a host name
        if (!flags)
            continue;
        std::lock_guard lock(m_lock);
        auto* entry = findLoop(loop);
        if (!entry)
            return; // unscheduled meanwhile: nothing more to report here
        for (auto& watch : entry->watches) {
            if (watch.identity == handle.get() && watch.lastFlags != *flags) {
                watch.lastFlags = *flags;
                changed.emplace_back(handle, *flags);
            }
        }
    }
    for (auto& [handle, flags] : changed) {
        // A callback earlier in this round may have unscheduled the handle.
        if (isScheduled(*handle, loop))
            handle->deliver(flags);
    }
}

void ScheduledRunLoops::forEachLoopWith(const HandleFilter& filter, const std::function<void(RunLoop&)>& visit)
{
    std::vector<std::shared_ptr<WatchedHandle>> released; // dropped after the lock, as above
    std::lock_guard lock(m_lock);
    for (auto& entry : m_loops) {
        bool wanted = std::any_of(entry.watches.begin(), entry.watches.end(), [&](const Watch& watch) {
            auto handle = watch.handle.lock();
            bool accepted = handle && (!filter || filter(*handle));
            released.push_back(std::move(handle));
            return accepted;
        });
        if (wanted)
            visit(*entry.loop);
    }
}

} // namespace waterline
