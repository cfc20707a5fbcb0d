// The orientation a JPEG's EXIF block records, as our tag. Private to effect/.
#pragma once

#include <waterline/effect/Picture.h>

#include <cstdint>
#include <optional>
#include <span>

namespace waterline {

// EXIF orientations 1, 3, 8, 6, 2, 4, 5, 7 → tags 0 … 7; none for other values.
std::optional<PictureOrientation> orientationForExifValue(int exifValue);

// Up when the file has no EXIF block, no orientation entry, or a value out of range.
PictureOrientation readExifOrientation(std::span<const std::uint8_t> jpegBytes);

} // namespace waterline
