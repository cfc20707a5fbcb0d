// The seam between the reachability monitor and the system that knows the network:
// it makes handles for host names and IPv4 addresses. LinuxFlagsProvider asks the
// kernel over rtnetlink; TestFlagsProvider answers flags a test sets.
#pragma once

#include <memory>
#include <string>

#include <waterline/reachability/ReachabilityHandle.h>
#include <waterline/reachability/SocketAddressIPv4.h>

namespace waterline {

class FlagsProvider {
public:
    virtual ~FlagsProvider() = default;

    // Empty when no handle can be made for the target.
    virtual std::shared_ptr<ReachabilityHandle> createWithName(const std::string& hostName) = 0;
    virtual std::shared_ptr<ReachabilityHandle> createWithAddress(const SocketAddressIPv4& address) = 0;
};

} // namespace waterline
