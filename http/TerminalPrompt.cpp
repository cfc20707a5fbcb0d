#include "TerminalPrompt.h"

#include "TerminalEchoOff.h"

#include <waterline/foundation/FileIO.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace waterline {

TerminalPrompt::TerminalPrompt(FileDescriptor terminal, TerminalPromptText text, Answered answered)
    : m_terminal(std::move(terminal))
    , m_text(std::move(text))
    , m_answered(std::move(answered))
{
    std::array<int, 2> pipe{-1, -1};
    if (::pipe2(pipe.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = FileDescriptor(pipe[0]);
        m_wakeWrite = FileDescriptor(pipe[1]);
    }
}

TerminalPrompt::~TerminalPrompt()
{
    abort();
    if (m_thread.joinable())
        m_thread.join();
}

void TerminalPrompt::start()
{
    m_thread = std::thread([this] { run(); });
}

void TerminalPrompt::abort()
{
    if (m_wakeWrite) {
        char byte = 1;
        [[maybe_unused]] auto written = ::write(m_wakeWrite.get(), &byte, 1);
    }
}

void TerminalPrompt::write(const std::string& text)
{
    // A terminal that stopped taking output fails the next read as well.
    [[maybe_unused]] auto result = writeAll(m_terminal.get(), text);
}

// Canonical mode hands over whole lines; a read may still return a line in parts.
TerminalPrompt::LineResult TerminalPrompt::readLine(std::string& line)
{
    line.clear();
    while (true) {
        std::array<pollfd, 2> waits{{{m_terminal.get(), POLLIN, 0}, {m_wakeRead.get(), POLLIN, 0}}};
        if (::poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return LineResult::EndOfInput;
        }
        if (waits[1].revents != 0)
            return LineResult::Aborted;
        std::array<char, 256> buffer{};
        auto count = ::read(m_terminal.get(), buffer.data(), buffer.size());
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count <= 0)
            return LineResult::EndOfInput;
        line.append(buffer.data(), static_cast<std::size_t>(count));
        if (line.ends_with('\n')) {
            line.pop_back();
            return LineResult::Line;
        }
    }
}

TerminalPrompt::LineResult TerminalPrompt::ask(const TerminalQuestion& question, std::string& answer)
{
    write(question.label + ": ");
    if (!question.hidden)
        return readLine(answer);
    TerminalEchoOff echoOff(m_terminal.get());
    return readLine(answer);
}

void TerminalPrompt::run()
{
    std::string intro;
    for (const auto& line : m_text.lines)
        intro += line + "\n";
    write(intro);
    std::vector<std::string> answers;
    for (const auto& question : m_text.questions) {
        std::string answer;
        switch (ask(question, answer)) {
        case LineResult::Aborted:
            write("\n");
            return;
        case LineResult::EndOfInput:
            write("\n");
            m_answered(std::nullopt);
            return;
        case LineResult::Line:
            answers.push_back(std::move(answer));
            break;
        }
    }
    m_answered(std::move(answers));
}

} // namespace waterline
