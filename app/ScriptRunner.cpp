#include <waterline/app/ScriptRunner.h>

#include <waterline/foundation/Timer.h>
#include <waterline/ui/Application.h>

#include <cstdio>

namespace waterline {

ScriptRunner::ScriptRunner(Application& app, std::vector<ScriptCommand> commands)
    : m_app(app)
    , m_automation(app)
    , m_commands(std::move(commands))
{
}

ScriptRunner::~ScriptRunner()
{
    if (m_pending)
        m_pending->invalidate();
}

void ScriptRunner::start()
{
    proceed();
}

// Every step goes through the run loop, never straight into the next command, so a long
// script does not nest calls and the screen gets its turns between commands.
void ScriptRunner::proceed()
{
    std::weak_ptr<bool> alive = m_alive;
    m_pending = Timer::singleShot(std::chrono::nanoseconds(0), [this, alive] {
        if (alive.lock())
            runNext();
    });
}

void ScriptRunner::runNext()
{
    if (m_next >= m_commands.size()) {
        if (onFinished)
            onFinished();
        return;
    }
    const ScriptCommand& command = m_commands[m_next++];
    std::weak_ptr<bool> alive = m_alive;
    auto next = [this, alive] {
        if (alive.lock())
            proceed();
    };
    using Kind = ScriptCommand::Kind;
    switch (command.kind) {
    case Kind::Wait:
        m_pending = Timer::singleShot(std::chrono::milliseconds(command.milliseconds), next);
        break;
    case Kind::Tap:
        m_automation.tap(command.from, next);
        break;
    case Kind::Drag:
        m_automation.drag(command.from, command.to, std::chrono::milliseconds(command.milliseconds), next);
        break;
    case Kind::Key:
        m_automation.key(command.text, next);
        break;
    case Kind::Screenshot:
        if (auto written = m_automation.screenshot(command.text); !written) {
            std::fprintf(stderr, "waterline: script line %d: %s\n", command.line,
                         written.error()->localizedDescription().c_str());
            m_succeeded = false;
        }
        next();
        break;
    case Kind::Quit:
        m_next = m_commands.size();
        m_app.quit();
        break;
    }
}

} // namespace waterline
