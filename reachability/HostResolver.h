// Turns a host name into an IPv4 address within a time limit. The system resolver
// cannot be interrupted, so the look-up runs on a thread of its own: when the limit
// passes the caller goes on without an answer and the thread finishes later, alone.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "KernelRoutes.h"

namespace waterline {

std::optional<IPv4Bytes> resolveIPv4(const std::string& hostName, std::chrono::milliseconds timeLimit);

} // namespace waterline
