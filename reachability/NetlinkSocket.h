// A routing-netlink socket of the calling thread's network namespace. Query sockets
// send one request at a time and walk the kernel's replies; event sockets join the
// link, address and route multicast groups and are drained by a run-loop source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <linux/netlink.h>

namespace waterline {

// A request message under construction: a netlink header, a fixed family header and
// attributes, laid out with netlink alignment.
class NetlinkRequest {
public:
    NetlinkRequest(std::uint16_t type, std::uint16_t flags, const void* familyHeader, std::size_t size);

    void addAttribute(std::uint16_t type, const void* data, std::size_t size);
    nlmsghdr& header() { return *reinterpret_cast<nlmsghdr*>(m_buffer.data()); }
    std::size_t size() const { return m_buffer.size(); }
    const std::byte* data() const { return m_buffer.data(); }

private:
    std::vector<std::byte> m_buffer;
};

class NetlinkSocket {
public:
    // Groups are RTMGRP_* bits; 0 for a query socket. None when the kernel refuses.
    static std::optional<NetlinkSocket> open(std::uint32_t groups = 0);

    NetlinkSocket(NetlinkSocket&& other) noexcept;
    NetlinkSocket& operator=(NetlinkSocket&& other) noexcept;
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    ~NetlinkSocket();

    int fd() const { return m_fd; }

    // Sends the request and hands every reply message (not the closing DONE or
    // acknowledgement) to `visit`. False when sending fails, no reply comes within the
    // socket's time-out, or the kernel answers with an error (left in errno).
    bool request(NetlinkRequest& request, const std::function<void(const nlmsghdr&)>& visit);

    // Reads and discards every datagram already queued, without blocking. Returns how
    // many were read; an overflowed queue (events lost) counts as one.
    int drain();

private:
    explicit NetlinkSocket(int fd)
        : m_fd(fd)
    {
    }

    int m_fd = -1;
    std::uint32_t m_sequence = 0;
};

} // namespace waterline
