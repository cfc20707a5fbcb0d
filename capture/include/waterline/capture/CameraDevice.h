// An opened camera. Every source (a V4L2 device, the synthetic test camera) hides behind
// this one small interface, so the capture session and the screen never care where frames
// come from. A device runs its own producer thread while it is running; for each frame
// it has ready it asks its sink whether the frame is wanted and only then converts it,
// so frames that the session drops (too early, or while the previous one is still being
// handled) cost nothing but the ask.
//
//     auto camera = CameraDevices(2).open(0);
//     camera->startRunning(session);   // session implements FrameSink
//     ...
//     camera->stopRunning();           // no offer is made after this returns
#pragma once

#include <waterline/foundation/Geometry.h>
#include <waterline/foundation/PixelBuffer.h>

#include <functional>
#include <string>

namespace waterline {

// Every camera delivers frames of this size, landscape as the sensor sees them, in
// PixelFormat::BGRA32Premultiplied.
inline constexpr Size kCameraFrameSize{640, 480};

enum class TorchMode { Off, On };
enum class FlashMode { Off, On };

// Receives the frames of a running device, on the device's producer thread.
class FrameSink {
public:
    virtual ~FrameSink() = default;

    // Writes a frame into a 640 × 480 BGRA buffer; false when the frame turned out to be
    // unusable (a corrupt compressed frame), which drops it.
    using FrameWriter = std::function<bool(PixelBuffer&)>;

    // Offers the frame the device has ready. The sink calls `write` only if it takes the
    // frame; returns whether it did.
    virtual bool offerFrame(const FrameWriter& write) = 0;

    // The device stopped by itself (unplugged, failed); no offer follows. `reason` is a
    // line for the log.
    virtual void deviceEnded(const std::string& reason) = 0;
};

class CameraDevice {
public:
    virtual ~CameraDevice() = default;

    // A human-readable name ("CAM 0", or the V4L2 card name).
    virtual const std::string& name() const = 0;

    virtual bool hasTorch() const = 0;
    virtual bool hasFlash() const = 0;
    // Both do nothing on a device without the light in question.
    virtual void setTorchMode(TorchMode) = 0;
    virtual void setFlashMode(FlashMode) = 0;
    virtual TorchMode torchMode() const = 0;

    // Starts the producer thread, which offers every frame to `sink` until stopRunning()
    // or until the device ends by itself. False, with nothing started, when the device
    // cannot stream (the reason is logged).
    virtual bool startRunning(FrameSink& sink) = 0;
    // Stops and joins the producer thread. Safe to call when not running, and from any
    // thread but the producer's own.
    virtual void stopRunning() = 0;
};

} // namespace waterline
