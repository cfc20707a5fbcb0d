// The source buffer of the reflection: a raster converted into the engine's own pixel
// format, premultiplied ARGB with bytes A, R, G, B in memory and a stride of exactly
// width × 4 bytes, so the renderer can move whole 32-bit words without looking at them.
#pragma once

#include <waterline/foundation/PixelBuffer.h>

#include <memory>

namespace waterline {

// A newly allocated copy of `raster` in the engine's format, or none. Failures write
// one of these to standard error, exactly: "Error allocating color space\n" (a pixel
// format we cannot convert), "Memory not allocated!" (no memory for the copy),
// "Context not created!" (a raster without pixels). Nothing allocated survives a failure.
std::unique_ptr<PixelBuffer> createimagedata(const PixelBuffer& raster);

} // namespace waterline
