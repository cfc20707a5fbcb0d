// A running camera: one device, one serial queue on which its frames are handled, and
// the two rules that keep the camera's load bounded. Frames reach the handler at most
// once per minimum frame duration (1/12 s), however fast the device runs, and a frame
// that comes while the handler is still busy with the previous one is dropped, never
// queued: at most one frame is ever in flight.
//
//     CaptureSession session(std::move(camera), [](const PixelBuffer& frame) { show(frame); });
//     session.startRunning();      // frames now arrive on "cameraQueue"
//     session.stopRunning();       // no new frames; one in flight may still finish
//
// stopRunning() never waits for the handler, because the handler may itself be waiting
// for the main thread (the picture hand-off), and the main thread is where capture is
// stopped. Destroying the session does wait for a frame in flight, through the queue's
// draining destructor, which keeps the main run loop turning while it waits.
#pragma once

#include <waterline/capture/CameraDevice.h>
#include <waterline/foundation/SerialQueue.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace waterline {

class FramePool;

struct CaptureSessionOptions {
    // At most one frame per this duration reaches the handler: 1/12 s, 12 frames a second.
    std::chrono::nanoseconds minFrameDuration{1'000'000'000 / 12};
    std::string queueName = "cameraQueue";
};

class CaptureSession final : private FrameSink {
public:
    // Called on the session's queue with a 640 × 480 BGRA frame, valid only during the
    // call (the memory is recycled afterwards).
    using FrameHandler = std::function<void(const PixelBuffer&)>;

    using Options = CaptureSessionOptions;

    struct Statistics {
        std::uint64_t delivered = 0;    // frames handed to the handler
        std::uint64_t droppedEarly = 0; // within the minimum frame duration of the last one
        std::uint64_t droppedBusy = 0;  // the handler was still busy
    };

    CaptureSession(std::unique_ptr<CameraDevice>, FrameHandler, Options = {});
    ~CaptureSession() override;
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Starts the device; false (and not running) when it cannot stream.
    bool startRunning();
    // Stops the device; returns without waiting for a frame in flight.
    void stopRunning();
    bool isRunning() const { return m_running; }

    CameraDevice& device() { return *m_device; }
    const SerialQueue& queue() const { return *m_queue; }
    Statistics statistics() const;

    // Called on the device's thread when the device ends by itself (unplugged). The
    // session has stopped by then and has logged the reason on standard error.
    std::function<void(const std::string& reason)> onDeviceEnded;

private:
    bool offerFrame(const FrameWriter&) override;
    void deviceEnded(const std::string& reason) override;

    std::unique_ptr<CameraDevice> m_device;
    FrameHandler m_handler;
    Options m_options;
    std::shared_ptr<FramePool> m_pool;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_frameInFlight{false};
    // Only the device's producer thread reads and writes this.
    std::chrono::steady_clock::time_point m_lastDelivered{};
    bool m_hasDelivered = false;

    std::atomic<std::uint64_t> m_delivered{0};
    std::atomic<std::uint64_t> m_droppedEarly{0};
    std::atomic<std::uint64_t> m_droppedBusy{0};

    // Last, so it is destroyed first: its destructor runs a frame still queued while
    // everything that frame touches is alive.
    std::unique_ptr<SerialQueue> m_queue;
};

} // namespace waterline
