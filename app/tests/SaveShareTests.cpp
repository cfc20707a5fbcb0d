#include "ScreenFixture.h"

#include <waterline/app/MailLink.h>
#include <waterline/effect/FrameChain.h>
#include <waterline/ui/Slider.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>

using namespace waterline;
using apptest::Screen;

namespace {

// Picks a picture and lets the chain render it with the K1 slider at `k1`.
void showWithReflection(Screen& screen, std::shared_ptr<Picture> picture, float k1)
{
    SizeF size = picture->size();
    screen->slider(1).setValue(k1);
    screen->imagePickerController({std::move(picture), size});
    int expectedRows = static_cast<int>(k1 * static_cast<float>(size.height));
    // Loaded first, then rendered on a later tick: only a water picture made after the
    // load is this picture's reflection.
    ASSERT_TRUE(apptest::runUntil([&] {
        return !screen->effect().newimg_album && screen->effect().inputwidth == static_cast<int>(size.width)
            && screen->effect().inputheight == static_cast<int>(size.height);
    }));
    auto beforeRender = screen->waterPicture();
    ASSERT_TRUE(apptest::runUntil([&] {
        auto water = screen->waterPicture();
        return water && water != beforeRender && water->size().height == expectedRows
            && water->size().width == size.width;
    }));
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Sets an environment variable for one test, restoring it afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value)
        : m_name(name)
    {
        if (const char* saved = std::getenv(name))
            m_saved = saved;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_saved)
            setenv(m_name, m_saved->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

// Helper programs are looked up in `folder` first.
std::string pathWith(const std::filesystem::path& folder)
{
    return folder.string() + ":/usr/bin:/bin";
}

void writeScript(const std::filesystem::path& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

} // namespace

TEST(SaveShare, TheComposedPictureIsWhatTheScreenShows)
{
    struct Case {
        SizeF picture;
        float k1;
        SizeF composed;
    };
    const Case cases[] = {
        {{768, 512}, 1.0f, {768, 1024}},
        {{768, 512}, 0.5f, {768, 512}},
        {{384, 512}, 1.0f, {384, 1024}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.picture.width) + " K1 " + std::to_string(c.k1));
        Screen screen(1);
        auto picture = apptest::gradientPicture(static_cast<int>(c.picture.width), static_cast<int>(c.picture.height));
        showWithReflection(screen, picture, c.k1);
        auto composed = screen->composedPicture();
        ASSERT_TRUE(composed);
        EXPECT_EQ(composed->size(), c.composed);
        // The top rows are the picture's own; row 0 of the reflection mirrors the last
        // visible row (the first water row is never displaced).
        int visibleRows = static_cast<int>(c.composed.height) / 2;
        EXPECT_EQ(std::memcmp(composed->raster().row(0), picture->raster().row(0), picture->raster().stride()), 0);
        EXPECT_EQ(std::memcmp(composed->raster().row(visibleRows), picture->raster().row(visibleRows - 1),
                              picture->raster().stride()),
                  0);
    }
}

TEST(SaveShare, SaveWritesANewJPEGIntoTheAlbumFolder)
{
    Screen screen(1);
    showWithReflection(screen, apptest::gradientPicture(768, 512), 0.5f);
    screen->savebtnclicked();
    screen->savebtnclicked();
    ASSERT_TRUE(apptest::runUntil([&] { return screen.window().alertCount() == 2; }));
    EXPECT_EQ(screen.frontAlertTitle(), "Saved!");
    EXPECT_EQ(screen.frontAlert()->message(), "The photo has saved to your album.");
    EXPECT_EQ(screen.frontAlert()->buttonTitleAtIndex(0), "OK");

    auto album = screen.scratch / "Pictures" / "Waterline";
    std::vector<std::filesystem::path> saved(std::filesystem::directory_iterator(album), {});
    ASSERT_EQ(saved.size(), 2u) << "the second save did not overwrite the first";
    for (const auto& path : saved) {
        auto picture = PictureFile::read(path);
        ASSERT_TRUE(picture) << picture.error()->localizedDescription();
        EXPECT_EQ((*picture)->size(), (SizeF{768, 512}));
    }
}

TEST(SaveShare, AFailedSaveSaysSoInsteadOfSaved)
{
    Screen screen(1);
    std::ofstream(screen.scratch / "Pictures" / "Waterline") << "a file where the album folder goes";
    showWithReflection(screen, apptest::gradientPicture(300, 200), 1.0f);
    screen->savebtnclicked();
    ASSERT_TRUE(apptest::runUntil([&] { return screen.frontAlert() != nullptr; }));
    EXPECT_EQ(screen.frontAlertTitle(), "Not Saved");
    EXPECT_NE(screen.frontAlert()->message().find("album folder"), std::string::npos) << screen.frontAlert()->message();
    EXPECT_EQ(screen.frontAlert()->buttonTitleAtIndex(0), "OK");
}

TEST(SaveShare, WithoutAReflectionThereIsNothingToSaveOrShare)
{
    Screen screen(1);
    // 768 × 5 at K1 = 0.1 leaves no water row.
    screen->slider(1).setValue(0.1f);
    screen->imagePickerController({apptest::gradientPicture(768, 5), {768, 5}});
    ASSERT_TRUE(apptest::runUntil([&] { return screen->effect().inputheight == 5 && !screen->waterPicture(); }));
    EXPECT_FALSE(screen->composedPicture());
    screen->savebtnclicked();
    screen->sharebtnclicked();
    ASSERT_EQ(screen.window().alertCount(), 2u);
    EXPECT_EQ(screen.frontAlertTitle(), "Nothing to Save");
    screen.frontAlert()->dismissWithButtonIndex(0);
    EXPECT_EQ(screen.frontAlertTitle(), "Nothing to Save");
    EXPECT_TRUE(screen.openedURLs.empty());
}

TEST(SaveShare, WithoutAMailClientShareOpensTheMailLink)
{
    Screen screen(1);
    // The desktop answers the mailto: handler query with nothing.
    std::filesystem::create_directory(screen.scratch / "bin");
    writeScript(screen.scratch / "bin" / "xdg-mime", "exit 0\n");
    ScopedVariable path("PATH", pathWith(screen.scratch / "bin"));
    showWithReflection(screen, apptest::gradientPicture(300, 200), 1.0f);
    screen->sharebtnclicked();
    ASSERT_TRUE(apptest::runUntil([&] { return !screen.openedURLs.empty(); }));
    EXPECT_EQ(screen.openedURLs, std::vector<std::string>{MailLink::fallbackLink()});
}

TEST(SaveShare, WithAMailClientTheJPEGGoesToXdgEmail)
{
    Screen screen(1);
    auto bin = screen.scratch / "bin";
    std::filesystem::create_directory(bin);
    auto record = screen.scratch / "xdg-email.args";
    writeScript(bin / "xdg-mime", "echo mailclient.desktop\n");
    writeScript(bin / "xdg-email",
                "for a in \"$@\"; do echo \"$a\"; done > '" + record.string()
                    + ".tmp'\n"
                      "mv '"
                    + record.string() + ".tmp' '" + record.string() + "'\n");
    ScopedVariable path("PATH", pathWith(bin));
    // Attachments handed over a day ago are cleared away; a recent one stays.
    auto temporary = screen.scratch / "tmp";
    std::filesystem::create_directories(temporary / "waterline-share-stale");
    std::filesystem::create_directories(temporary / "waterline-share-recent");
    std::filesystem::last_write_time(temporary / "waterline-share-stale",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(25));
    ScopedVariable tmpdir("TMPDIR", temporary.string());
    showWithReflection(screen, apptest::gradientPicture(300, 200), 0.5f);
    screen->sharebtnclicked();
    ASSERT_TRUE(apptest::runUntil([&] { return std::filesystem::exists(record); }));
    EXPECT_TRUE(screen.openedURLs.empty());

    std::string arguments = readFile(record);
    std::string expectedStart = "--utf8\n--subject\nHello!\n--body\nHello!\n--attach\n";
    ASSERT_EQ(arguments.substr(0, expectedStart.size()), expectedStart);
    std::filesystem::path attachment
        = arguments.substr(expectedStart.size(), arguments.size() - expectedStart.size() - 1);
    EXPECT_EQ(attachment.filename(), "WaterPhoto.jpg");
    auto picture = PictureFile::read(attachment);
    ASSERT_TRUE(picture) << picture.error()->localizedDescription();
    EXPECT_EQ((*picture)->size(), (SizeF{300, 200}));
    EXPECT_EQ(attachment.parent_path().parent_path(), temporary);
    EXPECT_FALSE(std::filesystem::exists(temporary / "waterline-share-stale"));
    EXPECT_TRUE(std::filesystem::exists(temporary / "waterline-share-recent"));
}
