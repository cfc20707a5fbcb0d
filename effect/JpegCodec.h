// JPEG through TurboJPEG: header probing, DCT-scaled decoding, encoding. Private to
// effect/; PictureFile is the public face.
#pragma once

#include <waterline/effect/PictureFile.h>

namespace waterline::jpeg {

bool looksLikeJPEG(std::span<const std::uint8_t> bytes);

PictureFileResult<PictureFileInfo> probe(std::span<const std::uint8_t> bytes);

PictureFileResult<std::shared_ptr<Picture>> decode(std::span<const std::uint8_t> bytes, const PictureDecodeOptions&);

PictureFileResult<std::vector<std::uint8_t>> encode(const PixelBuffer&, float quality);

} // namespace waterline::jpeg
