#include <waterline/capture/CameraPipeline.h>

#include <waterline/effect/FixOrientation.h>
#include <waterline/foundation/MainThread.h>

namespace waterline {

CameraPipeline::CameraPipeline(EffectState& state, Display display)
    : m_state(state)
    , m_display(std::move(display))
{
}

PictureOrientation CameraPipeline::orientationFor(std::int32_t cameraid)
{
    return cameraid == 0 ? PictureOrientation::Right : PictureOrientation::LeftMirrored;
}

std::shared_ptr<Picture> CameraPipeline::uprightPicture(const PixelBuffer& frame, std::int32_t cameraid)
{
    // A view of the frame's own memory: the frame outlives this call, and fixOrientation
    // makes the one copy the picture needs.
    auto* bytes = reinterpret_cast<std::byte*>(const_cast<std::uint8_t*>(frame.data()));
    std::shared_ptr<const PixelBuffer> raster
        = PixelBuffer::wrap(frame.format(), frame.size(), frame.stride(), {bytes, frame.byteCount()});
    auto picture = Picture::create(raster, orientationFor(cameraid));
    if (!picture)
        return nullptr;
    return fixOrientation(*picture, kCameraPictureSize);
}

void CameraPipeline::captureOutput(const PixelBuffer& frame)
{
    if (!m_state.cameraing)
        return;
    auto upright = uprightPicture(frame, m_state.cameraid);
    if (!upright)
        return;
    // Capture is stopped on the main thread, so checking there again keeps a frame that
    // waited for it while capture stopped (album button, teardown) off the screen.
    bool shown = false;
    performOnMainThread(
        [&] {
            if (!m_state.cameraing)
                return;
            m_display(upright);
            shown = true;
        },
        true);
    if (shown)
        m_state.newimg_camera = true;
}

} // namespace waterline
