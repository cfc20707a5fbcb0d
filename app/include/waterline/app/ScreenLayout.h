// The main screen's fixed geometry: every view, button and slider of the 768 × 1024-point
// portrait screen with its frame and picture, kept as data so that the controller that
// builds the screen and the tests that check it read the same table.
//
// Frames are in points, origin top-left, y downwards, written (x, y, width, height).
#pragma once

#include <waterline/foundation/Geometry.h>

#include <numbers>
#include <string_view>

namespace waterline {

struct SliderLayout {
    float minimum = 0;
    float maximum = 1;
    float value = 0;
    bool vertical = false; // turned a quarter counter-clockwise: the minimum end at the bottom
    RectF frame;           // the on-screen box, after the turn
};

struct ScreenLayout {
    static constexpr SizeF kScreenSize{768, 1024};
    static constexpr double kWaterLine = 512;

    static constexpr RectF kDisplayImageFrame{0, 0, 768, 512};
    static constexpr RectF kWaterImageFrame{0, 512, 768, 1024};
    static constexpr RectF kTopControlFrame{0, 0, 768, 1024};
    static constexpr RectF kAlbumButtonFrame{0, 964, 60, 60};
    static constexpr RectF kCameraButtonFrame{60, 964, 60, 60};
    static constexpr RectF kSaveButtonFrame{648, 964, 60, 60};
    static constexpr RectF kShareButtonFrame{708, 964, 60, 60};
    static constexpr RectF kCameraControlFrame{0, 0, 768, 60};
    static constexpr RectF kChangeCameraButtonFrame{0, 0, 90, 60};
    static constexpr RectF kFlashButtonFrame{708, 0, 60, 60};

    // The photo picker's popover points at this box: 300 × 300, centred on the top edge.
    static constexpr RectF kAlbumPopoverAnchor{234, 0, 300, 300};

    // Rotation of the two vertical sliders, in radians.
    static constexpr float kVerticalSliderRotation = -std::numbers::pi_v<float> / 2;

    static constexpr SliderLayout kK1Slider{0.1f, 1.0f, 1.0f, true, {0, 126, 60, 838}};
    static constexpr SliderLayout kK2Slider{0.0f, 32.0f, 3.0f, true, {708, 126, 60, 838}};
    static constexpr SliderLayout kK3Slider{0.0f, 0.2f, 0.04f, false, {120, 964, 264, 60}};
    static constexpr SliderLayout kK4Slider{0.0f, 0.4f, 0.1f, false, {384, 964, 264, 60}};
};

// Picture resources of the screen.
struct ScreenPictures {
    static constexpr std::string_view kInitialPicture = "tag.jpg";
    static constexpr std::string_view kAlbum = "album.png";
    static constexpr std::string_view kCamera = "Camera.png";
    static constexpr std::string_view kSave = "save.png";
    static constexpr std::string_view kShare = "share.png";
    static constexpr std::string_view kChangeCamera = "changecamera.png";
    static constexpr std::string_view kFlashOn = "Flash_On.png";
    static constexpr std::string_view kFlashOff = "Flash_Off.png";
};

} // namespace waterline
