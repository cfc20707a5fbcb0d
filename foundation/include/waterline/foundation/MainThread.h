// Handing work to the main thread, which owns every view, the frame chain and the
// pixel buffers. On the main thread the work runs at once, as a plain call; from any
// other thread it is queued to the main run loop's default mode and the caller waits
// for it only when asked to.
//
// Queued work runs only while the main thread runs its loop in the default mode
// (RunLoop::main().run() or runMode(kDefaultRunLoopMode, ...)). A private mode such as
// "HTTPRequest" never runs it, so a request spinning its own mode on the main thread
// is not re-entered by main-thread work.
//
//     performOnMainThread([&] { imageView.setImage(picture); }, /*wait=*/true);
//     performOnMainThread([self = shared_from_this()] { self->reportFinished(); }, false);
//
// With wait = true from a worker, the worker blocks until the main thread has run the
// task; an exception thrown by the task is rethrown in the worker. Never wait for a
// thread that itself waits for the main thread.
#pragma once

#include <functional>

namespace waterline {

// True on the process's main thread.
bool isMainThread();

void performOnMainThread(std::function<void()> fn, bool wait);

} // namespace waterline
