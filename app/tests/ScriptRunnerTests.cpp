#include "ScreenFixture.h"

#include <waterline/app/ScriptRunner.h>
#include <waterline/foundation/Timer.h>
#include <waterline/ui/Slider.h>

using namespace waterline;
using apptest::Screen;

namespace {

// Runs the application until the script ends it, or for 10 s at most.
void runApplication(Screen& screen)
{
    auto timeOut = performAfterDelay(10, [&] {
        ADD_FAILURE() << "the script did not end the run";
        screen.app->quit();
    });
    screen.app->run();
    timeOut->invalidate();
}

} // namespace

TEST(ScriptRunner, DragsMoveASliderAsAFingerWouldAndQuitEndsTheRun)
{
    Screen screen(1);
    ASSERT_TRUE(screen.defaults->setBool("more", true));
    screen->imagePickerController({apptest::gradientPicture(300, 200), {300, 200}});
    auto script = parseScript("wait 50\n"
                              "drag 30 140 30 545 200   # K1 from its top end to about half way\n"
                              "drag 250 994 120 994 100 # K3 to its minimum\n"
                              "screenshot "
                              + (screen.scratch / "shot.png").string()
                              + "\n"
                                "quit\n"
                                "tap 30 994               # never reached\n");
    ASSERT_TRUE(script) << script.error()->localizedDescription();
    ScriptRunner runner(*screen.app, *script);
    runner.start();
    runApplication(screen);

    EXPECT_TRUE(runner.succeeded());
    EXPECT_TRUE(runner.isFinished());
    EXPECT_NEAR(screen->slider(1).value(), 0.55f, 0.05f);
    EXPECT_EQ(screen->slider(3).value(), 0.0f);
    EXPECT_FALSE(screen->albumpopoverController()) << "the tap after quit did not run";
    EXPECT_TRUE(std::filesystem::exists(screen.scratch / "shot.png"));
}

TEST(ScriptRunner, AScreenshotThatCannotBeWrittenFailsTheRun)
{
    Screen screen(1);
    auto script = parseScript("screenshot " + (screen.scratch / "missing" / "shot.png").string() + "\nquit\n");
    ASSERT_TRUE(script) << script.error()->localizedDescription();
    ScriptRunner runner(*screen.app, *script);
    runner.start();
    testing::internal::CaptureStderr();
    runApplication(screen);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(runner.succeeded());
    EXPECT_NE(log.find("script line 1"), std::string::npos) << log;
}

TEST(ScriptRunner, TheEndOfAScriptIsReported)
{
    Screen screen(1);
    auto script = parseScript("wait 10\n");
    ASSERT_TRUE(script);
    ScriptRunner runner(*screen.app, *script);
    bool finished = false;
    runner.onFinished = [&] {
        finished = true;
        screen.app->quit();
    };
    runner.start();
    runApplication(screen);
    EXPECT_TRUE(finished);
}
