// What ScriptedServer does with one request: the exact bytes to send (well-formed or
// not), how to send them (at once, after a delay, or dripped slowly), and what follows
// (close, wait for the next request on the same connection, or hang until the server
// stops). The factories build the common answers; the fields allow anything else.
//
//     server.enqueue(ScriptedReply::response(200, {{"Content-Type", "text/plain"}}, "hello"));
//     server.enqueue(ScriptedReply::raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"));   // cut short
//     server.enqueue(ScriptedReply::challenge(401, {"Basic realm=\"test\""}));
//     server.enqueue(ScriptedReply::hang());                                     // never answers
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace waterline::testing {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

// How much of the request is read before answering.
enum class RequestReading {
    Whole,    // head and body (by Content-Length or chunked), answering "100 Continue" when asked
    HeadOnly, // only the head: a body stays unread, so the client's upload stalls
    Nothing,  // nothing at all, the request is not recorded: for a reply taken when a new
              // connection is accepted (on a kept-alive connection it reads as HeadOnly)
};

enum class AfterReply {
    KeepAlive, // read the next request on the same connection
    Close,     // close the connection
    Hang,      // keep the connection open, silent, until the client closes it or the server stops
};

// Sending a few bytes at a time with a pause between.
struct Drip {
    std::size_t chunkBytes = 1;
    std::chrono::milliseconds interval{10};
};

struct ScriptedReply {
    std::string bytes;
    AfterReply after = AfterReply::Close;
    RequestReading reading = RequestReading::Whole;
    std::chrono::milliseconds delay{0}; // before the first byte
    std::optional<Drip> drip{};

    // A well-formed response with Content-Length; the connection stays open.
    static ScriptedReply response(int status, HeaderFields headers = {}, std::string body = {});
    // A response whose body goes in chunked transfer coding, one chunk per piece.
    static ScriptedReply chunked(int status, HeaderFields headers, const std::vector<std::string>& pieces);
    // 401 with WWW-Authenticate or 407 with Proxy-Authenticate fields, one per challenge.
    static ScriptedReply challenge(int status, const std::vector<std::string>& challenges, std::string body = {});
    // Exactly these bytes, then the connection is closed.
    static ScriptedReply raw(std::string bytes);
    // A response announcing all of `body` but sending only its first `sentBytes`, then closing.
    static ScriptedReply cutBody(int status, const std::string& body, std::size_t sentBytes);
    // The status line and headers (announcing `contentLength` when given), then silence.
    static ScriptedReply headersThenHang(int status, std::optional<std::size_t> contentLength);
    // Reads the request, never answers.
    static ScriptedReply hang();

    // The status line and header block, ending in the blank line.
    static std::string head(int status, const HeaderFields& headers);
    static const char* reasonPhrase(int status);
};

} // namespace waterline::testing
