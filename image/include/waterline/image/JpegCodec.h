// JPEG in and out (libjpeg-turbo). Decoding can use the codec's DCT scaling (1/8 … 1)
// to produce no more pixels than a target needs, which makes large camera photos cheap
// to show; the EXIF orientation is read along with the header. Decoded rasters are
// opaque premultiplied ARGB (bytes A, R, G, B); CMYK and YCCK files are converted to
// RGB. A file whose data ends early or is damaged is an error, never a partly grey
// picture; stray bytes between segments, which cameras write, are forgiven. Errors are
// records of kPictureFileErrorDomain.
//
//     auto decoded = WL_TRY(image::decodeJPEG(bytes, {.coverSize = Size{682, 512}}));
//     // decoded.raster: the smallest scale whose upright size covers 682 × 512
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace waterline::image {

// True when `bytes` start like a JPEG file (SOI followed by a marker).
bool looksLikeJPEG(std::span<const std::uint8_t> bytes);

// A progressive file may repeat scans without end, each one a full pass over the
// picture; more scans than this are refused as damaged (real encoders write a dozen).
inline constexpr int kMaxJPEGScans = 500;

struct JPEGHeader {
    Size size;               // the raster as stored
    int exifOrientation = 1; // EXIF's value, 1 … 8
};

ErrorOr<JPEGHeader> readJPEGHeader(std::span<const std::uint8_t> bytes);

struct JPEGDecodeOptions {
    // When set, decode at the smallest DCT scale whose upright size (stored size with
    // the sides swapped for EXIF orientations 5 … 8) is at least this in both
    // directions; the full size when none smaller covers it.
    std::optional<Size> coverSize;
    // When set, decoding checks it as it goes and gives up with a Cancelled error once
    // it is true: a decode nobody waits for any more need not run to its end.
    const std::atomic<bool>* cancelled = nullptr;
};

struct DecodedJPEG {
    std::unique_ptr<PixelBuffer> raster;
    int exifOrientation = 1;
};

ErrorOr<DecodedJPEG> decodeJPEG(std::span<const std::uint8_t> bytes, JPEGDecodeOptions = {});

// The raster alone, 4:2:0. JPEG has no alpha, so the premultiplied colour is kept as
// composed over black. `quality` is 0 … 1.
ErrorOr<std::vector<std::uint8_t>> encodeJPEG(const PixelBuffer&, float quality);

} // namespace waterline::image
