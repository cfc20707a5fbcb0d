// A private D-Bus session bus for tests, optionally with a Secret Service on it: a
// dbus-daemon listening on a socket in a temporary folder, with no service activation
// (nothing starts on the bus unless the test starts it), and gnome-keyring's secrets
// component with a login keyring that has an empty password and is unlocked, kept in
// a HOME of its own inside the folder. Clients are started with clientEnvironment(),
// so the user's own bus and keyring are never touched. Both daemons are stopped by PID
// when the object goes, and the folder is removed.
//
//     auto bus = WL_TRY(SessionBus::start());
//     WL_TRY(bus->startSecretService());
//     runCommand({"secret-tool", "lookup", "host", "a"}, {.environment = bus->clientEnvironment()});
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/TemporaryFolder.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace waterline::testing {

class SessionBus {
public:
    static ErrorOr<std::unique_ptr<SessionBus>> start();
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Starts the Secret Service and waits until it owns its name on the bus. Fails with
    // the reason (gnome-keyring-daemon missing, exited, or never appeared).
    ErrorOr<void> startSecretService();

    // "unix:path=…/bus"
    std::string address() const;
    // DBUS_SESSION_BUS_ADDRESS, HOME and the XDG folders pointing into this bus's
    // folder; DISPLAY and WAYLAND_DISPLAY removed so that nothing can prompt the user.
    std::vector<std::string> clientEnvironment() const;

    // Whether `name` has an owner on this bus right now.
    ErrorOr<bool> nameHasOwner(const std::string& name) const;

private:
    SessionBus(TemporaryFolder folder, pid_t busPid);

    TemporaryFolder m_folder;
    pid_t m_busPid;
    pid_t m_secretServicePid = 0;
};

} // namespace waterline::testing
