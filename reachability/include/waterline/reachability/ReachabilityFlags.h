// The reachability flag word a flags provider answers for a target. Only five bits
// carry meaning; their values match the ones callers have always stored and compared,
// so they are fixed here rather than left to each provider.
#pragma once

#include <cstdint>
#include <string>

namespace waterline {

using ReachabilityFlags = std::uint32_t;

namespace ReachabilityFlag {
inline constexpr ReachabilityFlags TransientConnection = 1u << 0; // T: a carrier data link
inline constexpr ReachabilityFlags Reachable = 1u << 1;           // R
inline constexpr ReachabilityFlags ConnectionRequired = 1u << 2;  // N: must be brought up first
inline constexpr ReachabilityFlags IsDirect = 1u << 17;           // D: no gateway, an ad-hoc link
inline constexpr ReachabilityFlags IsWWAN = 1u << 18;             // W: cellular
} // namespace ReachabilityFlag

// The set bits by their short letters joined with '+', in the order R, N, D, T, W
// ("R+D"); "none" when no known bit is set.
std::string describeReachabilityFlags(ReachabilityFlags flags);

} // namespace waterline
