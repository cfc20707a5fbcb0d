// Work to do when the calling thread ends, before its run loop is destroyed: a
// provider that scheduled handles on the thread's loop takes its sources off the loop
// and forgets it, so nothing ever touches a loop that is gone.
#pragma once

#include <functional>

namespace waterline {

// Runs `hook` on this thread as it ends. A second hook under the same key replaces
// the first. The thread's run loop must already exist when this is called, so that
// the hook runs while the loop is still alive.
void runWhenThreadEnds(const void* key, std::function<void()> hook);

} // namespace waterline
