// The terminal login prompt, driven through a pseudo-terminal: a child process
// (authentication_prompt_probe) shows it on its controlling terminal and prints what
// the dialog stored; the test types the answers and watches the terminal's echo flag.
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/TerminalAuthenticationPresenter.h>
#include <waterline/http/URL.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <functional>
#include <thread>

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using waterline::AuthenticationDialog;

namespace {

using namespace std::chrono_literals;

const std::string kProbe = std::string(WATERLINE_BINARY_DIR) + "/bin/authentication_prompt_probe";

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A child process on a pseudo-terminal of its own (its controlling terminal).
class PtyChild {
public:
    explicit PtyChild(std::vector<std::string> argv)
    {
        m_pid = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            std::vector<char*> arguments;
            for (auto& argument : argv)
                arguments.push_back(argument.data());
            arguments.push_back(nullptr);
            ::execv(arguments[0], arguments.data());
            ::_exit(127);
        }
    }
    ~PtyChild()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    bool started() const { return m_pid > 0; }
    const std::string& output() const { return m_output; }

    // Reads what the child writes until `text` has appeared (or 10 s passed).
    bool waitFor(const std::string& text)
    {
        return eventually([&] {
            readAvailable();
            return m_output.find(text) != std::string::npos;
        });
    }
    void type(const std::string& keys) { ASSERT_EQ(::write(m_master, keys.data(), keys.size()), ssize_t(keys.size())); }
    bool echoIsOn() const
    {
        termios settings{};
        return ::tcgetattr(m_master, &settings) == 0 && (settings.c_lflag & ECHO);
    }
    // The wait status once the child ended (within 10 s), else none.
    std::optional<int> exitStatus()
    {
        eventually([&] {
            readAvailable();
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            return m_status.has_value();
        });
        return m_status;
    }

private:
    void readAvailable()
    {
        pollfd wait{m_master, POLLIN, 0};
        while (::poll(&wait, 1, 0) > 0 && (wait.revents & POLLIN)) {
            std::array<char, 512> buffer{};
            auto count = ::read(m_master, buffer.data(), buffer.size());
            if (count <= 0)
                return;
            m_output.append(buffer.data(), static_cast<std::size_t>(count));
        }
    }

    int m_master = -1;
    pid_t m_pid = -1;
    std::string m_output;
    std::optional<int> m_status;
};

TEST(TerminalAuthenticationPresenter, AsksOnTheTerminalAndReadsThePasswordWithoutEcho)
{
    PtyChild child({kProbe, "server", "Basic"});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor("User: ")) << child.output();
    EXPECT_THAT(child.output(),
                HasSubstr("Login to this secure server.\r\nHost: files.example\r\nRealm: Vault\r\n"
                          "Password will be sent in the clear.\r\nUser: "));
    EXPECT_TRUE(child.echoIsOn());
    child.type("alice\n");
    ASSERT_TRUE(child.waitFor("Password: ")) << child.output();
    EXPECT_TRUE(eventually([&] { return !child.echoIsOn(); })) << "the password is read with echo off";
    child.type("s3cret word\n");
    ASSERT_TRUE(child.waitFor("echo: ")) << child.output();
    auto afterQuestion = child.output().substr(child.output().find("Password: "));
    EXPECT_THAT(afterQuestion.substr(0, afterQuestion.find("result:")), Not(HasSubstr("s3cret")));
    EXPECT_TRUE(child.waitFor("result: login user=alice password=s3cret word domain=-\r\necho: on")) << child.output();
    EXPECT_TRUE(child.echoIsOn());
    EXPECT_EQ(child.exitStatus(), 0);
    EXPECT_THAT(child.output(), Not(HasSubstr("Domain:")));
}

TEST(TerminalAuthenticationPresenter, AsksForTheDomainOfAnNtlmProxyAndStoresTheProxyFields)
{
    PtyChild child({kProbe, "proxy", "NTLM"});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitFor("User: ")) << child.output();
    EXPECT_THAT(child.output(),
                AllOf(HasSubstr("Login to this secure proxy server.\r\nHost: gate.example\r\n"),
                      HasSubstr("Password will be sent in the clear.")));
    child.type("bob\n");
    ASSERT_TRUE(child.waitFor("Password: "));
    child.type("pw\n");
    ASSERT_TRUE(child.waitFor("Domain: "));
    EXPECT_TRUE(eventually([&] { return child.echoIsOn(); })) << "echo is back for the domain";
    child.type("OFFICE\n");
    EXPECT_TRUE(child.waitFor("result: login user=bob password=pw domain=OFFICE\r\necho: on")) << child.output();
}

TEST(TerminalAuthenticationPresenter, EndOfInputCancelsAndCtrlCRestoresTheTerminal)
{
    {
        PtyChild child({kProbe, "server", "Digest"});
        ASSERT_TRUE(child.waitFor("User: ")) << child.output();
        child.type("\x04"); // Ctrl-D on an empty line
        EXPECT_TRUE(child.waitFor("result: cancel Authentication needed\r\necho: on")) << child.output();
    }
    {
        PtyChild child({kProbe, "server", "Digest"});
        ASSERT_TRUE(child.waitFor("User: ")) << child.output();
        child.type("carol\n");
        ASSERT_TRUE(child.waitFor("Password: "));
        ASSERT_TRUE(eventually([&] { return !child.echoIsOn(); }));
        child.type("\x03"); // Ctrl-C while the echo is off
        auto status = child.exitStatus();
        ASSERT_TRUE(status) << child.output();
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT) << "Ctrl-C ends the program as usual";
        EXPECT_TRUE(child.echoIsOn()) << "and leaves the terminal echoing";
    }
}

// The dialog answered some other way (here: cancelled by the program) while the user
// was still typing: the prompt goes away, the terminal echoes again, and the line typed
// after that is not taken as an answer.
TEST(TerminalAuthenticationPresenter, ADialogAnsweredElsewhereEndsThePrompt)
{
    PtyChild child({kProbe, "server", "Basic", "cancel-after-ms", "1500"});
    ASSERT_TRUE(child.waitFor("User: ")) << child.output();
    child.type("dave\n");
    EXPECT_TRUE(child.waitFor("result: cancel Authentication needed\r\necho: on")) << child.output();
    EXPECT_EQ(child.exitStatus(), 0);
}

TEST(TerminalAuthenticationPresenter, WithoutATerminalThePromptIsDeclined)
{
    AuthenticationDialog::setPresenter(
        std::make_shared<waterline::TerminalAuthenticationPresenter>("/nonexistent/tty"));
    auto request = waterline::HTTPRequest::requestWithURL(waterline::URL::parse("http://example.org/"));
    AuthenticationDialog::presentAuthenticationDialogForRequest(request);
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->localizedDescription(), "Authentication needed");
    AuthenticationDialog::setPresenter(nullptr);
}

} // namespace
