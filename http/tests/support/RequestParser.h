// Reads one HTTP/1.x request from the front of a byte buffer: the request line, the
// header fields, and the body by Content-Length or chunked transfer coding. The buffer
// may hold less than a whole request (the caller reads more and asks again) or more
// (a pipelined next request stays for the next call).
#pragma once

#include <waterline/testing/RecordedRequest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

namespace waterline::testing {

struct ParsedRequest {
    RecordedRequest request;
    std::size_t consumed; // bytes of the buffer the request took
};
struct IncompleteRequest {
    // Set once the head is whole: the body may follow in later reads.
    bool headComplete = false;
};
struct MalformedRequest {
    std::string reason;
};
using RequestParse = std::variant<ParsedRequest, IncompleteRequest, MalformedRequest>;

struct RequestLimits {
    std::size_t maxHeadBytes = 64 * 1024;
    std::size_t maxBodyBytes = 256 * 1024 * 1024;
};

// With `headOnly`, the body is left unread: the request is complete at the blank line.
enum class BodyReading { Whole, HeadOnly };

RequestParse parseRequest(std::string_view buffer, BodyReading reading = BodyReading::Whole,
                          const RequestLimits& limits = {});

} // namespace waterline::testing
