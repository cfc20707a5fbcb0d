#include <waterline/capture/CaptureSession.h>
#include <waterline/capture/SyntheticCamera.h>

#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

namespace waterline {
namespace {

using namespace std::chrono_literals;

// A device that stands for an unplugged camera: it delivers a few frames, then reports
// that it went away, as V4L2Camera does when the node vanishes.
class VanishingCamera final : public CameraDevice {
public:
    const std::string& name() const override { return m_name; }
    bool hasTorch() const override { return false; }
    bool hasFlash() const override { return false; }
    void setTorchMode(TorchMode) override {}
    void setFlashMode(FlashMode) override {}
    TorchMode torchMode() const override { return TorchMode::Off; }
    bool startRunning(FrameSink& sink) override
    {
        m_thread = std::thread([&sink] {
            sink.offerFrame([](PixelBuffer&) { return true; });
            sink.deviceEnded("the device went away");
        });
        return true;
    }
    void stopRunning() override
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    ~VanishingCamera() override { stopRunning(); }

private:
    std::string m_name = "vanishing";
    std::thread m_thread;
};

TEST(CaptureSession, NoMoreThanTwelveFramesASecondReachTheHandler)
{
    std::atomic<int> handled{0};
    std::string queueName;
    CaptureSession session(std::make_unique<SyntheticCamera>(0, 120.0), [&](const PixelBuffer& frame) {
        EXPECT_EQ(frame.size(), kCameraFrameSize);
        EXPECT_EQ(frame.format(), PixelFormat::BGRA32Premultiplied);
        ++handled;
    });
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.startRunning());
    pumpFor(700ms);
    session.stopRunning();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_GE(handled.load(), 1);
    EXPECT_LE(handled.load(), 12 * seconds + 1);
    EXPECT_GT(session.statistics().droppedEarly, 0u) << "a 120 fps camera must be held back";
    EXPECT_EQ(session.queue().name(), "cameraQueue");
}

TEST(CaptureSession, FramesArriveOnTheSessionsOwnQueueOneAtATime)
{
    std::atomic<int> inside{0}, overlaps{0}, handled{0}, offQueue{0};
    CaptureSession* self = nullptr;
    CaptureSession session(std::make_unique<SyntheticCamera>(0, 200.0),
                           [&](const PixelBuffer&) {
                               if (++inside > 1)
                                   ++overlaps;
                               if (!self->queue().isCurrent())
                                   ++offQueue;
                               std::this_thread::sleep_for(2ms);
                               --inside;
                               ++handled;
                           },
                           {.minFrameDuration = 0ns});
    self = &session;
    ASSERT_TRUE(session.startRunning());
    ASSERT_TRUE(waitFor([&] { return handled >= 5; }));
    session.stopRunning();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(offQueue.load(), 0);
}

TEST(CaptureSession, AFrameThatComesWhileTheHandlerIsBusyIsDroppedNotQueued)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::atomic<int> handled{0};
    CaptureSession session(std::make_unique<SyntheticCamera>(0, 200.0),
                           [&](const PixelBuffer&) {
                               ++handled;
                               std::unique_lock lock(mutex);
                               changed.wait(lock, [&] { return release; });
                           },
                           {.minFrameDuration = 0ns});
    ASSERT_TRUE(session.startRunning());

    ASSERT_TRUE(waitFor([&] { return session.statistics().droppedBusy >= 10; }));
    EXPECT_EQ(handled.load(), 1);
    EXPECT_EQ(session.statistics().delivered, 1u) << "nothing may wait in the queue behind a busy frame";

    auto droppedWhileBlocked = session.statistics().droppedBusy;
    session.stopRunning();
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    pumpFor(50ms);
    EXPECT_EQ(handled.load(), 1) << "no backlog is delivered after the handler frees up";
    EXPECT_GE(session.statistics().droppedBusy, droppedWhileBlocked);
}

TEST(CaptureSession, StoppingReturnsWhileAFrameIsInFlightAndThatFrameStillFinishes)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, release = false, finished = false;
    CaptureSession session(std::make_unique<SyntheticCamera>(0, 60.0), [&](const PixelBuffer&) {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        finished = true;
    });
    ASSERT_TRUE(session.startRunning());
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 20s, [&] { return entered; }));
    }
    session.stopRunning(); // must not wait for the blocked handler
    EXPECT_FALSE(session.isRunning());
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(finished);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex);
        return finished;
    }));
    EXPECT_EQ(session.statistics().delivered, 1u);
}

TEST(CaptureSession, ACameraThatVanishesEndsCaptureAndSaysWhy)
{
    std::atomic<int> handled{0};
    std::atomic<bool> ended{false};
    std::string reason;
    CaptureSession session(std::make_unique<VanishingCamera>(), [&](const PixelBuffer&) { ++handled; });
    session.onDeviceEnded = [&](const std::string& why) {
        reason = why;
        ended = true;
    };
    testing::internal::CaptureStderr();
    ASSERT_TRUE(session.startRunning());
    ASSERT_TRUE(waitFor([&] { return ended.load(); }));
    auto log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(session.isRunning());
    EXPECT_EQ(reason, "the device went away");
    EXPECT_NE(log.find("camera \"vanishing\" stopped: the device went away"), std::string::npos) << log;
    session.stopRunning();
}

TEST(CaptureSession, CanBeRestartedAfterStopping)
{
    std::atomic<int> handled{0};
    CaptureSession session(std::make_unique<SyntheticCamera>(1), [&](const PixelBuffer&) { ++handled; });
    for (int round = 0; round < 2; ++round) {
        int before = handled;
        ASSERT_TRUE(session.startRunning());
        ASSERT_TRUE(waitFor([&] { return handled > before; })) << "round " << round;
        session.stopRunning();
    }
}

} // namespace
} // namespace waterline
