#include <waterline/testing/NginxServer.h>

#include "NginxConfig.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/DocumentRoot.h>
#include <waterline/testing/PasswordFile.h>
#include <waterline/testing/Subprocess.h>

namespace waterline::testing {

namespace {

const char* locationName(RedirectLocation location)
{
    switch (location) {
    case RedirectLocation::Absolute:
        return "absolute";
    case RedirectLocation::RootRelative:
        return "root";
    case RedirectLocation::PathRelative:
        return "relative";
    }
    return "";
}

ErrorOr<void> writePasswordFiles(const std::filesystem::path& folder, const NginxOptions& options)
{
    for (std::size_t index = 0; index < options.protectedAreas.size(); ++index)
        WL_TRY(writeBasicPasswordFile(nginxPasswordFile(folder, index), options.protectedAreas[index].accounts));
    return {};
}

} // namespace

ErrorOr<std::unique_ptr<NginxServer>> NginxServer::start(NginxOptions options)
{
    std::filesystem::path root;
    auto prepare = [&](const std::filesystem::path& folder, std::uint16_t port) -> ErrorOr<std::vector<std::string>> {
        root = folder / "root";
        WL_TRY(createFolders(root));
        WL_TRY(writePasswordFiles(folder, options));
        auto config = WL_TRY(nginxConfig({.folder = folder, .root = root, .port = port, .options = options}));
        auto configPath = folder / "nginx.conf";
        WL_TRY(writeFileAtomically(configPath, config, {.durable = false}));
        return std::vector<std::string>{options.executable.string(), "-p", folder.string(), "-c", configPath.string()};
    };
    auto process = WL_TRY(ServerProcess::start({.name = "nginx", .prepare = prepare}));
    bool usesTLS = options.tls.has_value();
    return std::unique_ptr<NginxServer>(new NginxServer(std::move(process), std::move(root), usesTLS));
}

NginxServer::NginxServer(std::unique_ptr<ServerProcess> process, std::filesystem::path root, bool usesTLS)
    : m_process(std::move(process))
    , m_root(std::move(root))
    , m_usesTLS(usesTLS)
{
}

std::string NginxServer::url(std::string_view path) const
{
    return loopbackURL(m_usesTLS ? "https" : "http", port(), path);
}

ErrorOr<void> NginxServer::writeFile(const std::filesystem::path& relativePath, std::string_view bytes) const
{
    return writeServedFile(m_root, relativePath, bytes);
}

std::string NginxServer::accessLog() const
{
    return fileText(accessLogPath());
}

bool NginxServer::waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout) const
{
    return waitForFileText(accessLogPath(), text, timeout);
}

std::string NginxServer::authLog() const
{
    return fileText(authLogPath());
}

bool NginxServer::waitForAuthLog(std::string_view text, std::chrono::milliseconds timeout) const
{
    return waitForFileText(authLogPath(), text, timeout);
}

std::string NginxServer::redirectPath(int hops, RedirectOptions options)
{
    return "/redirect/" + std::to_string(options.status) + "/" + locationName(options.location) + "/"
        + std::to_string(hops);
}

} // namespace waterline::testing
