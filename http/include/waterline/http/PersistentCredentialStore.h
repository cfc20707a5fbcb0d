// Credentials kept across runs, one default credential per protection space (a
// server's host, port, scheme and realm, or a proxy's host, port and realm).
#pragma once

#include <optional>
#include <string>

namespace waterline {

struct StoredCredential {
    std::string user;
    std::string password;
};

struct ProtectionSpace {
    enum class Kind { Server, HTTPProxy };
    Kind kind = Kind::Server;
    std::string host;
    int port = 0;       // 0: the URL names no port
    std::string scheme; // "http" or "https"; empty for a proxy
    std::string realm;
};

class PersistentCredentialStore {
public:
    static PersistentCredentialStore& shared();

    std::optional<StoredCredential> defaultCredential(const ProtectionSpace& space);
    void setDefaultCredential(const StoredCredential& credential, const ProtectionSpace& space);
    void removeDefaultCredential(const ProtectionSpace& space);
};

} // namespace waterline
