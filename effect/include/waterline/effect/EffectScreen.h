// What the reflection engine needs from the screen, and nothing more: the picture view
// (its picture and its frame), the water view (its picture) and the four sliders. The
// main screen implements this over its real views; tests and tools implement it over
// plain fields, so the engine runs without any window.
//
// Every call comes from the frame chain on the main thread.
//
//     class MainScreen : public EffectScreen {
//         std::shared_ptr<Picture> displayedPicture() const override { return m_displayed; }
//         void setDisplayedPictureFrame(RectF frame) override { _displayiamgeview->setFrame(frame); }
//         void setWaterPicture(std::shared_ptr<Picture> water) override { _wateriamgeview->setImage(water); }
//         EffectSliderValues sliderValues() const override { return {K1Slider->value(), ...}; }
//     };
#pragma once

#include <waterline/effect/Picture.h>
#include <waterline/foundation/Geometry.h>

#include <memory>

namespace waterline {

// The four sliders' values, read together at the start of every rendered frame.
struct EffectSliderValues {
    float K1 = 0; // reflection height, 0.1 … 1
    float K2 = 0; // ripple frequency, 0 … 32
    float K3 = 0; // ripple amplitude, 0 … 0.2
    float K4 = 0; // ripple speed, 0 … 0.4
};

class EffectScreen {
public:
    virtual ~EffectScreen() = default;

    // The picture the picture view shows now; none when it is empty. The loaders read
    // it: its upright size in points becomes the source size.
    virtual std::shared_ptr<Picture> displayedPicture() const = 0;

    // Moves and sizes the picture view. The view draws its picture top-aligned,
    // unscaled and clipped to its bounds, so a frame of (0, 512 − h, 768, h) shows the
    // picture's top h rows ending at the water line.
    virtual void setDisplayedPictureFrame(RectF frame) = 0;

    // Shows a water picture under the water line; none empties the water view. The
    // picture is a fresh copy each frame, so the view may keep it as long as it likes.
    virtual void setWaterPicture(std::shared_ptr<Picture> water) = 0;

    // The sliders' current values (readable while the sliders are hidden).
    virtual EffectSliderValues sliderValues() const = 0;
};

} // namespace waterline
