// A small HTTP server of our own, for what real servers will not do: answer with exact
// bytes (malformed status lines, a header block without end, a Content-Length that
// lies, bodies cut short, chunked bodies), hang after accepting or after the headers,
// drip bytes slowly, answer 401 or 407 with given challenges. It records every request
// it receives so a test can assert what the client sent.
//
// It listens on 127.0.0.1 on a port the kernel picks and serves each connection on a
// thread of its own. Replies come from a queue, one per request in the order the
// requests' heads arrive; when the queue is empty the responder (if set) makes the
// reply, else the answer is "500 no scripted reply". A queued reply with
// RequestReading::Nothing is taken as soon as a new connection is accepted. Every
// wait is bounded by `idleTimeout` or ends when the server stops; the destructor stops
// the threads and closes every socket (so a responder must not destroy or stop its
// own server: that thread would wait for itself).
//
//     server->enqueue({.after = AfterReply::Hang, .reading = RequestReading::Nothing});   // silent from accept on
//
//     auto server = WL_TRY(ScriptedServer::start());
//     server->enqueue(ScriptedReply::cutBody(200, std::string(1000, 'x'), 10));
//     fetch(server->url("/file"));
//     ASSERT_TRUE(server->waitForRequests(1, 5s));
//     EXPECT_EQ(server->requests()[0].header("Range"), std::nullopt);
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/testing/RecordedRequest.h>
#include <waterline/testing/ScriptedReply.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace waterline::testing {

struct ScriptedServerOptions {
    // How long a connection may sit without progress (no request bytes arriving, a
    // client not taking the reply) before the server closes it.
    std::chrono::milliseconds idleTimeout{20000};
};

class ScriptedServer {
public:
    using Responder = std::function<ScriptedReply(const RecordedRequest&)>;

    static ErrorOr<std::unique_ptr<ScriptedServer>> start(ScriptedServerOptions options = {});
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return m_port; }
    // "http://127.0.0.1:PORT/path"; a missing leading '/' is added.
    std::string url(std::string_view path) const;

    void enqueue(ScriptedReply reply);
    // Makes the replies once the queue is used up; runs on a connection thread.
    void setResponder(Responder responder);

    // The requests received so far, in the order they were complete.
    std::vector<RecordedRequest> requests() const;
    // Waits until at least `count` requests have been received; false on time-out.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    // Connections accepted so far.
    int connectionCount() const;

    // Stops accepting, ends every connection and joins the threads (idempotent).
    void stop();

private:
    ScriptedServer(ScriptedServerOptions options, FileDescriptor listener, FileDescriptor stopEvent,
                   std::uint16_t port);

    void acceptConnections();
    void serveConnection(FileDescriptor socket, int connection);
    std::optional<ScriptedReply> takeReplyForNewConnection();
    std::optional<ScriptedReply> takeQueuedReply();
    ScriptedReply replyFor(const RecordedRequest& request);
    void record(RecordedRequest request);

    ScriptedServerOptions m_options;
    FileDescriptor m_listener;
    FileDescriptor m_stopEvent; // readable once stop() began; every wait polls it
    std::uint16_t m_port;

    mutable std::mutex m_mutex; // guards everything below
    mutable std::condition_variable m_requestRecorded;
    std::deque<ScriptedReply> m_replies;
    Responder m_responder;
    std::vector<RecordedRequest> m_requests;
    int m_connections = 0;
    std::vector<std::thread> m_connectionThreads;
    bool m_stopping = false;

    std::thread m_acceptThread;
};

} // namespace waterline::testing
