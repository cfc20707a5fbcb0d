#include <waterline/effect/EffectState.h>

#include <new>

namespace waterline {

EffectState::EffectState()
{
    water_width = kWaterBufferCapacity.width;
    water_height = kWaterBufferCapacity.height;
    cameradata = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {water_width, water_height});
    if (!cameradata)
        throw std::bad_alloc();
    water_width = 0;
    water_height = 0;
}

std::span<std::uint32_t> EffectState::waterWords()
{
    return {reinterpret_cast<std::uint32_t*>(cameradata->data()), kWaterBufferWords};
}

} // namespace waterline
