#include "JpegCodec.h"

#include "ExifOrientation.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace waterline::jpeg {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string lastError(void* handle)
{
    return tjGetErrorStr2(handle);
}

// Cameras write small blemishes (stray bytes between segments) that the decoder only
// warns about; those pictures are whole. Missing data is not: a truncated file would
// show a grey bottom, so running out of data stays a failure.
bool isHarmlessWarning(void* handle)
{
    if (tjGetErrorCode(handle) != TJERR_WARNING)
        return false;
    std::string message = lastError(handle);
    std::transform(message.begin(), message.end(), message.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return message.find("premature end") == std::string::npos;
}

struct Header {
    int width = 0;
    int height = 0;
};

PictureFileResult<Header> readHeader(void* handle, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > std::numeric_limits<unsigned long>::max())
        return PictureFileResult<Header>::failure("JPEG file too large");
    Header header;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &header.width,
                            &header.height, &subsampling, &colorspace)
            != 0
        && !isHarmlessWarning(handle))
        return PictureFileResult<Header>::failure("corrupt JPEG header: " + lastError(handle));
    if (header.width <= 0 || header.height <= 0)
        return PictureFileResult<Header>::failure("corrupt JPEG header: no pixels");
    return {header, {}};
}

// The smallest DCT scale whose upright size still covers `cover`; 1/1 when none does.
tjscalingfactor scaleCovering(Header header, PictureOrientation orientation, std::optional<Size> cover)
{
    tjscalingfactor best{1, 1};
    if (!cover)
        return best;
    int count = 0;
    tjscalingfactor* factors = tjGetScalingFactors(&count);
    long bestPixels = static_cast<long>(header.width) * header.height;
    for (int i = 0; factors && i < count; ++i) {
        int width = TJSCALED(header.width, factors[i]);
        int height = TJSCALED(header.height, factors[i]);
        if (swapsSides(orientation))
            std::swap(width, height);
        long pixels = static_cast<long>(width) * height;
        if (width >= cover->width && height >= cover->height && pixels < bestPixels) {
            best = factors[i];
            bestPixels = pixels;
        }
    }
    return best;
}

} // namespace

bool looksLikeJPEG(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

PictureFileResult<PictureFileInfo> probe(std::span<const std::uint8_t> bytes)
{
    Handle handle(tjInitDecompress());
    if (!handle)
        return PictureFileResult<PictureFileInfo>::failure("cannot start the JPEG decoder");
    auto header = readHeader(handle.get(), bytes);
    if (!header)
        return PictureFileResult<PictureFileInfo>::failure(header.error);
    PictureFileInfo info;
    info.type = PictureFileType::JPEG;
    info.storedSize = {header.value.width, header.value.height};
    info.orientation = readExifOrientation(bytes);
    return {info, {}};
}

PictureFileResult<std::shared_ptr<Picture>> decode(std::span<const std::uint8_t> bytes,
                                                   const PictureDecodeOptions& options)
{
    using Result = PictureFileResult<std::shared_ptr<Picture>>;
    Handle handle(tjInitDecompress());
    if (!handle)
        return Result::failure("cannot start the JPEG decoder");
    auto header = readHeader(handle.get(), bytes);
    if (!header)
        return Result::failure(header.error);
    auto orientation = readExifOrientation(bytes);
    auto scale = scaleCovering(header.value, orientation, options.coverSize);
    Size size{TJSCALED(header.value.width, scale), TJSCALED(header.value.height, scale)};
    auto pixels = static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height);
    if (pixels > PictureFile::kMaxPixels)
        return Result::failure("picture too large: " + std::to_string(header.value.width) + " × "
                               + std::to_string(header.value.height) + " pixels");
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    if (!raster)
        return Result::failure("out of memory for a " + std::to_string(size.width) + " × " + std::to_string(size.height)
                               + " picture");
    // TJPF_ARGB writes bytes A, R, G, B with A = 255: already our premultiplied format.
    if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), raster->data(), size.width,
                      static_cast<int>(raster->stride()), size.height, TJPF_ARGB, 0)
            != 0
        && !isHarmlessWarning(handle.get()))
        return Result::failure("corrupt JPEG data: " + lastError(handle.get()));
    return {Picture::create(std::move(raster), orientation), {}};
}

PictureFileResult<std::vector<std::uint8_t>> encode(const PixelBuffer& buffer, float quality)
{
    using Result = PictureFileResult<std::vector<std::uint8_t>>;
    if (buffer.size().isEmpty())
        return Result::failure("cannot encode a picture without pixels");
    if (!(quality >= 0 && quality <= 1))
        return Result::failure("JPEG quality must be between 0 and 1");
    Handle handle(tjInitCompress());
    if (!handle)
        return Result::failure("cannot start the JPEG encoder");
    int pixelFormat = buffer.format() == PixelFormat::ARGB32Premultiplied ? TJPF_ARGB : TJPF_BGRA;
    int tjQuality = std::clamp(static_cast<int>(std::lround(quality * 100)), 1, 100);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (tjCompress2(handle.get(), buffer.data(), buffer.width(), static_cast<int>(buffer.stride()), buffer.height(),
                    pixelFormat, &jpeg, &jpegSize, TJSAMP_420, tjQuality, 0)
        != 0) {
        tjFree(jpeg);
        return Result::failure("JPEG encoding failed: " + lastError(handle.get()));
    }
    std::vector<std::uint8_t> bytes(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return {std::move(bytes), {}};
}

} // namespace waterline::jpeg
