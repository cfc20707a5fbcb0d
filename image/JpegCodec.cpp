#include <waterline/image/JpegCodec.h>

#include <waterline/image/PictureFileError.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace waterline::image {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string lastError(void* handle)
{
    return tjGetErrorStr2(handle);
}

} // namespace

bool looksLikeJPEG(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

ErrorOr<std::vector<std::uint8_t>> encodeJPEG(const PixelBuffer& buffer, float quality)
{
    if (buffer.size().isEmpty())
        return pictureFileError(PictureFileErrorCode::NoPixels, "cannot encode a picture without pixels");
    if (!(quality >= 0 && quality <= 1))
        return pictureFileError(PictureFileErrorCode::InvalidQuality, "JPEG quality must be between 0 and 1");
    Handle handle(tjInitCompress());
    if (!handle)
        return pictureFileError(PictureFileErrorCode::CodecUnavailable, "cannot start the JPEG encoder");
    int pixelFormat = buffer.format() == PixelFormat::ARGB32Premultiplied ? TJPF_ARGB : TJPF_BGRA;
    int tjQuality = std::clamp(static_cast<int>(std::lround(quality * 100)), 1, 100);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (tjCompress2(handle.get(), buffer.data(), buffer.width(), static_cast<int>(buffer.stride()), buffer.height(),
                    pixelFormat, &jpeg, &jpegSize, TJSAMP_420, tjQuality, 0)
        != 0) {
        tjFree(jpeg);
        return pictureFileError(PictureFileErrorCode::EncodingFailed,
                                "JPEG encoding failed: " + lastError(handle.get()));
    }
    std::vector<std::uint8_t> bytes(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return bytes;
}

} // namespace waterline::image
