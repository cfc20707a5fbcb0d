// Where the screen's pixels go and where input comes from: an SDL2 window, or nothing
// at all (off screen). The back end turns its input into InputEvents in screen points
// and shows the canvas; everything else is shared.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/ui/Canvas.h>
#include <waterline/ui/InputEvent.h>

#include <memory>
#include <string>
#include <vector>

namespace waterline {

// How long, in seconds, input that has no fd to wait on (SDL's) may go unread.
inline constexpr double kInputPollInterval = 0.004;

class WindowBackend {
public:
    virtual ~WindowBackend() = default;

    // Appends the input that arrived since the last call.
    virtual void pollEvents(std::vector<InputEvent>& out) = 0;
    // Shows the screen; `changed` lists the pixel rectangles redrawn since the last call.
    virtual void present(const PixelBuffer& screen, const std::vector<PixelRect>& changed) = 0;
    // True when the window needs showing again though nothing was redrawn (exposed, resized).
    virtual bool needsRepaint() const { return false; }
    // How long the run loop may sleep before input must be looked at again, in seconds.
    virtual double maximumWait() const = 0;
    // Sleeps up to `seconds` or until input arrives (used when the run loop is empty).
    virtual void idleWait(double seconds) = 0;
};

std::unique_ptr<WindowBackend> makeOffscreenBackend();
// An error when no window can be opened.
ErrorOr<std::unique_ptr<WindowBackend>> makeSdlBackend(const std::string& title);

} // namespace waterline
