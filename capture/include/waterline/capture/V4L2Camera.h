// A real camera: a V4L2 video capture node (/dev/videoN), streamed through memory-mapped
// buffers and converted to 640 × 480 BGRA by FrameConverter, so YUYV and MJPEG cameras
// look alike to the rest of the system. The device is asked for 12 frames a second
// where it lets itself be asked; the capture session enforces the ceiling anyway.
//
// A camera unplugged mid-capture ends its stream: the producer thread sees the device
// error, tells the sink why, and exits; nothing else is touched.
//
// Torch and flash are reported only where the driver exposes the V4L2 flash LED mode
// control with the matching menu entry (most webcams have neither).
//
//     auto camera = V4L2Camera::open("/dev/video0");
//     if (!camera)
//         return log(camera.error()->localizedDescription());   // not a camera, or busy
//     CaptureSession session(camera.releaseValue(), [](const PixelBuffer& frame) { show(frame); });
//     session.startRunning();   // frames arrive on the session's queue until stopRunning()
#pragma once

#include <waterline/capture/CameraDevice.h>
#include <waterline/capture/FrameConverter.h>
#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace waterline {

class V4L2Camera final : public CameraDevice {
public:
    // Opens the node; an error (DeviceUnavailable, naming the node) when it is not a
    // streaming video capture device or cannot be opened.
    static ErrorOr<std::unique_ptr<V4L2Camera>> open(const std::filesystem::path& node);

    // The card name of a streaming video capture node, or none for any other node.
    static std::optional<std::string> probe(const std::filesystem::path& node);

    ~V4L2Camera() override;

    const std::string& name() const override { return m_name; }
    const std::filesystem::path& node() const { return m_node; }

    bool hasTorch() const override { return m_hasTorch; }
    bool hasFlash() const override { return m_hasFlash; }
    void setTorchMode(TorchMode) override;
    void setFlashMode(FlashMode) override;
    TorchMode torchMode() const override { return m_torchMode; }

    bool startRunning(FrameSink&) override;
    void stopRunning() override;

private:
    struct MappedBuffer {
        void* start = nullptr;
        std::size_t length = 0;
    };

    V4L2Camera(std::filesystem::path, FileDescriptor device, std::string name);
    void readFlashControls();
    void setLedMode(int mode);
    ErrorOr<void> configureStream();
    ErrorOr<void> mapAndQueueBuffers(unsigned count);
    void releaseStream();
    void produceFrames(FrameSink&);

    std::filesystem::path m_node;
    FileDescriptor m_device;
    std::string m_name;
    bool m_hasTorch = false;
    bool m_hasFlash = false;
    TorchMode m_torchMode = TorchMode::Off;

    std::unique_ptr<FrameConverter> m_converter;
    V4L2FrameFormat m_nativeFormat;
    std::vector<MappedBuffer> m_buffers;
    bool m_streaming = false;
    FileDescriptor m_stopEvent; // an eventfd that wakes the producer to stop
    std::thread m_producer;
};

} // namespace waterline
