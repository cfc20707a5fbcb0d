// The main-thread hand-off: a direct call on the main thread, a task on the main run
// loop's default mode from anywhere else.
#include <waterline/foundation/MainThread.h>

#include <waterline/foundation/RunLoop.h>

#include <unistd.h>

#include <exception>
#include <future>
#include <memory>

namespace waterline {

bool isMainThread()
{
    thread_local const bool onMain = ::gettid() == ::getpid();
    return onMain;
}

void performOnMainThread(std::function<void()> fn, bool wait)
{
    if (isMainThread()) {
        fn();
        return;
    }
    if (!wait) {
        RunLoop::main().post(std::move(fn));
        return;
    }
    // The promise is shared so that the main thread may still be inside set_value
    // when the worker wakes and returns.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    RunLoop::main().post([fn = std::move(fn), done] {
        try {
            fn();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

} // namespace waterline
