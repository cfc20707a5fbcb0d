// Routing-netlink plumbing kept apart from what the replies mean (KernelRoutes).
#include "NetlinkSocket.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace waterline {

namespace {

// Long enough for a route table dump of a busy host in a few datagrams; the kernel
// never splits one message across datagrams.
constexpr std::size_t kReceiveBufferSize = 32 * 1024;

// A query the kernel has not answered within this time is treated as failed, so a
// wedged socket can never hang a run loop.
constexpr int kReplyTimeoutSeconds = 1;

} // namespace

NetlinkRequest::NetlinkRequest(std::uint16_t type, std::uint16_t flags, const void* familyHeader, std::size_t size)
    : m_buffer(NLMSG_SPACE(size))
{
    auto& h = header();
    h.nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(size));
    h.nlmsg_type = type;
    h.nlmsg_flags = flags;
    std::memcpy(m_buffer.data() + NLMSG_HDRLEN, familyHeader, size);
}

void NetlinkRequest::addAttribute(std::uint16_t type, const void* data, std::size_t size)
{
    std::size_t offset = NLMSG_ALIGN(header().nlmsg_len);
    std::size_t length = NLA_HDRLEN + size;
    m_buffer.resize(offset + NLA_ALIGN(length));
    nlattr attribute{static_cast<std::uint16_t>(length), type};
    std::memcpy(m_buffer.data() + offset, &attribute, sizeof attribute);
    std::memcpy(m_buffer.data() + offset + NLA_HDRLEN, data, size);
    header().nlmsg_len = static_cast<std::uint32_t>(offset + length);
}

std::optional<NetlinkSocket> NetlinkSocket::open(std::uint32_t groups)
{
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | (groups ? SOCK_NONBLOCK : 0), NETLINK_ROUTE);
    if (fd < 0)
        return std::nullopt;
    NetlinkSocket socket(fd);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0)
        return std::nullopt;
    if (!groups) {
        timeval timeout{kReplyTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    return socket;
}

NetlinkSocket::NetlinkSocket(NetlinkSocket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_sequence(other.m_sequence)
{
}

NetlinkSocket& NetlinkSocket::operator=(NetlinkSocket&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_sequence = other.m_sequence;
    }
    return *this;
}

NetlinkSocket::~NetlinkSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool NetlinkSocket::request(NetlinkRequest& request, const std::function<void(const nlmsghdr&)>& visit)
{
    auto& header = request.header();
    header.nlmsg_seq = ++m_sequence;
    header.nlmsg_pid = 0;
    header.nlmsg_flags |= NLM_F_REQUEST;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(m_fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return false;

    std::vector<char> buffer(kReceiveBufferSize);
    bool multipart = false;
    for (;;) {
        ssize_t received = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        auto remaining = static_cast<unsigned>(received);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_seq != m_sequence)
                continue; // a late reply to an earlier request that timed out
            if (message->nlmsg_type == NLMSG_DONE)
                return true;
            if (message->nlmsg_type == NLMSG_ERROR) {
                auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
                if (message->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)))
                    return false;
                if (error->error == 0)
                    return true; // acknowledgement
                errno = -error->error;
                return false;
            }
            multipart = multipart || (message->nlmsg_flags & NLM_F_MULTI);
            visit(*message);
            if (!multipart)
                return true;
        }
    }
}

int NetlinkSocket::drain()
{
    std::vector<char> buffer(kReceiveBufferSize);
    int count = 0;
    for (;;) {
        ssize_t received = ::recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (received >= 0) {
            ++count;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == ENOBUFS) {
            ++count; // the kernel dropped events; the caller must look again anyway
            continue;
        }
        return count;
    }
}

} // namespace waterline
