// The scripted server's request reader, on buffers that arrive whole, in pieces, or wrong.
#include "support/RequestParser.h"

#include <gtest/gtest.h>

using namespace waterline::testing;

namespace {

const ParsedRequest& parsed(const RequestParse& parse)
{
    static const ParsedRequest none{};
    EXPECT_TRUE(std::holds_alternative<ParsedRequest>(parse));
    auto* request = std::get_if<ParsedRequest>(&parse);
    return request ? *request : none;
}

TEST(ServerHarnessRequestReader, TakesOneRequestAtATimeFromPipelinedBytes)
{
    std::string bytes = "POST /a HTTP/1.1\r\nContent-Length: 5\r\nX-Empty:\r\n\r\nhello"
                        "PUT /b HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
                        "3;name=value\r\nabc\r\n2\r\nde\r\n0\r\nTrailer: t\r\n\r\n"
                        "GET /c HTTP/1.0\r\n\r\n";
    auto first = parsed(parseRequest(bytes));
    EXPECT_EQ(first.request.body, "hello");
    EXPECT_EQ(first.request.header("x-empty"), "");
    bytes.erase(0, first.consumed);

    auto second = parsed(parseRequest(bytes));
    EXPECT_EQ(second.request.method, "PUT");
    EXPECT_EQ(second.request.body, "abcde");
    EXPECT_TRUE(second.request.bodyWasChunked);
    bytes.erase(0, second.consumed);

    auto third = parsed(parseRequest(bytes));
    EXPECT_EQ(third.request.version, "HTTP/1.0");
    EXPECT_EQ(third.request.body, "");
    EXPECT_EQ(third.consumed, bytes.size());
}

TEST(ServerHarnessRequestReader, EveryShorterPrefixIsIncomplete)
{
    std::string chunked = "POST /up HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n0\r\n\r\n";
    std::string sized = "POST /up HTTP/1.1\r\nContent-Length: 4\r\n\r\nbody";
    for (const auto& bytes : {chunked, sized}) {
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            auto parse = parseRequest(std::string_view(bytes).substr(0, length));
            EXPECT_TRUE(std::holds_alternative<IncompleteRequest>(parse)) << length << " bytes of " << bytes;
        }
    }
    auto head = parsed(parseRequest(sized, BodyReading::HeadOnly));
    EXPECT_EQ(head.consumed, sized.size() - 4);
    EXPECT_EQ(head.request.body, "");
}

TEST(ServerHarnessRequestReader, RefusesWhatItCannotRead)
{
    const char* malformed[] = {
        "GET /\r\n\r\n",                                                               // no version
        "GET / HTTP/1.1\r\nno colon\r\n\r\n",                                          // header without a name
        "POST / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n",                              // length not a number
        "POST / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n",                      // above the limit
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",                 // size not hexadecimal
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabcd\r\n0\r\n\r\n", // data longer than its size
    };
    for (const char* bytes : malformed)
        EXPECT_TRUE(std::holds_alternative<MalformedRequest>(
            parseRequest(bytes, BodyReading::Whole, {.maxBodyBytes = 1 << 20})))
            << bytes;
    std::string huge = "GET / HTTP/1.1\r\nX: " + std::string(100, 'x');
    EXPECT_TRUE(std::holds_alternative<MalformedRequest>(parseRequest(huge, BodyReading::Whole, {.maxHeadBytes = 64})));
    EXPECT_TRUE(std::holds_alternative<MalformedRequest>(
        parseRequest(huge + "\r\n\r\n", BodyReading::Whole, {.maxHeadBytes = 64})));
}

} // namespace
