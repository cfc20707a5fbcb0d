// A camera that exists only in software, for machines without one and for tests. Its
// frames are built so that a wrong turn is obvious on screen: the scene (an arrow
// pointing up, the label "CAM <index>", a square sliding from side to side, a coloured
// marker in each corner) is composed upright and laid into the landscape frame the way
// a sensor mounted sideways would see it. Camera 0 is mounted like a back camera (the
// pipeline turns its frames 90° clockwise), every other one like a front camera (its
// frames are transposed); once the pipeline has turned a frame upright, the arrow
// points up and the label reads left to right.
//
// Camera 1 reports a torch and a flash, so the flash button has something to drive;
// with the torch on its scene is lit brighter.
#pragma once

#include <waterline/capture/CameraDevice.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace waterline {

class SyntheticCamera final : public CameraDevice {
public:
    // The default rate is well above the session's 12 frames per second, as a real
    // camera's would be, so the session's cap and dropping are exercised.
    static constexpr double kDefaultFramesPerSecond = 30;

    explicit SyntheticCamera(int index, double framesPerSecond = kDefaultFramesPerSecond);
    ~SyntheticCamera() override;

    int index() const { return m_index; }

    const std::string& name() const override { return m_name; }
    bool hasTorch() const override { return m_hasLights; }
    bool hasFlash() const override { return m_hasLights; }
    void setTorchMode(TorchMode) override;
    void setFlashMode(FlashMode) override;
    TorchMode torchMode() const override { return m_torchOn ? TorchMode::On : TorchMode::Off; }

    bool startRunning(FrameSink&) override;
    void stopRunning() override;

    // Frame number `frameNumber` of this camera's scene, into a 640 × 480 BGRA buffer.
    // Deterministic, so tests and benchmarks can make frames without the thread.
    void drawFrame(PixelBuffer& frame, std::uint64_t frameNumber) const;

    // Where upright pixel (x, y) of a 480 × 640 picture lies in the landscape frame of a
    // camera with this index: the inverse of the turn the pipeline applies.
    struct SensorPixel {
        int column;
        int row;
    };
    static SensorPixel sensorPositionOf(int cameraIndex, int x, int y);

private:
    void produceFrames(FrameSink&);
    std::vector<std::uint32_t> composeBackground(bool lit) const;

    int m_index;
    std::string m_name;
    bool m_hasLights;
    std::chrono::nanoseconds m_period;
    std::atomic<bool> m_torchOn{false};

    // The still part of the scene, already in sensor layout, unlit and lit.
    std::vector<std::uint32_t> m_background;
    std::vector<std::uint32_t> m_litBackground;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;
    std::thread m_producer;
};

} // namespace waterline
