// The per-thread RunLoop handle: finds the calling thread's loop and forwards to the
// shared core (RunLoopCore), which does the waiting and dispatching.
#include <waterline/foundation/RunLoop.h>

#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/MainThread.h>

#include "RunLoopCore.h"

#include <unistd.h>

namespace waterline {

const char* toString(RunLoopResult result)
{
    switch (result) {
    case RunLoopResult::Finished:
        return "Finished";
    case RunLoopResult::Stopped:
        return "Stopped";
    case RunLoopResult::TimedOut:
        return "TimedOut";
    case RunLoopResult::HandledSource:
        return "HandledSource";
    }
    return "?";
}

RunLoop::RunLoop() = default;

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main()
{
    // Made by whichever thread asks first, owned by the main thread; never destroyed,
    // since other threads may post to it until the process ends.
    static RunLoop* loop = [] {
        auto* made = new RunLoop;
        made->m_core = std::make_shared<detail::RunLoopCore>(::getpid());
        return made;
    }();
    return *loop;
}

RunLoop& RunLoop::current()
{
    if (isMainThread())
        return main();
    thread_local std::unique_ptr<RunLoop> loop;
    if (!loop) {
        loop.reset(new RunLoop);
        loop->m_core = std::make_shared<detail::RunLoopCore>(::gettid());
    }
    return *loop;
}

RunLoopResult RunLoop::runMode(RunLoopMode mode, double seconds, bool returnAfterSourceHandled)
{
    return m_core->runMode(mode, seconds, returnAfterSourceHandled, /*waitWhenEmpty=*/false);
}

void RunLoop::run()
{
    while (m_core->runMode(kDefaultRunLoopMode, 1e9, false, /*waitWhenEmpty=*/true) != RunLoopResult::Stopped) {}
}

void RunLoop::stop()
{
    m_core->stop();
}

void RunLoop::post(std::function<void()> task)
{
    m_core->post(std::move(task), {kDefaultRunLoopMode});
}

void RunLoop::post(std::function<void()> task, std::vector<RunLoopMode> modes)
{
    m_core->post(std::move(task), std::move(modes));
}

void RunLoop::addSource(const std::shared_ptr<FdSource>& source, RunLoopMode mode)
{
    m_core->addSource(m_core, source, mode);
}

void RunLoop::removeSource(const std::shared_ptr<FdSource>& source, RunLoopMode mode)
{
    if (source)
        m_core->removeSource(*source, mode);
}

void RunLoop::removeSource(const std::shared_ptr<FdSource>& source)
{
    if (source)
        m_core->removeSource(*source, std::nullopt);
}

bool RunLoop::containsSource(const std::shared_ptr<FdSource>& source, RunLoopMode mode) const
{
    return source && m_core->containsSource(*source, mode);
}

std::optional<std::string> RunLoop::currentMode() const
{
    return m_core->currentMode();
}

bool RunLoop::isCurrent() const
{
    return m_core->isOwnerThread();
}

void RunLoop::wakeUp()
{
    m_core->wakeUp();
}

} // namespace waterline
