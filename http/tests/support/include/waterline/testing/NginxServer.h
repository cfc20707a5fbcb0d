// nginx on a free loopback port, for the HTTP client's tests and benchmarks. It runs
// in the foreground as one process under the current user, with its configuration,
// pid file, logs and temporary folders in a folder of its own, and serves:
//
//   /FILE                  files of root(), with byte ranges (*.pac as proxy
//                          auto-configuration scripts, *.txt, *.html, *.json typed)
//   /no-ranges/FILE        the same files, ignoring Range (always the whole file, 200)
//   /gzip/FILE             the same files gzip-encoded (all types, any length) when the
//                          request accepts gzip
//   /as-gzip/FILE          the file's bytes unchanged, labelled "Content-Encoding: gzip"
//                          (for stored or deliberately corrupt gzip data)
//   /echo...               the request echoed in the body, one "name: value" line each
//                          for method, target, protocol and the headers in kEchoedHeaders
//   redirectPath(...)      chains of redirects ending at an echo of the final request
//   /redirect-to/STATUS?url=TARGET
//                          one redirect (301, 302, 303, 307, 308) to TARGET (not
//                          decoded); STATUS 304 answers 304 carrying "Location: TARGET"
//   /cookies/set...?VALUE  one "Set-Cookie: VALUE" (the raw query, not decoded)
//   /cookies/set/NAME      a "Set-Cookie" header for each value of cookieSets[NAME]
//   /cookies/echo...       the request's Cookie header as the body ("" when none)
//   AREA/FILE              for each of options.protectedAreas (Basic only): the files
//                          of root() behind Basic authentication, each request logged
//                          to authLog()
//
// Slow, stalled or malformed answers are not nginx's job: see ScriptedServer.
//
//     auto nginx = WL_TRY(NginxServer::start());
//     WL_TRY(nginx->writeFile("a.txt", "hello"));
//     fetch(nginx->url("/a.txt"));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/ProtectedArea.h>
#include <waterline/testing/ServerProcess.h>
#include <waterline/testing/TLSIdentity.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace waterline::testing {

struct NginxOptions {
    // Serve HTTPS with this certificate instead of plain HTTP.
    std::optional<TLSIdentity> tls{};
    // Answers of /cookies/set/NAME: each value becomes one Set-Cookie header.
    std::map<std::string, std::vector<std::string>> cookieSets{};
    // Parts of the URL space behind Basic authentication (nginx offers no Digest).
    std::vector<ProtectedArea> protectedAreas{};
    // Directives added inside the server block, for a test that needs a location of its own.
    std::string extraServerDirectives{};
    std::filesystem::path executable = "/usr/sbin/nginx";
};

// How a redirect names its target.
enum class RedirectLocation {
    Absolute,     // "http://127.0.0.1:PORT/redirect/302/absolute/2"
    RootRelative, // "/redirect/302/root/2"
    PathRelative, // "2", resolved against the redirecting URL
};

struct RedirectOptions {
    int status = 302; // 301, 302, 303, 307 or 308
    RedirectLocation location = RedirectLocation::RootRelative;
};

class NginxServer {
public:
    static ErrorOr<std::unique_ptr<NginxServer>> start(NginxOptions options = {});

    std::uint16_t port() const { return m_process->port(); }
    bool usesTLS() const { return m_usesTLS; }
    // "http://127.0.0.1:PORT/path" ("https://…" with TLS); a missing leading '/' is added.
    std::string url(std::string_view path) const;

    // The document root, empty at the start; files written here are served at once.
    const std::filesystem::path& root() const { return m_root; }
    // Writes `bytes` to root()/relativePath, creating the folders on the way.
    ErrorOr<void> writeFile(const std::filesystem::path& relativePath, std::string_view bytes) const;

    // One line per request: "GET /a.txt HTTP/1.1 206 10 range=bytes=3-" ("range=-" without Range).
    std::filesystem::path accessLogPath() const { return m_process->folder() / "access.log"; }
    std::string accessLog() const;
    // nginx writes a request's line after the response has gone: wait for it.
    bool waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // One line per request to a protected area:
    // "GET /auth/a.txt 401 user=- authorization=-" or "… 200 user=alice authorization=Basic YWxp…".
    std::filesystem::path authLogPath() const { return m_process->folder() / "auth.log"; }
    std::string authLog() const;
    bool waitForAuthLog(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    const ServerProcess& process() const { return *m_process; }
    void stop() { m_process->stop(); }

    // The path of a chain of `hops` redirects; the last one lands on an echo page.
    static std::string redirectPath(int hops, RedirectOptions options = {});
    static constexpr int kMaxRedirectHops = 10;

    // Request headers the echo pages report, in this order, under these (lower-case) names.
    static constexpr std::array<std::string_view, 12> kEchoedHeaders{
        "host",         "user-agent",     "accept-encoding",  "cookie",  "range",      "authorization",
        "content-type", "content-length", "content-encoding", "referer", "connection", "x-test"};

private:
    NginxServer(std::unique_ptr<ServerProcess> process, std::filesystem::path root, bool usesTLS);

    std::unique_ptr<ServerProcess> m_process;
    std::filesystem::path m_root;
    bool m_usesTLS;
};

} // namespace waterline::testing
