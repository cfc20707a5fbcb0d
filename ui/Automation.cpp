// Scripted input is queued on the application exactly like input from the window; a
// drag spreads its moves over time with one-shot timers on the current run loop.
#include <waterline/ui/Automation.h>

#include <waterline/foundation/Timer.h>
#include <waterline/ui/Application.h>

#include <algorithm>
#include <memory>

namespace waterline {
namespace {

constexpr std::chrono::milliseconds kDragStep{16};

// Posts the drag's i-th of `steps` moves, then schedules the next; the release ends it.
void dragStep(Application* app, PointF from, PointF to, int i, int steps, std::chrono::nanoseconds interval,
              std::function<void()> done)
{
    if (Application::shared() != app)
        return; // the application went away mid-drag
    if (i >= steps) {
        app->postEvent(InputEvent::pointerMove(to));
        app->postEvent(InputEvent::pointerUp(to), std::move(done));
        return;
    }
    double t = static_cast<double>(i) / steps;
    app->postEvent(InputEvent::pointerMove({from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}));
    Timer::singleShot(interval, [=] { dragStep(app, from, to, i + 1, steps, interval, done); });
}

} // namespace

void Automation::tap(PointF p, std::function<void()> done)
{
    m_app.postEvent(InputEvent::pointerDown(p));
    m_app.postEvent(InputEvent::pointerUp(p), std::move(done));
}

void Automation::drag(PointF from, PointF to, std::chrono::milliseconds duration, std::function<void()> done)
{
    int steps = std::max(1, static_cast<int>(duration / kDragStep));
    std::chrono::nanoseconds interval = duration / steps;
    m_app.postEvent(InputEvent::pointerDown(from));
    Application* app = &m_app;
    Timer::singleShot(interval, [=] { dragStep(app, from, to, 1, steps, interval, done); });
}

void Automation::key(std::string name, std::function<void()> done)
{
    m_app.postEvent(InputEvent::keyPress(std::move(name)), std::move(done));
}

void Automation::typeText(std::string text, std::function<void()> done)
{
    m_app.postEvent(InputEvent::textInput(std::move(text)), std::move(done));
}

void Automation::scroll(PointF p, double dx, double dy, std::function<void()> done)
{
    m_app.postEvent(InputEvent::wheel(p, dx, dy), std::move(done));
}

ErrorOr<void> Automation::screenshot(const std::string& path)
{
    return m_app.window().writeScreenshot(path);
}

} // namespace waterline
