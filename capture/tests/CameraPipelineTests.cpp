#include <waterline/capture/CameraPipeline.h>
#include <waterline/capture/CaptureSession.h>
#include <waterline/capture/SyntheticCamera.h>
#include <waterline/foundation/MainThread.h>

#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace waterline {
namespace {

using namespace std::chrono_literals;

// A frame in which every pixel is different: blue and green carry the column, green and
// red the row, so the upright picture shows exactly which frame pixel went where.
std::unique_ptr<PixelBuffer> numberedFrame()
{
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    for (int row = 0; row < frame->height(); ++row)
        for (int column = 0; column < frame->width(); ++column) {
            auto* pixel = frame->row(row) + column * 4;
            pixel[0] = static_cast<std::uint8_t>(column & 0xFF);
            pixel[1] = static_cast<std::uint8_t>((column >> 8) | ((row & 0x3F) << 2));
            pixel[2] = static_cast<std::uint8_t>(row >> 6);
            pixel[3] = 0xFF;
        }
    return frame;
}

// The upright picture's pixel (bytes A, R, G, B) equals the frame's (bytes B, G, R, A).
bool samePixel(const PixelBuffer& upright, int x, int y, const PixelBuffer& frame, int column, int row)
{
    const auto* u = upright.row(y) + x * 4;
    const auto* f = frame.row(row) + column * 4;
    return u[0] == f[3] && u[1] == f[2] && u[2] == f[1] && u[3] == f[0];
}

struct Corner {
    int x, y;        // in the upright picture
    int column, row; // in the 640 × 480 frame
};

void expectCorners(const PixelBuffer& upright, const PixelBuffer& frame, std::initializer_list<Corner> corners)
{
    for (auto c : corners)
        EXPECT_TRUE(samePixel(upright, c.x, c.y, frame, c.column, c.row))
            << "upright (" << c.x << ", " << c.y << ") should be frame (" << c.column << ", " << c.row << ")";
}

// Camera 0's frame is turned 90° clockwise; camera 1's is transposed (mirrored).
const std::initializer_list<Corner> kBackCameraCorners
    = {{0, 0, 0, 479}, {479, 0, 0, 0}, {0, 639, 639, 479}, {479, 639, 639, 0}};
const std::initializer_list<Corner> kFrontCameraCorners
    = {{0, 0, 0, 0}, {1, 0, 0, 1}, {479, 0, 0, 479}, {0, 639, 639, 0}, {479, 639, 639, 479}};

TEST(CameraPipeline, TurnsEveryFramePixelToItsUprightPlace)
{
    auto frame = numberedFrame();
    for (std::int32_t cameraid : {0, 1}) {
        SCOPED_TRACE("camera " + std::to_string(cameraid));
        auto picture = CameraPipeline::uprightPicture(*frame, cameraid);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->size(), (SizeF{480, 640}));
        EXPECT_EQ(picture->orientation(), PictureOrientation::Up);
        const auto& upright = picture->raster();
        expectCorners(upright, *frame, cameraid == 0 ? kBackCameraCorners : kFrontCameraCorners);
        int wrong = 0;
        for (int y = 0; y < 640; ++y)
            for (int x = 0; x < 480; ++x) {
                auto at = SyntheticCamera::sensorPositionOf(cameraid, x, y);
                wrong += !samePixel(upright, x, y, *frame, at.column, at.row);
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(CameraPipeline, OrientationTagIsThreeForTheBackCameraAndSixOtherwise)
{
    EXPECT_EQ(static_cast<int>(CameraPipeline::orientationFor(0)), 3);
    EXPECT_EQ(static_cast<int>(CameraPipeline::orientationFor(1)), 6);
    EXPECT_EQ(static_cast<int>(CameraPipeline::orientationFor(2)), 6);
}

TEST(CameraPipeline, DropsFramesWhileNotCapturing)
{
    EffectState state;
    int displayed = 0;
    CameraPipeline pipeline(state, [&](std::shared_ptr<Picture>) { ++displayed; });
    auto frame = numberedFrame();
    pipeline.captureOutput(*frame);
    EXPECT_EQ(displayed, 0);
    EXPECT_FALSE(state.newimg_camera);
}

TEST(CameraPipeline, FlagsThePictureOnlyAfterTheMainThreadHasShownIt)
{
    EffectState state;
    state.cameraing = true;
    std::shared_ptr<Picture> shown;
    bool onMainThread = false, flaggedBeforeShown = true;
    CameraPipeline pipeline(state, [&](std::shared_ptr<Picture> picture) {
        onMainThread = isMainThread();
        flaggedBeforeShown = state.newimg_camera;
        shown = std::move(picture);
    });
    auto frame = numberedFrame();
    std::atomic<bool> returned{false};
    std::thread queue([&] {
        pipeline.captureOutput(*frame);
        returned = true;
    });
    ASSERT_TRUE(waitFor([&] { return returned.load(); }));
    queue.join();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(flaggedBeforeShown);
    EXPECT_TRUE(state.newimg_camera);
}

TEST(CameraPipeline, AFrameWaitingForTheMainThreadIsNotShownOnceCaptureStopped)
{
    EffectState state;
    state.cameraing = true;
    int displayed = 0;
    CameraPipeline pipeline(state, [&](std::shared_ptr<Picture>) { ++displayed; });
    auto frame = numberedFrame();
    std::atomic<bool> returned{false};
    std::thread queue([&] {
        pipeline.captureOutput(*frame);
        returned = true;
    });
    // The main thread is busy while the frame is turned and handed over; then it stops
    // capture (the album button) before it gets round to the waiting hand-off.
    std::this_thread::sleep_for(200ms);
    state.cameraing = false;
    state.newimg_camera = false;
    ASSERT_TRUE(waitFor([&] { return returned.load(); }));
    queue.join();
    EXPECT_EQ(displayed, 0);
    EXPECT_FALSE(state.newimg_camera);
}

// The whole path from a synthetic camera through the session to the display.
class LiveCamera {
public:
    explicit LiveCamera(EffectState& state)
        : m_pipeline(state, [this](std::shared_ptr<Picture> picture) { show(std::move(picture)); })
    {
    }

    void start(int cameraIndex)
    {
        m_session
            = std::make_unique<CaptureSession>(std::make_unique<SyntheticCamera>(cameraIndex),
                                               [this](const PixelBuffer& frame) { m_pipeline.captureOutput(frame); });
        ASSERT_TRUE(m_session->startRunning());
    }
    CaptureSession& session() { return *m_session; }

    int displayed() const
    {
        std::lock_guard lock(m_mutex);
        return m_displayed;
    }
    std::shared_ptr<Picture> lastPicture() const
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    std::function<void()> onShow;

private:
    void show(std::shared_ptr<Picture> picture)
    {
        {
            std::lock_guard lock(m_mutex);
            m_last = std::move(picture);
            ++m_displayed;
        }
        if (onShow)
            onShow();
    }

    CameraPipeline m_pipeline;
    mutable std::mutex m_mutex;
    int m_displayed = 0;
    std::shared_ptr<Picture> m_last;
    std::unique_ptr<CaptureSession> m_session;
};

std::unique_ptr<PixelBuffer> syntheticFrame(int cameraIndex)
{
    auto frame = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, kCameraFrameSize);
    SyntheticCamera(cameraIndex).drawFrame(*frame, 0); // the corners do not move
    return frame;
}

TEST(CameraPipeline, SyntheticCamerasShowUprightCornersAndASwitchUsesTheNewTag)
{
    EffectState state;
    LiveCamera live(state);
    state.cameraing = true;

    state.cameraid = 0;
    live.start(0);
    ASSERT_TRUE(waitFor([&] { return live.displayed() >= 1; }));
    live.session().stopRunning();
    ASSERT_TRUE(live.lastPicture());
    {
        SCOPED_TRACE("camera 0");
        expectCorners(live.lastPicture()->raster(), *syntheticFrame(0), kBackCameraCorners);
    }

    // The switch: stop, the other camera index, a new session on the other camera.
    state.cameraid = 1;
    int before = live.displayed();
    live.start(1);
    ASSERT_TRUE(waitFor([&] { return live.displayed() > before; }));
    live.session().stopRunning();
    {
        SCOPED_TRACE("camera 1");
        expectCorners(live.lastPicture()->raster(), *syntheticFrame(1), kFrontCameraCorners);
    }
}

TEST(CameraPipeline, StoppingWithAFrameInFlightMayFlagOneMorePictureAndNothingAfter)
{
    EffectState state;
    LiveCamera live(state);
    state.cameraing = true;
    // The album button acts while a frame waits for the main thread to show it.
    live.onShow = [&] {
        if (!state.cameraing)
            return;
        state.cameraing = false;
        live.session().stopRunning();
        state.newimg_camera = false;
    };
    live.start(0);
    ASSERT_TRUE(waitFor([&] { return live.displayed() >= 1; }));
    EXPECT_TRUE(waitFor([&] { return state.newimg_camera.load(); }))
        << "the frame in flight flags its picture after the stop";
    pumpFor(300ms);
    EXPECT_EQ(live.displayed(), 1) << "no frame is shown once capture stopped";
}

} // namespace
} // namespace waterline
