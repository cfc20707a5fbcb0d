// The 16-byte IPv4 socket address record handed to a flags provider. It keeps the
// length-prefixed layout (length byte, one-byte family) that reachability callers
// have always filled in, which differs from Linux's own sockaddr_in, so it is a type
// of its own with the bytes spelled out.
#pragma once

#include <array>
#include <cstdint>

namespace waterline {

struct SocketAddressIPv4 {
    static constexpr std::uint8_t kLength = 16;
    static constexpr std::uint8_t kFamilyInet = 2;

    std::uint8_t length = 0;
    std::uint8_t family = 0;
    std::array<std::uint8_t, 2> port{};    // network byte order
    std::array<std::uint8_t, 4> address{}; // network byte order: 10.0.0.1 is 0A 00 00 01
    std::array<std::uint8_t, 8> zero{};

    // A filled-in record for the four address bytes, port 0.
    static SocketAddressIPv4 make(std::array<std::uint8_t, 4> addressBytes)
    {
        return {kLength, kFamilyInet, {}, addressBytes, {}};
    }

    friend bool operator==(const SocketAddressIPv4&, const SocketAddressIPv4&) = default;
};

static_assert(sizeof(SocketAddressIPv4) == 16);

} // namespace waterline
