// A flags provider whose answers are set by hand, for testing what is built on top of
// reachability without depending on the machine's network. It behaves like the
// kernel-backed one: handles read the flags set for their target, and when a test
// changes those flags every handle of that target scheduled on a run loop is called
// back on that loop, in its default mode, if its flags differ from the ones last seen
// there.
//
// A target is named by its text: the host name, or the address in dotted-quad form
// ("0.0.0.0" for the default route, "169.254.0.0" for the link-local network).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <waterline/reachability/FlagsProvider.h>

namespace waterline {

class ScheduledRunLoops;

class TestFlagsProvider final : public FlagsProvider {
public:
    TestFlagsProvider();

    // Sets a target's flags; none makes its flags unreadable. Scheduled handles of the
    // target hear of the change on their loops.
    void setFlags(const std::string& target, std::optional<ReachabilityFlags> flags);
    // The flags of targets never set (0 to begin with).
    void setDefaultFlags(std::optional<ReachabilityFlags> flags);
    // While set, no handle can be made.
    void setRefusesHandles(bool refuses);

    // How many handles were made for a target, and on how many run loops its handles
    // are scheduled now.
    int handlesCreated(const std::string& target) const;
    int scheduledRunLoopCount(const std::string& target) const;

    std::shared_ptr<ReachabilityHandle> createWithName(const std::string& hostName) override;
    std::shared_ptr<ReachabilityHandle> createWithAddress(const SocketAddressIPv4& address) override;

    struct Answers; // the flags set, shared with the handles

private:
    std::shared_ptr<ReachabilityHandle> create(const std::string& target);

    std::shared_ptr<Answers> m_answers;
    std::shared_ptr<ScheduledRunLoops> m_scheduled;
};

} // namespace waterline
