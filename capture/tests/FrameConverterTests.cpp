#include <waterline/capture/CameraDevice.h>
#include <waterline/capture/CaptureError.h>
#include <waterline/capture/FrameConverter.h>

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace waterline {
namespace {

struct Rgb {
    int red, green, blue;
};

// The four quadrants of every recorded frame, so a flip or a swap of channels shows.
constexpr Rgb kQuadrants[4] = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

int quadrantOf(int x, int y, Size size)
{
    return (y >= size.height / 2 ? 2 : 0) + (x >= size.width / 2 ? 1 : 0);
}

// Full-range BT.601 Y'CbCr of an RGB colour, the range libv4lconvert reads YUYV in.
std::array<std::uint8_t, 3> toYCbCr(Rgb c)
{
    auto clamp = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); };
    double y = 0.299 * c.red + 0.587 * c.green + 0.114 * c.blue;
    double cb = 128 - 0.168736 * c.red - 0.331264 * c.green + 0.5 * c.blue;
    double cr = 128 + 0.5 * c.red - 0.418688 * c.green - 0.081312 * c.blue;
    return {clamp(y), clamp(cb), clamp(cr)};
}

std::vector<std::uint8_t> recordYUYV(Size size)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.width) * size.height * 2);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; x += 2) {
            auto ycc = toYCbCr(kQuadrants[quadrantOf(x, y, size)]);
            auto* pair = &bytes[(static_cast<std::size_t>(y) * size.width + x) * 2];
            pair[0] = ycc[0];
            pair[1] = ycc[1];
            pair[2] = ycc[0];
            pair[3] = ycc[2];
        }
    }
    return bytes;
}

std::vector<std::uint8_t> recordMJPEG(Size size)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(size.width) * size.height * 3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            auto c = kQuadrants[quadrantOf(x, y, size)];
            auto* pixel = &rgb[(static_cast<std::size_t>(y) * size.width + x) * 3];
            pixel[0] = static_cast<std::uint8_t>(c.red);
            pixel[1] = static_cast<std::uint8_t>(c.green);
            pixel[2] = static_cast<std::uint8_t>(c.blue);
        }
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    int failed
        = tjCompress2(encoder, rgb.data(), size.width, 0, size.height, TJPF_RGB, &jpeg, &jpegSize, TJSAMP_422, 95, 0);
    std::vector<std::uint8_t> bytes;
    if (!failed)
        bytes.assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    tjDestroy(encoder);
    return bytes;
}

V4L2FrameFormat yuyvFormat(Size size)
{
    auto line = static_cast<std::uint32_t>(size.width * 2);
    return {V4L2_PIX_FMT_YUYV, size, line, line * static_cast<std::uint32_t>(size.height)};
}

std::unique_ptr<PixelBuffer> frame()
{
    return PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
}

// Samples each quadrant away from its edges, where compression and chroma sharing blur.
void expectQuadrants(const PixelBuffer& frame, int tolerance)
{
    const int w = frame.width(), h = frame.height();
    const int points[4][2] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
    for (int q = 0; q < 4; ++q) {
        const auto* pixel = frame.row(points[q][1]) + points[q][0] * 4;
        SCOPED_TRACE("quadrant " + std::to_string(q));
        EXPECT_NEAR(pixel[0], kQuadrants[q].blue, tolerance);
        EXPECT_NEAR(pixel[1], kQuadrants[q].green, tolerance);
        EXPECT_NEAR(pixel[2], kQuadrants[q].red, tolerance);
        EXPECT_EQ(pixel[3], 0xFF);
    }
}

TEST(FrameConverter, DecodesRecordedFramesIntoBGRA)
{
    auto converter = FrameConverter::standalone();
    ASSERT_TRUE(converter);

    struct Case {
        const char* name;
        V4L2FrameFormat format;
        std::vector<std::uint8_t> bytes;
        int tolerance;
    };
    auto jpeg = recordMJPEG(kCameraFrameSize);
    ASSERT_FALSE(jpeg.empty());
    std::vector<Case> cases;
    cases.push_back({"YUYV 640x480", yuyvFormat(kCameraFrameSize), recordYUYV(kCameraFrameSize), 6});
    cases.push_back({"MJPEG 640x480",
                     {V4L2_PIX_FMT_MJPEG, kCameraFrameSize, 0, static_cast<std::uint32_t>(jpeg.size())},
                     jpeg,
                     10});
    // A camera that cannot give 640 × 480: the frame is scaled up to it.
    cases.push_back({"YUYV 320x240", yuyvFormat({320, 240}), recordYUYV({320, 240}), 6});

    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto out = frame();
        auto converted = converter->convert(c.format, c.bytes, *out);
        ASSERT_TRUE(converted) << converted.error()->localizedDescription();
        expectQuadrants(*out, c.tolerance);
    }
}

TEST(FrameConverter, RefusesFramesThatCannotBeDecoded)
{
    auto converter = FrameConverter::standalone();
    ASSERT_TRUE(converter);

    auto yuyv = recordYUYV(kCameraFrameSize);
    std::vector<std::uint8_t> shortYUYV(yuyv.begin(), yuyv.begin() + yuyv.size() / 2);
    std::vector<std::uint8_t> garbage(4096);
    std::srand(7);
    for (auto& b : garbage)
        b = static_cast<std::uint8_t>(std::rand());
    auto jpeg = recordMJPEG(kCameraFrameSize);
    std::vector<std::uint8_t> truncatedJPEG(jpeg.begin(), jpeg.begin() + 200);

    struct Case {
        const char* name;
        V4L2FrameFormat format;
        std::vector<std::uint8_t> bytes;
    };
    Case cases[] = {
        {"YUYV cut in half", yuyvFormat(kCameraFrameSize), shortYUYV},
        {"MJPEG of noise", {V4L2_PIX_FMT_MJPEG, kCameraFrameSize, 0, 4096}, garbage},
        {"MJPEG cut short", {V4L2_PIX_FMT_MJPEG, kCameraFrameSize, 0, 200}, truncatedJPEG},
        {"empty size", yuyvFormat({0, 0}), yuyv},
    };
    for (auto& c : cases) {
        auto out = frame();
        auto converted = converter->convert(c.format, c.bytes, *out);
        ASSERT_FALSE(converted) << c.name;
        EXPECT_EQ(converted.error()->domain(), kCaptureErrorDomain) << c.name;
        EXPECT_EQ(converted.error()->code(), static_cast<int>(CaptureErrorCode::FrameUndecodable)) << c.name;
        EXPECT_FALSE(converted.error()->localizedDescription().empty()) << c.name;
    }

    // The converter stays usable after a bad frame.
    auto out = frame();
    EXPECT_TRUE(converter->convert(yuyvFormat(kCameraFrameSize), yuyv, *out));
}

TEST(FrameConverter, WritesOnlyBGRAFrames)
{
    auto converter = FrameConverter::standalone();
    auto argb = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, kCameraFrameSize);
    auto yuyv = recordYUYV(kCameraFrameSize);
    EXPECT_FALSE(converter->convert(yuyvFormat(kCameraFrameSize), yuyv, *argb));
}

} // namespace
} // namespace waterline
