// The animation loop of the reflection: a chain of one-shot 0.02-second timers on the
// main run loop. Each tick either renders one frame (`plinter`) or loads the picture on
// display into the source buffer (`loadnewimage_album`, `loadnewimage_camera`), and
// then arms the next tick. Exactly one tick is pending while the chain runs; the delay
// counts from the end of a tick's work, so slow frames stretch the period instead of
// piling up ticks.
//
// After a render the next tick is chosen in this order: the album loader when
// `newimg_album` is set, else the camera loader when `newimg_camera` is set, else the
// renderer. A loader that finds no picture (or one with a zero side) ends the chain;
// nothing restarts it except calling a tick again. The chain starts when its owner calls
// loadnewimage_album() directly, once the first picture is on display.
//
// The state (EffectState) and the screen (EffectScreen) belong to the owner and must
// outlive the chain; destroying the chain cancels its pending tick.
//
//     FrameChain chain(state, screen);
//     state.newimg_album = true;
//     chain.loadnewimage_album();      // renders 0.02 s later, and every tick after
#pragma once

#include <waterline/effect/EffectScreen.h>
#include <waterline/effect/EffectState.h>
#include <waterline/foundation/RunLoop.h>

#include <memory>

namespace waterline {

class Timer;

class FrameChain {
public:
    static constexpr double kTickDelay = 0.02; // seconds
    static constexpr double kWaterLine = 512;  // points from the screen's top
    static constexpr double kPictureViewWidth = 768;

    FrameChain(EffectState&, EffectScreen&, RunLoop& loop = RunLoop::main());
    ~FrameChain();
    FrameChain(const FrameChain&) = delete;
    FrameChain& operator=(const FrameChain&) = delete;

    // Renders one frame from the source buffer, shows it, advances the phases by K4 and
    // arms the next tick. With no source buffer (a failed load) it renders nothing and
    // only arms the next tick, so a later picture is still picked up.
    void plinter();

    // Shows the water picture (none empties the water view) and lines the picture view
    // up with it: frame (0, 512 − h, 768, h), h the water picture's height.
    void setWaterImage(std::shared_ptr<Picture> water);

    // Loads the picture on display into a new source buffer and arms the renderer.
    // The album loader clears both new-picture flags, the camera loader only
    // newimg_camera. A picture of more than 768 × 1024 pixels (the water buffer's
    // capacity) is refused with a message on standard error: the source buffer is
    // then empty and the chain keeps waiting for the next picture.
    void loadnewimage_album();
    void loadnewimage_camera();

    // True while a tick is pending.
    bool isRunning() const;

private:
    enum class Tick { Render, LoadAlbum, LoadCamera };

    void load();
    void arm(Tick);
    void armAfterRender();
    std::shared_ptr<Picture> waterPicture(int rows) const;

    EffectState& m_state;
    EffectScreen& m_screen;
    RunLoop& m_loop;
    std::shared_ptr<Timer> m_pendingTick;
};

} // namespace waterline
