// PNG through libpng's simplified API: header probing, decoding, encoding. Private to
// effect/; PictureFile is the public face.
#pragma once

#include <waterline/effect/PictureFile.h>

namespace waterline::png {

bool looksLikePNG(std::span<const std::uint8_t> bytes);

PictureFileResult<PictureFileInfo> probe(std::span<const std::uint8_t> bytes);

PictureFileResult<std::shared_ptr<Picture>> decode(std::span<const std::uint8_t> bytes);

PictureFileResult<std::vector<std::uint8_t>> encode(const PixelBuffer&);

} // namespace waterline::png
