// Whether a host, an address, the internet or a local link can be reached right now
// without first bringing up a connection, and, when switched on, a notification
// ("NetworkReachabilityChangedNotification", no object) whenever the flags of a target
// it has looked at change. The notification carries no status: observers ask again.
//
// One shared instance serves the process. It keeps one provider handle per target,
// cached under the target's text, for its whole life. Flags come from a FlagsProvider:
// the shared instance asks the Linux kernel; tests may hand any instance another one.
//
//     auto& reachability = Reachability::sharedReachability();
//     reachability.setNetworkStatusNotificationsEnabled(true);
//     center.addObserver(kReachabilityChangedNotification, [&](auto&) {
//         onCarrier = reachability.internetConnectionStatus() == NetStatusViaWWAN;
//     });
//
// Not thread-safe apart from the notification switch: use an instance from one thread
// at a time. Changes are announced on the run loops of the threads that made the
// checks, in their default mode.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <waterline/reachability/FlagsProvider.h>
#include <waterline/reachability/NetStatus.h>
#include <waterline/reachability/ReachabilityFlags.h>
#include <waterline/reachability/ReachabilityQuery.h>
#include <waterline/reachability/SocketAddressIPv4.h>

namespace waterline {

inline constexpr const char* kReachabilityChangedNotification = "NetworkReachabilityChangedNotification";

class Reachability {
public:
    using QueryCache = std::map<std::string, std::unique_ptr<ReachabilityQuery>>;

    // The process-wide instance over the Linux kernel, made on first use: no host
    // name, no address, notifications off, an empty cache. It lives until exit.
    static Reachability& sharedReachability();

    explicit Reachability(std::shared_ptr<FlagsProvider> provider);
    // Stops listening and releases the cache.
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Stops listening, empties the cache and asks `provider` from now on; lets the
    // shared instance be tested against a provider with set flags.
    void setFlagsProvider(std::shared_ptr<FlagsProvider> provider);

    // Reachable, and either no connection is required or the route is cellular (one
    // the system brings up by itself).
    static bool isReachableWithoutRequiringConnection(ReachabilityFlags flags);

    // One look at a host name, neither cached nor scheduled.
    bool isHostReachable(const std::string& hostName);

    // The default route ("0.0.0.0") and the link-local network ("169.254.0.0"). Both
    // schedule their query on the calling thread's run loop when notifications are on.
    // `flags` receives the flags read, and is left alone when they cannot be read.
    bool isNetworkAvailableFlags(ReachabilityFlags* flags = nullptr);
    bool isAdHocWiFiNetworkAvailableFlags(ReachabilityFlags* flags = nullptr);

    // The cached handle for a host name or a dotted-quad address, made, cached and
    // scheduled on the calling thread's run loop on first use. Empty for empty text,
    // text that is no address, or a handle the provider cannot make.
    std::shared_ptr<ReachabilityHandle> reachabilityRefForHostName(const std::string& hostName);
    std::shared_ptr<ReachabilityHandle> reachabilityRefForAddress(const std::string& addressText);

    // Parses an IPv4 address the way inet_aton does (shortened and hexadecimal forms
    // too) into a record of length 16, family 2, port 0. False for empty text or text
    // inet_aton refuses; the record is then unspecified.
    static bool addressFromString(const std::string& text, SocketAddressIPv4& address);

    NetStatus remoteHostStatus();
    NetStatus internetConnectionStatus();
    NetStatus localWiFiConnectionStatus();

    // Unschedules every cached query from every loop it was scheduled on. The queries
    // stay cached and may be scheduled again by later checks.
    void stopListeningForReachabilityChanges();

    bool networkStatusNotificationsEnabled() const { return m_networkStatusNotificationsEnabled.load(); }
    void setNetworkStatusNotificationsEnabled(bool enabled) { m_networkStatusNotificationsEnabled.store(enabled); }
    const std::optional<std::string>& hostName() const { return m_hostName; }
    void setHostName(std::optional<std::string> hostName) { m_hostName = std::move(hostName); }
    const std::optional<std::string>& address() const { return m_address; }
    void setAddress(std::optional<std::string> address) { m_address = std::move(address); }
    QueryCache& reachabilityQueries() { return m_reachabilityQueries; }
    void setReachabilityQueries(QueryCache queries);

private:
    std::shared_ptr<ReachabilityHandle> cachedHandle(const std::string& key);
    std::shared_ptr<ReachabilityHandle> cacheNewHandle(const std::string& key,
                                                       std::shared_ptr<ReachabilityHandle> handle);
    bool isFixedTargetAvailable(const std::string& key, const SocketAddressIPv4& address, ReachabilityFlags* flags);
    NetStatus statusOfReachableFlags(ReachabilityFlags flags) const;

    std::shared_ptr<FlagsProvider> m_provider;
    std::atomic<bool> m_networkStatusNotificationsEnabled{false};
    std::optional<std::string> m_hostName;
    std::optional<std::string> m_address;
    QueryCache m_reachabilityQueries;
};

} // namespace waterline
