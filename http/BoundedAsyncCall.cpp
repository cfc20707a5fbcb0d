#include "BoundedAsyncCall.h"

namespace waterline {

namespace {

// After a cancellation the operation still has to report back; this bounds that wait
// for an operation that ignores its cancellable.
constexpr std::chrono::milliseconds kCancelGrace{1000};

} // namespace

struct BoundedAsyncCall::State {
    GAsyncResult* result = nullptr;
    bool completed = false;

    ~State()
    {
        if (result)
            g_object_unref(result);
    }
};

BoundedAsyncCall::BoundedAsyncCall(GMainContext* context, std::chrono::milliseconds limit)
    : m_context(context)
    , m_limit(limit)
    , m_state(std::make_shared<State>())
{
}

BoundedAsyncCall::~BoundedAsyncCall() = default;

// The callback owns a reference to the state, so an abandoned operation that completes
// later still writes into live memory.
void BoundedAsyncCall::completed(GObject*, GAsyncResult* result, gpointer data)
{
    auto* state = static_cast<std::shared_ptr<State>*>(data);
    (*state)->result = G_ASYNC_RESULT(g_object_ref(result));
    (*state)->completed = true;
    delete state;
}

namespace {

gboolean raiseFlag(gpointer flag)
{
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

// Iterates `context` until `done` or until `limit` has passed; true when done.
bool iterateUntil(GMainContext* context, const bool& done, std::chrono::milliseconds limit)
{
    bool expired = false;
    GSource* timer = g_timeout_source_new(static_cast<guint>(limit.count()));
    g_source_set_callback(timer, raiseFlag, &expired, nullptr);
    g_source_attach(timer, context);
    while (!done && !expired)
        g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    return done;
}

} // namespace

BoundedAsyncCall::Outcome BoundedAsyncCall::run(const Start& start)
{
    GCancellable* cancellable = g_cancellable_new();
    g_main_context_push_thread_default(m_context);
    start(cancellable, completed, new std::shared_ptr<State>(m_state));
    Outcome outcome;
    if (!iterateUntil(m_context, m_state->completed, m_limit)) {
        outcome.timedOut = true;
        g_cancellable_cancel(cancellable);
        iterateUntil(m_context, m_state->completed, kCancelGrace);
    }
    g_main_context_pop_thread_default(m_context);
    g_object_unref(cancellable);
    outcome.result = m_state->completed ? m_state->result : nullptr;
    return outcome;
}

} // namespace waterline
