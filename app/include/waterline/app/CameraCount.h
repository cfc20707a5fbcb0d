// How many cameras the start-up check finds. The camera check only needs the count; the
// capture layer answers it from its device list (synthetic cameras first when a count
// is given with --cameras or WATERLINE_CAMERAS, then the machine's own).
#pragma once

#include <optional>

namespace waterline {

// `requested` is the count asked for on the command line, if any.
int countVideoDevices(std::optional<int> requested);

} // namespace waterline
