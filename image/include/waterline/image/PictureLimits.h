// How much of an untrusted picture file we are willing to take in. Files come from the
// user's pictures folder and from cameras; a header that claims an absurd size is
// refused before any pixel memory is allocated.
#pragma once

#include <cstdint>

namespace waterline {

// The largest raster we decode, in pixels (a 64-megapixel photo).
inline constexpr std::uint64_t kMaxDecodedPixels = 64ull * 1024 * 1024;

// The largest picture file we read into memory.
inline constexpr std::uint64_t kMaxPictureFileBytes = 512ull * 1024 * 1024;

} // namespace waterline
