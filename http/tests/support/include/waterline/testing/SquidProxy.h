// squid as a forward proxy on a free loopback port, for the HTTP client's proxy tests.
// It runs in the foreground (-N) with no cache, its configuration, pid file, logs and
// shared-memory names of its own, and allows requests from loopback to loopback only:
// plain requests and CONNECT tunnels to any loopback port (TLS through the proxy). Its
// access log shows which requests went through it.
//
//     auto proxy = WL_TRY(SquidProxy::start());
//     request->setProxy("127.0.0.1", proxy->port());
//     EXPECT_TRUE(proxy->waitForAccessLog("GET " + nginx->url("/a.txt")));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/ProtectedArea.h>
#include <waterline/testing/ServerProcess.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace waterline::testing {

enum class ProxyAuthScheme { Basic, NTLM };

struct ProxyAuthentication {
    // Offered in this order, one Proxy-Authenticate header each.
    std::vector<ProxyAuthScheme> schemes{ProxyAuthScheme::Basic};
    std::string realm = "Waterline proxy"; // Basic only
    std::vector<UserAccount> accounts{};   // Basic only
    std::filesystem::path helperFolder = "/usr/lib/squid";
};

struct SquidOptions {
    std::optional<ProxyAuthentication> authentication{};

    // Directives added at the end of the configuration.
    std::string extraDirectives{};
    std::filesystem::path executable = "/usr/sbin/squid";
};

class SquidProxy {
public:
    static ErrorOr<std::unique_ptr<SquidProxy>> start(SquidOptions options = {});

    std::uint16_t port() const { return m_process->port(); }
    // "http://127.0.0.1:PORT", the proxy's own address.
    std::string url() const;

    // One line per request handled, written as each request ends.
    std::filesystem::path accessLogPath() const { return m_process->folder() / "access.log"; }
    std::string accessLog() const;
    // squid writes a request's line when it ends; a CONNECT tunnel ends only after the
    // client closed it: wait for the line.
    bool waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    const ServerProcess& process() const { return *m_process; }
    void stop() { m_process->stop(); }

private:
    explicit SquidProxy(std::unique_ptr<ServerProcess> process)
        : m_process(std::move(process))
    {
    }

    std::unique_ptr<ServerProcess> m_process;
};

} // namespace waterline::testing
