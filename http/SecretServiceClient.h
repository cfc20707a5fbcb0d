// The few Secret Service operations the persistent credential store needs, over
// libsecret, each bounded in time (BoundedAsyncCall). Items carry a schema of our own,
// so a search never finds another program's secrets. Not thread-safe: the store calls
// it under its lock.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace waterline {

inline constexpr const char* kSecretServiceErrorDomain = "SecretServiceErrorDomain";
enum SecretServiceErrorCode {
    NoSessionBus = 1, // nothing tells where the session bus is
    Unreachable,      // the bus or the service could not be reached
    TimedOut,         // a call was not answered in time
    Refused,          // the service answered with an error (a locked collection, ...)
};

using SecretAttributes = std::map<std::string, std::string>;

struct SecretItemRecord {
    SecretAttributes attributes;
    std::string secret;
};

class SecretServiceClient {
public:
    explicit SecretServiceClient(std::chrono::milliseconds callLimit);
    ~SecretServiceClient();
    SecretServiceClient(const SecretServiceClient&) = delete;
    SecretServiceClient& operator=(const SecretServiceClient&) = delete;

    // Connects on first use; fails when no session bus or no Secret Service answers.
    ErrorOr<void> connect();

    // The most recently changed unlocked item whose attributes include `attributes`.
    ErrorOr<std::optional<SecretItemRecord>> findNewest(const SecretAttributes& attributes);
    // Removes every item whose attributes include `attributes`.
    ErrorOr<void> clear(const SecretAttributes& attributes);
    // Stores an item in the default collection.
    ErrorOr<void> store(const SecretAttributes& attributes, const std::string& label, const std::string& secret);

private:
    struct Handles;
    std::chrono::milliseconds m_callLimit;
    std::unique_ptr<Handles> m_handles;
};

} // namespace waterline
