// Route and link look-ups over rtnetlink (RTM_GETROUTE, RTM_GETLINK). A look-up only
// consults the routing tables; no packet leaves the machine.
#include "KernelRoutes.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include <net/if.h> // before the linux headers, which then leave IFF_* to it
#include <sys/socket.h>

#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>

namespace waterline {

namespace {

template <typename Visit> void forEachAttribute(const rtattr* attribute, unsigned length, Visit visit)
{
    for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length))
        visit(*attribute);
}

std::uint32_t attributeU32(const rtattr& attribute)
{
    std::uint32_t value = 0;
    if (RTA_PAYLOAD(&attribute) >= sizeof value)
        std::memcpy(&value, RTA_DATA(&attribute), sizeof value);
    return value;
}

std::string attributeString(const rtattr& attribute)
{
    auto* text = static_cast<const char*>(RTA_DATA(&attribute));
    return std::string(text, strnlen(text, RTA_PAYLOAD(&attribute)));
}

// The first next hop of a multipath route stands for the route.
void readFirstNextHop(const rtattr& multipath, KernelRoute& route)
{
    auto* hop = static_cast<const rtnexthop*>(RTA_DATA(&multipath));
    if (RTA_PAYLOAD(&multipath) < sizeof(rtnexthop) || hop->rtnh_len < sizeof(rtnexthop))
        return;
    route.outputInterface = hop->rtnh_ifindex;
    forEachAttribute(RTNH_DATA(hop), hop->rtnh_len - RTNH_LENGTH(0), [&](const rtattr& attribute) {
        if (attribute.rta_type == RTA_GATEWAY || attribute.rta_type == RTA_VIA)
            route.hasGateway = true;
    });
}

struct ParsedRoute {
    KernelRoute route;
    std::uint8_t destinationLength = 0;
    std::uint32_t table = 0;
};

std::optional<ParsedRoute> parseRoute(const nlmsghdr& message)
{
    if (message.nlmsg_type != RTM_NEWROUTE || message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return std::nullopt;
    auto* header = static_cast<const rtmsg*>(NLMSG_DATA(&message));
    if (header->rtm_family != AF_INET)
        return std::nullopt;
    ParsedRoute parsed;
    parsed.route.type = header->rtm_type;
    parsed.destinationLength = header->rtm_dst_len;
    parsed.table = header->rtm_table;
    forEachAttribute(RTM_RTA(header), RTM_PAYLOAD(&message), [&](const rtattr& attribute) {
        switch (attribute.rta_type) {
        case RTA_OIF:
            parsed.route.outputInterface = static_cast<int>(attributeU32(attribute));
            break;
        case RTA_GATEWAY:
        case RTA_VIA:
            parsed.route.hasGateway = true;
            break;
        case RTA_PRIORITY:
            parsed.route.priority = attributeU32(attribute);
            break;
        case RTA_TABLE:
            parsed.table = attributeU32(attribute);
            break;
        case RTA_MULTIPATH:
            readFirstNextHop(attribute, parsed.route);
            break;
        default:
            break;
        }
    });
    return parsed;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The DEVTYPE a driver gave its device (modems say "wwan", PPP links "ppp"). Netlink
// does not carry it, so it comes from the device's uevent file in sysfs. Sysfs shows
// the interfaces of the namespace it was mounted in, so the answer only counts when
// the interface found there has the same index (IFINDEX): a namesake in another
// namespace is not mistaken for this one.
std::string deviceTypeOf(const std::string& name, int index)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    int fd = ::open(("/sys/class/net/" + name + "/uevent").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[1024];
    ssize_t length = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (length <= 0)
        return {};
    std::string deviceType;
    bool sameIndex = false;
    std::string_view text(buffer, static_cast<std::size_t>(length));
    while (!text.empty()) {
        auto end = text.find('\n');
        auto line = text.substr(0, end);
        if (line.starts_with("DEVTYPE="))
            deviceType = line.substr(8);
        if (line.starts_with("IFINDEX="))
            sameIndex = line.substr(8) == std::to_string(index);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return sameIndex ? deviceType : std::string{};
}

} // namespace

bool isCellularLink(const KernelLink& link)
{
    for (const char* cellular : {"wwan", "ppp"}) {
        if (link.deviceType == cellular || link.kind == cellular || startsWith(link.name, cellular))
            return true;
    }
    return link.hardwareType == ARPHRD_PPP;
}

ReachabilityFlags flagsForRoute(const KernelRoute& route, const KernelLink& link)
{
    if (route.type != RTN_UNICAST && route.type != RTN_LOCAL)
        return 0; // unreachable, blackhole, prohibit: the kernel would refuse to send
    if (!(link.flags & IFF_UP))
        return 0;
    ReachabilityFlags flags
        = (link.flags & IFF_RUNNING) ? ReachabilityFlag::Reachable : ReachabilityFlag::ConnectionRequired;
    if (isCellularLink(link))
        flags |= ReachabilityFlag::IsWWAN | ReachabilityFlag::TransientConnection;
    else if (!route.hasGateway)
        flags |= ReachabilityFlag::IsDirect;
    return flags;
}

std::optional<KernelRoutes> KernelRoutes::open()
{
    auto socket = NetlinkSocket::open();
    if (!socket)
        return std::nullopt;
    return KernelRoutes(std::move(*socket));
}

std::optional<KernelRoute> KernelRoutes::routeTo(const IPv4Bytes& address)
{
    rtmsg header{};
    header.rtm_family = AF_INET;
    header.rtm_dst_len = 32;
    NetlinkRequest request(RTM_GETROUTE, 0, &header, sizeof header);
    request.addAttribute(RTA_DST, address.data(), address.size());
    std::optional<KernelRoute> found;
    bool answered = m_socket.request(request, [&](const nlmsghdr& message) {
        if (auto parsed = parseRoute(message))
            found = parsed->route;
    });
    // A refusal (no route: ENETUNREACH, EHOSTUNREACH) simply means none.
    return answered ? found : std::nullopt;
}

std::vector<KernelRoute> KernelRoutes::defaultRoutes()
{
    rtmsg header{};
    header.rtm_family = AF_INET;
    NetlinkRequest request(RTM_GETROUTE, NLM_F_DUMP, &header, sizeof header);
    std::vector<KernelRoute> routes;
    m_socket.request(request, [&](const nlmsghdr& message) {
        auto parsed = parseRoute(message);
        if (parsed && parsed->destinationLength == 0 && parsed->table == RT_TABLE_MAIN
            && parsed->route.type == RTN_UNICAST)
            routes.push_back(parsed->route);
    });
    std::stable_sort(routes.begin(), routes.end(),
                     [](const KernelRoute& a, const KernelRoute& b) { return a.priority < b.priority; });
    return routes;
}

std::optional<KernelLink> KernelRoutes::link(int index)
{
    ifinfomsg header{};
    header.ifi_family = AF_UNSPEC;
    header.ifi_index = index;
    NetlinkRequest request(RTM_GETLINK, 0, &header, sizeof header);
    std::optional<KernelLink> found;
    m_socket.request(request, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWLINK || message.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg)))
            return;
        auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
        KernelLink link;
        link.flags = info->ifi_flags;
        link.hardwareType = info->ifi_type;
        forEachAttribute(IFLA_RTA(info), IFLA_PAYLOAD(&message), [&](const rtattr& attribute) {
            if (attribute.rta_type == IFLA_IFNAME)
                link.name = attributeString(attribute);
            if (attribute.rta_type == IFLA_LINKINFO) {
                forEachAttribute(static_cast<const rtattr*>(RTA_DATA(&attribute)), RTA_PAYLOAD(&attribute),
                                 [&](const rtattr& nested) {
                                     if (nested.rta_type == IFLA_INFO_KIND)
                                         link.kind = attributeString(nested);
                                 });
            }
        });
        if (link.hardwareType != ARPHRD_LOOPBACK) // never a modem; spares a file read
            link.deviceType = deviceTypeOf(link.name, info->ifi_index);
        found = std::move(link);
    });
    return found;
}

ReachabilityFlags KernelRoutes::flagsForAddress(const IPv4Bytes& address)
{
    if (address == IPv4Bytes{0, 0, 0, 0})
        return flagsForDefaultRoute();
    auto route = routeTo(address);
    if (!route)
        return 0;
    auto outgoing = link(route->outputInterface);
    return outgoing ? flagsForRoute(*route, *outgoing) : 0;
}

ReachabilityFlags KernelRoutes::flagsForDefaultRoute()
{
    std::optional<ReachabilityFlags> fallback;
    for (const auto& route : defaultRoutes()) {
        auto outgoing = link(route.outputInterface);
        if (!outgoing)
            continue;
        ReachabilityFlags flags = flagsForRoute(route, *outgoing);
        if (flags & ReachabilityFlag::Reachable)
            return flags;
        if (flags && !fallback)
            fallback = flags; // a route that needs its link brought up beats none
    }
    return fallback.value_or(0);
}

} // namespace waterline
