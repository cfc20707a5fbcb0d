#include <waterline/testing/ApacheServer.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/DocumentRoot.h>
#include <waterline/testing/PasswordFile.h>
#include <waterline/testing/Subprocess.h>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace waterline::testing {

namespace {

// Apache refuses to serve as root; started as root it needs an account to switch to.
std::string accountDirectives()
{
    if (::geteuid() != 0)
        return {};
    for (const char* name : {"www-data", "nobody"}) {
        const passwd* user = ::getpwnam(name);
        const group* group = user ? ::getgrgid(user->pw_gid) : nullptr;
        if (user && group)
            return "User " + std::string(name) + "\nGroup " + group->gr_name + "\n";
    }
    return {};
}

// Apache's double-quoted argument; the texts that reach it were checked for quotes.
std::string quoted(const std::string& text)
{
    std::string result;
    result += '"';
    result += text;
    result += '"';
    return result;
}

std::filesystem::path passwordFile(const std::filesystem::path& folder, std::size_t index)
{
    return folder / ("password-" + std::to_string(index));
}

ErrorOr<void> writePasswordFiles(const std::filesystem::path& folder, const ApacheOptions& options)
{
    for (std::size_t index = 0; index < options.protectedAreas.size(); ++index) {
        const auto& area = options.protectedAreas[index];
        WL_TRY(validateProtectedArea(area));
        if (area.scheme == AuthScheme::Digest)
            WL_TRY(writeDigestPasswordFile(passwordFile(folder, index), area.realm, area.accounts));
        else
            WL_TRY(writeBasicPasswordFile(passwordFile(folder, index), area.accounts));
    }
    return {};
}

std::string moduleLines(const ApacheOptions& options)
{
    std::string text;
    for (const char* name : {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_basic",
                             "auth_digest", "alias", "mime"})
        text += "LoadModule " + std::string(name) + "_module "
            + (options.moduleFolder / ("mod_" + std::string(name) + ".so")).string() + "\n";
    return text;
}

std::string areaBlock(const ProtectedArea& area, const std::filesystem::path& root,
                      const std::filesystem::path& passwordPath)
{
    std::string scheme = toString(area.scheme);
    std::string provider = area.scheme == AuthScheme::Digest ? "AuthDigestProvider" : "AuthBasicProvider";
    return "Alias " + quoted(area.path) + " " + quoted(root.string() + "/") + "\n<Location " + quoted(area.path)
        + ">\n  AuthType " + scheme + "\n  AuthName " + quoted(area.realm) + "\n  " + provider
        + " file\n  AuthUserFile " + quoted(passwordPath.string()) + "\n  Require valid-user\n" + area.extraDirectives
        + "\n</Location>\n";
}

std::string configuration(const std::filesystem::path& folder, const std::filesystem::path& root, std::uint16_t port,
                          const ApacheOptions& options)
{
    auto in = [&](const char* name) { return quoted((folder / name).string()); };
    std::string text = "ServerRoot " + quoted(folder.string()) + "\n" + moduleLines(options) + accountDirectives();
    text += "Listen 127.0.0.1:" + std::to_string(port) + "\nServerName 127.0.0.1\n";
    text += "PidFile " + in("apache.pid") + "\nErrorLog " + in("error.log") + "\nLogLevel info\nDefaultRuntimeDir "
        + in("") + "\nMutex file:" + folder.string() + " default\nScoreBoardFile " + in("scoreboard") + "\n";
    text += "StartServers 1\nServerLimit 2\nThreadsPerChild 16\nMaxRequestWorkers 32\nMinSpareThreads 1\n"
            "MaxSpareThreads 32\nKeepAlive On\n";
    text += "LogFormat \"%m %U %>s user=%u authorization=%{Authorization}i\" auth\nCustomLog " + in("access.log")
        + " auth\n";
    text += "TypesConfig /dev/null\nAddType text/plain .txt\nDocumentRoot " + quoted(root.string()) + "\n";
    for (std::size_t index = 0; index < options.protectedAreas.size(); ++index)
        text += areaBlock(options.protectedAreas[index], root, passwordFile(folder, index));
    return text + options.extraDirectives + "\n";
}

} // namespace

ErrorOr<std::unique_ptr<ApacheServer>> ApacheServer::start(ApacheOptions options)
{
    std::filesystem::path root;
    auto prepare = [&](const std::filesystem::path& folder, std::uint16_t port) -> ErrorOr<std::vector<std::string>> {
        root = folder / "root";
        WL_TRY(createFolders(root));
        WL_TRY(writePasswordFiles(folder, options));
        auto configPath = folder / "apache.conf";
        WL_TRY(writeFileAtomically(configPath, configuration(folder, root, port, options),
                                   {.permissions = 0644, .durable = false}));
        return std::vector<std::string>{options.executable.string(), "-DFOREGROUND", "-f", configPath.string()};
    };
    auto process = WL_TRY(ServerProcess::start({.name = "apache", .prepare = prepare, .logNames = {"error.log"}}));
    return std::unique_ptr<ApacheServer>(new ApacheServer(std::move(process), std::move(root)));
}

std::string ApacheServer::url(std::string_view path) const
{
    return loopbackURL("http", port(), path);
}

ErrorOr<void> ApacheServer::writeFile(const std::filesystem::path& relativePath, std::string_view bytes) const
{
    return writeServedFile(m_root, relativePath, bytes);
}

std::string ApacheServer::accessLog() const
{
    return fileText(accessLogPath());
}

bool ApacheServer::waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout) const
{
    return waitForFileText(accessLogPath(), text, timeout);
}

} // namespace waterline::testing
