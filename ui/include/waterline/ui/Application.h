// The application loop: one window on screen (SDL2) or off screen (no display at all,
// for tests and `--offscreen`), driven from the main thread's run loop.
//
// Each turn of `run()`: take the back end's input and the queued automated input into
// the window, redraw and present if anything changed (so at most one present per turn),
// then run the main run loop in its default mode until it handled one source (a timer,
// a task posted from another thread, an fd) or a short time passed. SDL's input is not
// an fd the run loop could wait on, so with a display that wait is bounded by 4 ms
// (kInputPollInterval): the loop sleeps in epoll, timers and posted tasks wake it at
// once, and input is picked up at most that late, with no busy spinning. Off screen there is no outside input, so the
// wait is longer; injected input is queued on the main thread and seen on the next turn.
//
//     auto app = Application::create({.offscreen = false});
//     if (!app)
//         return report(app.error());
//     build((*app)->window().rootView());
//     return (*app)->run();   // returns when the window is closed or quit() is called
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/ui/InputEvent.h>
#include <waterline/ui/UIError.h>
#include <waterline/ui/Window.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace waterline {

class WindowBackend;

struct ApplicationOptions {
    bool offscreen = false;
    std::string title = "Waterline";
};

class Application {
public:
    // The one application of the process; an error when the display or the font cannot
    // be opened (see UIError.h).
    static ErrorOr<std::unique_ptr<Application>> create(const ApplicationOptions&);
    // The application created last and still alive, or nullptr.
    static Application* shared();
    ~Application();

    Window& window() { return m_window; }

    // Runs until quit; returns the exit status (0).
    int run();
    // Ends `run()` after the current turn. Safe from any thread.
    void quit();
    bool isRunning() const { return m_running; }

    // Queues an input event in screen points, exactly as the back end queues real input;
    // `afterDispatch` (may be empty) runs once the window has handled it. Main thread.
    void postEvent(InputEvent, std::function<void()> afterDispatch = {});

    // One turn's work without waiting: input, then redraw and present if needed.
    // `run()` calls it; tests may call it directly.
    void processPendingEvents();
    void presentIfNeeded();
    std::uint64_t presentCount() const { return m_presents; }

private:
    Application(std::unique_ptr<WindowBackend>);

    struct Pending {
        InputEvent event;
        std::function<void()> afterDispatch;
    };

    Window m_window;
    std::unique_ptr<WindowBackend> m_backend;
    std::deque<Pending> m_pending;
    std::atomic<bool> m_quitRequested{false};
    bool m_running = false;
    std::uint64_t m_presents = 0;
};

} // namespace waterline
