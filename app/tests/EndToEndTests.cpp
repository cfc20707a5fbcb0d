// Runs the built application off screen with a script, as a person would use it: pick a
// photo from the library, save it, take a screenshot, quit.
#include "ScratchDirectory.h"

#include <waterline/app/ScreenLayout.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/ui/PhotoPicker.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
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

struct Finished {
    int status = -1;
    std::string errors; // standard error
};

std::string contents(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs the application off screen to its end, in `scratch` (its photos and config
// folders, unless `arguments` name others), with `environment` ("NAME=value") set on
// top of ours, and "xdg-open" a stand-in that notes each link in scratch/opened.txt.
Finished runScripted(const apptest::ScratchDirectory& scratch, std::vector<std::string> arguments,
                     const std::vector<std::string>& environment = {})
{
    auto bin = scratch / "bin";
    std::filesystem::create_directories(bin);
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\necho \"$1\" >>" << (scratch / "opened.txt") << "\n";
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    std::filesystem::create_directories(scratch / "photos");

    std::vector<std::string> defaults{kBinary, "--offscreen", "--photos", (scratch / "photos").string()};
    if (std::find(arguments.begin(), arguments.end(), "--config-dir") == arguments.end())
        defaults.insert(defaults.end(), {"--config-dir", (scratch / "config").string()});
    arguments.insert(arguments.begin(), defaults.begin(), defaults.end());
    const char* path = std::getenv("PATH");
    std::vector<std::string> variables{"PATH=" + bin.string() + ":" + (path ? path : "/usr/bin:/bin")};
    for (char** variable = environ; *variable; ++variable)
        if (!std::string_view(*variable).starts_with("PATH="))
            variables.push_back(*variable);
    variables.insert(variables.end(), environment.begin(), environment.end());

    std::vector<char*> argv, envp;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    auto errorsPath = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Finished finished;
    if (posix_spawn(&pid, kBinary.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    finished.errors = contents(errorsPath);
    return finished;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The companion prompt comes up half a second after the start (in front, when a camera
// is found); Return answers "Yes".
constexpr const char* kAnswerThePrompt = "wait 800\nkey Return\nwait 300\nquit\n";

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

TEST(EndToEnd, ScriptProblemsStopTheStartWithStatus2)
{
    apptest::ScratchDirectory scratch;
    auto shot = scratch / "shot.png";
    std::ofstream(scratch / "key.txt") << "screenshot " << shot.string() << "\nkey Space\n";
    struct Case {
        std::filesystem::path script;
        std::string error;
    };
    const Case cases[] = {
        {scratch.path(), "waterline: cannot read the script " + scratch.path().string() + ": Is a directory\n"},
        {scratch / "missing.txt",
         "waterline: cannot read the script " + (scratch / "missing.txt").string() + ": No such file or directory\n"},
        {scratch / "key.txt",
         "waterline: " + (scratch / "key.txt").string()
             + ": line 2: unknown key \"Space\" (expected Return or Escape)\n"},
    };
    for (const auto& c : cases) {
        auto finished = runScripted(scratch, {"--script", c.script.string()});
        EXPECT_EQ(finished.status, 2) << c.script;
        EXPECT_EQ(finished.errors, c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(shot)) << "a command ran before the bad line was seen";
}

TEST(EndToEnd, ScreenshotPathsKeepAHashInsideAWord)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "script.txt") << "screenshot " << (scratch / "a#b.png").string() << "\n"
                                          << "screenshot " << (scratch / "x.png").string() << " # a note\nquit\n";
    auto finished = runScripted(scratch, {"--script", (scratch / "script.txt").string()});
    EXPECT_EQ(finished.status, 0) << finished.errors;
    EXPECT_TRUE(std::filesystem::exists(scratch / "a#b.png"));
    EXPECT_TRUE(std::filesystem::exists(scratch / "x.png"));
}

// Root may write anywhere, so a file stands in for an unwritable folder.
TEST(EndToEnd, AnAnswerThatCannotBeSavedIsSaidOnce)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "not-a-folder") << "x";
    std::ofstream(scratch / "script.txt") << kAnswerThePrompt;
    auto finished = runScripted(scratch,
                                {"--cameras", "1", "--config-dir", (scratch / "not-a-folder").string(), "--script",
                                 (scratch / "script.txt").string()});
    EXPECT_EQ(finished.status, 0) << finished.errors;
    EXPECT_EQ(occurrences(finished.errors, "waterline: the answer to the prompt will not be remembered: "), 1u)
        << finished.errors;
    // The answer still took effect: the link was opened.
    for (int i = 0; i < 50 && !std::filesystem::exists(scratch / "opened.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(std::filesystem::exists(scratch / "opened.txt"));
}

// "more" is kept beside a value of the wrong type, so the companion prompt stays
// answered: no prompt comes, and Return changes nothing in the file.
TEST(EndToEnd, DefaultsKeepTheirValidEntriesBesideABadOne)
{
    apptest::ScratchDirectory scratch;
    std::filesystem::create_directory(scratch / "config");
    const std::string defaults = "{\"more\": true, \"rated\": 5}\n";
    std::ofstream(scratch / "config" / "defaults.json") << defaults;
    std::ofstream(scratch / "script.txt") << kAnswerThePrompt;
    auto finished = runScripted(scratch, {"--cameras", "1", "--script", (scratch / "script.txt").string()});
    EXPECT_EQ(finished.status, 0) << finished.errors;
    EXPECT_EQ(contents(scratch / "config" / "defaults.json"), defaults);
    EXPECT_FALSE(std::filesystem::exists(scratch / "opened.txt"));
}

TEST(EndToEnd, ABadCameraVariableIsOnlyAWarningBesideTheFlag)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "script.txt") << "quit\n";
    const std::string script = (scratch / "script.txt").string();
    auto warned = runScripted(scratch, {"--cameras", "1", "--script", script}, {"WATERLINE_CAMERAS=many"});
    EXPECT_EQ(warned.status, 0) << warned.errors;
    EXPECT_EQ(warned.errors,
              "waterline: warning: WATERLINE_CAMERAS must be a whole number from 0 to 8, not "
              "\"many\"; using --cameras\n");
    auto refused = runScripted(scratch, {"--script", script}, {"WATERLINE_CAMERAS=many"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.errors.starts_with("waterline: WATERLINE_CAMERAS must be a whole number")) << refused.errors;
}
