// Which vector instructions the block codecs may use, chosen once at run time from
// what the CPU offers, so one binary runs on any x86-64 and is fast where it can be.
//
// Tests and benchmarks lower the level to reach every code path the CPU supports;
// lowering never changes a result, only the speed.
#pragma once

#include <cstdint>
#include <string_view>

namespace waterline {

enum class SimdLevel : std::uint8_t { Scalar, SSSE3, AVX2 };

std::string_view toString(SimdLevel);

// The best level this CPU supports.
SimdLevel supportedSimdLevel();

// The level the codecs use now: the supported one unless lowered.
SimdLevel activeSimdLevel();

// Uses at most `level` from now on (clamped to what the CPU supports).
void limitSimdLevel(SimdLevel level);

} // namespace waterline
