// Reachability flags from the Linux kernel. A handle's flags come from the route the
// kernel would choose for its address (an rtnetlink look-up: no packet is sent) and
// the state of the interface that route leaves by; a host name is resolved first, on
// every reading, within a time limit, and a name that does not resolve reads as not
// reachable. Scheduled handles hear of changes through a netlink socket per run loop
// subscribed to link, address and route events. How each flag bit is derived is told
// in KernelRoutes.h.
//
// Netlink sockets live in the network namespace of the thread that opens them:
// flags are read in the namespace of the reading thread, and change events are those
// of the thread that scheduled the handle on its loop.
#pragma once

#include <chrono>
#include <memory>

#include <waterline/reachability/FlagsProvider.h>

namespace waterline {

class ScheduledRunLoops;

class LinuxFlagsProvider final : public FlagsProvider {
public:
    struct Options {
        // How long one reading may wait for the resolver before the name counts as
        // not resolving.
        std::chrono::milliseconds resolveTimeLimit{2000};
    };

    LinuxFlagsProvider();
    explicit LinuxFlagsProvider(Options options);

    std::shared_ptr<ReachabilityHandle> createWithName(const std::string& hostName) override;
    std::shared_ptr<ReachabilityHandle> createWithAddress(const SocketAddressIPv4& address) override;

private:
    Options m_options;
    std::shared_ptr<ScheduledRunLoops> m_scheduled;
};

} // namespace waterline
