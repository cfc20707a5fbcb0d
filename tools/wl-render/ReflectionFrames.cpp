#include "ReflectionFrames.h"

#include "RenderError.h"

#include <waterline/effect/ImageData.h>
#include <waterline/effect/ReflectionComposer.h>
#include <waterline/effect/ReflectionRenderer.h>

#include <cstring>

namespace waterline::render {

ReflectionFrames::ReflectionFrames(std::shared_ptr<Picture> picture, EffectValues values)
    : m_picture(std::move(picture))
    , m_values(values)
{
}

ErrorOr<std::unique_ptr<ReflectionFrames>> ReflectionFrames::create(std::shared_ptr<Picture> upright,
                                                                    EffectValues values)
{
    Size size = upright->raster().size();
    if (static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) > kWaterBufferWords)
        return renderError("picture of " + std::to_string(size.width) + " × " + std::to_string(size.height)
                           + " pixels does not fit the 768 × 1024 water buffer");
    if (waterHeight(values.K1, size.height) < 1)
        return renderError("no rows to reflect: K1 × " + std::to_string(size.height) + " rows is less than one");
    std::unique_ptr<ReflectionFrames> frames(new ReflectionFrames(std::move(upright), values));
    auto& state = frames->m_state;
    state.originalimagedata = createimagedata(frames->m_picture->raster());
    if (!state.originalimagedata)
        return renderError("out of memory");
    state.inputwidth = size.width;
    state.inputheight = size.height;
    state.K1 = values.K1;
    state.K2 = values.K2;
    state.K3 = values.K3;
    state.K4 = values.K4;
    return frames;
}

void ReflectionFrames::skipTo(long frame)
{
    // One subtraction per frame, as the chain does: N × K4 in one step would round differently.
    for (; m_frame < frame; ++m_frame) {
        m_state.step_x = m_state.step_x - m_state.K4;
        m_state.step_y = m_state.step_y - m_state.K4;
    }
}

std::shared_ptr<Picture> ReflectionFrames::renderNext(FrameContent content)
{
    auto& state = m_state;
    ReflectionSource source{reinterpret_cast<const std::uint32_t*>(state.originalimagedata->data()), state.inputwidth,
                            state.inputheight};
    int rows = renderReflection(
        source, {.K1 = state.K1, .K2 = state.K2, .K3 = state.K3, .step_x = state.step_x, .step_y = state.step_y},
        state.waterWords());
    state.water_width = state.inputwidth;
    state.water_height = rows;
    skipTo(m_frame + 1);

    std::shared_ptr<PixelBuffer> copy
        = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {state.water_width, rows});
    if (!copy)
        return nullptr;
    std::memcpy(copy->data(), state.cameradata->data(), copy->byteCount());
    auto water = Picture::create(std::move(copy));
    if (content == FrameContent::WaterOnly)
        return water;
    return composeWithReflection(m_picture.get(), water.get());
}

} // namespace waterline::render
