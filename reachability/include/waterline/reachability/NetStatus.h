// The answer of the three reachability status queries. The values are part of the
// interface: the HTTP client's bandwidth throttling takes 1 to mean "on a carrier
// network", so they must never be renumbered.
#pragma once

#include <string_view>

namespace waterline {

enum NetStatus : int {
    NetStatusUnreachable = 0, // not reachable without bringing up a connection first
    NetStatusViaWWAN = 1,     // reachable over a transient (carrier data) connection
    NetStatusViaWiFi = 2,     // reachable over a local network
};

// The status under its own name ("NetStatusViaWiFi"); "NetStatusUnknown" for a value
// outside the three.
std::string_view toString(NetStatus status);

} // namespace waterline
