#include "ScreenFixture.h"

#include <waterline/effect/FrameChain.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/PhotoPicker.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Slider.h>

using namespace waterline;
using apptest::Screen;

namespace {

bool loadedAndRendered(ViewController& screen, SizeF picture)
{
    auto& effect = screen.effect();
    return !effect.newimg_album && effect.inputwidth == static_cast<int>(picture.width)
        && effect.inputheight == static_cast<int>(picture.height) && screen.waterPicture()
        && static_cast<int>(screen.waterPicture()->size().width) == effect.inputwidth;
}

} // namespace

TEST(AlbumFlow, PickedPhotosAreFittedIntoTheUpperHalf)
{
    struct Case {
        SizeF photo;   // the photo's own size
        SizeF decoded; // the picture the picker hands over (possibly decoded smaller)
        SizeF shown;
    };
    const Case cases[] = {
        {{3264, 2448}, {816, 612}, {682, 512}}, {{2448, 3264}, {612, 816}, {384, 512}},
        {{300, 200}, {300, 200}, {300, 200}},   {{768, 512}, {768, 512}, {768, 512}},
        {{1000, 100}, {1000, 100}, {768, 76}},
    };
    Screen screen(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.photo.width) + " x " + std::to_string(c.photo.height));
        auto picture = apptest::gradientPicture(static_cast<int>(c.decoded.width), static_cast<int>(c.decoded.height));
        screen->imagePickerController({picture, c.photo});
        ASSERT_TRUE(screen->displayedPicture());
        EXPECT_EQ(screen->displayedPicture()->size(), c.shown);
        EXPECT_EQ(screen->displayedPicture()->orientation(), PictureOrientation::Up);
        EXPECT_EQ(screen->displayImageView().imageSize(), c.shown);
        ASSERT_TRUE(apptest::runUntil([&] { return loadedAndRendered(*screen, c.shown); }));
    }
}

TEST(AlbumFlow, APhotoThatCannotBeScaledEmptiesTheViewAndAPickAfterItAnimatesAgain)
{
    Screen screen(1);
    screen->imagePickerController({apptest::gradientPicture(768, 512), {768, 512}});
    ASSERT_TRUE(apptest::runUntil([&] { return loadedAndRendered(*screen, {768, 512}); }));
    ASSERT_TRUE(screen->frameChain().isRunning());

    testing::internal::CaptureStderr();
    screen->imagePickerController({apptest::gradientPicture(3000, 2), {3000, 2}}); // target 768 × 0
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("could not scale image"), std::string::npos) << log;
    EXPECT_FALSE(screen->displayedPicture());
    EXPECT_FALSE(screen->displayImageView().image());
    EXPECT_TRUE(screen->effect().newimg_album);
    EXPECT_TRUE(screen->saveButton().isEnabled());
    EXPECT_TRUE(screen->shareButton().isEnabled());
    EXPECT_FALSE(screen->slider(1).isHidden());

    // The chain ends at its next load and the last reflection stays on screen.
    ASSERT_TRUE(apptest::runUntil([&] { return !screen->frameChain().isRunning(); }));
    EXPECT_FALSE(screen->effect().newimg_album);
    auto lastWater = screen->waterPicture();
    ASSERT_TRUE(lastWater);
    apptest::runFor(0.1);
    EXPECT_EQ(screen->waterPicture(), lastWater);

    // A later pick starts the chain again.
    screen->imagePickerController({apptest::gradientPicture(300, 200), {300, 200}});
    EXPECT_TRUE(screen->frameChain().isRunning());
    ASSERT_TRUE(apptest::runUntil([&] { return loadedAndRendered(*screen, {300, 200}); }));
}

TEST(AlbumFlow, AnItemWithoutAPictureChangesNothing)
{
    Screen screen(1);
    auto initial = screen->displayedPicture();
    screen->albumbtnclicked();
    ASSERT_TRUE(screen->albumpopoverController());
    const PickedPhoto items[]
        = {{nullptr, {768, 512}}, {apptest::gradientPicture(4, 4), {0, 4}}, {apptest::gradientPicture(4, 4), {4, 0}}};
    for (const auto& item : items) {
        screen->imagePickerController(item);
        EXPECT_FALSE(screen->albumpopoverController()->isPopoverVisible());
        EXPECT_EQ(screen->displayedPicture(), initial);
        EXPECT_FALSE(screen->saveButton().isEnabled());
        EXPECT_TRUE(screen->slider(1).isHidden());
    }
}

TEST(AlbumFlow, WithoutALibraryTheAlertShowsAndTheCameraKeepsRunning)
{
    apptest::ScratchDirectory scratch;
    Screen screen(1, {}, scratch / "no such folder");
    screen->camerabtnclicked();
    screen->albumbtnclicked();
    ASSERT_EQ(screen.window().alertCount(), 1u);
    auto* alert = screen.frontAlert();
    EXPECT_EQ(alert->title(), "Error accessing photo library");
    EXPECT_EQ(alert->message(), "Device does not support a photo library");
    ASSERT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "Drat!");
    EXPECT_FALSE(screen->albumpopoverController());
    EXPECT_TRUE(screen->effect().cameraing);
    EXPECT_FALSE(screen->cameraControlView().isHidden());
}

TEST(AlbumFlow, ThePickerListsTheLibraryAndATapPicksTheFile)
{
    Screen screen(1);
    auto photos = screen.scratch / "Pictures";
    apptest::writeJPEG(photos / "older.jpg", 64, 48);
    apptest::writeJPEG(photos / "newer.jpg", 1000, 100);
    auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(photos / "older.jpg", now - std::chrono::hours(1));

    screen->albumbtnclicked();
    Popover* popover = screen->albumpopoverController();
    ASSERT_TRUE(popover);
    EXPECT_EQ(screen.window().presentedPopover(), popover);
    auto& picker = static_cast<PhotoPicker&>(popover->content());
    EXPECT_EQ(picker.photoCount(), 2);
    bool thumbnailsDone = false;
    screen->whenBackgroundWorkDone([&] { thumbnailsDone = true; });
    ASSERT_TRUE(apptest::runUntil([&] { return thumbnailsDone; }));

    picker.didPick(0); // the newest: 1000 × 100
    EXPECT_FALSE(popover->isPopoverVisible());
    ASSERT_TRUE(screen->displayedPicture());
    EXPECT_EQ(screen->displayedPicture()->size(), (SizeF{768, 76}));
    EXPECT_TRUE(screen->saveButton().isEnabled());
}

TEST(AlbumFlow, AnUnreadableOrDamagedFileIsReportedAndKeepsThePicture)
{
    // A JPEG with stray bytes before its scan (forgivable) that then ends early (not).
    auto whole = *PictureFile::encodeJPEG(apptest::gradientPicture(400, 300)->raster(), 0.9f);
    std::vector<std::uint8_t> damaged;
    for (std::size_t i = 0; i < whole.size() / 3; ++i) {
        if (i > 2 && whole[i] == 0xFF && whole[i + 1] == 0xDA && damaged.size() == i) {
            damaged.push_back(0);
            damaged.push_back(0);
        }
        damaged.push_back(whole[i]);
    }
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}},
        {"damaged.jpg", damaged},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        Screen screen(1);
        std::ofstream(screen.scratch / "Pictures" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        auto initial = screen->displayedPicture();
        screen->albumbtnclicked();
        auto& picker = static_cast<PhotoPicker&>(screen->albumpopoverController()->content());
        testing::internal::CaptureStderr();
        picker.didPick(0);
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(name), std::string::npos) << log;
        EXPECT_FALSE(screen->albumpopoverController()->isPopoverVisible());
        EXPECT_EQ(screen->displayedPicture(), initial);
        // Nothing of the file can be saved: the screen stays as it was, Save disabled.
        EXPECT_FALSE(screen->saveButton().isEnabled());
        ASSERT_EQ(screen.window().alertCount(), 1u);
        EXPECT_EQ(screen.frontAlert()->title(), "Cannot Open Photo");
        EXPECT_EQ(screen.frontAlert()->message(), "The file may be damaged or incomplete.");
        ASSERT_EQ(screen.frontAlert()->numberOfButtons(), 1);
        EXPECT_EQ(screen.frontAlert()->buttonTitleAtIndex(0), "OK");
    }
}
