// A record of the process-wide session stores: credentials that were applied, with
// what they were applied for. Server records carry the URL (and the realm when the
// scheme has one); proxy records the proxy's host and port. The fields are named
// after the record keys: "Credentials", "Authentication", "URL", "Host", "Port",
// "AuthenticationScheme", "AuthenticationRealm".
#pragma once

#include <waterline/http/HTTPAuthentication.h>
#include <waterline/http/URL.h>

#include <memory>
#include <optional>
#include <string>

namespace waterline {

struct SessionCredentialRecord {
    CredentialsPtr Credentials;                           // identity: the pointer
    std::shared_ptr<HTTPAuthentication> Authentication{}; // none: a Basic record stored after a pre-emptive success
    std::optional<waterline::URL> URL{};                  // server records
    std::optional<std::string> Host{};                    // proxy records
    std::optional<int> Port{};                            // proxy records
    std::string AuthenticationScheme;
    std::optional<std::string> AuthenticationRealm{};
};

} // namespace waterline
