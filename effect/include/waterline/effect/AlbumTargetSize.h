// The size a photo is brought to before it is shown: its aspect ratio kept, fitted into
// the upper half of the screen (768 × 512 points) and never enlarged. A photo much wider
// than it is high can come out with a height of 0, which fixOrientation then refuses.
//
//     albumTargetSize({3264, 2448})   // {682, 512}
//     albumTargetSize({300, 200})     // {300, 200}
#pragma once

#include <waterline/foundation/Geometry.h>

namespace waterline {

inline constexpr SizeF kAlbumPictureLimit{768, 512};

// For an upright size in points (width and height above 0), the whole-point target size.
SizeF albumTargetSize(SizeF uprightSize);

} // namespace waterline
