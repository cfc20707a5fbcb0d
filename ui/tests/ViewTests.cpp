// View geometry (frames, rotation, conversions), hit testing and the target/action path
// from a pointer event on the window to a button's action.
#include <waterline/ui/Button.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <numbers>

using namespace waterline;

namespace {

void tap(Window& window, PointF p)
{
    window.dispatch(InputEvent::pointerDown(p));
    window.dispatch(InputEvent::pointerUp(p));
}

void expectRect(RectF actual, RectF expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

TEST(ViewGeometry, FrameIsTheOnScreenBoxWhetherSetBeforeOrAfterTheRotation)
{
    View after;
    after.setRotation(-std::numbers::pi / 2);
    after.setFrame({0, 126, 60, 838});
    expectRect(after.frame(), {0, 126, 60, 838});
    expectRect(after.bounds(), {0, 0, 838, 60}); // the unrotated slider is 838 long

    View before({100, 100, 200, 50});
    before.setRotation(-std::numbers::pi / 2); // turns about the centre (200, 125)
    expectRect(before.frame(), {175, 25, 50, 200});
    EXPECT_EQ(before.quarterTurns(), 3);
}

TEST(ViewGeometry, ConvertsPointsThroughRotationAndScrolling)
{
    View root({0, 0, 768, 1024});
    auto& rotated = root.add<View>();
    rotated.setRotation(-1.5707964);
    rotated.setFrame({0, 126, 60, 838});
    auto& scrolled = root.add<View>(RectF{100, 100, 50, 50});
    scrolled.setBoundsOrigin({0, 30});

    struct Case {
        const View* view;
        PointF screen;
        PointF local;
    };
    const Case cases[] = {
        {&rotated, {30, 964}, {0, 30}},   // bottom end = local start of the track
        {&rotated, {30, 126}, {838, 30}}, // top end
        {&rotated, {0, 545}, {419, 0}},   // the left edge on screen is local y = 0
        {&scrolled, {100, 100}, {0, 30}}, {&scrolled, {120, 140}, {20, 70}},
    };
    for (const Case& c : cases) {
        PointF local = c.view->pointFromScreen(c.screen);
        EXPECT_NEAR(local.x, c.local.x, 1e-6) << c.screen.x << "," << c.screen.y;
        EXPECT_NEAR(local.y, c.local.y, 1e-6) << c.screen.x << "," << c.screen.y;
        PointF back = c.view->pointToScreen(local);
        EXPECT_NEAR(back.x, c.screen.x, 1e-6);
        EXPECT_NEAR(back.y, c.screen.y, 1e-6);
    }
}

TEST(ViewHitTest, FindsTheTopmostVisibleInteractiveView)
{
    Window window;
    View& root = window.rootView();
    auto& panel = root.add<View>(RectF{0, 900, 768, 124});
    auto& enabled = panel.add<Button>(Button::Custom, RectF{0, 64, 60, 60});
    auto& disabled = panel.add<Button>(Button::Custom, RectF{60, 64, 60, 60});
    disabled.setEnabled(false);
    auto& hidden = panel.add<Button>(Button::Custom, RectF{120, 64, 60, 60});
    hidden.setHidden(true);
    auto& inert = panel.add<View>(RectF{180, 64, 60, 60});
    inert.setUserInteractionEnabled(false);
    auto& overlapping = panel.add<Button>(Button::Custom, RectF{30, 64, 60, 60}); // above `enabled`
    auto& outside = panel.add<Button>(Button::Custom, RectF{0, 200, 60, 60});     // beyond the panel

    struct Case {
        PointF point;
        View* expected;
    };
    const Case cases[] = {
        {{10, 994}, &enabled}, {{40, 994}, &overlapping}, // later children lie above earlier ones
        {{100, 994}, &panel},                             // disabled: falls through to what is behind
        {{110, 994}, &panel},  {{150, 994}, &panel},      // hidden
        {{200, 994}, &panel},                             // no interaction
        {{10, 910}, &panel},   {{10, 500}, &root},
        {{10, 1110}, nullptr}, // off the screen, where `outside` would be
    };
    for (const Case& c : cases)
        EXPECT_EQ(root.hitTest(c.point), c.expected) << c.point.x << "," << c.point.y;
    (void)outside;
}

TEST(ButtonActions, FireOnlyForAReleaseInsideAnEnabledVisibleButton)
{
    Window window;
    auto& row = window.rootView().add<View>(RectF{0, 0, 768, 1024});
    auto& button = row.add<Button>(Button::Custom, RectF{648, 964, 60, 60});
    int touchUps = 0, touchDowns = 0;
    button.addTarget([&] { ++touchUps; }, ControlEvent::TouchUpInside);
    button.addTarget([&] { ++touchDowns; }, ControlEvent::TouchDown);

    tap(window, {670, 990});
    EXPECT_EQ(touchUps, 1);
    EXPECT_EQ(touchDowns, 1);

    // Pressed, dragged off and released outside: no action, and no highlight left over.
    window.dispatch(InputEvent::pointerDown({670, 990}));
    EXPECT_TRUE(button.isHighlighted());
    window.dispatch(InputEvent::pointerMove({400, 990}));
    EXPECT_FALSE(button.isHighlighted());
    window.dispatch(InputEvent::pointerUp({400, 990}));
    EXPECT_EQ(touchUps, 1);

    // Dragged off and back in: fires.
    window.dispatch(InputEvent::pointerDown({670, 990}));
    window.dispatch(InputEvent::pointerMove({400, 990}));
    window.dispatch(InputEvent::pointerUp({700, 1000}));
    EXPECT_EQ(touchUps, 2);

    button.setEnabled(false);
    tap(window, {670, 990});
    EXPECT_EQ(touchUps, 2);
    EXPECT_EQ(button.state(), ControlState::Disabled);

    button.setEnabled(true);
    row.setHidden(true); // hidden through its parent
    tap(window, {670, 990});
    EXPECT_EQ(touchUps, 2);

    row.setHidden(false);
    tap(window, {670, 990});
    EXPECT_EQ(touchUps, 3);
}

TEST(ButtonActions, ButtonHiddenWhilePressedDoesNotFire)
{
    Window window;
    auto& button = window.rootView().add<Button>(Button::Custom, RectF{0, 0, 60, 60});
    int fired = 0;
    button.addTarget([&] { ++fired; }, ControlEvent::TouchUpInside);
    window.dispatch(InputEvent::pointerDown({30, 30}));
    button.setHidden(true);
    window.dispatch(InputEvent::pointerUp({30, 30}));
    EXPECT_EQ(fired, 0);
}

TEST(ButtonActions, AnActionMayDestroyItsOwnButton)
{
    Window window;
    View& root = window.rootView();
    auto& button = root.add<Button>(Button::Custom, RectF{0, 0, 60, 60});
    bool ran = false;
    button.addTarget(
        [&] {
            root.removeChild(button);
            ran = true;
        },
        ControlEvent::TouchUpInside);
    tap(window, {30, 30}); // ASan catches a use after free here
    EXPECT_TRUE(ran);
    EXPECT_TRUE(root.children().empty());
}

TEST(ButtonState, SelectedAndDisabledPicturesFallBackToNormal)
{
    auto normal = std::shared_ptr<const PixelBuffer>(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {2, 2}));
    auto selected = std::shared_ptr<const PixelBuffer>(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {2, 2}));
    Button button(Button::Custom, {0, 0, 60, 60});
    button.setImage(normal, ControlState::Normal);
    button.setImage(selected, ControlState::Selected);
    EXPECT_EQ(button.state(), ControlState::Normal);
    button.setSelected(true);
    EXPECT_EQ(button.state(), ControlState::Selected);
    button.setEnabled(false);
    EXPECT_EQ(button.state(), ControlState::Disabled);
    EXPECT_EQ(button.image(ControlState::Disabled), nullptr);
    EXPECT_EQ(button.image(ControlState::Selected), selected);
}

} // namespace
