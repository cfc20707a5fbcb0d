#include <waterline/http/ResponseHeaderParser.h>

#include <gtest/gtest.h>

#include <string>

using namespace waterline;
using State = ResponseHeaderParser::State;

namespace {

TEST(ResponseHeaderParser, ReadsStatusLineAndFieldsInAnyPieces)
{
    const std::string block = "HTTP/1.1 404 Not Found\r\nContent-Length: 12\r\nSet-Cookie: a=1\r\n"
                              "X-Long: one\r\n  two\r\nSet-Cookie: b=2\r\n\r\n";
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, block.size()}) {
        ResponseHeaderParser parser;
        State state = State::Incomplete;
        for (std::size_t at = 0; at < block.size(); at += piece)
            state = parser.feed(std::string_view(block).substr(at, piece));
        ASSERT_EQ(state, State::Complete) << "pieces of " << piece;
        const auto& result = parser.block();
        EXPECT_EQ(result.statusLine, "HTTP/1.1 404 Not Found");
        EXPECT_EQ(result.statusCode, 404);
        EXPECT_EQ(result.fields.get("content-length"), "12");
        EXPECT_EQ(result.fields.get("Set-Cookie"), "a=1, b=2");
        EXPECT_EQ(result.fields.get("X-Long"), "one two");
        ASSERT_EQ(result.fieldLines.size(), 4u);
        EXPECT_EQ(result.fieldLines[3].second, "b=2");
    }
}

TEST(ResponseHeaderParser, PassesOverInterimResponsesAndAcceptsBareLineFeeds)
{
    ResponseHeaderParser parser;
    EXPECT_EQ(parser.feed("HTTP/1.1 100 Continue\r\n\r\n"), State::Incomplete);
    EXPECT_EQ(parser.feed("HTTP/1.0 200\nServer: x\n\n"), State::Complete);
    EXPECT_EQ(parser.block().statusLine, "HTTP/1.0 200");
    EXPECT_EQ(parser.block().statusCode, 200);
    EXPECT_EQ(parser.block().fields.get("Server"), "x");
}

TEST(ResponseHeaderParser, RefusesWhatIsNotAResponseAndOversizedBlocks)
{
    for (const char* bad :
         {"ICY 200 OK\r\n", "HTTP/1.1 20 OK\r\n", "HTTP/1.1 2000\r\n", "HTTP/1.1 000 OK\r\n", "\r\n"}) {
        ResponseHeaderParser parser;
        EXPECT_EQ(parser.feed(bad), State::Malformed) << bad;
    }
    ResponseHeaderParser parser;
    EXPECT_EQ(parser.feed("HTTP/1.1 200 OK\r\n"), State::Incomplete);
    std::string endless = "X: " + std::string(ResponseHeaderParser::kMaxBlockBytes, 'a');
    EXPECT_EQ(parser.feed(endless), State::Malformed);
}

} // namespace
