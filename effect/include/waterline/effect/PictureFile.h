// Reading and writing picture files: JPEG and PNG in (each with its EXIF orientation),
// JPEG and PNG out. Decoded pictures are premultiplied ARGB rasters (bytes A, R, G, B)
// with the file's orientation as their tag; nothing is turned here, that is
// fixOrientation's work.
//
// The codecs themselves live in image/; this adds the picture's orientation tag and the
// file reading. Untrusted input is the normal case (files from the user's pictures
// folder), so every failure is an error record of kPictureFileErrorDomain with a
// readable reason, and a header that claims an absurd size is refused before any pixel
// memory is allocated.
//
//     auto result = PictureFile::read(path, {.coverSize = Size{682, 512}});
//     if (!result) { report(result.error()->localizedDescription()); return; }
//     auto picture = *result;                         // decoded at the smallest DCT scale
//                                                     // whose upright size covers 682 × 512
#pragma once

#include <waterline/effect/Picture.h>
#include <waterline/foundation/ErrorOr.h>
#include <waterline/image/PictureFileError.h>
#include <waterline/image/PictureLimits.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace waterline {

enum class PictureFileType : std::uint8_t { JPEG, PNG };

// What a file's header says, without decoding its pixels.
struct PictureFileInfo {
    PictureFileType type = PictureFileType::JPEG;
    Size storedSize; // the raster as stored
    PictureOrientation orientation = PictureOrientation::Up;
    SizeF uprightSize() const; // sides swapped for tags 2, 3, 6, 7
};

struct PictureDecodeOptions {
    // When set, a JPEG is decoded at the smallest DCT scale (1/8 … 1) whose upright size
    // is at least this in both directions; the full size when none smaller covers it.
    std::optional<Size> coverSize;
    // When set and it becomes true, a JPEG decode stops with a Cancelled error.
    const std::atomic<bool>* cancelled = nullptr;
};

class PictureFile {
public:
    // The largest raster we decode, in pixels (a 64-megapixel photo).
    static constexpr std::uint64_t kMaxPixels = kMaxDecodedPixels;
    // The largest file we read.
    static constexpr std::uint64_t kMaxFileBytes = kMaxPictureFileBytes;

    static ErrorOr<PictureFileInfo> probe(std::span<const std::uint8_t> bytes);

    static ErrorOr<std::shared_ptr<Picture>> decode(std::span<const std::uint8_t> bytes, PictureDecodeOptions = {});
    static ErrorOr<std::shared_ptr<Picture>> read(const std::filesystem::path&, PictureDecodeOptions = {});

    // The whole file, up to kMaxFileBytes; the error names the file and the reason.
    static ErrorOr<std::vector<std::uint8_t>> readContents(const std::filesystem::path&);

    // The raster alone, as stored (the orientation tag is not applied). JPEG keeps the
    // colour as composed over black, since JPEG has no alpha. Quality is 0 … 1.
    static ErrorOr<std::vector<std::uint8_t>> encodeJPEG(const PixelBuffer&, float quality);
    static ErrorOr<std::vector<std::uint8_t>> encodePNG(const PixelBuffer&);

    // The type a file name asks for by its extension (.jpg, .jpeg, .png, any case).
    static std::optional<PictureFileType> typeForExtension(const std::filesystem::path&);
};

} // namespace waterline
