// PNG in and out. Decoded rasters are premultiplied ARGB (bytes A, R, G, B); encoded
// files are 8-bit straight RGBA, converted by the one rule of PixelConversion.h, so the
// same pixels always give the same file, whoever writes it. Errors are records of
// kPictureFileErrorDomain.
//
//     auto raster = WL_TRY(image::decodePNG(bytes));
//     WL_TRY(image::writePNGFile(*raster, "copy.png"));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace waterline::image {

// True when `bytes` start with the PNG signature.
bool looksLikePNG(std::span<const std::uint8_t> bytes);

// The size the header declares, without decoding pixels.
ErrorOr<Size> readPNGSize(std::span<const std::uint8_t> bytes);

ErrorOr<std::unique_ptr<PixelBuffer>> decodePNG(std::span<const std::uint8_t> bytes);

// The EXIF orientation (1 … 8) recorded in the file's eXIf chunk; 1 when there is none.
int readPNGExifOrientation(std::span<const std::uint8_t> bytes);

ErrorOr<std::vector<std::uint8_t>> encodePNG(const PixelBuffer&);

// Encodes and replaces `path` atomically: a reader sees the old file or the new one.
ErrorOr<void> writePNGFile(const PixelBuffer&, const std::filesystem::path& path);

} // namespace waterline::image
