// Turns a terminal's echo off for as long as the object lives (the typed newline is
// still echoed, so the cursor moves on). The previous settings come back when it goes,
// and also when a terminating or stopping signal (Ctrl-C, Ctrl-\, Ctrl-Z, SIGTERM,
// SIGHUP) arrives meanwhile: the handler restores the terminal, puts the signal's
// previous disposition back and raises it again, so the program ends (or stops) as it
// would have, with a usable terminal; a program continued after Ctrl-Z finds the echo
// off again. One at a time per process.
#pragma once

namespace waterline {

class TerminalEchoOff {
public:
    explicit TerminalEchoOff(int terminal);
    ~TerminalEchoOff();
    TerminalEchoOff(const TerminalEchoOff&) = delete;
    TerminalEchoOff& operator=(const TerminalEchoOff&) = delete;

    // False when the terminal's settings could not be read or changed (not a terminal).
    bool isActive() const { return m_active; }

private:
    bool m_active = false;
};

} // namespace waterline
