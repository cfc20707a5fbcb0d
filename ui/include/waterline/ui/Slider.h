// A slider: a value in [minimum, maximum] set by dragging along the track. A touch
// anywhere on the slider moves the thumb under the finger, and the thumb then follows
// the finger along the slider's length (its local x axis), so a rotated slider is
// dragged along its on-screen length. Turned by −π/2 (a quarter turn counter-clockwise)
// the minimum is at the bottom:
//
//     auto& K1Slider = root.add<Slider>();
//     K1Slider.setMinimumValue(0.1f); K1Slider.setMaximumValue(1.0f); K1Slider.setValue(1.0f);
//     K1Slider.setRotation(-1.5707964);
//     K1Slider.setFrame({0, 126, 60, 838});   // the on-screen box, already rotated
//
// ValueChanged is sent while dragging when `continuous` (the default), else once when
// the finger lifts (and only if the value changed).
#pragma once

#include <waterline/ui/Control.h>

namespace waterline {

enum class AllowCallback { No, Yes };

class Slider : public Control {
public:
    Slider() = default;
    explicit Slider(RectF frame)
        : Control(frame)
    {
    }

    float minimumValue() const { return m_minimum; }
    float maximumValue() const { return m_maximum; }
    float value() const { return m_value; }
    // The value is clamped into the range; changing the range clamps it again.
    void setMinimumValue(float);
    void setMaximumValue(float);
    void setValue(float, AllowCallback = AllowCallback::No);

    bool isContinuous() const { return m_continuous; }
    void setContinuous(bool on) { m_continuous = on; }

    // The value a touch at this local point would give (along the local x axis).
    float valueAt(PointF local) const;
    // The thumb's centre in local points.
    PointF thumbCenter() const;

    void touchBegan(PointF) override;
    void touchMoved(PointF) override;
    void touchEnded(PointF) override;
    void touchCancelled() override;
    void draw(Canvas&) override;

    static constexpr double kThumbRadius = 14;

private:
    void trackTo(PointF);

    float m_minimum = 0;
    float m_maximum = 1;
    float m_value = 0;
    float m_valueAtTouchStart = 0;
    bool m_continuous = true;
};

} // namespace waterline
