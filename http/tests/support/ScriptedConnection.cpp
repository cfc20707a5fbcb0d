#include "ScriptedConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace waterline::testing {

ScriptedConnection::ScriptedConnection(FileDescriptor socket, int stopEvent, std::chrono::milliseconds idleTimeout)
    : m_socket(std::move(socket))
    , m_stopEvent(stopEvent)
    , m_idleTimeout(idleTimeout)
{
}

ScriptedConnection::Wait ScriptedConnection::waitFor(short events, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        pollfd fds[2] = {{m_socket.get(), events, 0}, {m_stopEvent, POLLIN, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        int ready = ::poll(fds, 2, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            return Wait::Stopped;
        if (ready == 0)
            return Wait::TimedOut;
        return Wait::Ready; // also on POLLHUP/POLLERR: the next read or write tells
    }
}

bool ScriptedConnection::receive(std::string& buffer)
{
    if (waitFor(POLLIN, m_idleTimeout) != Wait::Ready)
        return false;
    char chunk[64 * 1024];
    ssize_t got;
    do
        got = ::recv(m_socket.get(), chunk, sizeof chunk, 0);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
}

bool ScriptedConnection::sendNow(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (waitFor(POLLOUT, m_idleTimeout) != Wait::Ready)
            return false;
        ssize_t sent = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (sent < 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool ScriptedConnection::send(std::string_view bytes, const std::optional<Drip>& drip)
{
    if (!drip)
        return sendNow(bytes);
    std::size_t step = std::max<std::size_t>(1, drip->chunkBytes);
    for (std::size_t offset = 0; offset < bytes.size(); offset += step) {
        if (offset > 0 && !pause(drip->interval))
            return false;
        if (!sendNow(bytes.substr(offset, step)))
            return false;
    }
    return true;
}

bool ScriptedConnection::pause(std::chrono::milliseconds duration)
{
    if (duration.count() <= 0)
        return true;
    pollfd stop{m_stopEvent, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&stop, 1, static_cast<int>(duration.count()));
    while (ready < 0 && errno == EINTR);
    return ready == 0;
}

void ScriptedConnection::hangUntilClosed()
{
    while (true) {
        // Without a bound of its own: "until the server stops" is the point of hanging.
        auto wait = waitFor(POLLIN, std::chrono::hours(1));
        if (wait == Wait::Stopped)
            return;
        if (wait == Wait::TimedOut)
            continue;
        char discarded[4096];
        if (::recv(m_socket.get(), discarded, sizeof discarded, 0) <= 0)
            return;
    }
}

void ScriptedConnection::close()
{
    ::shutdown(m_socket.get(), SHUT_WR);
    // Closing with unread request bytes would send a reset that can overtake the reply
    // on its way to the client; read on briefly until the client closes its side.
    constexpr std::chrono::milliseconds kLinger{1000};
    auto deadline = std::chrono::steady_clock::now() + kLinger;
    char discarded[4096];
    while (std::chrono::steady_clock::now() < deadline && waitFor(POLLIN, kLinger) == Wait::Ready) {
        if (::recv(m_socket.get(), discarded, sizeof discarded, 0) <= 0)
            break;
    }
    (void)m_socket.close();
}

} // namespace waterline::testing
