// Scripted input for the app's `--script` mode and for tests: taps, drags and key
// presses in screen points, fed through the same queue and dispatch as real input, and
// screenshots of the screen as PNG files. Each input call returns at once and runs
// `done` (may be empty) on the main thread once the last of its events was handled.
//
//     Automation automation(*app);
//     automation.drag({30, 900}, {30, 200}, std::chrono::milliseconds(300), [&] { next(); });
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/Geometry.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace waterline {

class Application;

class Automation {
public:
    explicit Automation(Application& app)
        : m_app(app)
    {
    }

    void tap(PointF, std::function<void()> done = {});
    // Press at `from`, moves along the straight line about every 16 ms, release at `to`.
    void drag(PointF from, PointF to, std::chrono::milliseconds duration, std::function<void()> done = {});
    // A key by name as the back end reports it: "Return", "Escape", "Space", "A", ...
    void key(std::string name, std::function<void()> done = {});
    // Characters typed, as a text event (what a keyboard layout makes of key presses).
    void typeText(std::string text, std::function<void()> done = {});
    void scroll(PointF, double dx, double dy, std::function<void()> done = {});
    // Writes the 768 × 1024 screen as a PNG.
    ErrorOr<void> screenshot(const std::string& path);

private:
    Application& m_app;
};

} // namespace waterline
