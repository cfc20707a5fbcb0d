// The persistent store is the desktop's Secret Service, reached through libsecret on the
// session bus. Each protection space holds at most one credential, its default: saving
// replaces what the space held. Without a reachable service (no session bus, no service
// on it, or one that does not answer in time) the store is empty and a save is dropped
// with one line on standard error per process; credentials are never written anywhere
// else, least of all in plain text. Once the service has failed to answer, the store
// stays off for the rest of the process, so that later requests do not each wait for
// the time limit again.
#include <waterline/http/PersistentCredentialStore.h>

#include "SecretServiceClient.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace waterline {

namespace {

using namespace std::chrono_literals;

// Every call to the service is bounded by this; a lookup that must first connect may
// take three of them.
constexpr auto kCallLimit = 3s;

SecretAttributes spaceAttributes(const ProtectionSpace& space)
{
    bool proxy = space.kind == ProtectionSpace::Kind::HTTPProxy;
    return {
        {"host", space.host},   {"port", std::to_string(space.port)},      {"scheme", proxy ? "proxy" : space.scheme},
        {"realm", space.realm}, {"kind", proxy ? "http-proxy" : "server"},
    };
}

std::string itemLabel(const StoredCredential& credential, const ProtectionSpace& space)
{
    std::string label = space.kind == ProtectionSpace::Kind::HTTPProxy ? "HTTP proxy login " : "Web login ";
    label += credential.user;
    label += '@';
    label += space.host;
    if (space.port != 0) {
        label += ':';
        label += std::to_string(space.port);
    }
    if (!space.realm.empty()) {
        label += " (";
        label += space.realm;
        label += ')';
    }
    return label;
}

void reportDroppedSave(const ErrorPtr& reason)
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "waterline: credentials are not saved: %s\n", reason->localizedDescription().c_str());
}

// The client and whether it still deserves a try, under one lock: libsecret's shared
// service object and our main context serve one caller at a time.
class SecretServiceAccess {
public:
    template <typename Operation>
    auto with(Operation&& operation) -> decltype(operation(std::declval<SecretServiceClient&>()))
    {
        std::lock_guard guard(m_mutex);
        if (m_failure)
            return m_failure;
        auto result = operation(m_client);
        if (result.isError() && givesUpOn(result.error()))
            m_failure = result.error();
        return result;
    }

private:
    // Any failure to connect, and any call left unanswered; not an error the service
    // answered with (a locked collection, a refused item).
    static bool givesUpOn(const ErrorPtr& error) { return error->code() != Refused; }

    std::mutex m_mutex;
    SecretServiceClient m_client{kCallLimit};
    ErrorPtr m_failure;
};

SecretServiceAccess& secretService()
{
    static SecretServiceAccess access;
    return access;
}

} // namespace

PersistentCredentialStore& PersistentCredentialStore::shared()
{
    static PersistentCredentialStore store;
    return store;
}

std::optional<StoredCredential> PersistentCredentialStore::defaultCredential(const ProtectionSpace& space)
{
    auto found
        = secretService().with([&](SecretServiceClient& client) { return client.findNewest(spaceAttributes(space)); });
    if (!found || !*found)
        return std::nullopt;
    auto user = (*found)->attributes.find("user");
    if (user == (*found)->attributes.end())
        return std::nullopt;
    return StoredCredential{user->second, (*found)->secret};
}

void PersistentCredentialStore::setDefaultCredential(const StoredCredential& credential, const ProtectionSpace& space)
{
    auto saved = secretService().with([&](SecretServiceClient& client) -> ErrorOr<void> {
        auto attributes = spaceAttributes(space);
        WL_TRY(client.clear(attributes));
        attributes["user"] = credential.user;
        return client.store(attributes, itemLabel(credential, space), credential.password);
    });
    if (!saved)
        reportDroppedSave(saved.error());
}

void PersistentCredentialStore::removeDefaultCredential(const ProtectionSpace& space)
{
    auto removed
        = secretService().with([&](SecretServiceClient& client) { return client.clear(spaceAttributes(space)); });
    (void)removed; // nothing to remove, or no service: either way the space holds nothing we can reach
}

} // namespace waterline
