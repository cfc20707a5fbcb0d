// One accepted connection of ScriptedServer, with every wait bounded: each blocks at
// most for the idle time-out and returns early, reporting false, once the server's
// stop event fires or the peer goes away.
#pragma once

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/testing/ScriptedReply.h>

#include <chrono>
#include <string>
#include <string_view>

namespace waterline::testing {

class ScriptedConnection {
public:
    ScriptedConnection(FileDescriptor socket, int stopEvent, std::chrono::milliseconds idleTimeout);

    // Appends what arrives to `buffer`; false when the peer closed, on error, on
    // time-out or stop.
    bool receive(std::string& buffer);
    // Sends all of `bytes`, dripped when asked; false when it could not.
    bool send(std::string_view bytes, const std::optional<Drip>& drip = std::nullopt);
    // Waits for `duration`; false when the server stops meanwhile.
    bool pause(std::chrono::milliseconds duration);
    // Stays silent until the peer closes or the server stops, discarding what arrives.
    void hangUntilClosed();
    // Sends FIN, so the client sees the end of the response before the socket closes.
    void close();

private:
    enum class Wait { Ready, Stopped, TimedOut };
    Wait waitFor(short events, std::chrono::milliseconds timeout);
    bool sendNow(std::string_view bytes);

    FileDescriptor m_socket;
    int m_stopEvent;
    std::chrono::milliseconds m_idleTimeout;
};

} // namespace waterline::testing
