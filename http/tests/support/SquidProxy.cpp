#include <waterline/testing/SquidProxy.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/testing/PasswordFile.h>
#include <waterline/testing/Subprocess.h>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace waterline::testing {

namespace {

constexpr const char* kDomain = "SquidProxyErrorDomain";

// squid refuses to run as root; started as root it switches to this user, which must
// then own its folder.
struct Account {
    std::string name;
    uid_t uid;
    gid_t gid;
};

std::optional<Account> unprivilegedAccount()
{
    if (::geteuid() != 0)
        return std::nullopt;
    for (const char* name : {"proxy", "nobody"}) {
        if (const passwd* entry = ::getpwnam(name))
            return Account{name, entry->pw_uid, entry->pw_gid};
    }
    return std::nullopt;
}

// squid names its shared-memory segments after the service name (-n); a name of our
// own keeps parallel proxies apart and lets us remove what a killed one left.
std::string uniqueServiceName()
{
    std::string name = "wl";
    for (char c : globallyUniqueString()) {
        if (std::isalnum(static_cast<unsigned char>(c)) && name.size() < 14)
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

void removeSharedMemory(const std::string& serviceName)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        if (entry.path().filename().string().starts_with(serviceName + "-"))
            std::filesystem::remove(entry.path(), error);
    }
}

std::filesystem::path passwordFile(const std::filesystem::path& folder)
{
    return folder / "proxy-htpasswd";
}

ErrorOr<std::string> authenticationRules(const std::filesystem::path& folder, const SquidOptions& options)
{
    if (!options.authentication)
        return std::string{};
    const auto& authentication = *options.authentication;
    if (authentication.realm.find_first_of("\r\n") != std::string::npos)
        return Error::create(kDomain, 1, "A proxy realm may not hold a line break: " + authentication.realm);
    std::string text;
    for (auto scheme : authentication.schemes) {
        if (scheme == ProxyAuthScheme::Basic) {
            WL_TRY(writeBasicPasswordFile(passwordFile(folder), authentication.accounts));
            text += "auth_param basic program " + (authentication.helperFolder / "basic_ncsa_auth").string() + " "
                + passwordFile(folder).string() + "\nauth_param basic realm " + authentication.realm
                + "\nauth_param basic children 2 startup=1 idle=1\n";
        } else {
            text += "auth_param ntlm program " + (authentication.helperFolder / "ntlm_fake_auth").string()
                + "\nauth_param ntlm children 2 startup=1 idle=1\n";
        }
    }
    return text + "acl authenticated proxy_auth REQUIRED\nhttp_access deny !authenticated\n";
}

ErrorOr<std::string> configuration(const std::filesystem::path& folder, std::uint16_t port, const SquidOptions& options,
                                   const std::optional<Account>& account)
{
    auto in = [&](const char* name) { return (folder / name).string(); };
    std::string text = "http_port 127.0.0.1:" + std::to_string(port) + "\n";
    if (account)
        text += "cache_effective_user " + account->name + "\n";
    text += "visible_hostname waterline-test-proxy\n"
            "acl from_loopback src 127.0.0.0/8\n"
            "acl to_loopback dst 127.0.0.0/8\n"
            "acl CONNECT method CONNECT\n";
    // Authentication comes ahead of the access rules, so that nothing passes without it.
    text += WL_TRY(authenticationRules(folder, options));
    text += "http_access allow CONNECT from_loopback to_loopback\n"
            "http_access deny CONNECT\n"
            "http_access allow from_loopback to_loopback\n"
            "http_access deny all\n"
            "cache deny all\n"
            "cache_mem 0 MB\n"
            "pinger_enable off\n"
            "netdb_filename none\n"
            "cache_store_log none\n"
            "shutdown_lifetime 0 seconds\n"
            "access_log stdio:"
        + in("access.log") + "\ncache_log " + in("cache.log") + "\npid_filename " + in("squid.pid") + "\ncoredump_dir "
        + folder.string() + "\n";
    return text + options.extraDirectives + "\n";
}

ErrorOr<void> handFolderTo(const std::filesystem::path& folder, const std::optional<Account>& account)
{
    if (account && ::chown(folder.c_str(), account->uid, account->gid) != 0)
        return Error::create(kDomain, errno,
                             "Cannot hand " + folder.string() + " to " + account->name + ": " + errnoText(errno));
    return {};
}

} // namespace

ErrorOr<std::unique_ptr<SquidProxy>> SquidProxy::start(SquidOptions options)
{
    auto account = unprivilegedAccount();
    auto serviceName = uniqueServiceName();
    auto prepare = [&](const std::filesystem::path& folder, std::uint16_t port) -> ErrorOr<std::vector<std::string>> {
        WL_TRY(handFolderTo(folder, account));
        auto configPath = folder / "squid.conf";
        auto text = WL_TRY(configuration(folder, port, options, account));
        WL_TRY(writeFileAtomically(configPath, text, {.permissions = 0644, .durable = false}));
        return std::vector<std::string>{options.executable.string(), "-N", "-n", serviceName, "-f",
                                        configPath.string()};
    };
    auto process = WL_TRY(ServerProcess::start(
        {.name = "squid", .prepare = prepare, .logNames = {"cache.log"}, .afterStop = [serviceName] {
             removeSharedMemory(serviceName);
         }}));
    return std::unique_ptr<SquidProxy>(new SquidProxy(std::move(process)));
}

std::string SquidProxy::url() const
{
    return "http://127.0.0.1:" + std::to_string(port());
}

bool SquidProxy::waitForAccessLog(std::string_view text, std::chrono::milliseconds timeout) const
{
    return waitForFileText(accessLogPath(), text, timeout);
}

std::string SquidProxy::accessLog() const
{
    return fileText(accessLogPath());
}

} // namespace waterline::testing
