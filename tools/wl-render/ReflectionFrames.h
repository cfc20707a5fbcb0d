// The frames the screen would show for one picture, rendered without a screen: the
// picture loaded as the chain's loader loads it, the phases advanced by K4 in single
// precision once per rendered frame, and each frame rendered by the chain's renderer.
#pragma once

#include <waterline/effect/EffectState.h>
#include <waterline/effect/Picture.h>
#include <waterline/foundation/ErrorOr.h>

#include <memory>
#include <string>

namespace waterline::render {

struct EffectValues {
    float K1, K2, K3, K4;
};

// What a rendered frame shows: the picture above its reflection, or the reflection alone.
enum class FrameContent { Composed, WaterOnly };

class ReflectionFrames {
public:
    // An error for a picture that does not fit the water buffer or leaves no row to
    // reflect at this K1.
    static ErrorOr<std::unique_ptr<ReflectionFrames>> create(std::shared_ptr<Picture> upright, EffectValues);

    // Advances the phases to those of frame `frame` (0 is the first frame shown).
    void skipTo(long frame);

    // Renders the current frame and advances the phases. The result is the water
    // picture alone or composed under the picture as Save composes it; none when
    // memory runs out.
    std::shared_ptr<Picture> renderNext(FrameContent);

private:
    ReflectionFrames(std::shared_ptr<Picture>, EffectValues);

    std::shared_ptr<Picture> m_picture;
    EffectValues m_values;
    EffectState m_state;
    long m_frame = 0;
};

} // namespace waterline::render
