// Every scan level gives the same values and the same traces.
//
// The whole json_tests binary also runs once per level below the best (see
// json/CMakeLists.txt): WATERLINE_JSON_SCAN_LEVEL lowers the level for the process
// before any test starts. Here the levels are compared with each other in one process,
// over inputs that put each kind of stop byte at every offset of a block.
#include "ScanLevel.h"

#include <waterline/json/VelJsonParser.h>
#include <waterline/json/VelJsonWriter.h>

#include "TraceText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace waterline;
using namespace waterline::detail;

namespace {

const bool kLevelFromEnvironment = [] {
    if (const char* name = std::getenv("WATERLINE_JSON_SCAN_LEVEL")) {
        for (JsonScanLevel level : {JsonScanLevel::Scalar, JsonScanLevel::SSE2, JsonScanLevel::AVX2})
            if (toString(level) == name)
                limitJsonScanLevel(level);
    }
    return true;
}();

std::vector<JsonScanLevel> supportedLevels()
{
    std::vector<JsonScanLevel> levels;
    for (JsonScanLevel level : {JsonScanLevel::Scalar, JsonScanLevel::SSE2, JsonScanLevel::AVX2})
        if (level <= supportedJsonScanLevel())
            levels.push_back(level);
    return levels;
}

// The value written back, or the trace.
std::string outcome(const std::string& text)
{
    VelJsonParser parser;
    std::optional<JsonValue> value = parser.fragmentWithString(text);
    if (value)
        return *VelJsonWriter().stringWithFragment(*value);
    std::string lines;
    for (const std::string& line : waterline::test::traceText(parser))
        lines += line + " | ";
    return lines;
}

std::vector<std::string> trickyInputs()
{
    std::vector<std::string> inputs;
    const char* stops[] = {"\"", "\\n", "\\u00e9", "\x01", "\xC3\xA9", "\xFF", "\xE2\x82", ""};
    for (std::size_t length = 0; length < 70; ++length) {
        const std::string run(length, 'x');
        for (const char* stop : stops) {
            inputs.push_back("\"" + run + stop + "\"");
            inputs.push_back("[\"" + run + stop); // cut off at the end
        }
        const std::string spaces(length, ' ');
        inputs.push_back("[" + spaces + "1,\n" + spaces + "2" + spaces + "]");
        const std::string digits(length, '7');
        inputs.push_back("[1" + digits + ".5" + digits + "e1" + digits + "]");
        inputs.push_back("-" + digits + "x");
        inputs.push_back("{\"" + run + "\":" + "\"" + run + "\"}");
    }
    return inputs;
}

class ScanLevelRestorer : public ::testing::Test {
protected:
    void TearDown() override { limitJsonScanLevel(m_before); }

private:
    JsonScanLevel m_before = activeJsonScanLevel();
};

using ScanLevels = ScanLevelRestorer;

} // namespace

TEST_F(ScanLevels, EveryLevelGivesTheScalarOutcome)
{
    const std::vector<std::string> inputs = trickyInputs();
    limitJsonScanLevel(JsonScanLevel::Scalar);
    std::vector<std::string> expected;
    for (const std::string& input : inputs)
        expected.push_back(outcome(input));
    for (JsonScanLevel level : supportedLevels()) {
        limitJsonScanLevel(level);
        ASSERT_EQ(activeJsonScanLevel(), level);
        for (std::size_t i = 0; i < inputs.size(); ++i)
            EXPECT_EQ(outcome(inputs[i]), expected[i]) << toString(level) << ": " << inputs[i];
    }
}

TEST_F(ScanLevels, LoweringIsClampedToTheCpu)
{
    limitJsonScanLevel(JsonScanLevel::AVX2);
    EXPECT_EQ(activeJsonScanLevel(), supportedJsonScanLevel());
    limitJsonScanLevel(JsonScanLevel::Scalar);
    EXPECT_EQ(activeJsonScanLevel(), JsonScanLevel::Scalar);
}
