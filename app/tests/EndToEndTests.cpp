// Runs the built application off screen with a script, as a person would use it: pick a
// photo from the library, save it, take a screenshot, quit.
#include "ScratchDirectory.h"

#include <waterline/app/ScreenLayout.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/ui/PhotoPicker.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace waterline;

namespace {

const std::string kBinary = WATERLINE_BINARY_DIR "/bin/waterline";

// Runs the application to its end; its exit status, or -1 when it did not exit.
int runApplication(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), kBinary);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, kBinary.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void writePhoto(const std::filesystem::path& path, int width, int height)
{
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {width, height});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = raster->row(y) + x * 4;
            p[0] = 255;
            p[1] = 230;
            p[2] = static_cast<std::uint8_t>(y * 255 / height);
            p[3] = 40;
        }
    }
    auto jpeg = PictureFile::encodeJPEG(*raster, 0.9f);
    ASSERT_TRUE(jpeg);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg->data()), static_cast<std::streamsize>(jpeg->size()));
}

// Where the album popover shows its first photo, worked out with the same view classes
// the application uses, so the script taps it wherever the picker lays it out.
PointF firstPhotoOnScreen()
{
    Window window;
    auto picker = std::make_unique<PhotoPicker>();
    picker->setPhotoCount(1);
    PhotoPicker* grid = picker.get();
    Popover popover(std::move(picker));
    popover.presentFromRect(ScreenLayout::kAlbumPopoverAnchor, window);
    RectF cell = grid->rectToScreen(grid->cellFrame(0));
    return {cell.x + cell.width / 2, cell.y + cell.height / 2};
}

} // namespace

TEST(EndToEnd, PickAPhotoSaveItAndTakeAScreenshot)
{
    apptest::ScratchDirectory scratch;
    auto photos = scratch / "photos";
    std::filesystem::create_directory(photos);
    writePhoto(photos / "beach.jpg", 1000, 750);
    auto screenshot = scratch / "screen.png";
    PointF photo = firstPhotoOnScreen();
    std::ofstream(scratch / "script.txt") << "wait 700\n"
                                             "key Escape         # no to the companion prompt\n"
                                             "tap 30 994         # the album button\n"
                                             "wait 300\n"
                                             "tap "
                                          << photo.x << " " << photo.y
                                          << "\n"
                                             "wait 1000\n"
                                             "tap 678 994        # save\n"
                                             "wait 1500\n"
                                             "key Return         # OK to \"Saved!\"\n"
                                             "wait 100\n"
                                             "screenshot "
                                          << screenshot.string()
                                          << "\n"
                                             "quit\n";

    int status = runApplication({"--offscreen", "--cameras", "1", "--photos", photos.string(), "--config-dir",
                                 (scratch / "config").string(), "--script", (scratch / "script.txt").string()});
    ASSERT_EQ(status, 0);

    auto album = photos / "Waterline";
    ASSERT_TRUE(std::filesystem::is_directory(album));
    std::vector<std::filesystem::path> saved(std::filesystem::directory_iterator(album), {});
    ASSERT_EQ(saved.size(), 1u);
    auto savedPicture = PictureFile::read(saved[0]);
    ASSERT_TRUE(savedPicture) << savedPicture.error()->localizedDescription();
    // 1000 × 750 fits as 682 × 512; with the reflection at full height, twice as high.
    EXPECT_EQ((*savedPicture)->size(), (SizeF{682, 1024}));

    auto shot = PictureFile::read(screenshot);
    ASSERT_TRUE(shot) << shot.error()->localizedDescription();
    ASSERT_EQ((*shot)->size(), (SizeF{768, 1024}));
    // The photo is on screen above the water line: its warm red (dimmed at most by an
    // alert still up), not the black background.
    const std::uint8_t* pixel = (*shot)->raster().row(100) + 384 * 4;
    EXPECT_GT(pixel[1], 100) << "red";
    EXPECT_LT(pixel[3], 120) << "blue";
}

TEST(EndToEnd, BadCommandLinesExitWithStatus2)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "bad.txt") << "tap 1\n";
    EXPECT_EQ(runApplication({"--bogus"}), 2);
    EXPECT_EQ(runApplication({"--cameras", "many"}), 2);
    EXPECT_EQ(runApplication({"--offscreen", "--script", (scratch / "missing.txt").string()}), 2);
    EXPECT_EQ(runApplication({"--offscreen", "--script", (scratch / "bad.txt").string()}), 2);
}
