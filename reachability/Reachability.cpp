// The reachability rules, independent of where the flags come from.
#include <waterline/reachability/Reachability.h>

#include <arpa/inet.h>
#include <cstring>

#include <waterline/foundation/RunLoop.h>
#include <waterline/reachability/LinuxFlagsProvider.h>

namespace waterline {

namespace {

// The two targets every instance checks: the default route and the link-local network.
const std::string kDefaultRouteTarget = "0.0.0.0";
const std::string kLinkLocalTarget = "169.254.0.0";

} // namespace

Reachability& Reachability::sharedReachability()
{
    // Never destroyed: it may be asked from any thread until the very end of the process.
    static Reachability* shared = new Reachability(std::make_shared<LinuxFlagsProvider>());
    return *shared;
}

Reachability::Reachability(std::shared_ptr<FlagsProvider> provider)
    : m_provider(std::move(provider))
{
}

Reachability::~Reachability()
{
    stopListeningForReachabilityChanges();
}

void Reachability::setFlagsProvider(std::shared_ptr<FlagsProvider> provider)
{
    stopListeningForReachabilityChanges();
    m_reachabilityQueries.clear();
    m_provider = std::move(provider);
}

bool Reachability::isReachableWithoutRequiringConnection(ReachabilityFlags flags)
{
    bool reachable = flags & ReachabilityFlag::Reachable;
    bool connectionRequired = flags & ReachabilityFlag::ConnectionRequired;
    bool cellular = flags & ReachabilityFlag::IsWWAN;
    return reachable && (!connectionRequired || cellular);
}

bool Reachability::isHostReachable(const std::string& hostName)
{
    if (hostName.empty())
        return false;
    auto handle = m_provider->createWithName(hostName);
    if (!handle)
        return false;
    auto flags = handle->getFlags();
    return flags && isReachableWithoutRequiringConnection(*flags);
}

bool Reachability::addressFromString(const std::string& text, SocketAddressIPv4& address)
{
    if (text.empty())
        return false;
    address = SocketAddressIPv4::make({0, 0, 0, 0});
    in_addr parsed{};
    if (::inet_aton(text.c_str(), &parsed) == 0)
        return false;
    std::memcpy(address.address.data(), &parsed.s_addr, 4); // already in network byte order
    return true;
}

std::shared_ptr<ReachabilityHandle> Reachability::cachedHandle(const std::string& key)
{
    auto it = m_reachabilityQueries.find(key);
    if (it == m_reachabilityQueries.end())
        return nullptr;
    return it->second->reachabilityRef();
}

std::shared_ptr<ReachabilityHandle> Reachability::cacheNewHandle(const std::string& key,
                                                                 std::shared_ptr<ReachabilityHandle> handle)
{
    if (!handle)
        return nullptr;
    auto query = std::make_unique<ReachabilityQuery>(*this);
    query->setHostNameOrAddress(key);
    query->setReachabilityRef(handle);
    query->scheduleOnRunLoop(&RunLoop::current());
    m_reachabilityQueries[key] = std::move(query);
    return handle;
}

std::shared_ptr<ReachabilityHandle> Reachability::reachabilityRefForHostName(const std::string& hostName)
{
    if (hostName.empty())
        return nullptr;
    if (auto handle = cachedHandle(hostName))
        return handle;
    return cacheNewHandle(hostName, m_provider->createWithName(hostName));
}

std::shared_ptr<ReachabilityHandle> Reachability::reachabilityRefForAddress(const std::string& addressText)
{
    SocketAddressIPv4 address;
    if (!addressFromString(addressText, address))
        return nullptr;
    if (auto handle = cachedHandle(addressText))
        return handle;
    return cacheNewHandle(addressText, m_provider->createWithAddress(address));
}

bool Reachability::isFixedTargetAvailable(const std::string& key, const SocketAddressIPv4& address,
                                          ReachabilityFlags* flags)
{
    auto it = m_reachabilityQueries.find(key);
    if (it == m_reachabilityQueries.end() || !it->second->reachabilityRef()) {
        auto query = std::make_unique<ReachabilityQuery>(*this);
        query->setHostNameOrAddress(key);
        query->setReachabilityRef(m_provider->createWithAddress(address));
        it = m_reachabilityQueries.insert_or_assign(key, std::move(query)).first;
    }
    ReachabilityQuery& query = *it->second;
    // Every check tries, so switching notifications on takes effect at the next check.
    query.scheduleOnRunLoop(&RunLoop::current());

    if (!query.reachabilityRef())
        return false;
    auto read = query.reachabilityRef()->getFlags();
    if (!read)
        return false;
    if (flags)
        *flags = *read;
    return isReachableWithoutRequiringConnection(*read);
}

bool Reachability::isNetworkAvailableFlags(ReachabilityFlags* flags)
{
    return isFixedTargetAvailable(kDefaultRouteTarget, SocketAddressIPv4::make({0, 0, 0, 0}), flags);
}

bool Reachability::isAdHocWiFiNetworkAvailableFlags(ReachabilityFlags* flags)
{
    return isFixedTargetAvailable(kLinkLocalTarget, SocketAddressIPv4::make({0xA9, 0xFE, 0, 0}), flags);
}

NetStatus Reachability::statusOfReachableFlags(ReachabilityFlags flags) const
{
    return (flags & ReachabilityFlag::TransientConnection) ? NetStatusViaWWAN : NetStatusViaWiFi;
}

NetStatus Reachability::internetConnectionStatus()
{
    ReachabilityFlags flags = 0;
    if (!isNetworkAvailableFlags(&flags))
        return NetStatusUnreachable;
    if (flags & ReachabilityFlag::IsDirect)
        return NetStatusUnreachable; // only an ad-hoc link: no way out to the internet
    return statusOfReachableFlags(flags);
}

NetStatus Reachability::remoteHostStatus()
{
    std::shared_ptr<ReachabilityHandle> handle;
    if (m_hostName)
        handle = reachabilityRefForHostName(*m_hostName);
    else if (m_address)
        handle = reachabilityRefForAddress(*m_address);
    if (!handle)
        return NetStatusUnreachable;
    auto flags = handle->getFlags();
    if (!flags || !isReachableWithoutRequiringConnection(*flags))
        return NetStatusUnreachable;
    return statusOfReachableFlags(*flags);
}

NetStatus Reachability::localWiFiConnectionStatus()
{
    ReachabilityFlags flags = 0;
    if (isAdHocWiFiNetworkAvailableFlags(&flags) && (flags & ReachabilityFlag::IsDirect))
        return NetStatusViaWiFi;
    return NetStatusUnreachable;
}

void Reachability::stopListeningForReachabilityChanges()
{
    for (auto& [target, query] : m_reachabilityQueries) {
        if (query->reachabilityRef()) {
            for (auto* runLoop : query->runLoops())
                query->reachabilityRef()->unscheduleFromRunLoop(runLoop);
        }
        query->setRunLoops({});
    }
}

void Reachability::setReachabilityQueries(QueryCache queries)
{
    m_reachabilityQueries = std::move(queries);
}

} // namespace waterline
