// Sliders: the mapping of touches to values for the two rotated (vertical) sliders and
// the two horizontal ones, as laid out on the screen, and when ValueChanged is sent.
#include <waterline/ui/Slider.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

using namespace waterline;

namespace {

Slider& addSlider(View& root, float minimum, float maximum, float value, bool vertical, RectF frame)
{
    auto& slider = root.add<Slider>();
    slider.setMinimumValue(minimum);
    slider.setMaximumValue(maximum);
    slider.setValue(value);
    if (vertical)
        slider.setRotation(-1.5707964);
    slider.setFrame(frame);
    return slider;
}

void drag(Window& window, PointF from, PointF to)
{
    window.dispatch(InputEvent::pointerDown(from));
    for (int i = 1; i <= 4; ++i)
        window.dispatch(InputEvent::pointerMove({from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4}));
    window.dispatch(InputEvent::pointerUp(to));
}

TEST(SliderMapping, VerticalSlidersHaveTheirMinimumAtTheBottom)
{
    Window window;
    Slider& k1 = addSlider(window.rootView(), 0.1f, 1.0f, 1.0f, true, {0, 126, 60, 838});
    Slider& k2 = addSlider(window.rootView(), 0, 32, 3, true, {708, 126, 60, 838});
    double top = 126 + Slider::kThumbRadius, bottom = 964 - Slider::kThumbRadius;
    double middle = (top + bottom) / 2;

    struct Case {
        Slider* slider;
        PointF from;
        PointF to;
        float expected;
    };
    const Case cases[] = {
        {&k1, {30, 500}, {30, bottom}, 0.1f},
        {&k1, {30, 500}, {30, 960}, 0.1f}, // past the end clamps
        {&k1, {30, 500}, {30, top}, 1.0f},
        {&k1, {30, 900}, {30, middle}, 0.55f},
        {&k1, {10, 900}, {55, middle}, 0.55f}, // across the slider does not matter
        {&k2, {738, 300}, {738, bottom}, 0.0f},
        {&k2, {738, 300}, {738, middle}, 16.0f},
        {&k2, {738, 300}, {738, top + (bottom - top) / 4}, 24.0f},
        {&k2, {738, 300}, {738, 130}, 32.0f},
    };
    for (const Case& c : cases) {
        drag(window, c.from, c.to);
        EXPECT_NEAR(c.slider->value(), c.expected, 1e-5) << "drag to y = " << c.to.y;
    }
}

TEST(SliderMapping, HorizontalSlidersRunLeftToRight)
{
    Window window;
    Slider& k3 = addSlider(window.rootView(), 0, 0.2f, 0.04f, false, {120, 964, 264, 60});
    Slider& k4 = addSlider(window.rootView(), 0, 0.4f, 0.1f, false, {384, 964, 264, 60});
    double r = Slider::kThumbRadius;
    drag(window, {200, 994}, {120 + r, 994});
    EXPECT_FLOAT_EQ(k3.value(), 0.0f);
    drag(window, {200, 994}, {384 - r, 994});
    EXPECT_FLOAT_EQ(k3.value(), 0.2f);
    drag(window, {500, 994}, {516, 994}); // the middle of K4's track
    EXPECT_NEAR(k4.value(), 0.2f, 1e-6);
    EXPECT_NEAR(k3.value(), 0.2f, 1e-6); // untouched by the other slider's drag
}

TEST(SliderMapping, ThumbFollowsTheValueOnScreen)
{
    Window window;
    Slider& k1 = addSlider(window.rootView(), 0.1f, 1.0f, 0.1f, true, {0, 126, 60, 838});
    PointF thumb = k1.pointToScreen(k1.thumbCenter());
    EXPECT_NEAR(thumb.x, 30, 1e-6);
    EXPECT_NEAR(thumb.y, 964 - Slider::kThumbRadius, 1e-6);
    k1.setValue(1.0f);
    thumb = k1.pointToScreen(k1.thumbCenter());
    EXPECT_NEAR(thumb.y, 126 + Slider::kThumbRadius, 1e-6);
}

TEST(SliderValue, ClampsToTheRangeAndReportsChanges)
{
    Window window;
    Slider& slider = addSlider(window.rootView(), 0, 1, 0.5f, false, {0, 0, 228, 60});
    int changes = 0;
    slider.addTarget([&] { ++changes; }, ControlEvent::ValueChanged);

    slider.setValue(2.0f);
    EXPECT_EQ(slider.value(), 1.0f);
    slider.setValue(-1.0f, AllowCallback::Yes);
    EXPECT_EQ(slider.value(), 0.0f);
    EXPECT_EQ(changes, 1);
    slider.setMinimumValue(0.25f);
    EXPECT_EQ(slider.value(), 0.25f);

    changes = 0;
    drag(window, {14, 30}, {214, 30}); // continuous: one report per change
    EXPECT_GT(changes, 1);
    EXPECT_EQ(slider.value(), 1.0f);

    slider.setContinuous(false);
    changes = 0;
    drag(window, {214, 30}, {114, 30});
    EXPECT_EQ(changes, 1);
    changes = 0;
    drag(window, {114, 30}, {114, 30}); // no change, no report
    EXPECT_EQ(changes, 0);
}

TEST(SliderValue, DisabledOrHiddenSlidersIgnoreTouches)
{
    Window window;
    Slider& slider = addSlider(window.rootView(), 0, 1, 0.5f, false, {0, 0, 228, 60});
    slider.setEnabled(false);
    drag(window, {114, 30}, {214, 30});
    EXPECT_EQ(slider.value(), 0.5f);
    slider.setEnabled(true);
    slider.setHidden(true);
    drag(window, {114, 30}, {214, 30});
    EXPECT_EQ(slider.value(), 0.5f);
}

} // namespace
