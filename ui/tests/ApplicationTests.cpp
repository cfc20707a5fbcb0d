// The application loop off screen: automated input going through the run loop to the
// views, one present per turn however many changes the turn made, and quitting from the
// main thread and from another thread. Every run has a time-out timer so a fault
// cannot hang the test.
#include <waterline/ui/AlertView.h>
#include <waterline/ui/Application.h>
#include <waterline/ui/Automation.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/Slider.h>

#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/Timer.h>

#include <gtest/gtest.h>

#include <thread>

using namespace waterline;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<Application> offscreenApp()
{
    auto app = Application::create({.offscreen = true});
    EXPECT_TRUE(app) << (app ? "" : app.error()->debugDescription());
    return app ? app.releaseValue() : nullptr;
}

// Runs the app until it quits, or fails the test after a few seconds.
void runWithTimeout(Application& app)
{
    bool timedOut = false;
    auto guard = Timer::singleShot(5s, [&] {
        timedOut = true;
        app.quit();
    });
    app.run();
    guard->invalidate();
    EXPECT_FALSE(timedOut) << "the run did not end by itself";
}

TEST(Application, ScriptedDragMovesARotatedSlider)
{
    auto app = offscreenApp();
    ASSERT_TRUE(app);
    EXPECT_EQ(Application::shared(), app.get());
    auto& k1 = app->window().rootView().add<Slider>();
    k1.setMinimumValue(0.1f);
    k1.setMaximumValue(1.0f);
    k1.setValue(1.0f);
    k1.setRotation(-1.5707964);
    k1.setFrame({0, 126, 60, 838});
    int changes = 0;
    k1.addTarget([&] { ++changes; }, ControlEvent::ValueChanged);

    Automation automation(*app);
    automation.drag({30, 140}, {30, 950}, 80ms, [&] { app->quit(); });
    runWithTimeout(*app);
    EXPECT_FLOAT_EQ(k1.value(), 0.1f);
    EXPECT_GE(changes, 3); // the moves arrived spread over the drag
}

TEST(Application, ScriptedTapsAndKeysReachButtonsAndAlerts)
{
    auto app = offscreenApp();
    ASSERT_TRUE(app);
    auto& save = app->window().rootView().add<Button>(Button::Custom, RectF{648, 964, 60, 60});
    int saves = 0;
    save.addTarget([&] { ++saves; }, ControlEvent::TouchUpInside);
    int answer = -1;
    auto alert = std::make_unique<AlertView>("Rate?", "Could you give us a rate?", "No");
    alert->addButtonWithTitle("Yes");
    alert->didDismissWithButtonIndex = [&](AlertView&, int index) { answer = index; };
    app->window().show(std::move(alert));

    Automation automation(*app);
    automation.tap({670, 990}, [&] {
        EXPECT_EQ(saves, 0); // the alert is modal
        automation.key("Return", [&] { automation.tap({670, 990}, [&] { app->quit(); }); });
    });
    runWithTimeout(*app);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(saves, 1);
}

TEST(Application, PresentsAtMostOncePerTurn)
{
    auto app = offscreenApp();
    ASSERT_TRUE(app);
    auto& water = app->window().rootView().add<ImageView>(RectF{0, 512, 768, 512});
    app->presentIfNeeded();
    std::uint64_t before = app->presentCount();
    std::uint64_t after = 0;
    Timer::singleShot(5ms, [&] {
        for (int i = 0; i < 3; ++i)
            water.setImage(
                std::shared_ptr<const PixelBuffer>(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {768, 512})));
    });
    Timer::singleShot(60ms, [&] {
        after = app->presentCount();
        app->quit();
    });
    runWithTimeout(*app);
    EXPECT_EQ(after - before, 1u);
}

TEST(Application, QuitsFromAnotherThreadAndServesItsPosts)
{
    auto app = offscreenApp();
    ASSERT_TRUE(app);
    auto& view = app->window().rootView().add<ImageView>(RectF{0, 0, 768, 512});
    std::thread worker([&] {
        auto frame
            = std::shared_ptr<const PixelBuffer>(PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {480, 640}));
        performOnMainThread([&] { view.setImage(frame); }, /*wait=*/true);
        app->quit();
    });
    runWithTimeout(*app);
    worker.join();
    ASSERT_NE(view.image(), nullptr);
    EXPECT_EQ(view.image()->width(), 480);
}

} // namespace

namespace {

// The SDL window back end on SDL's dummy video driver: no display is needed, but the
// window, renderer, texture upload and event polling are the real code.
TEST(SdlBackend, OpensPresentsAndQuitsOnTheDummyDriver)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    auto created = Application::create({.offscreen = false});
    ASSERT_TRUE(created) << created.error()->debugDescription();
    auto app = created.releaseValue();
    auto& button = app->window().rootView().add<Button>(Button::Custom, RectF{0, 0, 60, 60});
    int taps = 0;
    button.addTarget([&] { ++taps; }, ControlEvent::TouchUpInside);
    Automation automation(*app);
    automation.tap({30, 30}, [&] { Timer::singleShot(20ms, [&] { app->quit(); }); });
    runWithTimeout(*app);
    EXPECT_EQ(taps, 1);
    EXPECT_GE(app->presentCount(), 1u);
}

} // namespace
