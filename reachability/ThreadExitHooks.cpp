#include "ThreadExitHooks.h"

#include <utility>
#include <vector>

namespace waterline {

namespace {

struct ExitHooks {
    std::vector<std::pair<const void*, std::function<void()>>> hooks;

    ~ExitHooks()
    {
        // A hook may add another (it unschedules, which may reschedule nothing, but
        // be safe): take the list first.
        auto pending = std::move(hooks);
        for (auto& [key, hook] : pending)
            hook();
    }
};

// Constructed on first use in a thread, which is after that thread's run loop exists,
// and so destroyed before it.
thread_local ExitHooks threadExitHooks;

} // namespace

void runWhenThreadEnds(const void* key, std::function<void()> hook)
{
    for (auto& [existingKey, existingHook] : threadExitHooks.hooks) {
        if (existingKey == key) {
            existingHook = std::move(hook);
            return;
        }
    }
    threadExitHooks.hooks.emplace_back(key, std::move(hook));
}

} // namespace waterline
