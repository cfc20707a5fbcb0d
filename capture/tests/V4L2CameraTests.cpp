#include <waterline/capture/CameraDevices.h>
#include <waterline/capture/CaptureError.h>
#include <waterline/capture/CaptureSession.h>
#include <waterline/capture/V4L2Camera.h>

#include "WaitFor.h"

#include <gtest/gtest.h>

namespace waterline {
namespace {

std::optional<CameraDescription> firstRealCamera()
{
    auto devices = CameraDevices().list();
    if (devices.empty())
        return std::nullopt;
    return devices.front();
}

TEST(V4L2Camera, RefusesNodesThatAreNotCaptureDevices)
{
    struct Case {
        const char* node;
    };
    for (auto [node] : {Case{"/dev/null"}, Case{"/nonexistent/video0"}}) {
        auto camera = V4L2Camera::open(node);
        ASSERT_FALSE(camera) << node;
        EXPECT_EQ(camera.error()->code(), static_cast<int>(CaptureErrorCode::DeviceUnavailable));
        std::string reason = camera.error()->localizedDescription();
        EXPECT_EQ(reason.rfind(std::string(node) + ": ", 0), 0u) << reason;
        EXPECT_FALSE(V4L2Camera::probe(node));
    }
}

TEST(V4L2Camera, ARealCameraDeliversBGRAFramesAtMostTwelveASecond)
{
    auto device = firstRealCamera();
    if (!device)
        GTEST_SKIP()
            << "no V4L2 video capture device on this machine (/dev/video*); the real-camera path is untested here";

    auto opened = V4L2Camera::open(device->node);
    ASSERT_TRUE(opened) << opened.error()->localizedDescription();
    auto camera = opened.releaseValue();
    std::atomic<int> handled{0};
    std::atomic<int> opaque{0};
    CaptureSession session(std::move(camera), [&](const PixelBuffer& frame) {
        if (frame.size() == kCameraFrameSize && frame.row(240)[320 * 4 + 3] == 0xFF)
            ++opaque;
        ++handled;
    });
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.startRunning());
    ASSERT_TRUE(waitFor([&] { return handled >= 3; }));
    session.stopRunning();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LE(handled.load(), 12 * seconds + 1);
    EXPECT_EQ(opaque.load(), handled.load());
}

} // namespace
} // namespace waterline
