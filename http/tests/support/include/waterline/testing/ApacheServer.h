// Apache httpd on a free loopback port, for the tests of Digest and Basic
// authentication. It runs in the foreground (-DFOREGROUND) with a minimal configuration
// of its own (only the modules it needs loaded), its pid file, logs, lock files and
// password files in a folder of its own, and serves:
//
//   /FILE        files of root(), without authentication
//   AREA/FILE    for each of options.protectedAreas: the same files behind Basic or
//                Digest authentication (Digest: MD5 with qop "auth"; this build of the
//                digest module refuses SHA-256), each request logged to accessLog()
//
// Started as root it serves as an unprivileged account (www-data, else nobody), which
// reads the files through the folder's 0755/0644 permissions.
//
//     auto apache = WL_TRY(ApacheServer::start({.protectedAreas = {{.path = "/digest/",
//         .scheme = AuthScheme::Digest, .accounts = {{"alice", "wonderland"}}}}}));
//     WL_TRY(apache->writeFile("a.txt", "hello"));
//     fetch(apache->url("/digest/a.txt"));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/ProtectedArea.h>
#include <waterline/testing/ServerProcess.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace waterline::testing {

struct ApacheOptions {
    std::vector<ProtectedArea> protectedAreas{};
    // Directives added at the end of the configuration.
    std::string extraDirectives{};
    std::filesystem::path executable = "/usr/sbin/apache2";
    std::filesystem::path moduleFolder = "/usr/lib/apache2/modules";
};

class ApacheServer {
public:
    static ErrorOr<std::unique_ptr<ApacheServer>> start(ApacheOptions options = {});

    std::uint16_t port() const { return m_process->port(); }
    // "http://127.0.0.1:PORT/path"; a missing leading '/' is added.
    std::string url(std::string_view path) const;

    const std::filesystem::path& root() const { return m_root; }
    ErrorOr<void> writeFile(const std::filesystem::path& relativePath, std::string_view bytes) const;

    // One line per request, written after the response:
    // "GET /digest/a.txt 401 user=- authorization=-", "… 200 user=alice authorization=Digest username=\"alice\", …"
    // (Apache writes a '"' of a header as \").
    std::filesystem::path accessLogPath() const { return m_process->folder() / "access.log"; }
    std::string accessLog() const;
    bool waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    const ServerProcess& process() const { return *m_process; }
    void stop() { m_process->stop(); }

private:
    ApacheServer(std::unique_ptr<ServerProcess> process, std::filesystem::path root)
        : m_process(std::move(process))
        , m_root(std::move(root))
    {
    }

    std::unique_ptr<ServerProcess> m_process;
    std::filesystem::path m_root;
};

} // namespace waterline::testing
