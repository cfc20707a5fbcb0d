// Ports on 127.0.0.1 for servers started by tests. A free port is found by binding
// port 0 and reading back what the kernel chose; between closing that socket and the
// server binding the port another process may take it, so ServerProcess checks that
// the port is held by its own child and retries a start that lost the race.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <chrono>
#include <cstdint>

#include <netinet/in.h>
#include <sys/types.h>

namespace waterline::testing {

// The socket address 127.0.0.1:port.
sockaddr_in loopbackAddress(std::uint16_t port);

// A port on 127.0.0.1 that was free a moment ago.
ErrorOr<std::uint16_t> pickFreeLoopbackPort();

// True when a TCP connection to 127.0.0.1:port is accepted right now.
bool acceptsConnections(std::uint16_t port);

// True when process `pid` itself holds a socket listening on 127.0.0.1:port (or on
// all addresses at that port). Unlike a test connection this cannot be fooled by
// another program that took the port first.
bool processListensOn(pid_t pid, std::uint16_t port);

} // namespace waterline::testing
