#include <waterline/testing/SessionBus.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/Subprocess.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

namespace waterline::testing {

namespace {

using namespace std::chrono_literals;

constexpr const char* kDomain = "SessionBusErrorDomain";
enum ErrorCode { NotReady = 1, CannotCreate };
constexpr auto kStartLimit = 10s;
constexpr const char* kSecretServiceName = "org.freedesktop.secrets";

std::string busConfiguration(const std::filesystem::path& socket)
{
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n  <type>session</type>\n  <listen>unix:path="
        + socket.string()
        + "</listen>\n  <auth>EXTERNAL</auth>\n"
          "  <policy context=\"default\">\n"
          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n    <allow eavesdrop=\"true\"/>\n"
          "    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
}

bool acceptsUnixConnections(const std::filesystem::path& socketPath)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return connected;
}

// Polls `ready` until it holds; fails when `pid` ends first or the limit passes.
ErrorOr<void> waitUntil(const std::string& what, pid_t pid, const std::filesystem::path& log,
                        const std::function<bool()>& ready)
{
    auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (!ready()) {
        if (auto exit = pollProcess(pid))
            return Error::create(kDomain, NotReady, what + " " + exit->description() + ":\n" + fileTail(log));
        if (std::chrono::steady_clock::now() >= deadline) {
            stopProcess(pid, {.grace = 2s});
            return Error::create(kDomain, NotReady, what + " was not ready within 10 s:\n" + fileTail(log));
        }
        std::this_thread::sleep_for(20ms);
    }
    return {};
}

ErrorOr<void> createPrivateFolder(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        return Error::create(kDomain, CannotCreate, "Cannot create " + path.string() + ": " + error.message());
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, error);
    return {};
}

} // namespace

ErrorOr<std::unique_ptr<SessionBus>> SessionBus::start()
{
    auto folder = WL_TRY(TemporaryFolder::create());
    auto configPath = folder / "bus.conf";
    WL_TRY(writeFileAtomically(configPath, busConfiguration(folder / "bus"), {.durable = false}));
    auto log = folder / "bus.log";
    auto pid = WL_TRY(spawnProcess({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + configPath.string()},
                                   {.outputPath = log}));
    auto socket = folder / "bus";
    WL_TRY(waitUntil("dbus-daemon", pid, log, [&] { return acceptsUnixConnections(socket); }));
    return std::unique_ptr<SessionBus>(new SessionBus(std::move(folder), pid));
}

SessionBus::SessionBus(TemporaryFolder folder, pid_t busPid)
    : m_folder(std::move(folder))
    , m_busPid(busPid)
{
}

SessionBus::~SessionBus()
{
    if (m_secretServicePid > 0)
        stopProcess(m_secretServicePid, {.grace = 2s});
    stopProcess(m_busPid, {.grace = 2s});
}

std::string SessionBus::address() const
{
    return "unix:path=" + (m_folder / "bus").string();
}

std::vector<std::string> SessionBus::clientEnvironment() const
{
    auto in = [&](const char* name) { return (m_folder / name).string(); };
    return {"DBUS_SESSION_BUS_ADDRESS=" + address(),
            "HOME=" + in("home"),
            "XDG_RUNTIME_DIR=" + in("runtime"),
            "XDG_DATA_HOME=" + in("home/.local/share"),
            "XDG_CONFIG_HOME=" + in("home/.config"),
            "XDG_CACHE_HOME=" + in("home/.cache"),
            "DISPLAY",
            "WAYLAND_DISPLAY"};
}

ErrorOr<bool> SessionBus::nameHasOwner(const std::string& name) const
{
    auto result = WL_TRY(runCommand({"dbus-send", "--bus=" + address(), "--print-reply", "--dest=org.freedesktop.DBus",
                                     "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name},
                                    {.timeout = 10s}));
    if (!result.exit.succeeded())
        return Error::create(kDomain, NotReady, "dbus-send " + result.exit.description() + ": " + result.output);
    return result.output.find("boolean true") != std::string::npos;
}

ErrorOr<void> SessionBus::startSecretService()
{
    WL_TRY(createPrivateFolder(m_folder / "home"));
    WL_TRY(createPrivateFolder(m_folder / "runtime"));
    // --unlock reads the login keyring's password from standard input: one empty line.
    auto passwordPath = m_folder / "empty-password";
    WL_TRY(writeFileAtomically(passwordPath, "\n", {.permissions = 0600, .durable = false}));
    auto log = m_folder / "secret-service.log";
    m_secretServicePid
        = WL_TRY(spawnProcess({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"},
                              {.outputPath = log, .inputPath = passwordPath, .environment = clientEnvironment()}));
    auto ready = waitUntil("gnome-keyring-daemon", m_secretServicePid, log, [&] {
        auto owned = nameHasOwner(kSecretServiceName);
        return owned && *owned;
    });
    if (!ready)
        m_secretServicePid = 0; // it ended, or waitUntil stopped it
    return ready;
}

} // namespace waterline::testing
