// The terminal login prompt, driven through a pseudo-terminal: a child process
// (authentication_prompt_probe) shows it on its controlling terminal and prints what
// the dialog stored; the test types the answers and watches the terminal's echo flag.
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/TerminalAuthenticationPresenter.h>
#include <waterline/http/URL.h>

#include "PtyChild.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using waterline::AuthenticationDialog;
using waterline::test::eventually;
using waterline::test::PtyChild;

namespace {

using namespace std::chrono_literals;

const std::string kProbe = std::string(WATERLINE_BINARY_DIR) + "/bin/authentication_prompt_probe";

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
