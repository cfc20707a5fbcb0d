#include <waterline/app/AppError.h>
#include <waterline/app/LaunchOptions.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(LaunchOptions, ReadsEveryFlag)
{
    auto parsed = parseLaunchOptions(
        {"--offscreen", "--photos", "/p", "--config-dir", "/c", "--script", "s.txt", "--cameras", "2"});
    ASSERT_TRUE(parsed) << parsed.error()->localizedDescription();
    EXPECT_TRUE(parsed->offscreen);
    EXPECT_EQ(parsed->photos, std::filesystem::path("/p"));
    EXPECT_EQ(parsed->configDirectory, std::filesystem::path("/c"));
    EXPECT_EQ(parsed->script, std::filesystem::path("s.txt"));
    EXPECT_EQ(parsed->cameras, 2);

    auto none = parseLaunchOptions({});
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->offscreen);
    EXPECT_FALSE(none->cameras);
}

TEST(LaunchOptions, CameraCountComesFromTheFlagBeforeTheVariable)
{
    EXPECT_EQ(parseLaunchOptions({}, "1")->cameras, 1);
    EXPECT_EQ(parseLaunchOptions({"--cameras", "0"}, "2")->cameras, 0);
    EXPECT_EQ(parseLaunchOptions({}, "")->cameras, std::nullopt);
    EXPECT_TRUE(parseLaunchOptions({"--cameras", "0"}, "2")->warnings.empty());

    // The flag makes a bad variable harmless: a warning, not an error.
    auto overridden = parseLaunchOptions({"--cameras", "1"}, "many");
    ASSERT_TRUE(overridden) << overridden.error()->localizedDescription();
    EXPECT_EQ(overridden->cameras, 1);
    EXPECT_EQ(overridden->warnings,
              std::vector<std::string>{
                  "WATERLINE_CAMERAS must be a whole number from 0 to 8, not \"many\"; using --cameras"});
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
        ASSERT_TRUE(parsed.error());
        EXPECT_EQ(parsed.error()->localizedDescription(), c.error);
        EXPECT_EQ(parsed.error()->code(), static_cast<int>(AppErrorCode::BadCommandLine));
    }
}
