// The back end without a display: no input of its own and nowhere to show pixels. The
// window still draws into its canvas, so screenshots and tests see the real screen.
#include "WindowBackend.h"

#include <chrono>
#include <thread>

namespace waterline {
namespace {

class OffscreenBackend final : public WindowBackend {
public:
    void pollEvents(std::vector<InputEvent>&) override {}
    void present(const PixelBuffer&, const std::vector<PixelRect>&) override {}
    // Nothing arrives from outside, so the run loop may sleep until its next source.
    double maximumWait() const override { return 1.0; }
    void idleWait(double seconds) override { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }
};

} // namespace

std::unique_ptr<WindowBackend> makeOffscreenBackend()
{
    return std::make_unique<OffscreenBackend>();
}

} // namespace waterline
