#include <waterline/testing/ScriptedServer.h>

#include "RequestParser.h"
#include "ScriptedConnection.h"

#include <waterline/testing/LoopbackPort.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace waterline::testing {

namespace {

constexpr const char* kDomain = "ScriptedServerErrorDomain";

ErrorOr<FileDescriptor> listenOnLoopback()
{
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return Error::fromErrno(errno, "Cannot open a socket: " + errnoText(errno));
    auto address = loopbackAddress(0);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(socket.get(), 64) != 0)
        return Error::fromErrno(errno, "Cannot listen on a loopback port: " + errnoText(errno));
    return socket;
}

ErrorOr<std::uint16_t> boundPort(const FileDescriptor& socket)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return Error::fromErrno(errno, "Cannot read the bound port: " + errnoText(errno));
    return ntohs(address.sin_port);
}

ScriptedReply missingReply()
{
    auto reply = ScriptedReply::response(500, {{"Content-Type", "text/plain"}}, "no scripted reply\n");
    reply.after = AfterReply::Close;
    return reply;
}

bool asksToContinue(const RecordedRequest& request)
{
    auto expect = request.header("Expect");
    return expect && (*expect == "100-continue" || *expect == "100-Continue");
}

// Reads until `buffer` holds what `reading` asks for, then takes it off the buffer.
std::optional<RecordedRequest> readRequest(ScriptedConnection& connection, std::string& buffer, BodyReading reading)
{
    while (true) {
        auto parse = parseRequest(buffer, reading);
        if (auto* parsed = std::get_if<ParsedRequest>(&parse)) {
            buffer.erase(0, parsed->consumed);
            return std::move(parsed->request);
        }
        if (std::holds_alternative<MalformedRequest>(parse) || !connection.receive(buffer))
            return std::nullopt;
    }
}

// Sends the reply; false when the connection is over.
bool perform(ScriptedConnection& connection, const ScriptedReply& reply)
{
    if (!connection.pause(reply.delay) || !connection.send(reply.bytes, reply.drip))
        return false;
    switch (reply.after) {
    case AfterReply::KeepAlive:
        return true;
    case AfterReply::Close:
        connection.close();
        return false;
    case AfterReply::Hang:
        connection.hangUntilClosed();
        return false;
    }
    return false;
}

} // namespace

ErrorOr<std::unique_ptr<ScriptedServer>> ScriptedServer::start(ScriptedServerOptions options)
{
    auto listener = WL_TRY(listenOnLoopback());
    auto port = WL_TRY(boundPort(listener));
    FileDescriptor stopEvent(::eventfd(0, EFD_CLOEXEC));
    if (!stopEvent)
        return Error::create(kDomain, errno, "Cannot make an event descriptor: " + errnoText(errno));
    auto server
        = std::unique_ptr<ScriptedServer>(new ScriptedServer(options, std::move(listener), std::move(stopEvent), port));
    server->m_acceptThread = std::thread([raw = server.get()] { raw->acceptConnections(); });
    return server;
}

ScriptedServer::ScriptedServer(ScriptedServerOptions options, FileDescriptor listener, FileDescriptor stopEvent,
                               std::uint16_t port)
    : m_options(options)
    , m_listener(std::move(listener))
    , m_stopEvent(std::move(stopEvent))
    , m_port(port)
{
}

ScriptedServer::~ScriptedServer()
{
    stop();
}

std::string ScriptedServer::url(std::string_view path) const
{
    std::string text = "http://127.0.0.1:" + std::to_string(m_port);
    if (!path.starts_with('/'))
        text += '/';
    return text + std::string(path);
}

void ScriptedServer::enqueue(ScriptedReply reply)
{
    std::lock_guard lock(m_mutex);
    m_replies.push_back(std::move(reply));
}

void ScriptedServer::setResponder(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

std::vector<RecordedRequest> ScriptedServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool ScriptedServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_requestRecorded.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

int ScriptedServer::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

void ScriptedServer::stop()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    std::uint64_t one = 1;
    (void)!::write(m_stopEvent.get(), &one, sizeof one);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    {
        // The accept thread has ended, so no thread is added any more.
        std::lock_guard lock(m_mutex);
        threads.swap(m_connectionThreads);
    }
    for (auto& thread : threads)
        thread.join();
    (void)m_listener.close();
}

void ScriptedServer::acceptConnections()
{
    while (true) {
        pollfd fds[2] = {{m_listener.get(), POLLIN, 0}, {m_stopEvent.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        FileDescriptor socket(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket)
            continue;
        std::lock_guard lock(m_mutex);
        int connection = ++m_connections;
        m_connectionThreads.emplace_back(
            [this, connection, raw = socket.release()] { serveConnection(FileDescriptor(raw), connection); });
    }
}

void ScriptedServer::serveConnection(FileDescriptor socket, int connection)
{
    ScriptedConnection peer(std::move(socket), m_stopEvent.get(), m_options.idleTimeout);
    if (auto reply = takeReplyForNewConnection()) {
        perform(peer, *reply);
        return;
    }
    std::string buffer;
    while (true) {
        auto request = readRequest(peer, buffer, BodyReading::HeadOnly);
        if (!request)
            return;
        auto queued = takeQueuedReply();
        auto reading = queued ? queued->reading : RequestReading::Whole;
        if (reading == RequestReading::Whole) {
            if (asksToContinue(*request) && !peer.send("HTTP/1.1 100 Continue\r\n\r\n"))
                return;
            // The head was taken off the buffer; put it back and read head and body as one.
            buffer.insert(0, request->head);
            request = readRequest(peer, buffer, BodyReading::Whole);
            if (!request)
                return;
        }
        request->connection = connection;
        auto reply = queued ? std::move(*queued) : replyFor(*request);
        record(std::move(*request));
        if (!perform(peer, reply))
            return;
    }
}

std::optional<ScriptedReply> ScriptedServer::takeReplyForNewConnection()
{
    std::lock_guard lock(m_mutex);
    if (m_replies.empty() || m_replies.front().reading != RequestReading::Nothing)
        return std::nullopt;
    auto reply = std::move(m_replies.front());
    m_replies.pop_front();
    return reply;
}

std::optional<ScriptedReply> ScriptedServer::takeQueuedReply()
{
    std::lock_guard lock(m_mutex);
    if (m_replies.empty())
        return std::nullopt;
    auto reply = std::move(m_replies.front());
    m_replies.pop_front();
    return reply;
}

ScriptedReply ScriptedServer::replyFor(const RecordedRequest& request)
{
    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        responder = m_responder;
    }
    return responder ? responder(request) : missingReply();
}

void ScriptedServer::record(RecordedRequest request)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    m_requestRecorded.notify_all();
}

} // namespace waterline::testing
