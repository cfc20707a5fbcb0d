#include "ScreenFixture.h"

#include <waterline/app/CameraCount.h>

#include <waterline/capture/CaptureSession.h>
#include <waterline/ui/Button.h>

#include <gtest/gtest.h>

namespace waterline {
namespace {

using apptest::runFor;
using apptest::runUntil;
using apptest::Screen;

struct Argb {
    int alpha, red, green, blue;
};

Argb pixelAt(const Picture& picture, int x, int y)
{
    const auto* p = picture.raster().row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

// The synthetic cameras mark the corners of their upright scene red (top left), green
// (top right), yellow (bottom left) and magenta (bottom right); a wrong turn or mirror
// puts another colour in the top-left corner.
void expectUprightCorners(const Picture& picture)
{
    auto topLeft = pixelAt(picture, 0, 0), topRight = pixelAt(picture, 479, 0);
    auto bottomLeft = pixelAt(picture, 0, 639), bottomRight = pixelAt(picture, 479, 639);
    EXPECT_TRUE(topLeft.red == 255 && topLeft.green == 0 && topLeft.blue == 0);
    EXPECT_TRUE(topRight.red == 0 && topRight.green == 255 && topRight.blue == 0);
    EXPECT_TRUE(bottomLeft.red == 255 && bottomLeft.green == 255 && bottomLeft.blue == 0);
    EXPECT_TRUE(bottomRight.red == 255 && bottomRight.green == 0 && bottomRight.blue == 255);
}

// Waits for a camera picture other than `previous` to reach the picture view.
std::shared_ptr<Picture> nextCameraPicture(Screen& screen, const std::shared_ptr<Picture>& previous)
{
    runUntil([&] {
        auto shown = screen->displayedPicture();
        return shown && shown != previous && shown->size() == SizeF{480, 640};
    });
    return screen->displayedPicture();
}

TEST(CameraFlow, TheCameraButtonShowsUprightLiveFramesThatTheChainLoads)
{
    Screen screen(2);
    auto initial = screen->displayedPicture();
    screen->camerabtnclicked();
    ASSERT_TRUE(screen->captureSession());
    EXPECT_TRUE(screen->captureSession()->isRunning());
    EXPECT_EQ(screen->captureSession()->device().name(), "CAM 0");
    EXPECT_EQ(screen->captureSession()->queue().name(), "cameraQueue");
    EXPECT_TRUE(screen->flashButton().isHidden()) << "camera 0 has no torch";

    auto shown = nextCameraPicture(screen, initial);
    ASSERT_TRUE(shown && shown != initial);
    expectUprightCorners(*shown);
    ASSERT_TRUE(runUntil([&] { return screen->effect().inputwidth == 480 && screen->effect().inputheight == 640; }))
        << "the frame chain loads the camera picture";
}

TEST(CameraFlow, SwitchingRestartsCaptureOnTheOtherCameraWithItsOwnTurn)
{
    Screen screen(2);
    screen->camerabtnclicked();
    auto fromBack = nextCameraPicture(screen, nullptr);
    ASSERT_TRUE(fromBack);

    screen->changecamerabtnclicked();
    EXPECT_EQ(screen->effect().cameraid, 1);
    ASSERT_TRUE(screen->captureSession());
    EXPECT_TRUE(screen->captureSession()->isRunning());
    EXPECT_EQ(screen->captureSession()->device().name(), "CAM 1");

    auto fromFront = nextCameraPicture(screen, screen->displayedPicture());
    ASSERT_TRUE(fromFront);
    SCOPED_TRACE("camera 1");
    expectUprightCorners(*fromFront);
    // Camera 1's backdrop is green where camera 0's is blue.
    auto backdrop = pixelAt(*fromFront, 100, 300);
    EXPECT_GT(backdrop.green, backdrop.blue);

    screen->changecamerabtnclicked();
    EXPECT_EQ(screen->effect().cameraid, 0);
    EXPECT_EQ(screen->captureSession()->device().name(), "CAM 0");
}

TEST(CameraFlow, TheCountComesFromTheDeviceListAndZeroShutsTheCameraPath)
{
    EXPECT_EQ(countVideoDevices(0), 0);
    EXPECT_EQ(countVideoDevices(3), 3 + countVideoDevices(std::nullopt))
        << "synthetic cameras come before the real ones";

    Screen screen(countVideoDevices(0));
    EXPECT_EQ(screen.frontAlertTitle(), "No Camera is detected.");
    EXPECT_FALSE(screen->cameraButton().isEnabled());
    EXPECT_TRUE(screen->changeCameraButton().isHidden());
    EXPECT_EQ(screen->captureSession(), nullptr);
}

TEST(CameraFlow, WithOneCameraASwitchLeavesCaptureAlone)
{
    Screen screen(1);
    EXPECT_TRUE(screen->changeCameraButton().isHidden());
    screen->camerabtnclicked();
    auto* session = screen->captureSession();
    screen->changecamerabtnclicked();
    EXPECT_EQ(screen->effect().cameraid, 0);
    EXPECT_EQ(screen->captureSession(), session);
    EXPECT_TRUE(session->isRunning());
}

TEST(CameraFlow, TheFlashButtonLightsTheTorchOfACameraThatHasOne)
{
    Screen screen(2);
    screen->camerabtnclicked();
    screen->changecamerabtnclicked(); // camera 1 has a torch and a flash
    Button& flash = screen->flashButton();
    CameraDevice& camera = screen->captureSession()->device();
    EXPECT_FALSE(flash.isHidden());
    EXPECT_FALSE(flash.isSelected());
    EXPECT_EQ(camera.torchMode(), TorchMode::Off);

    screen->flashbtnclicked();
    EXPECT_TRUE(flash.isSelected());
    EXPECT_EQ(camera.torchMode(), TorchMode::On);
    screen->flashbtnclicked();
    EXPECT_FALSE(flash.isSelected());
    EXPECT_EQ(camera.torchMode(), TorchMode::Off);

    // A restart resets the button and the torch.
    screen->flashbtnclicked();
    screen->changecamerabtnclicked();
    screen->changecamerabtnclicked();
    EXPECT_FALSE(flash.isSelected());
    EXPECT_EQ(screen->captureSession()->device().torchMode(), TorchMode::Off);
}

TEST(CameraFlow, OpeningTheAlbumStopsCaptureAndTheLastPictureStays)
{
    Screen screen(2);
    screen->camerabtnclicked();
    ASSERT_TRUE(nextCameraPicture(screen, nullptr));
    screen->albumbtnclicked();
    EXPECT_FALSE(screen->effect().cameraing);
    EXPECT_FALSE(screen->captureSession()->isRunning());
    EXPECT_TRUE(screen->cameraButton().isEnabled());

    runFor(0.2); // a frame in flight at the stop may still land
    auto last = screen->displayedPicture();
    runFor(0.3);
    EXPECT_EQ(screen->displayedPicture(), last) << "no frame is shown after capture stopped";
    ASSERT_TRUE(last);
    EXPECT_EQ(last->size(), (SizeF{480, 640}));
}

TEST(CameraFlow, TakingTheScreenDownWhileCapturingIsClean)
{
    Screen screen(2);
    screen->camerabtnclicked();
    ASSERT_TRUE(nextCameraPicture(screen, nullptr));
    screen.controller.reset();
}

} // namespace
} // namespace waterline
