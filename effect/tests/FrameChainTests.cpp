#include "TestPictures.h"

#include <waterline/effect/FrameChain.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

using namespace waterline;
using namespace std::chrono_literals;

namespace {

// The screen as plain fields, recording what the chain did to it.
struct FakeScreen : EffectScreen {
    std::shared_ptr<Picture> displayed;
    std::shared_ptr<Picture> water;
    RectF pictureFrame{-1, -1, -1, -1};
    EffectSliderValues sliders{kK1Slider.startingValue, kK2Slider.startingValue, kK3Slider.startingValue,
                               kK4Slider.startingValue};
    int waterUpdates = 0;
    std::function<void()> onWater; // lets a test act between ticks

    std::shared_ptr<Picture> displayedPicture() const override { return displayed; }
    void setDisplayedPictureFrame(RectF frame) override { pictureFrame = frame; }
    void setWaterPicture(std::shared_ptr<Picture> picture) override
    {
        water = std::move(picture);
        ++waterUpdates;
        if (onWater)
            onWater();
    }
    EffectSliderValues sliderValues() const override { return sliders; }
};

std::shared_ptr<Picture> pictureOf(Size size)
{
    return Picture::create(test::gradientRaster(size));
}

class FrameChainTest : public testing::Test {
protected:
    EffectState state;
    FakeScreen screen;
    FrameChain chain{state, screen};

    // Runs the main loop until one tick has fired. A run that finds nothing pending
    // returns at once; the time-out keeps a broken chain from hanging the test.
    RunLoopResult runOneTick() { return RunLoop::main().runMode(kDefaultRunLoopMode, 2.0, true); }

    void start(std::shared_ptr<Picture> picture)
    {
        screen.displayed = std::move(picture);
        state.newimg_album = true;
        chain.loadnewimage_album();
    }
};

} // namespace

TEST_F(FrameChainTest, StateAtViewLoad)
{
    EXPECT_EQ(state.cameradata->size(), Size(768, 1024));
    EXPECT_EQ(state.waterWords().size(), 786432u);
    EXPECT_EQ(state.water_width, 0);
    EXPECT_EQ(state.water_height, 0);
    EXPECT_EQ(state.K1, 0.0f);
    EXPECT_EQ(state.K4, 0.0f);
    EXPECT_EQ(state.step_x, 0.0f);
    EXPECT_FALSE(state.cameraing.load());
    EXPECT_FALSE(state.newimg_camera.load());
    EXPECT_FALSE(state.originalimagedata);
    EXPECT_FALSE(chain.isRunning());
}

TEST_F(FrameChainTest, LoadThenRenderEveryTick)
{
    start(pictureOf({768, 512}));
    EXPECT_FALSE(state.newimg_album);
    EXPECT_EQ(state.inputwidth, 768);
    EXPECT_EQ(state.inputheight, 512);
    ASSERT_TRUE(state.originalimagedata);
    EXPECT_EQ(screen.waterUpdates, 0); // a loading tick does not render
    EXPECT_TRUE(chain.isRunning());

    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    EXPECT_EQ(screen.waterUpdates, 1);
    EXPECT_EQ(state.K1, 1.0f); // read from the sliders, though they are hidden
    EXPECT_EQ(state.K2, 3.0f);
    EXPECT_EQ(state.K3, 0.04f);
    EXPECT_EQ(state.K4, 0.1f);
    EXPECT_EQ(state.water_width, 768);
    EXPECT_EQ(state.water_height, 512);
    ASSERT_TRUE(screen.water);
    EXPECT_EQ(screen.water->size(), SizeF(768, 512));
    EXPECT_EQ(screen.pictureFrame, RectF(0, 0, 768, 512));
    // Water row 0 mirrors the last visible picture row.
    EXPECT_EQ(std::memcmp(screen.water->raster().row(0), screen.displayed->raster().row(511), 768 * 4), 0);

    float phase = 0;
    for (int frame = 2; frame <= 10; ++frame)
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    for (int frame = 1; frame <= 10; ++frame)
        phase = phase - 0.1f;
    EXPECT_EQ(state.step_x, phase);
    EXPECT_EQ(state.step_y, phase);
    EXPECT_EQ(screen.waterUpdates, 10);
}

TEST_F(FrameChainTest, PictureFrameFollowsTheWaterHeight)
{
    struct Case {
        Size picture;
        float K1;
        RectF frame;
        SizeF water;
    };
    const Case cases[] = {
        {{768, 512}, 0.5f, {0, 256, 768, 256}, {768, 256}},
        {{480, 640}, 1.0f, {0, -128, 768, 640}, {480, 640}},
        {{768, 1024}, 1.0f, {0, -512, 768, 1024}, {768, 1024}}, // fills the buffer exactly
    };
    for (const auto& c : cases) {
        screen.sliders.K1 = c.K1;
        start(pictureOf(c.picture));
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
        EXPECT_EQ(screen.pictureFrame, c.frame);
        ASSERT_TRUE(screen.water);
        EXPECT_EQ(screen.water->size(), c.water);
    }
}

TEST_F(FrameChainTest, TooFewRowsEmptyTheWaterButTheChainGoesOn)
{
    screen.sliders.K1 = 0.1f;
    start(pictureOf({100, 9}));
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    EXPECT_FALSE(screen.water);
    EXPECT_EQ(screen.pictureFrame, RectF(0, 512, 768, 0));
    EXPECT_EQ(state.step_x, -0.1f);
    screen.sliders.K1 = 1.0f;
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    ASSERT_TRUE(screen.water);
    EXPECT_EQ(screen.water->size(), SizeF(100, 9));
}

TEST_F(FrameChainTest, AlbumBeforeCameraBeforeRender)
{
    start(pictureOf({64, 48}));
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render

    // Both flags set during a frame: the album loader comes first and clears both.
    auto album = pictureOf({32, 20});
    screen.onWater = [&] {
        screen.displayed = album;
        state.newimg_album = true;
        state.newimg_camera = true;
        screen.onWater = nullptr;
    };
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render, flags set
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // album loader
    EXPECT_EQ(state.inputwidth, 32);
    EXPECT_FALSE(state.newimg_album);
    EXPECT_FALSE(state.newimg_camera.load());
    int updates = screen.waterUpdates;

    // The camera flag alone: the camera loader, which leaves newimg_album alone.
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render
    screen.displayed = pictureOf({48, 64});
    state.newimg_camera = true;
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render, then sees the flag
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // camera loader
    EXPECT_EQ(state.inputwidth, 48);
    EXPECT_EQ(state.inputheight, 64);
    EXPECT_FALSE(state.newimg_camera.load());
    EXPECT_EQ(screen.waterUpdates, updates + 2); // loaders do not render
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    EXPECT_EQ(screen.water->size(), SizeF(48, 64));
}

TEST_F(FrameChainTest, ALoaderThatFindsNoPictureEndsTheChain)
{
    for (auto empty : {std::shared_ptr<Picture>(), pictureOf({0, 5}), pictureOf({5, 0})}) {
        start(pictureOf({20, 20}));
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
        auto previous = state.originalimagedata.get();
        screen.displayed = empty;
        state.newimg_album = true;
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render, then the loader is armed
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // the loader
        EXPECT_FALSE(chain.isRunning());
        EXPECT_EQ(state.inputwidth, empty ? static_cast<int>(empty->size().width) : 0);
        EXPECT_EQ(state.originalimagedata.get(), previous); // kept, never freed here
        EXPECT_EQ(runOneTick(), RunLoopResult::Finished);   // nothing left on the loop
    }
}

TEST_F(FrameChainTest, APictureTooLargeForTheWaterBufferIsRefusedAndTheChainWaits)
{
    testing::internal::CaptureStderr();
    start(pictureOf({768, 1025}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "picture of 768 × 1025 pixels does not fit the water buffer\n");
    EXPECT_FALSE(state.originalimagedata);
    EXPECT_EQ(state.inputwidth, 0);
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    EXPECT_EQ(screen.waterUpdates, 0); // nothing to render
    EXPECT_TRUE(chain.isRunning());

    screen.displayed = pictureOf({30, 40});
    state.newimg_album = true;
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // empty frame, sees the flag
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // loader
    ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource); // render
    ASSERT_TRUE(screen.water);
    EXPECT_EQ(screen.water->size(), SizeF(30, 40));
}

TEST_F(FrameChainTest, TicksNeverComeSoonerThanTheDelay)
{
    std::vector<Timer::Clock::time_point> renders;
    start(pictureOf({16, 16}));
    screen.onWater = [&] { renders.push_back(Timer::Clock::now()); };
    auto loaded = Timer::Clock::now();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(runOneTick(), RunLoopResult::HandledSource);
    ASSERT_EQ(renders.size(), 4u);
    EXPECT_GE(renders[0] - loaded, 20ms);
    for (std::size_t i = 1; i < renders.size(); ++i)
        EXPECT_GE(renders[i] - renders[i - 1], 20ms);
}

TEST_F(FrameChainTest, DestroyingTheChainCancelsItsTick)
{
    {
        FrameChain second(state, screen);
        screen.displayed = pictureOf({8, 8});
        second.loadnewimage_album();
        EXPECT_TRUE(second.isRunning());
    }
    EXPECT_EQ(runOneTick(), RunLoopResult::Finished);
}
