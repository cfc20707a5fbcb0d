// Writes a premultiplied pixel buffer as an 8-bit RGBA PNG file (PNG stores straight
// alpha, so colours are un-premultiplied on the way out).
#pragma once

#include <waterline/foundation/Error.h>
#include <waterline/foundation/PixelBuffer.h>

#include <string>

namespace waterline {

ErrorPtr writePng(const PixelBuffer&, const std::string& path);

} // namespace waterline
