// A run-loop mode is a name that sorts a loop's sources into sets: a loop running
// mode M only serves the sources, timers and tasks that were added in M. A thread can
// thereby wait for one kind of event (say, its own HTTP exchange in "HTTPRequest")
// without running anything else it has scheduled. Modes are values, not stray
// strings; declare each one once as a constant:
//
//     inline constexpr RunLoopMode kHTTPRequestMode{"HTTPRequest"};
//     loop.addSource(socketSource, kHTTPRequestMode);
//     loop.runMode(kHTTPRequestMode, 0.25, true);
#pragma once

#include <string_view>

namespace waterline {

struct RunLoopMode {
    // The mode's name. It is a view: give a string literal or another string that
    // outlives every use of the mode (the loop copies the name when it stores it).
    std::string_view name;

    friend constexpr bool operator==(const RunLoopMode&, const RunLoopMode&) = default;
};

// The mode that RunLoop::run(), RunLoop::post() and the main-thread helpers use.
inline constexpr RunLoopMode kDefaultRunLoopMode{"default"};

} // namespace waterline
