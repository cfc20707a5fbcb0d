// One run of the terminal login prompt on a thread of its own (see
// TerminalAuthenticationPresenter.h). The owner starts it, may abort it at any time
// (a wake-up pipe ends the wait for input), and joins it when it goes.
#pragma once

#include <waterline/foundation/FileDescriptor.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace waterline {

struct TerminalQuestion {
    std::string label;   // "User"
    bool hidden = false; // read without echo
};

struct TerminalPromptText {
    std::vector<std::string> lines; // shown before the questions
    std::vector<TerminalQuestion> questions;
};

class TerminalPrompt {
public:
    // `answered` gets the answers in question order, or none when input ended (Ctrl-D)
    // or the terminal failed; it runs on the prompt's thread and is not called after
    // an abort.
    using Answered = std::function<void(std::optional<std::vector<std::string>>)>;

    TerminalPrompt(FileDescriptor terminal, TerminalPromptText text, Answered answered);
    ~TerminalPrompt(); // aborts and joins
    TerminalPrompt(const TerminalPrompt&) = delete;
    TerminalPrompt& operator=(const TerminalPrompt&) = delete;

    void start();
    void abort();

private:
    enum class LineResult { Line, EndOfInput, Aborted };
    void run();
    LineResult readLine(std::string& line);
    LineResult ask(const TerminalQuestion& question, std::string& answer);
    void write(const std::string& text);

    FileDescriptor m_terminal;
    TerminalPromptText m_text;
    Answered m_answered;
    FileDescriptor m_wakeRead;
    FileDescriptor m_wakeWrite;
    std::thread m_thread;
};

} // namespace waterline
