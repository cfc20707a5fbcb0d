#include <waterline/json/VelJsonParser.h>
#include <waterline/json/VelJsonWriter.h>

#include "TraceText.h"

#include <gtest/gtest.h>

using namespace waterline;
using waterline::test::traceText;

namespace {

// What a parse gave, as one comparable text: the value written compactly, or the trace.
std::string outcome(VelJsonParser& parser, std::optional<JsonValue> value)
{
    if (value) {
        VelJsonWriter writer;
        return *writer.stringWithFragment(*value);
    }
    std::string lines;
    for (const std::string& line : traceText(parser))
        lines += (lines.empty() ? "" : " | ") + line;
    return lines;
}

std::string fragment(const std::string& text)
{
    VelJsonParser parser;
    return outcome(parser, parser.fragmentWithString(text));
}

std::string object(const std::string& text)
{
    VelJsonParser parser;
    return outcome(parser, parser.objectWithString(text));
}

std::string nested(int levels)
{
    return std::string(levels, '[') + std::string(levels, ']');
}

struct Case {
    const char* input;
    const char* expected;
};

} // namespace

TEST(VelJsonParser, ValuesAndStructure)
{
    const Case cases[] = {
        {"[1 2]", "[1,2]"},
        {R"({"a":1 "b":2})", R"({"a":1,"b":2})"},
        {"[ ]", "[]"},
        {"{ }", "{}"},
        {" \t\n\v\f\r[true,false,null] \v", "[true,false,null]"},
        {R"({"a":1,"a":2})", R"({"a":2})"},
        {R"({"z":1,"a":2,"z":3})", R"({"z":3,"a":2})"},
        {R"({"k":{"a":[{}]}})", R"({"k":{"a":[{}]}})"},
        {"[-0, 0.5, 1E5, 1e-5, 10]", "[0,0.5,100000,0.00001,10]"},
        {"[1.50, -0.0, 0, 100, 7.25, 1234567890123456789012, 12345678901234567890000000, 100000000000000000000000]",
         "[1.5,0,0,100,7.25,1234567890123456789012,12345678901234567890000000,1e+23]"},
        {"\"caf\\u00e9\"", "\"café\""},
        {R"("\ud83d\ude00")", "\"\xF0\x9F\x98\x80\""},
        {R"("\ud83d\udfff")", "\"\xF0\x9F\x9F\xBF\""},
        {R"("\/\"\\\b\f\n\r\t")", R"("/\"\\\b\f\n\r\t")"},
        {R"("\u0000")", R"("\u0000")"},
        {"\"a\xC3\xA9z\"", "\"a\xC3\xA9z\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fragment(c.input), c.expected) << c.input;
}

TEST(VelJsonParser, FailuresLeaveTheExactTrace)
{
    const Case cases[] = {
        {"", "11: Unexpected end of string"},
        {" \n ", "11: Unexpected end of string"},
        {"[1,]", "9: Trailing comma disallowed in array"},
        {"[1, ]", "9: Trailing comma disallowed in array"},
        {R"({"a":1,})", "9: Trailing comma disallowed in object"},
        {"[,1]", "3: Unrecognised leading character | 3: Expected value while parsing array"},
        {"[1", "11: End of input while parsing array"},
        {"[", "11: End of input while parsing array"},
        {"[ ", "11: Unexpected end of string | 3: Expected value while parsing array"},
        {R"({"a":1)", "11: End of input while parsing object"},
        {"{1:2}", "3: Object key string expected"},
        {R"({"a" 1})", "3: Expected ':' separating key and value"},
        {R"({"a":})", "3: Unrecognised leading character | 3: Object value expected for key: a"},
        {R"({"a)", "5: Unescaped control character '0x0' | 3: Object key string expected"},
        {"+1", "2: Leading + disallowed in number"},
        {"01", "2: Leading 0 disallowed in number"},
        {"-01", "2: Leading 0 disallowed in number"},
        {"-", "2: No digits after initial minus"},
        {"-a", "2: No digits after initial minus"},
        {"1.", "2: No digits after decimal point"},
        {"1e", "2: No digits after exponent"},
        {"1e+", "2: No digits after exponent"},
        {"1e9999999999", "2: Failed creating decimal instance"},
        {"[1999E999999998]", "2: Failed creating decimal instance | 3: Expected value while parsing array"},
        {".5", "3: Unrecognised leading character"},
        {"\xEF\xBB\xBF[]", "3: Unrecognised leading character"},
        {"[1, tru]", "3: Expected 'true' | 3: Expected value while parsing array"},
        {"fals", "3: Expected 'false'"},
        {"nul", "3: Expected 'null'"},
        {R"("\ud800")", "6: Missing low character in surrogate pair | 6: Broken unicode character"},
        {R"("\ud800\u0041")", "6: Invalid low surrogate char | 6: Broken unicode character"},
        {R"("\ud800\uzzzz")",
         "6: Missing hex digit in quad | 6: Missing low character in surrogate pair | 6: Broken unicode character"},
        {R"("\udc00")", "6: Invalid high character in surrogate pair | 6: Broken unicode character"},
        {R"("\u12g4")", "6: Missing hex digit in quad | 6: Missing hex quad | 6: Broken unicode character"},
        {R"("\x")", "8: Illegal escape sequence '0x78'"},
        {"\"\\\xC3\xA9\"", "8: Illegal escape sequence '0xffc3'"},
        {"\"\\", "8: Illegal escape sequence '0x0'"},
        {"\"a\tb\"", "5: Unescaped control character '0x9'"},
        {"\"a\x1f\"", "5: Unescaped control character '0x1f'"},
        {"\"abc", "5: Unescaped control character '0x0'"},
        {"\"abc\\n", "11: Unexpected EOF while parsing string"},
        {"trueabc", "10: Garbage after JSON"},
        {"[truex]", "3: Unrecognised leading character | 3: Expected value while parsing array"},
        {"12abc", "10: Garbage after JSON"},
        {"[] []", "10: Garbage after JSON"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fragment(c.input), c.expected) << c.input;
}

TEST(VelJsonParser, ObjectWithStringWantsAContainer)
{
    EXPECT_EQ(object("42"), "4: Valid fragment, but not JSON");
    EXPECT_EQ(object("\"s\""), "4: Valid fragment, but not JSON");
    EXPECT_EQ(object("[1,]"), "9: Trailing comma disallowed in array");
    EXPECT_EQ(object(" [42] "), "[42]");
    EXPECT_EQ(fragment("42"), "42");
}

TEST(VelJsonParser, AbsentInputAndTraceLifecycle)
{
    VelJsonParser parser;
    EXPECT_FALSE(parser.errorTrace());
    EXPECT_FALSE(parser.fragmentWithString(nullptr));
    EXPECT_EQ(traceText(parser), std::vector<std::string>{"12: Input was 'nil'"});
    ASSERT_TRUE(parser.objectWithString("[]"));
    EXPECT_FALSE(parser.errorTrace()); // absent after a success, not empty
}

TEST(VelJsonParser, TraceRecordsChainToTheirPredecessor)
{
    VelJsonParser parser;
    int announcements = 0;
    parser.onPropertyChange = [&](std::string_view property) {
        EXPECT_EQ(property, "errorTrace");
        ++announcements;
    };
    EXPECT_FALSE(parser.fragmentWithString(R"("\u12g4")"));
    auto trace = parser.errorTrace();
    ASSERT_TRUE(trace);
    ASSERT_EQ(trace->size(), 3u);
    EXPECT_EQ(announcements, 4); // the clearing at the start, then each record
    EXPECT_EQ((*trace)[0]->underlying(), nullptr);
    EXPECT_EQ((*trace)[1]->underlying(), (*trace)[0]);
    EXPECT_EQ((*trace)[2]->underlying(), (*trace)[1]);
    EXPECT_EQ((*trace)[2]->domain(), "org.skaldrin.JSON.ErrorDomain");
}

// Every call clears the trace first, and that clearing is announced even when the
// trace was absent, so an observer hears from every call.
TEST(VelJsonParser, EveryClearingIsAnnounced)
{
    struct Case {
        const char* text;
        int announcements;
    };
    const Case cases[] = {
        {"[1]", 1},      // clearing only
        {"[1,]", 2},     // clearing, one record
        {"[1, tru]", 3}, // clearing, two records
        {"{}", 1},
    };
    VelJsonParser parser;
    int announcements = 0;
    parser.onPropertyChange = [&](std::string_view) { ++announcements; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        announcements = 0;
        (void)parser.fragmentWithString(c.text);
        EXPECT_EQ(announcements, c.announcements);
    }
    announcements = 0;
    parser.clearErrorTrace();
    EXPECT_EQ(announcements, 1);
}

TEST(VelJsonParser, TextAfterNulIsNeverRead)
{
    VelJsonParser parser;
    std::string text("[1]\0garbage", 11);
    EXPECT_TRUE(parser.fragmentWithString(text));
    std::string cut("\"ab\0cd\"", 7);
    EXPECT_EQ(outcome(parser, parser.fragmentWithString(cut)), "5: Unescaped control character '0x0'");
}

TEST(VelJsonParser, MalformedUtf8BecomesReplacementCharacters)
{
    const Case cases[] = {
        {"\"a\xFFz\"", "\"a\xEF\xBF\xBDz\""},
        {"\"\xC3\"", "\"\xEF\xBF\xBD\""},                                 // cut short before the quote
        {"\"\xE2\x82z\"", "\"\xEF\xBF\xBDz\""},                           // one U+FFFD for the broken pair
        {"\"\xED\xA0\x80\"", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}, // an encoded surrogate
        {"\"\xC0\xAF\"", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                 // overlong
        {"\"\xF4\x90\x80\x80\"", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""}, // beyond U+10FFFF
    };
    for (const Case& c : cases)
        EXPECT_EQ(fragment(c.input), c.expected) << c.input;
    EXPECT_EQ(fragment("\"\xE2\x82"), "5: Unescaped control character '0x0'"); // stops at the NUL
}

// The string and whitespace scanners step eight bytes at a time: each stop byte and each
// run length is tried at every offset within a block, and near the end of the input.
TEST(VelJsonParser, BlockScannersStopAtEveryOffset)
{
    for (std::size_t plain = 0; plain < 20; ++plain) {
        const std::string run(plain, 'x');
        EXPECT_EQ(fragment("\"" + run + "\""), "\"" + run + "\"");
        EXPECT_EQ(fragment("\"" + run + "\\n\""), "\"" + run + "\\n\"");
        EXPECT_EQ(fragment("\"" + run + "\xC3\xA9\""), "\"" + run + "\xC3\xA9\"");
        EXPECT_EQ(fragment("\"" + run + "\x01\""), "5: Unescaped control character '0x1'");
        EXPECT_EQ(fragment("\"" + run), "5: Unescaped control character '0x0'");
        const std::string spaces(plain, ' ');
        EXPECT_EQ(fragment("[" + spaces + "1," + spaces + "\n" + spaces + "2" + spaces + "]" + spaces), "[1,2]");
        EXPECT_EQ(fragment("{" + spaces + "\"k\"" + spaces + ":" + spaces + "\t1}"), "{\"k\":1}");
    }
}

// Keys of every length up to a few blocks, in an object large enough to be hashed, with
// each key given twice: the later value wins, in the place of the first.
TEST(VelJsonParser, LargeObjectsKeepTheLastOfDuplicateKeys)
{
    std::string text = "{";
    std::string expected = "{";
    for (int round = 0; round < 2; ++round)
        for (std::size_t length = 0; length < 20; ++length) {
            // Built by append: GCC 12 warns falsely about a chain of `+`.
            std::string key = std::string("\"").append(length, 'k').append("\":");
            text.append(key).append(std::to_string(round * 100 + static_cast<int>(length))).append(",");
            if (round == 1)
                expected.append(key).append(std::to_string(100 + length)).append(",");
        }
    text.back() = '}';
    expected.back() = '}';
    EXPECT_EQ(fragment(text), expected);
    std::optional<JsonValue> value = VelJsonParser().fragmentWithString(text);
    ASSERT_TRUE(value);
    for (std::size_t length = 0; length < 20; ++length)
        EXPECT_EQ(value->asObject().at(std::string(length, 'k')), JsonValue(100 + static_cast<int>(length)));
    EXPECT_EQ(value->find("kkkkkkkkkkkkkkkkkkkkk"), nullptr);
}

TEST(VelJsonParser, DepthLimit)
{
    VelJsonParser parser;
    parser.setMaxDepth(512);
    EXPECT_TRUE(parser.fragmentWithString(nested(512)));
    EXPECT_EQ(outcome(parser, parser.fragmentWithString(nested(513))).substr(0, 19), "7: Nested too deep ");
    EXPECT_EQ(traceText(parser).size(), 513u); // one "Expected value" per enclosing array
    parser.setMaxDepth(2);
    EXPECT_TRUE(parser.fragmentWithString(R"({"a":[1]})"));
    EXPECT_FALSE(parser.fragmentWithString(R"({"a":[{}]})"));
    EXPECT_TRUE(parser.fragmentWithString("[[1],[2],[3]]")); // siblings do not add up
}

TEST(VelJsonParser, NoLimitStillGuardsTheStack)
{
    VelJsonParser parser;
    EXPECT_EQ(parser.maxDepth(), 0u);
    EXPECT_TRUE(parser.fragmentWithString(nested(VelJsonParser::kNestingGuard)));
    EXPECT_FALSE(parser.fragmentWithString(nested(VelJsonParser::kNestingGuard + 1)));
    EXPECT_EQ(traceText(parser).front(), "7: Nested too deep");
    std::string objects;
    for (int i = 0; i <= 200000; ++i)
        objects += "{\"k\":";
    EXPECT_FALSE(parser.fragmentWithString(objects));
    EXPECT_EQ(traceText(parser).front(), "7: Nested too deep");
}

// A parse that fails inside nested containers never closes them; the next parse on the
// same parser must start at depth 0 with no elements of its own.
TEST(VelJsonParser, AFailedParseLeavesNothingForTheNext)
{
    VelJsonParser parser;
    parser.setMaxDepth(8);
    EXPECT_FALSE(parser.fragmentWithString(R"([1, {"a": [2, {"b": tru)"));
    EXPECT_EQ(outcome(parser, parser.fragmentWithString("[3]")), "[3]");
    EXPECT_FALSE(parser.fragmentWithString(R"({"x": [[[[[[[[[1]]]]]]]]]})"));
    EXPECT_EQ(outcome(parser, parser.fragmentWithString(R"({"y": [[[[[[[1]]]]]]]})")), R"({"y":[[[[[[[1]]]]]]]})");
}
