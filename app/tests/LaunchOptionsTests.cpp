#include <waterline/app/LaunchOptions.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(LaunchOptions, ReadsEveryFlag)
{
    auto parsed = parseLaunchOptions(
        {"--offscreen", "--photos", "/p", "--config-dir", "/c", "--script", "s.txt", "--cameras", "2"});
    ASSERT_TRUE(parsed) << parsed.error;
    EXPECT_TRUE(parsed.options.offscreen);
    EXPECT_EQ(parsed.options.photos, std::filesystem::path("/p"));
    EXPECT_EQ(parsed.options.configDirectory, std::filesystem::path("/c"));
    EXPECT_EQ(parsed.options.script, std::filesystem::path("s.txt"));
    EXPECT_EQ(parsed.options.cameras, 2);

    auto none = parseLaunchOptions({});
    ASSERT_TRUE(none);
    EXPECT_FALSE(none.options.offscreen);
    EXPECT_FALSE(none.options.cameras);
}

TEST(LaunchOptions, CameraCountComesFromTheFlagBeforeTheVariable)
{
    EXPECT_EQ(parseLaunchOptions({}, "1").options.cameras, 1);
    EXPECT_EQ(parseLaunchOptions({"--cameras", "0"}, "2").options.cameras, 0);
    EXPECT_EQ(parseLaunchOptions({}, "").options.cameras, std::nullopt);
}

TEST(LaunchOptions, BadCommandLinesSayWhy)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* variable;
        const char* error;
    };
    const std::vector<Case> cases = {
        {{"--fast"}, nullptr, "unknown option \"--fast\""},
        {{"--photos"}, nullptr, "--photos needs a value"},
        {{"--script", ""}, nullptr, "--script needs a value"},
        {{"--cameras", "two"}, nullptr, "--cameras must be a whole number from 0 to 8, not \"two\""},
        {{"--cameras", "-1"}, nullptr, "--cameras must be a whole number from 0 to 8, not \"-1\""},
        {{}, "many", "WATERLINE_CAMERAS must be a whole number from 0 to 8, not \"many\""},
    };
    for (const auto& c : cases) {
        auto parsed = parseLaunchOptions(c.arguments, c.variable);
        EXPECT_FALSE(parsed);
        EXPECT_EQ(parsed.error, c.error);
    }
}
