// Which vector instructions the JSON scanner may use, chosen once at run time from what
// the CPU offers, so one binary runs on any x86-64 and is fast where it can be.
//
// Tests lower the level to run every path the CPU supports over the same inputs;
// lowering never changes a result, only the speed. A parse reads the level once, when it
// starts.
#pragma once

#include <cstdint>
#include <string_view>

namespace waterline::detail {

// Scalar: eight bytes at a time in general registers. SSE2: sixteen-byte blocks (every
// x86-64 has them). AVX2: long string runs thirty-two bytes at a time.
enum class JsonScanLevel : std::uint8_t { Scalar, SSE2, AVX2 };

std::string_view toString(JsonScanLevel);

JsonScanLevel supportedJsonScanLevel();
JsonScanLevel activeJsonScanLevel();
// Uses at most `level` from now on (clamped to what the CPU supports).
void limitJsonScanLevel(JsonScanLevel level);

} // namespace waterline::detail
