// What the kernel's routing tables say about reaching an IPv4 address, read over
// rtnetlink without sending a packet, and the reachability flags that follows from it.
//
// Linux has no "reachability" of its own, so the flags are derived from the route the
// kernel would use and the interface it leaves by:
//   R  a unicast (or local) route exists through an interface that is up and running;
//   N  such a route exists but its interface has no carrier (up, not running): the link
//      would have to come up first, and nothing on Linux brings it up on demand, so N
//      is never paired with R here;
//   W+T the interface is a cellular or PPP link: device type or link kind "wwan" or
//      "ppp", PPP hardware, or a name beginning with "wwan" or "ppp";
//   D  the route has no gateway and the interface is not such a link: traffic goes
//      straight onto a local segment. A carrier link's gateway-less route is not an
//      ad-hoc network, so it never reads as D.
// The address 0.0.0.0 stands for the default route: the main table's default routes
// are examined, lowest metric first, preferring one whose interface is running.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <waterline/reachability/ReachabilityFlags.h>

#include "NetlinkSocket.h"

namespace waterline {

struct KernelRoute {
    int outputInterface = 0;
    bool hasGateway = false;
    std::uint8_t type = 0; // RTN_*
    std::uint32_t priority = 0;
};

struct KernelLink {
    unsigned flags = 0;              // IFF_*
    unsigned short hardwareType = 0; // ARPHRD_*
    std::string name;
    std::string kind;       // the link driver's kind ("veth", "ppp", "wwan"), if any
    std::string deviceType; // the kernel's device type ("wwan", "ppp"), if any
};

using IPv4Bytes = std::array<std::uint8_t, 4>;

bool isCellularLink(const KernelLink& link);
ReachabilityFlags flagsForRoute(const KernelRoute& route, const KernelLink& link);

class KernelRoutes {
public:
    // None when no routing socket can be opened in this thread's network namespace.
    static std::optional<KernelRoutes> open();

    // The route the kernel would choose for the address; none when there is none.
    std::optional<KernelRoute> routeTo(const IPv4Bytes& address);
    std::vector<KernelRoute> defaultRoutes();
    std::optional<KernelLink> link(int index);

    // The flags for the address; 0.0.0.0 asks about the default route.
    ReachabilityFlags flagsForAddress(const IPv4Bytes& address);

private:
    explicit KernelRoutes(NetlinkSocket socket)
        : m_socket(std::move(socket))
    {
    }

    ReachabilityFlags flagsForDefaultRoute();

    NetlinkSocket m_socket;
};

} // namespace waterline
