// The orientation an EXIF block records: how the stored raster must be turned
// and mirrored to stand upright. Values are EXIF's own, 1 … 8 (1: stored upright).
#pragma once

#include <cstdint>
#include <span>

namespace waterline::image {

// 1 when the file has no EXIF block, no orientation entry, or a value out of range.
int readExifOrientation(std::span<const std::uint8_t> jpegBytes);

// The same from a bare EXIF block (a TIFF header and its directories, as a PNG's eXIf
// chunk holds it).
int readExifBlockOrientation(std::span<const std::uint8_t> exifBlock);

// True for the values (5 … 8) whose upright picture has the stored width and height
// swapped.
bool exifOrientationSwapsSides(int exifOrientation);

} // namespace waterline::image
