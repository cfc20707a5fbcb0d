// Runs GLib asynchronous operations with a time limit. libsecret's synchronous calls
// can wait for ever on a bus or a service that does not answer; here each operation
// is started on a private main context, that context is iterated until the operation
// completes or its time is up, and on time-out the operation is cancelled. A request's
// worker thread therefore never waits longer than the limit (plus a short grace for
// the cancellation to come back).
//
//     BoundedAsyncCall call(context, 5s);
//     auto result = call.run([&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
//         secret_service_get(SECRET_SERVICE_NONE, cancellable, done, data);
//     });
//     if (result.timedOut) ...;
//     SecretService* service = secret_service_get_finish(result.result, &error);
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>

namespace waterline {

class BoundedAsyncCall {
public:
    using Start = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;

    struct Outcome {
        // The operation's result for its _finish function; null when it never completed
        // (abandoned after the cancellation was not answered either).
        // On time-out, a result that arrived during the grace only says "cancelled".
        GAsyncResult* result = nullptr;
        bool timedOut = false;
    };

    // `context` is iterated by the calling thread during run(); the caller makes sure no
    // other thread iterates it meanwhile.
    BoundedAsyncCall(GMainContext* context, std::chrono::milliseconds limit);
    ~BoundedAsyncCall();
    BoundedAsyncCall(const BoundedAsyncCall&) = delete;
    BoundedAsyncCall& operator=(const BoundedAsyncCall&) = delete;

    // Starts the operation with the context pushed as the thread's default, and waits.
    // The outcome's result stays valid while this object lives. One operation per object.
    Outcome run(const Start& start);

private:
    struct State;
    static void completed(GObject*, GAsyncResult* result, gpointer data);

    GMainContext* m_context;
    std::chrono::milliseconds m_limit;
    std::shared_ptr<State> m_state;
};

} // namespace waterline
