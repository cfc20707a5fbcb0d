// A request as ScriptedServer received it, so a test can assert what the client sent:
// the request line, the header fields in the order and spelling they arrived, and the
// body (decoded when it came chunked).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace waterline::testing {

struct RecordedRequest {
    std::string method;  // "GET"
    std::string target;  // "/path?query", or "http://host/path" when sent to a proxy
    std::string version; // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool bodyWasChunked = false;
    // The request line and header block exactly as received, up to the blank line.
    std::string head;
    // Which of the server's connections carried it, counting from 1.
    int connection = 0;

    // The first field of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
    // Every value of fields of that name, in order.
    std::vector<std::string> headerValues(std::string_view name) const;
};

} // namespace waterline::testing
