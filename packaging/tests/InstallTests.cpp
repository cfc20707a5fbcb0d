// Installs the programs as `make install` does, moves the installed tree elsewhere, and
// runs them from there: they must find their pictures beside themselves, not in the
// build tree.
#include "Shell.h"

#include <waterline/effect/PictureFile.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>

using namespace waterline;
using namespace waterline::packagingtest;

namespace {

std::array<int, 3> rgbAt(const PixelBuffer& buffer, int x, int y)
{
    const std::uint8_t* p = buffer.row(y) + x * PixelBuffer::kBytesPerPixel;
    if (buffer.format() == PixelFormat::ARGB32Premultiplied)
        return {p[1], p[2], p[3]};
    return {p[2], p[1], p[0]};
}

// The mean difference per colour channel between two rasters over a rectangle, sampled
// every 4 pixels.
double meanDifference(const PixelBuffer& a, int aTop, const PixelBuffer& b, int bTop, int width, int height)
{
    double total = 0;
    int samples = 0;
    for (int y = 0; y < height; y += 4) {
        for (int x = 0; x < width; x += 4) {
            auto left = rgbAt(a, x, aTop + y);
            auto right = rgbAt(b, x, bTop + y);
            for (int channel = 0; channel < 3; ++channel)
                total += std::abs(left[channel] - right[channel]);
            samples += 3;
        }
    }
    return total / samples;
}

double meanBrightness(const PixelBuffer& buffer, int top, int width, int height)
{
    double total = 0;
    int samples = 0;
    for (int y = top; y < top + height; y += 4) {
        for (int x = 0; x < width; x += 4) {
            auto rgb = rgbAt(buffer, x, y);
            total += (rgb[0] + rgb[1] + rgb[2]) / 3.0;
            ++samples;
        }
    }
    return total / samples;
}

// Installs the programs into a staging root with prefix /usr, then moves the /usr tree
// to <scratch>/moved, where nothing compiled in can point.
std::filesystem::path installAndMove(const ScratchFolder& scratch)
{
    auto installed = installComponent(scratch / "stage", "/usr", "runtime");
    EXPECT_EQ(installed.status, 0) << installed.output;
    auto moved = scratch / "moved";
    std::filesystem::rename(scratch / "stage" / "usr", moved);
    return moved;
}

} // namespace

TEST(RelocatedInstall, ShowsTheTagPictureWithItsReflection)
{
    ScratchFolder scratch;
    auto moved = installAndMove(scratch);
    auto elsewhere = scratch / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    // Two prompts greet a first start; no to both, so nothing dims the screen.
    std::ofstream(elsewhere / "script.txt") << "wait 700\n"
                                               "key Escape\n"
                                               "wait 300\n"
                                               "key Escape\n"
                                               "wait 300\n"
                                               "screenshot shot.png\n"
                                               "quit\n";

    // Relative paths, from a folder unrelated to both the build and the install, and no
    // $WATERLINE_RESOURCES to lean on.
    auto ran = runShell("cd '" + elsewhere.string() + "' && env -u WATERLINE_RESOURCES '"
                        + (moved / "bin/waterline").string()
                        + "' --offscreen --cameras 0 --photos photos --config-dir config --script script.txt");
    ASSERT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(ran.output.find("picture resource"), std::string::npos) << ran.output;

    auto shot = PictureFile::read(elsewhere / "shot.png");
    ASSERT_TRUE(shot) << shot.error()->localizedDescription();
    auto tag = PictureFile::read(moved / "share/waterline/tag.jpg");
    ASSERT_TRUE(tag) << tag.error()->localizedDescription();
    const PixelBuffer& screen = (*shot)->raster();
    const PixelBuffer& picture = (*tag)->raster();
    ASSERT_EQ(screen.size(), (Size{768, 1024}));
    ASSERT_EQ(picture.size(), (Size{768, 512}));

    // The tag picture fills the upper half one to one (below the top bar, where controls
    // may sit); the water beneath it reflects it, so it is not black either.
    EXPECT_LT(meanDifference(screen, 60, picture, 60, 768, 400), 12.0);
    EXPECT_GT(meanBrightness(screen, 560, 768, 380), 20.0);
}

TEST(RelocatedInstall, ProgramsAnswerVersionAndHelpAndCarryTheirDesktopFiles)
{
    ScratchFolder scratch;
    auto moved = installAndMove(scratch);
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        auto binary = (moved / "bin" / program).string();
        auto version = runShell("'" + binary + "' --version 2>/dev/null");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.output, std::string(program) + " " WATERLINE_VERSION_TEXT "\n");
        auto help = runShell("'" + binary + "' --help 2>/dev/null");
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.output.find("usage"), std::string::npos) << help.output;
        EXPECT_TRUE(std::filesystem::is_regular_file(moved / "share/man/man1" / (std::string(program) + ".1")));
    }
    for (const char* file :
         {"share/applications/waterline.desktop", "share/metainfo/com.example.waterline.metainfo.xml",
          "share/icons/hicolor/48x48/apps/waterline.png", "share/icons/hicolor/128x128/apps/waterline.png",
          "share/icons/hicolor/256x256/apps/waterline.png", "share/doc/waterline/LICENSE", "share/waterline/tag.jpg",
          "share/waterline/album.png"})
        EXPECT_TRUE(std::filesystem::is_regular_file(moved / file)) << file;

    auto icon = PictureFile::read(moved / "share/icons/hicolor/256x256/apps/waterline.png");
    ASSERT_TRUE(icon) << icon.error()->localizedDescription();
    EXPECT_EQ((*icon)->size(), (SizeF{256, 256}));
}
