// Shows the terminal login prompt for a request to http://files.example/a (realm
// "Vault", proxy gate.example) on the controlling terminal, waits on the main run loop
// for the answer and prints what the dialog stored, so that a test can drive the prompt
// through a pseudo-terminal:
//
//   authentication_prompt_probe server|proxy SCHEME [cancel-after-ms N]
//
// Prints "result: login user=U password=P domain=D" ("-" for a field left unset) or
// "result: cancel ERROR", then "echo: on" or "echo: off" for the terminal afterwards.
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/TerminalAuthenticationPresenter.h>
#include <waterline/http/URL.h>

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>

using namespace waterline;

namespace {

std::string shown(const std::optional<std::string>& field)
{
    return field ? *field : "-";
}

void printOutcome(const HTTPRequest& request, AuthenticationDialog::Type type)
{
    bool proxy = type == AuthenticationDialog::Type::Proxy;
    if (auto error = request.error())
        std::cout << "result: cancel " << error->localizedDescription() << "\n";
    else
        std::cout << "result: login user=" << shown(proxy ? request.proxyUsername() : request.username())
                  << " password=" << shown(proxy ? request.proxyPassword() : request.password())
                  << " domain=" << shown(proxy ? request.proxyDomain() : request.domain()) << "\n";
    termios settings{};
    bool echo = ::tcgetattr(STDIN_FILENO, &settings) == 0 && (settings.c_lflag & ECHO);
    std::cout << "echo: " << (echo ? "on" : "off") << std::endl;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5) {
        std::cerr << "usage: authentication_prompt_probe server|proxy SCHEME [cancel-after-ms N]\n";
        return 2;
    }
    auto type
        = std::string(argv[1]) == "proxy" ? AuthenticationDialog::Type::Proxy : AuthenticationDialog::Type::Server;
    AuthenticationDialog::setPresenter(std::make_shared<TerminalAuthenticationPresenter>());
    auto request = HTTPRequest::requestWithURL(URL::parse("http://files.example/a"));
    request->setProxyHost("gate.example");
    bool proxy = type == AuthenticationDialog::Type::Proxy;
    auto dialog = AuthenticationDialog::create(
        request, type,
        {.authenticationScheme = proxy ? std::optional<std::string>("Basic") : argv[2],
         .proxyAuthenticationScheme = proxy ? std::optional<std::string>(argv[2]) : std::nullopt,
         .authenticationRealm = "Vault",
         .urlScheme = "http",
         .urlHost = "files.example",
         .proxyHost = "gate.example"});
    dialog->show();
    std::shared_ptr<Timer> canceller;
    if (argc == 5)
        canceller = Timer::singleShot(std::chrono::milliseconds(std::stoi(argv[4])),
                                      [dialog] { dialog->cancelAuthenticationFromDialog(); });
    while (!dialog->isAnswered())
        RunLoop::main().runMode(kDefaultRunLoopMode, 0.1, true);
    dialog.reset(); // takes the prompt down and waits for its thread
    printOutcome(*request, type);
    return 0;
}
