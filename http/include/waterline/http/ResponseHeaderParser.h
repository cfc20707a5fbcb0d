// Reads an HTTP/1.x response header block as it arrives, in pieces of any size: the
// status line (kept whole, as received), the status code, and the fields. Interim
// responses (1xx, such as "100 Continue") are passed over; the block that counts is
// the first final one. A block is complete at its empty line. Anything that is not
// a status line where one must be, or a block larger than kMaxBlockBytes, makes the
// response malformed, and feeding stops there.
//
//     ResponseHeaderParser parser;
//     for (auto piece : pieces)
//         if (parser.feed(piece) != ResponseHeaderParser::State::Incomplete) break;
//     if (parser.state() == ResponseHeaderParser::State::Complete)
//         use(parser.block().statusCode, parser.block().fields.get("Content-Length"));
#pragma once

#include <waterline/http/HTTPHeaderFields.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace waterline {

struct ResponseHeaderBlock {
    std::string statusLine; // without the line end
    int statusCode = 0;
    // Repeated names folded into one value with ", ".
    HTTPHeaderFields fields;
    // Every field line as received, in order; Set-Cookie must be read from these,
    // since its values cannot be folded.
    std::vector<HTTPHeaderFields::Field> fieldLines;
};

class ResponseHeaderParser {
public:
    enum class State { Incomplete, Complete, Malformed };

    static constexpr std::size_t kMaxBlockBytes = 256 * 1024;

    State feed(std::string_view bytes);
    State state() const { return m_state; }
    // The block read so far; whole once the state is Complete.
    const ResponseHeaderBlock& block() const { return m_block; }

private:
    void takeLine(std::string_view line);
    void takeStatusLine(std::string_view line);
    void takeFieldLine(std::string_view line);
    void endBlock();

    State m_state = State::Incomplete;
    std::string m_partialLine;
    std::size_t m_blockBytes = 0;
    bool m_haveStatusLine = false;
    ResponseHeaderBlock m_block;
};

} // namespace waterline
