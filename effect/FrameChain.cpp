#include <waterline/effect/FrameChain.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/ImageData.h>
#include <waterline/effect/ReflectionRenderer.h>
#include <waterline/foundation/Timer.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace waterline {

namespace {

// A whole number of points, truncated toward zero; 0 for sizes no buffer could hold.
std::int32_t wholePoints(double points)
{
    if (!(points >= 1) || points > (1 << 24))
        return 0;
    return static_cast<std::int32_t>(points);
}

} // namespace

FrameChain::FrameChain(EffectState& state, EffectScreen& screen, RunLoop& loop)
    : m_state(state)
    , m_screen(screen)
    , m_loop(loop)
{
}

FrameChain::~FrameChain()
{
    // The pending tick refers to this chain; it must not outlive it.
    if (m_pendingTick)
        m_pendingTick->invalidate();
}

bool FrameChain::isRunning() const
{
    return m_pendingTick && m_pendingTick->isValid();
}

void FrameChain::arm(Tick tick)
{
    // A tick called by hand while another is pending replaces it: one chain, one tick.
    if (m_pendingTick)
        m_pendingTick->invalidate();
    auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(kTickDelay));
    m_pendingTick = Timer::singleShot(
        delay,
        [this, tick] {
            switch (tick) {
            case Tick::Render:
                plinter();
                break;
            case Tick::LoadAlbum:
                loadnewimage_album();
                break;
            case Tick::LoadCamera:
                loadnewimage_camera();
                break;
            }
        },
        m_loop);
}

void FrameChain::armAfterRender()
{
    if (m_state.newimg_album)
        arm(Tick::LoadAlbum);
    else if (m_state.newimg_camera.load())
        arm(Tick::LoadCamera);
    else
        arm(Tick::Render);
}

std::shared_ptr<Picture> FrameChain::waterPicture(int rows) const
{
    if (rows < 1)
        return nullptr;
    // A copy: the next frame overwrites the water buffer while this one is on screen.
    std::shared_ptr<PixelBuffer> copy
        = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {m_state.water_width, rows});
    if (!copy)
        return nullptr;
    std::memcpy(copy->data(), m_state.cameradata->data(), copy->byteCount());
    return Picture::create(std::move(copy));
}

void FrameChain::plinter()
{
    if (m_state.originalimagedata) {
        auto sliders = m_screen.sliderValues();
        m_state.K1 = sliders.K1;
        m_state.K2 = sliders.K2;
        m_state.K3 = sliders.K3;
        m_state.K4 = sliders.K4;
        m_state.water_width = m_state.inputwidth;
        m_state.water_height = waterHeight(m_state.K1, m_state.inputheight);
        ReflectionSource source{reinterpret_cast<const std::uint32_t*>(m_state.originalimagedata->data()),
                                m_state.inputwidth, m_state.inputheight};
        int rows = renderReflection(
            source,
            {.K1 = m_state.K1, .K2 = m_state.K2, .K3 = m_state.K3, .step_x = m_state.step_x, .step_y = m_state.step_y},
            m_state.waterWords());
        m_state.step_x = m_state.step_x - m_state.K4;
        m_state.step_y = m_state.step_y - m_state.K4;
        setWaterImage(waterPicture(rows));
    }
    armAfterRender();
}

void FrameChain::setWaterImage(std::shared_ptr<Picture> water)
{
    double height = water ? water->size().height : 0;
    m_screen.setWaterPicture(std::move(water));
    m_screen.setDisplayedPictureFrame({0, kWaterLine - height, kPictureViewWidth, height});
}

void FrameChain::loadnewimage_album()
{
    m_state.newimg_album = false;
    m_state.newimg_camera = false;
    load();
}

void FrameChain::loadnewimage_camera()
{
    m_state.newimg_camera = false;
    load();
}

void FrameChain::load()
{
    auto picture = m_screen.displayedPicture();
    SizeF size = picture ? picture->size() : SizeF{};
    m_state.inputwidth = wholePoints(size.width);
    m_state.inputheight = wholePoints(size.height);
    if (m_state.inputwidth == 0 || m_state.inputheight == 0)
        return; // no picture: the chain ends here

    // The previous buffer goes first, so two never exist at once.
    m_state.originalimagedata.reset();
    auto pixels = static_cast<std::size_t>(m_state.inputwidth) * static_cast<std::size_t>(m_state.inputheight);
    if (pixels > kWaterBufferWords) {
        std::fprintf(stderr, "picture of %d × %d pixels does not fit the water buffer\n", m_state.inputwidth,
                     m_state.inputheight);
    } else if (picture->orientation() == PictureOrientation::Up) {
        m_state.originalimagedata = createimagedata(picture->raster());
    } else {
        // Displayed pictures are upright; one that is not is turned rather than misread.
        m_state.originalimagedata = orientUpright(picture->raster(), picture->orientation());
    }
    if (!m_state.originalimagedata) {
        m_state.inputwidth = 0;
        m_state.inputheight = 0;
    }
    arm(Tick::Render);
}

} // namespace waterline
