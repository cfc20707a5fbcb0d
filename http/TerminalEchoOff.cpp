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
    termios settings{}; // as found
    termios echoOff{};  // as the prompt wants them
    struct sigaction ours {};
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

void installHandlers()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_saved.ours, nullptr);
}

// Async-signal-safe: tcsetattr, sigaction and raise are. The handler runs with its
// signal unblocked (SA_NODEFER), so the raise acts at once with the previous
// disposition: it ends the process, or stops it (Ctrl-Z), or runs the program's own
// handler. When it returns the prompt goes on, so its settings come back.
void restoreAndReraise(int signal)
{
    ::tcsetattr(g_saved.terminal, TCSANOW, &g_saved.settings);
    putBackHandlers();
    ::raise(signal);
    installHandlers();
    ::tcsetattr(g_saved.terminal, TCSANOW, &g_saved.echoOff);
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
    g_saved.echoOff = settings;
    g_saved.echoOff.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_saved.echoOff.c_lflag |= ECHONL;
    g_saved.ours = {};
    g_saved.ours.sa_handler = restoreAndReraise;
    g_saved.ours.sa_flags = SA_NODEFER;
    sigemptyset(&g_saved.ours.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_saved.ours, &g_saved.previous[i]);
    m_active = ::tcsetattr(terminal, TCSANOW, &g_saved.echoOff) == 0;
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
