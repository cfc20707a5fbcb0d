#include "ScreenFixture.h"

#include <waterline/app/ScreenLayout.h>
#include <waterline/effect/FrameChain.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Slider.h>

#include <limits>
#include <stdexcept>

using namespace waterline;
using apptest::Screen;

namespace {

struct ModeExpectation {
    bool saveAndShareEnabled;
    bool slidersShown;
    bool cameraBarShown;
    bool cameraButtonEnabled;
};

void expectMode(ViewController& screen, const ModeExpectation& mode, const char* name)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(screen.saveButton().isEnabled(), mode.saveAndShareEnabled);
    EXPECT_EQ(screen.shareButton().isEnabled(), mode.saveAndShareEnabled);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(screen.slider(k).isHidden(), !mode.slidersShown) << "K" << k;
    EXPECT_EQ(screen.cameraControlView().isHidden(), !mode.cameraBarShown);
    EXPECT_EQ(screen.cameraButton().isEnabled(), mode.cameraButtonEnabled);
}

void expectLayout(ViewController& screen)
{
    struct Placement {
        const char* name;
        View& view;
        RectF frame;
        View* parent;
    };
    View& root = *screen.topControlView().parent();
    const Placement placements[] = {
        {"water view", screen.waterImageView(), ScreenLayout::kWaterImageFrame, &root},
        {"top control view", screen.topControlView(), ScreenLayout::kTopControlFrame, &root},
        {"album button", screen.albumButton(), ScreenLayout::kAlbumButtonFrame, &screen.topControlView()},
        {"camera button", screen.cameraButton(), ScreenLayout::kCameraButtonFrame, &screen.topControlView()},
        {"save button", screen.saveButton(), ScreenLayout::kSaveButtonFrame, &screen.topControlView()},
        {"share button", screen.shareButton(), ScreenLayout::kShareButtonFrame, &screen.topControlView()},
        {"camera bar", screen.cameraControlView(), ScreenLayout::kCameraControlFrame, &root},
        {"change camera button", screen.changeCameraButton(), ScreenLayout::kChangeCameraButtonFrame,
         &screen.cameraControlView()},
        {"flash button", screen.flashButton(), ScreenLayout::kFlashButtonFrame, &screen.cameraControlView()},
        {"K1", screen.slider(1), ScreenLayout::kK1Slider.frame, &root},
        {"K2", screen.slider(2), ScreenLayout::kK2Slider.frame, &root},
        {"K3", screen.slider(3), ScreenLayout::kK3Slider.frame, &root},
        {"K4", screen.slider(4), ScreenLayout::kK4Slider.frame, &root},
    };
    for (const auto& p : placements) {
        EXPECT_EQ(p.view.frame(), p.frame) << p.name;
        EXPECT_EQ(p.view.parent(), p.parent) << p.name;
    }
}

} // namespace

TEST(ScreenModes, StartModeLaysOutEveryElement)
{
    Screen screen(1);
    expectLayout(*screen);
    expectMode(*screen, {false, false, false, true}, "start");

    // Root order, bottom to top: picture, water, bottom row, camera bar, the sliders.
    auto& children = screen->topControlView().parent()->children();
    ASSERT_EQ(children.size(), 8u);
    EXPECT_EQ(children[0].get(), &screen->displayImageView());
    EXPECT_EQ(children[1].get(), &screen->waterImageView());
    EXPECT_EQ(children[2].get(), &screen->topControlView());
    EXPECT_EQ(children[3].get(), &screen->cameraControlView());
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(children[3 + k].get(), &screen->slider(k));

    EXPECT_EQ(screen->displayImageView().contentMode(), ContentMode::Top);
    EXPECT_TRUE(screen->displayImageView().clipsToBounds());
    EXPECT_EQ(screen->waterImageView().contentMode(), ContentMode::Top);
    EXPECT_FALSE(screen->waterImageView().clipsToBounds());
    EXPECT_TRUE(screen->albumButton().isEnabled());
    EXPECT_FALSE(screen->flashButton().isSelected());
    for (auto* button : {&screen->albumButton(), &screen->cameraButton(), &screen->saveButton(), &screen->shareButton(),
                         &screen->changeCameraButton(), &screen->flashButton()})
        EXPECT_TRUE(button->image(ControlState::Normal)) << "every button has its picture";
    EXPECT_TRUE(screen->flashButton().image(ControlState::Selected));
}

TEST(ScreenModes, SlidersHaveTheirRangesValuesAndTurns)
{
    Screen screen(1);
    const SliderLayout* layouts[]
        = {&ScreenLayout::kK1Slider, &ScreenLayout::kK2Slider, &ScreenLayout::kK3Slider, &ScreenLayout::kK4Slider};
    const float expected[4][3] = {{0.1f, 1.0f, 1.0f}, {0, 32, 3}, {0, 0.2f, 0.04f}, {0, 0.4f, 0.1f}};
    for (int k = 1; k <= 4; ++k) {
        Slider& slider = screen->slider(k);
        EXPECT_EQ(slider.minimumValue(), expected[k - 1][0]) << "K" << k;
        EXPECT_EQ(slider.maximumValue(), expected[k - 1][1]) << "K" << k;
        EXPECT_EQ(slider.value(), expected[k - 1][2]) << "K" << k;
        // A quarter turn counter-clockwise is three clockwise.
        EXPECT_EQ(slider.quarterTurns(), layouts[k - 1]->vertical ? 3 : 0) << "K" << k;
    }
    // The first render reads the sliders although they are hidden.
    screen->imagePickerController({apptest::gradientPicture(64, 64), {64, 64}});
    for (int k = 1; k <= 4; ++k)
        screen->slider(k).setHidden(true);
    ASSERT_TRUE(apptest::runUntil([&] { return screen->effect().K1 != 0; }));
    EXPECT_EQ(screen->effect().K2, 3.0f);
    EXPECT_EQ(screen->effect().K3, 0.04f);
    EXPECT_EQ(screen->effect().K4, 0.1f);
}

TEST(ScreenModes, OnlySlidersOneToFourExist)
{
    Screen screen(1);
    for (int k : {0, 5, -1, std::numeric_limits<int>::min()})
        EXPECT_THROW(screen->slider(k), std::out_of_range) << k;
    ViewController unloaded(screen.window(), {});
    EXPECT_THROW(unloaded.slider(1), std::out_of_range) << "no sliders before viewDidLoad";
}

TEST(ScreenModes, CameraCheckByNumberOfCameras)
{
    struct Case {
        int cameras;
        bool alert;
        bool cameraEnabled;
        bool changeCameraHidden;
    };
    const Case cases[] = {{0, true, false, true}, {1, false, true, true}, {2, false, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cameras);
        Screen screen(c.cameras);
        EXPECT_EQ(screen->effect().cameraid, 0);
        EXPECT_EQ(screen->cameraButton().isEnabled(), c.cameraEnabled);
        EXPECT_EQ(screen->changeCameraButton().isHidden(), c.changeCameraHidden);
        EXPECT_TRUE(screen->cameraControlView().isHidden());
        if (c.alert) {
            ASSERT_EQ(screen.window().alertCount(), 1u);
            auto* alert = screen.frontAlert();
            EXPECT_EQ(alert->title(), "No Camera is detected.");
            EXPECT_EQ(alert->message(), "You can load photo from your album.");
            ASSERT_EQ(alert->numberOfButtons(), 1);
            EXPECT_EQ(alert->buttonTitleAtIndex(0), "OK");
            EXPECT_EQ(alert->tag(), 0);
            alert->dismissWithButtonIndex(0);
            EXPECT_TRUE(screen.openedURLs.empty()) << "dismissing the notice opens nothing";
        } else {
            EXPECT_EQ(screen.window().alertCount(), 0u);
        }
    }
}

TEST(ScreenModes, AlbumAndCameraModesMoveTheControls)
{
    Screen screen(2);
    screen->imagePickerController({apptest::gradientPicture(768, 512), {768, 512}});
    expectMode(*screen, {true, true, false, true}, "album photo");
    expectLayout(*screen);

    screen->camerabtnclicked();
    expectMode(*screen, {true, true, true, false}, "camera running");
    expectLayout(*screen);
    EXPECT_TRUE(screen->effect().cameraing);
    EXPECT_TRUE(screen->flashButton().isHidden());

    screen->changecamerabtnclicked();
    EXPECT_EQ(screen->effect().cameraid, 1);
    expectMode(*screen, {true, true, true, false}, "camera switched");

    // Opening the album stops the camera even when the picker is then cancelled.
    screen->albumbtnclicked();
    ASSERT_NE(screen->albumpopoverController(), nullptr);
    EXPECT_TRUE(screen->albumpopoverController()->isPopoverVisible());
    screen->imagePickerControllerDidCancel();
    EXPECT_FALSE(screen->albumpopoverController()->isPopoverVisible());
    EXPECT_FALSE(screen->effect().cameraing);
    EXPECT_FALSE(screen->effect().newimg_camera);
    expectMode(*screen, {true, true, false, true}, "back to album");
    expectLayout(*screen);
}

TEST(ScreenModes, WithOneCameraSwitchingDoesNothing)
{
    Screen screen(1);
    screen->camerabtnclicked();
    screen->changecamerabtnclicked();
    EXPECT_EQ(screen->effect().cameraid, 0);
}

TEST(ScreenModes, OnlyPortraitOrientationsRotate)
{
    for (int orientation = 0; orientation <= 5; ++orientation)
        EXPECT_EQ(ViewController::shouldAutorotateToInterfaceOrientation(orientation),
                  orientation == 1 || orientation == 2)
            << orientation;
}

TEST(ScreenModes, TeardownTakesEveryViewOffTheScreen)
{
    Screen screen(0);
    View& root = screen.window().rootView();
    screen.controller.reset();
    EXPECT_TRUE(root.children().empty());
}
