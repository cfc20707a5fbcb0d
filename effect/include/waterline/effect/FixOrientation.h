// Bringing pictures upright and to size before they are shown.
//
// fixOrientation runs for every camera frame (640 × 480 → upright 480 × 640, twelve
// times a second) on the capture queue and for album photos on the main thread, possibly
// at the same moment; it keeps no state of its own.
//
//     auto upright = fixOrientation(*frame, {480, 640});   // empty: could not scale
#pragma once

#include <waterline/effect/Picture.h>

#include <memory>

namespace waterline {

// The upright raster of `raster` stored with `orientation`, in premultiplied ARGB
// (bytes A, R, G, B) with a tight stride: upright pixel (x, y) is the stored pixel the
// orientation tag names. Empty only when memory runs out.
std::unique_ptr<PixelBuffer> orientUpright(const PixelBuffer& raster, PictureOrientation orientation);

// A new upright picture (tag 0, premultiplied ARGB) of exactly `target`, each side
// truncated to whole pixels. The pixels are unchanged when the upright size already is
// the target; otherwise they are resampled (area-averaging when shrinking, bilinear when
// growing). A target with a side below one pixel gives no picture and logs
// "could not scale image" on standard error.
std::shared_ptr<Picture> fixOrientation(const Picture& picture, SizeF target);

} // namespace waterline
