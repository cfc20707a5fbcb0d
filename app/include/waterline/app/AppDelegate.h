// The application delegate: at launch it opens the window (on screen or off screen),
// makes the main screen's controller and loads its view, and, when a script was given,
// starts playing it. The other moments of the application's life need nothing: nothing
// is saved, paused or restarted when the application goes to the background or ends.
#pragma once

#include <waterline/app/LaunchOptions.h>
#include <waterline/app/Script.h>
#include <waterline/foundation/ErrorOr.h>

#include <memory>
#include <string>

namespace waterline {

class Application;
class ScriptRunner;
class UserDefaults;
class ViewController;

class AppDelegate {
public:
    AppDelegate();
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // didFinishLaunchingWithOptions: an error when the window cannot be opened or the
    // script cannot be read.
    ErrorOr<void> application(const LaunchOptions& launchOptions);

    void applicationWillResignActive() {}
    void applicationDidEnterBackground() {}
    void applicationWillEnterForeground() {}
    void applicationDidBecomeActive() {}
    void applicationWillTerminate() {}

    // Runs the application loop until the window closes or the script quits; the exit
    // status (non-zero when a script command failed).
    int run();

    Application* window() const { return m_window.get(); }
    ViewController* viewController() const { return m_viewController.get(); }

private:
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<Application> m_window;
    std::unique_ptr<ViewController> m_viewController;
    std::unique_ptr<ScriptRunner> m_script;
};

} // namespace waterline
