// Certificates for TLS tests, made with the openssl command in a temporary folder of
// their own: a certificate authority the client can be told to trust, and server
// identities for 127.0.0.1 and localhost — one valid, one expired, one for another
// host, all issued by that authority — and a self-signed one no authority vouches for.
// Keys are P-256, which is quick to make.
//
//     auto authority = WL_TRY(TestCertificateAuthority::create());
//     auto nginx = WL_TRY(NginxServer::start({.tls = authority->server()}));
//     request->setCertificateAuthorityFile(authority->certificatePath());
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/TLSIdentity.h>
#include <waterline/testing/TemporaryFolder.h>

#include <filesystem>
#include <memory>

namespace waterline::testing {

class TestCertificateAuthority {
public:
    static ErrorOr<std::unique_ptr<TestCertificateAuthority>> create();

    // The authority's own certificate (PEM): what a client trusts.
    std::filesystem::path certificatePath() const { return m_folder / "ca.pem"; }
    // Valid now for IP 127.0.0.1 and DNS localhost, issued by the authority.
    TLSIdentity server() const { return identity("server"); }
    // Like server(), but valid only during January 2020.
    TLSIdentity expired() const { return identity("expired"); }
    // Valid now but only for the name "other.invalid", issued by the authority.
    TLSIdentity wrongHost() const { return identity("wrong-host"); }
    // For 127.0.0.1 and localhost, signed by its own key instead of the authority.
    TLSIdentity selfSigned() const { return identity("self-signed"); }

    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    explicit TestCertificateAuthority(TemporaryFolder folder)
        : m_folder(std::move(folder))
    {
    }
    TLSIdentity identity(const char* name) const
    {
        return {m_folder / (std::string(name) + ".pem"), m_folder / (std::string(name) + ".key")};
    }

    TemporaryFolder m_folder;
};

} // namespace waterline::testing
