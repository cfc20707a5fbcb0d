#include <waterline/json/VelJSON.h>

#include "TraceText.h"

#include <gtest/gtest.h>

using namespace waterline;
using waterline::test::traceText;

TEST(VelJSON, ForwardsItsOptions)
{
    VelJSON json;
    EXPECT_EQ(json.maxDepth(), 512u);
    json.setMaxDepth(3);
    json.setHumanReadable(true);
    json.setSortKeys(true);
    EXPECT_EQ(json.jsonParser().maxDepth(), 3u);
    EXPECT_TRUE(json.jsonWriter().humanReadable());
    EXPECT_TRUE(json.jsonWriter().sortKeys());
    EXPECT_EQ(json.stringWithObject(JsonObject{{"b", 1}, {"a", 2}}), "{\n  \"a\" : 2,\n  \"b\" : 1\n}");
}

TEST(VelJSON, NestsAtMost512Deep)
{
    VelJSON json;
    EXPECT_TRUE(json.objectWithString(std::string(512, '[') + std::string(512, ']')));
    EXPECT_FALSE(json.objectWithString(std::string(513, '[') + std::string(513, ']')));
    EXPECT_EQ(traceText(json).front(), "7: Nested too deep");
}

TEST(VelJSON, FailureFillsTheErrorAndCopiesTheTrace)
{
    VelJSON json;
    std::shared_ptr<const JsonError> error;
    EXPECT_FALSE(json.objectWithString("[1, tru]", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3u);
    EXPECT_EQ(error->description(), "Expected value while parsing array");
    ASSERT_TRUE(error->underlying());
    EXPECT_EQ(error->underlying()->description(), "Expected 'true'");
    EXPECT_EQ(traceText(json),
              (std::vector<std::string>{"3: Expected 'true'", "3: Expected value while parsing array"}));

    // A success changes neither the out-argument nor the facade's trace.
    std::shared_ptr<const JsonError> untouched;
    EXPECT_EQ(json.fragmentWithString("7", &untouched), JsonValue(7));
    EXPECT_EQ(untouched, nullptr);
    EXPECT_EQ(traceText(json).size(), 2u);

    EXPECT_FALSE(json.stringWithObject(JsonValue(1), &error));
    EXPECT_EQ(error->description(), "Not valid type for JSON");
    EXPECT_EQ(traceText(json), std::vector<std::string>{"4: Not valid type for JSON"});
    EXPECT_EQ(json.stringWithFragment(JsonValue(1)), "1");
    EXPECT_FALSE(json.objectWithString(static_cast<const char*>(nullptr)));
    EXPECT_EQ(traceText(json), std::vector<std::string>{"12: Input was 'nil'"});
    EXPECT_EQ(json.objectWithString("7", {.allowScalar = true}, nullptr), JsonValue(7));
    EXPECT_FALSE(json.objectWithString("7", {.allowScalar = false}, nullptr));
}

TEST(VelJSON, ExactNumbersSurviveARoundTrip)
{
    VelJSON json;
    auto value = json.objectWithString("[0.1, 1e400, 1234567890123456789012345678901234567890, -0.000000001, 1.50]");
    ASSERT_TRUE(value);
    EXPECT_EQ(json.stringWithObject(*value), "[0.1,1e+400,1234567890123456789012345678901234567890,-1e-9,1.5]");
    EXPECT_EQ(json.objectWithString(*json.stringWithObject(*value)), value);
}
