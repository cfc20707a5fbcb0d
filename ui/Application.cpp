// The event pump. Each turn: input in, one redraw-and-present if anything changed, then
// one slice of the main run loop (default mode) that ends after the first source it
// handles or after the back end's maximum wait. Timers and tasks posted from other
// threads wake the slice at once (epoll); SDL input, which has no fd, is looked at
// after at most kInputPollInterval. A slice on an empty run loop returns at once, so then the back
// end's own wait keeps the turn from spinning.
#include <waterline/ui/Application.h>

#include "Font.h"
#include "WindowBackend.h"

#include <waterline/foundation/RunLoop.h>

#include <vector>

namespace waterline {
namespace {

Application*& sharedApplication()
{
    static Application* app = nullptr;
    return app;
}

} // namespace

ErrorOr<std::unique_ptr<Application>> Application::create(const ApplicationOptions& options)
{
    WL_TRY(Font::checkAvailable());
    std::unique_ptr<WindowBackend> backend
        = options.offscreen ? makeOffscreenBackend() : WL_TRY(makeSdlBackend(options.title));
    return std::unique_ptr<Application>(new Application(std::move(backend)));
}

Application* Application::shared()
{
    return sharedApplication();
}

Application::Application(std::unique_ptr<WindowBackend> backend)
    : m_backend(std::move(backend))
{
    sharedApplication() = this;
}

Application::~Application()
{
    if (sharedApplication() == this)
        sharedApplication() = nullptr;
}

void Application::postEvent(InputEvent event, std::function<void()> afterDispatch)
{
    m_pending.push_back({std::move(event), std::move(afterDispatch)});
}

void Application::processPendingEvents()
{
    std::vector<InputEvent> incoming;
    m_backend->pollEvents(incoming);
    for (InputEvent& event : incoming)
        postEvent(std::move(event));
    while (!m_pending.empty() && !m_quitRequested) {
        Pending next = std::move(m_pending.front());
        m_pending.pop_front();
        if (next.event.type == InputEvent::Type::Quit)
            m_quitRequested = true;
        else
            m_window.dispatch(next.event);
        if (next.afterDispatch)
            next.afterDispatch();
    }
}

void Application::presentIfNeeded()
{
    if (!m_window.needsDisplay() && !m_backend->needsRepaint())
        return;
    std::vector<PixelRect> changed = m_window.render();
    m_backend->present(m_window.canvas().pixels(), changed);
    ++m_presents;
}

int Application::run()
{
    RunLoop& loop = RunLoop::current();
    m_running = true;
    while (!m_quitRequested) {
        processPendingEvents();
        if (m_quitRequested)
            break;
        presentIfNeeded();
        double wait = m_pending.empty() ? m_backend->maximumWait() : 0;
        RunLoopResult result = loop.runMode(kDefaultRunLoopMode, wait, /*returnAfterSourceHandled=*/true);
        if (result == RunLoopResult::Finished && m_pending.empty())
            m_backend->idleWait(kInputPollInterval);
    }
    m_running = false;
    m_quitRequested = false;
    return 0;
}

void Application::quit()
{
    m_quitRequested = true;
    // An empty task ends the run loop's slice at once (a bare wake-up would only make
    // it look at its sources and sleep again), so the turn sees the request.
    RunLoop::main().post([] {});
}

} // namespace waterline
