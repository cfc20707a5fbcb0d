// Shrinking a picture by area averaging: every target pixel is the mean of the source
// area it covers, weighted by how much of each source pixel lies inside. It is the
// filter that keeps a photo reduced many times free of moiré, and it is exact for any
// factor. Private to effect/.
#pragma once

#include <waterline/foundation/PixelBuffer.h>

#include <memory>

namespace waterline {

// A premultiplied ARGB copy of `source` (ARGB too) at `size`, which must be no larger
// than the source in either direction. None when memory runs out.
std::unique_ptr<PixelBuffer> shrinkByArea(const PixelBuffer& source, Size size);

} // namespace waterline
