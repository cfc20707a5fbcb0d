#include <waterline/testing/NginxServer.h>

#include "NginxConfig.h"

#include <waterline/foundation/FileIO.h>
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

ErrorOr<void> createFolder(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        return Error::create("NginxServerErrorDomain", error.value(),
                             "Cannot create the folder " + path.string() + ": " + error.message());
    return {};
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
        WL_TRY(createFolder(root));
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
    std::string text = std::string(m_usesTLS ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
    if (!path.starts_with('/'))
        text += '/';
    return text + std::string(path);
}

ErrorOr<void> NginxServer::writeFile(const std::filesystem::path& relativePath, std::string_view bytes) const
{
    auto target = m_root / relativePath;
    WL_TRY(createFolder(target.parent_path()));
    return writeFileAtomically(target, bytes, {.permissions = 0644, .durable = false});
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
