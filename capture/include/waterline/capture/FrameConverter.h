// Turns the frames a V4L2 camera sends, in whatever format it prefers (YUYV, MJPEG and
// everything else libv4lconvert decodes), into the BGRA frames the capture session
// hands on. libv4lconvert writes packed BGR; alpha is added here (opaque, so the
// premultiplication is trivial), and a frame of another size than the requested one is
// scaled to it, nearest neighbour, for cameras that cannot give that size.
//
//     auto converter = FrameConverter::forDevice(fd);
//     auto native = converter->nativeFormatFor(kCameraFrameSize);   // what to ask the device for
//     if (auto converted = converter->convert(*native, bytesFromTheDevice, frame); !converted)
//         log(converted.error()->localizedDescription());
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct v4lconvert_data;

namespace waterline {

// A V4L2 single-planar image format: the fourcc (V4L2_PIX_FMT_…), the size, and the
// byte counts the driver reported.
struct V4L2FrameFormat {
    std::uint32_t pixelFormat = 0;
    Size size;
    std::uint32_t bytesPerLine = 0;
    std::uint32_t imageSize = 0;
};

class FrameConverter {
public:
    // A converter that asks the device behind `fd` for its formats and controls.
    static std::unique_ptr<FrameConverter> forDevice(int fd);
    // A converter for frames recorded from some device: it knows no device, so only
    // convert() is meaningful.
    static std::unique_ptr<FrameConverter> standalone();

    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // The device format that gives frames of `wanted` (or the nearest size the device
    // has) after conversion; an error (NoConvertibleFormat) when the device offers
    // nothing convertible.
    ErrorOr<V4L2FrameFormat> nativeFormatFor(Size wanted);

    // Converts one frame of `source` format into `frame` (BGRA32Premultiplied, any
    // size). An error (FrameUndecodable) for a frame that cannot be decoded; `frame` may
    // then hold partial content.
    ErrorOr<void> convert(const V4L2FrameFormat& source, std::span<const std::uint8_t> bytes, PixelBuffer& frame);

private:
    explicit FrameConverter(v4lconvert_data*);
    void expandToBGRA(Size decodedSize, PixelBuffer& frame) const;

    v4lconvert_data* m_converter;
    std::vector<std::uint8_t> m_packed; // the decoded frame, 3 bytes a pixel
};

} // namespace waterline
