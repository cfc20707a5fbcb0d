// The popover (placement, dismissal by a tap outside) and the photo picker inside it
// (picking, cancelling, scrolling by drag and wheel).
#include <waterline/ui/Button.h>
#include <waterline/ui/PhotoPicker.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

using namespace waterline;

namespace {

void tap(Window& window, PointF p)
{
    window.dispatch(InputEvent::pointerDown(p));
    window.dispatch(InputEvent::pointerUp(p));
}

struct Screen {
    Window window;
    Button* albumbtn = nullptr;
    int albumTaps = 0;
    std::unique_ptr<Popover> popover;
    PhotoPicker* picker = nullptr;
    std::vector<int> picked;
    int cancels = 0;
    int outsideTaps = 0;

    Screen()
    {
        albumbtn = &window.rootView().add<Button>(Button::Custom, RectF{0, 964, 60, 60});
        albumbtn->addTarget([this] { ++albumTaps; }, ControlEvent::TouchUpInside);
        auto content = std::make_unique<PhotoPicker>();
        picker = content.get();
        picker->setPhotoCount(30);
        picker->didPick = [this](int index) {
            picked.push_back(index);
            popover->dismiss();
        };
        picker->didCancel = [this] {
            ++cancels;
            popover->dismiss();
        };
        popover = std::make_unique<Popover>(std::move(content));
        popover->didDismissByOutsideTap = [this] { ++outsideTaps; };
        popover->presentFromRect({234, 0, 300, 300}, window);
    }

    PointF cellCentre(int index)
    {
        RectF cell = picker->cellFrame(index);
        return picker->pointToScreen({cell.x + cell.width / 2, cell.y + cell.height / 2});
    }
};

TEST(Popover, SitsBelowItsAnchorCentredOnIt)
{
    Screen s;
    RectF panel = s.popover->panel().frame();
    EXPECT_DOUBLE_EQ(panel.y, 300);
    EXPECT_DOUBLE_EQ(panel.x + panel.width / 2, 384);
    EXPECT_EQ(s.window.presentedPopover(), s.popover.get());
    PointF contentOrigin = s.picker->pointToScreen({0, 0});
    EXPECT_GT(contentOrigin.y, 300);
}

TEST(Popover, ATapOutsideDismissesItAndGoesNoFurther)
{
    Screen s;
    tap(s.window, {30, 994}); // on the album button, outside the popover
    EXPECT_FALSE(s.popover->isPopoverVisible());
    EXPECT_EQ(s.window.presentedPopover(), nullptr);
    EXPECT_EQ(s.outsideTaps, 1);
    EXPECT_EQ(s.albumTaps, 0);
    tap(s.window, {30, 994}); // the next tap reaches the screen again
    EXPECT_EQ(s.albumTaps, 1);

    s.popover->presentFromRect({234, 0, 300, 300}, s.window); // shown again after a dismissal
    EXPECT_TRUE(s.popover->isPopoverVisible());
    s.window.dispatch(InputEvent::keyPress("Escape"));
    EXPECT_FALSE(s.popover->isPopoverVisible());
    EXPECT_EQ(s.outsideTaps, 2);
}

TEST(PhotoPicker, ATapPicksTheCellUnderIt)
{
    Screen s;
    tap(s.window, s.cellCentre(5));
    EXPECT_EQ(s.picked, std::vector<int>{5});
    EXPECT_FALSE(s.popover->isPopoverVisible());
    EXPECT_EQ(s.outsideTaps, 0); // dismissed by the app, not by an outside tap
}

TEST(PhotoPicker, CancelButton)
{
    Screen s;
    RectF b = s.picker->cancelButton().bounds();
    tap(s.window, s.picker->cancelButton().pointToScreen({b.width / 2, b.height / 2}));
    EXPECT_EQ(s.cancels, 1);
    EXPECT_TRUE(s.picked.empty());
}

TEST(PhotoPicker, DragScrollsWithoutPickingAndWheelScrolls)
{
    Screen s;
    ASSERT_GT(s.picker->maximumContentOffset(), 0); // 30 photos overflow 480 points
    PointF start = s.cellCentre(12);
    s.window.dispatch(InputEvent::pointerDown(start));
    s.window.dispatch(InputEvent::pointerMove({start.x, start.y - 5}));
    s.window.dispatch(InputEvent::pointerMove({start.x, start.y - 100}));
    s.window.dispatch(InputEvent::pointerUp({start.x, start.y - 100}));
    EXPECT_DOUBLE_EQ(s.picker->contentOffset(), 100);
    EXPECT_TRUE(s.picked.empty());

    // After scrolling, the cell on screen is a later one.
    tap(s.window, start);
    ASSERT_EQ(s.picked.size(), 1u);
    EXPECT_GT(s.picked[0], 12);

    s.popover->presentFromRect({234, 0, 300, 300}, s.window);
    s.window.dispatch(InputEvent::wheel(start, 0, -100)); // far down: clamps at the end
    EXPECT_DOUBLE_EQ(s.picker->contentOffset(), s.picker->maximumContentOffset());
    s.window.dispatch(InputEvent::wheel(start, 0, 1000));
    EXPECT_DOUBLE_EQ(s.picker->contentOffset(), 0);
}

TEST(PhotoPicker, ThePopoverMayBeDroppedFromInsideAPick)
{
    Screen s;
    s.picker->didPick = [&](int index) {
        s.picked.push_back(index);
        s.popover.reset(); // the panel (and the picker in its call) outlive this event
    };
    tap(s.window, s.cellCentre(0));
    EXPECT_EQ(s.picked, std::vector<int>{0});
    EXPECT_EQ(s.window.presentedPopover(), nullptr);
}

TEST(PhotoPicker, IndexAtMapsCellsAndGaps)
{
    PhotoPicker picker;
    picker.setPhotoCount(6);
    RectF first = picker.cellFrame(0);
    RectF fifth = picker.cellFrame(4); // four columns in 320 points: the second row
    EXPECT_EQ(picker.indexAt({first.x + 1, first.y + 1}), 0);
    EXPECT_EQ(picker.indexAt({fifth.x + 10, fifth.y + 10}), 4);
    EXPECT_EQ(picker.indexAt({first.x - 1, first.y + 10}), std::nullopt);       // in the gap
    EXPECT_EQ(picker.indexAt({fifth.x + 10, fifth.maxY() + 40}), std::nullopt); // past the last photo
    EXPECT_EQ(picker.indexAt({5, 10}), std::nullopt);                           // the title bar
}

} // namespace
