#include <waterline/testing/ScriptedReply.h>

#include <cstdio>

namespace waterline::testing {

namespace {

std::string hex(std::size_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%zx", value);
    return text;
}

} // namespace

const char* ScriptedReply::reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 407:
        return "Proxy Authentication Required";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string ScriptedReply::head(int status, const HeaderFields& headers)
{
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers)
        text += name + ": " + value + "\r\n";
    return text + "\r\n";
}

ScriptedReply ScriptedReply::response(int status, HeaderFields headers, std::string body)
{
    headers.emplace_back("Content-Length", std::to_string(body.size()));
    return {.bytes = head(status, headers) + body, .after = AfterReply::KeepAlive};
}

ScriptedReply ScriptedReply::chunked(int status, HeaderFields headers, const std::vector<std::string>& pieces)
{
    headers.emplace_back("Transfer-Encoding", "chunked");
    std::string bytes = head(status, headers);
    for (const auto& piece : pieces) {
        if (!piece.empty()) // an empty chunk would end the body early
            bytes += hex(piece.size()) + "\r\n" + piece + "\r\n";
    }
    bytes += "0\r\n\r\n";
    return {.bytes = std::move(bytes), .after = AfterReply::KeepAlive};
}

ScriptedReply ScriptedReply::challenge(int status, const std::vector<std::string>& challenges, std::string body)
{
    const char* field = status == 407 ? "Proxy-Authenticate" : "WWW-Authenticate";
    HeaderFields headers;
    for (const auto& challenge : challenges)
        headers.emplace_back(field, challenge);
    return response(status, std::move(headers), std::move(body));
}

ScriptedReply ScriptedReply::raw(std::string bytes)
{
    return {.bytes = std::move(bytes), .after = AfterReply::Close};
}

ScriptedReply ScriptedReply::cutBody(int status, const std::string& body, std::size_t sentBytes)
{
    auto bytes = head(status, {{"Content-Length", std::to_string(body.size())}}) + body.substr(0, sentBytes);
    return raw(std::move(bytes));
}

ScriptedReply ScriptedReply::headersThenHang(int status, std::optional<std::size_t> contentLength)
{
    HeaderFields headers;
    if (contentLength)
        headers.emplace_back("Content-Length", std::to_string(*contentLength));
    return {.bytes = head(status, headers), .after = AfterReply::Hang};
}

ScriptedReply ScriptedReply::hang()
{
    return {.bytes = {}, .after = AfterReply::Hang};
}

} // namespace waterline::testing
