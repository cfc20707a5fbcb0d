// The login dialog for command-line programs: the prompt is written to the controlling
// terminal (/dev/tty, never standard output, which may be a file or a pipe) and the
// answers are read from it: "User", "Password" with echo off, and "Domain" for NTLM.
//
// The main thread only starts the prompt; a reader thread of its own talks to the
// terminal and hands the answer to the main thread, so the main thread stays free while
// the user types. A dialog answered another way meanwhile takes the prompt down (the
// line being typed is dropped). The terminal's settings are restored on every path: an
// answer, an end of input (Ctrl-D, which cancels), a dismissal, and a signal such as
// Ctrl-C, after which the signal takes its usual course. Without a terminal the prompt
// is declined.
//
//     AuthenticationDialog::setPresenter(std::make_shared<TerminalAuthenticationPresenter>());
#pragma once

#include <waterline/http/AuthenticationPresenter.h>

#include <filesystem>

namespace waterline {

class TerminalAuthenticationPresenter : public AuthenticationPresenter {
public:
    explicit TerminalAuthenticationPresenter(std::filesystem::path terminal = "/dev/tty");

    std::unique_ptr<AuthenticationSheet> showDialog(std::shared_ptr<AuthenticationDialog> dialog) override;

private:
    std::filesystem::path m_terminal;
};

} // namespace waterline
