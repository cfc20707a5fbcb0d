// Measures the heap bytes a piece of work holds at its peak.
//
// The libraries compared here allocate through malloc, operator new and aligned
// allocation; all of them end in the C allocator functions, which this program
// interposes. While a measurement runs, every allocation adds its usable size and every
// release subtracts it; outside one, the functions pass straight through.
#pragma once

#include <cstddef>
#include <functional>

namespace waterline::bench {

// The largest number of heap bytes held at once while `work` ran, beyond those held
// before it started.
std::size_t peakHeapBytes(const std::function<void()>& work);

} // namespace waterline::bench
