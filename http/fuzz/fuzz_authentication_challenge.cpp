// Feeds arbitrary text to the challenge parser as a field value, then builds the
// authentication object from it and answers it, so that every path from a server's
// challenge to the header we send is exercised. What we send must stay one header
// line whatever the server wrote.
#include <waterline/http/AuthenticationChallenge.h>
#include <waterline/http/HTTPAuthentication.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace waterline;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& challenge : AuthenticationChallenge::parseList(text)) {
        if (challenge.scheme.empty())
            __builtin_trap();
        (void)AuthenticationChallenge::strength(challenge);
    }
    if (text.find_first_of("\r\n") != std::string::npos)
        return 0; // a header line cannot hold these
    HTTPHeaderFields fields;
    fields.set("WWW-Authenticate", text);
    auto authentication = HTTPAuthentication::createFromResponse(fields, HTTPAuthentication::Target::Server);
    if (!authentication)
        return 0;
    static const URL url = *URL::parse("http://127.0.0.1/a?b");
    auto applied = authentication->apply({.username = "user", .password = "pass"},
                                         {.method = "GET", .url = url, .body = std::span<const std::uint8_t>()});
    if (applied && applied->headerValue && applied->headerValue->find_first_of("\r\n") != std::string::npos)
        __builtin_trap();
    authentication->takeNextChallenge(fields);
    return 0;
}
