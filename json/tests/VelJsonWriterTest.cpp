#include <waterline/json/VelJsonWriter.h>

#include "TraceText.h"

#include <gtest/gtest.h>

using namespace waterline;
using waterline::test::traceText;

TEST(VelJsonWriter, ScalarsNeedTheFragmentCall)
{
    VelJsonWriter writer;
    for (const JsonValue& scalar : {JsonValue("s"), JsonValue(7)}) {
        EXPECT_FALSE(writer.stringWithObject(scalar));
        EXPECT_EQ(traceText(writer), std::vector<std::string>{"4: Not valid type for JSON"});
    }
    EXPECT_EQ(writer.stringWithFragment("s"), "\"s\"");
    EXPECT_FALSE(writer.errorTrace());
    EXPECT_EQ(writer.stringWithFragment(true), "true");
    EXPECT_EQ(writer.stringWithFragment(false), "false");
    EXPECT_EQ(writer.stringWithFragment(nullptr), "null");
    EXPECT_EQ(writer.stringWithFragment(JsonNumber(-12)), "-12");
}

TEST(VelJsonWriter, EscapesOnlyWhatJsonRequires)
{
    const struct {
        std::string text, written;
    } cases[] = {
        {"a\"b\\c\td\x01", R"("a\"b\\c\td\u0001")"},
        {"\x1f", R"("\u001f")"},
        {std::string("\0", 1), R"("\u0000")"},
        {"\b\f\n\r", R"("\b\f\n\r")"},
        {"a/b\x7f", "\"a/b\x7f\""},
        {"h\xC3\xA9llo \xE6\x97\xA5\xF0\x9F\x98\x80", "\"h\xC3\xA9llo \xE6\x97\xA5\xF0\x9F\x98\x80\""},
    };
    VelJsonWriter writer;
    for (const auto& c : cases)
        EXPECT_EQ(writer.stringWithFragment(c.text), c.written);
}

TEST(VelJsonWriter, SortsKeysByCodeUnits)
{
    JsonValue value = JsonObject{{"beta", 1}, {"alpha", 2}, {"gamma", 3}, {"al", 4}, {"B", 5}};
    VelJsonWriter writer;
    EXPECT_EQ(writer.stringWithObject(value), R"({"beta":1,"alpha":2,"gamma":3,"al":4,"B":5})");
    writer.setSortKeys(true);
    EXPECT_EQ(writer.stringWithObject(value), R"({"B":5,"al":4,"alpha":2,"beta":1,"gamma":3})");
    // U+1F600 (a surrogate pair in UTF-16) sorts before U+FF21, though its UTF-8 is larger.
    JsonValue wide = JsonObject{{"\xEF\xBC\xA1", 1}, {"\xF0\x9F\x98\x80", 2}, {"z", 3}};
    EXPECT_EQ(writer.stringWithObject(wide), "{\"z\":3,\"\xF0\x9F\x98\x80\":2,\"\xEF\xBC\xA1\":1}");
}

TEST(VelJsonWriter, HumanReadableLayout)
{
    VelJsonWriter writer;
    writer.setHumanReadable(true);
    EXPECT_EQ(writer.stringWithObject(JsonObject{{"a", JsonArray{1, 2}}}), "{\n  \"a\" : [\n    1,\n    2\n  ]\n}");
    EXPECT_EQ(writer.stringWithObject(JsonObject{{"e", JsonArray{}}, {"o", JsonObject{}}}),
              "{\n  \"e\" : [],\n  \"o\" : {}\n}");
    EXPECT_EQ(writer.stringWithObject(JsonArray{}), "[]");
    EXPECT_EQ(writer.stringWithFragment(5), "5");
    writer.setHumanReadable(false);
    EXPECT_EQ(writer.stringWithObject(JsonObject{{"a", JsonArray{1, 2}}}), R"({"a":[1,2]})");
}

TEST(VelJsonWriter, InvalidUtf8IsRefusedWithAChainPerObject)
{
    VelJsonWriter writer;
    JsonValue value = JsonObject{{"outer", JsonArray{JsonObject{{"inner", "bad \xFF"}}}}};
    EXPECT_FALSE(writer.stringWithObject(value));
    EXPECT_EQ(traceText(writer),
              (std::vector<std::string>{
                  "1: JSON serialisation not supported for string that is not valid UTF-8",
                  "1: Unsupported value for key inner in object",
                  "1: Unsupported value for key outer in object",
              }));
    EXPECT_FALSE(writer.stringWithObject(JsonObject{{"\xC3", 1}}));
    EXPECT_EQ(traceText(writer), std::vector<std::string>{"1: JSON object key must be string"});
    EXPECT_FALSE(writer.stringWithFragment("\xE2\x82")); // cut short at the end of the string
    EXPECT_TRUE(writer.stringWithObject(JsonArray{"fine"}));
    EXPECT_FALSE(writer.errorTrace());
}

// Strings are checked a block at a time, with a final block that overlaps bytes already
// seen, and characters four bytes at a time: each special piece is tried at every offset
// of strings long and short, so it falls on every block position and near the end.
TEST(VelJsonWriter, SpecialBytesAtEveryOffset)
{
    const struct {
        std::string piece, written; // written empty: the string is refused
    } pieces[] = {
        {"\"", "\\\""},
        {"\n", "\\n"},
        {"\x1f", "\\u001f"},
        // A byte to escape lends a borrow to the next one in a block test.
        {"\n ", "\\n "},
        {"\"#", "\\\"#"},
        {"\\]", "\\\\]"},
        {"\xC3\xA9", "\xC3\xA9"},
        {"\xE6\x97\xA5", "\xE6\x97\xA5"},
        {"\xE0\xA0\x80", "\xE0\xA0\x80"}, // lowest three-byte character
        {"\xED\x9F\xBF", "\xED\x9F\xBF"}, // last before the surrogates
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"\xC1\xBF", ""},     // overlong
        {"\xE0\x9F\xBF", ""}, // overlong
        {"\xED\xA0\x80", ""}, // surrogate
        {"\xE6\x97", ""},     // cut short
        {"\xE6\x97\x41", ""}, // a continuation missing
        {"\xBF", ""},         // stray continuation
    };
    VelJsonWriter writer;
    for (const auto& p : pieces) {
        for (std::size_t length : {0u, 5u, 9u, 23u}) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::string text = std::string(length, 'a').insert(at, p.piece);
                std::string written = std::string(length, 'a').insert(at, p.written);
                SCOPED_TRACE(testing::PrintToString(text));
                if (p.written.empty())
                    EXPECT_FALSE(writer.stringWithFragment(text));
                else
                    EXPECT_EQ(writer.stringWithFragment(text), '"' + written + '"');
            }
        }
    }
}

// A write that fails deep inside the tree must not shift the indentation of the next.
TEST(VelJsonWriter, AFailedWriteLeavesNothingForTheNext)
{
    VelJsonWriter writer;
    writer.setHumanReadable(true);
    EXPECT_FALSE(writer.stringWithObject(JsonArray{JsonArray{JsonObject{{"k", "\xFF"}}}}));
    EXPECT_EQ(writer.stringWithObject(JsonArray{JsonArray{1}}), "[\n  [\n    1\n  ]\n]");
}
