#include "TerminalEchoOff.h"

#include <array>
#include <csignal>
#include <mutex>

#include <termios.h>

namespace waterline {

namespace {

constexpr std::array kSignals{SIGINT, SIGQUIT, SIGTSTP, SIGTERM, SIGHUP};

// What the signal handler needs, written before the handlers are installed and read
// only by them and by the destructor (all under the one-at-a-time lock).
struct SavedState {
    int terminal = -1;
    termios settings{};
    std::array<struct sigaction, kSignals.size()> previous{};
};

SavedState g_saved;

std::mutex& oneAtATime()
{
    static std::mutex lock;
    return lock;
}

void putBackHandlers()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_saved.previous[i], nullptr);
}

// Async-signal-safe: tcsetattr, sigaction and raise are.
void restoreAndReraise(int signal)
{
    ::tcsetattr(g_saved.terminal, TCSANOW, &g_saved.settings);
    putBackHandlers();
    ::raise(signal);
}

} // namespace

TerminalEchoOff::TerminalEchoOff(int terminal)
{
    oneAtATime().lock();
    termios settings{};
    if (::tcgetattr(terminal, &settings) != 0) {
        oneAtATime().unlock();
        return;
    }
    g_saved.terminal = terminal;
    g_saved.settings = settings;
    struct sigaction handler {};
    handler.sa_handler = restoreAndReraise;
    sigemptyset(&handler.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &handler, &g_saved.previous[i]);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    settings.c_lflag |= ECHONL;
    m_active = ::tcsetattr(terminal, TCSANOW, &settings) == 0;
    if (!m_active) {
        putBackHandlers();
        oneAtATime().unlock();
    }
}

TerminalEchoOff::~TerminalEchoOff()
{
    if (!m_active)
        return;
    ::tcsetattr(g_saved.terminal, TCSANOW, &g_saved.settings);
    putBackHandlers();
    oneAtATime().unlock();
}

} // namespace waterline
