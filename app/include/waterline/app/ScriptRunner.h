// Plays a script (Script.h) on the running application: each command becomes input
// queued through the same path as a person's touches and keys, or a timer on the main
// run loop, and the next command starts only when the previous one was handled. So a
// script sees the screen exactly as a user would, animation included.
#pragma once

#include <waterline/app/Script.h>
#include <waterline/ui/Automation.h>

#include <functional>
#include <memory>
#include <vector>

namespace waterline {

class Application;
class Timer;

class ScriptRunner {
public:
    ScriptRunner(Application&, std::vector<ScriptCommand>);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Starts with the first command on the next turn of the main run loop.
    void start();

    // Called once the last command has run (not after "quit"); may be empty.
    std::function<void()> onFinished;

    // False once a command failed (a screenshot that could not be written).
    bool succeeded() const { return m_succeeded; }
    bool isFinished() const { return m_next >= m_commands.size(); }

private:
    void runNext();
    void proceed();

    Application& m_app;
    Automation m_automation;
    std::vector<ScriptCommand> m_commands;
    std::size_t m_next = 0;
    bool m_succeeded = true;
    std::shared_ptr<Timer> m_pending;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace waterline
