// What happens to each camera frame on the capture queue: it is wrapped (not copied),
// tagged with the orientation of the camera it came from, brought upright and to
// 480 × 640 by fixOrientation, and put on display through the main thread. Only once
// the main thread has shown it is `newimg_camera` set, so whenever the frame chain sees
// the flag, the flagged picture is already on display.
//
// The back camera (cameraid 0) delivers frames to be turned 90° clockwise (tag 3);
// any other camera's frames are transposed (tag 6), which mirrors them as a front
// camera's preview should be.
//
//     CameraPipeline pipeline(state, [&](auto picture) { displayView.setImage(picture); });
//     CaptureSession session(std::move(camera),
//                            [&](const PixelBuffer& frame) { pipeline.captureOutput(frame); });
#pragma once

#include <waterline/effect/EffectState.h>
#include <waterline/effect/Picture.h>

#include <functional>
#include <memory>

namespace waterline {

class CameraPipeline {
public:
    // The size of every camera picture put on display, in points (upright, portrait).
    static constexpr SizeF kCameraPictureSize{480, 640};

    // Shows a picture; always called on the main thread.
    using Display = std::function<void(std::shared_ptr<Picture>)>;

    // `state` must outlive every frame handed to captureOutput().
    CameraPipeline(EffectState& state, Display display);

    // One frame (640 × 480, BGRA), on the capture queue. Ignored while `cameraing` is
    // false, and not shown when it turned false before the main thread took the picture.
    // Blocks until the main thread has displayed (or dropped) the picture.
    void captureOutput(const PixelBuffer& frame);

    static PictureOrientation orientationFor(std::int32_t cameraid);

    // The frame, wrapped without copying, turned upright and stretched to 480 × 640:
    // the picture captureOutput() displays. None when the frame cannot be oriented.
    static std::shared_ptr<Picture> uprightPicture(const PixelBuffer& frame, std::int32_t cameraid);

private:
    EffectState& m_state;
    Display m_display;
};

} // namespace waterline
