#include <waterline/foundation/TemporaryPath.h>
#include <waterline/settings/UserDefaults.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

using namespace waterline;
namespace fs = std::filesystem;

namespace {

class UserDefaultsTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory); }
    void TearDown() override { fs::remove_all(directory); }

    std::string fileContents() const
    {
        std::ifstream file(directory / "defaults.json");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    void writeFile(const std::string& text) const { std::ofstream(directory / "defaults.json") << text; }

    const fs::path directory = temporaryFilePath();
};

TEST_F(UserDefaultsTest, ValuesSurviveARestart)
{
    {
        UserDefaults defaults(directory);
        EXPECT_FALSE(defaults.boolForKey("rated")); // missing reads false
        EXPECT_TRUE(defaults.setBool("rated", true));
        EXPECT_TRUE(defaults.setBool("more", false));
        EXPECT_TRUE(defaults.setString("name", "Ann \"A\" \\ \n\t\x01 ü"));
    }
    UserDefaults reopened(directory);
    EXPECT_TRUE(reopened.boolForKey("rated"));
    EXPECT_FALSE(reopened.boolForKey("more"));
    EXPECT_TRUE(reopened.hasKey("more"));
    EXPECT_EQ(reopened.stringForKey("name"), "Ann \"A\" \\ \n\t\x01 ü");
    EXPECT_FALSE(reopened.boolForKey("name")); // a string is not a boolean
    EXPECT_EQ(reopened.stringForKey("rated"), std::nullopt);
    EXPECT_EQ(fileContents(),
              "{\n  \"more\": false,\n  \"name\": \"Ann \\\"A\\\" \\\\ \\n\\t\\u0001 ü\",\n  \"rated\": true\n}\n");

    EXPECT_TRUE(reopened.removeObjectForKey("name"));
    EXPECT_FALSE(UserDefaults(directory).hasKey("name"));
}

TEST_F(UserDefaultsTest, CorruptFileReadsEmptyAndStaysUntilTheNextWrite)
{
    const std::string corrupt = "{\"rated\": true,";
    writeFile(corrupt);
    {
        UserDefaults defaults(directory);
        EXPECT_FALSE(defaults.boolForKey("rated"));
        EXPECT_TRUE(defaults.dictionaryRepresentation().empty());
    }
    EXPECT_EQ(fileContents(), corrupt);
    UserDefaults defaults(directory);
    EXPECT_TRUE(defaults.setBool("more", true));
    EXPECT_EQ(fileContents(), "{\n  \"more\": true\n}\n");
}

TEST_F(UserDefaultsTest, WritesLeaveNoTemporaryFilesAndMakeTheDirectory)
{
    const fs::path nested = directory / "config" / "waterline";
    UserDefaults defaults(nested);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(defaults.setBool(std::to_string(i), i % 2 == 0));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(nested)) {
        ++files;
        EXPECT_EQ(entry.path().filename(), "defaults.json");
    }
    EXPECT_EQ(files, 1);
}

TEST_F(UserDefaultsTest, FailedWriteKeepsTheValueAndSaysWhy)
{
    // A directory where the file should be: the final rename cannot replace it.
    fs::create_directories(directory / "defaults.json" / "in the way");
    UserDefaults defaults(directory);
    auto saved = defaults.setBool("rated", true);
    ASSERT_FALSE(saved);
    ErrorPtr error = saved.error();
    EXPECT_EQ(error->domain(), "UserDefaultsErrorDomain");
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->domain(), "POSIXErrorDomain");
    EXPECT_TRUE(defaults.boolForKey("rated"));
    int leftovers = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory))
        ++leftovers;
    EXPECT_EQ(leftovers, 1); // the temporary file was removed
}

TEST_F(UserDefaultsTest, AMemberOfAnotherKindDoesNotCostTheOthers)
{
    writeFile(R"({"rated": true, "launches": 12, "name": "Ann"})");
    UserDefaults defaults(directory);
    EXPECT_TRUE(defaults.boolForKey("rated"));
    EXPECT_EQ(defaults.stringForKey("name"), "Ann");
    EXPECT_FALSE(defaults.hasKey("launches"));
    ASSERT_TRUE(defaults.setBool("more", true));
    EXPECT_EQ(fileContents(), "{\n  \"more\": true,\n  \"name\": \"Ann\",\n  \"rated\": true\n}\n");
    EXPECT_EQ(fs::status(directory / "defaults.json").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(UserDefaultsTest, TextThatIsNotUTF8IsRefusedAndChangesNothing)
{
    UserDefaults defaults(directory);
    ASSERT_TRUE(defaults.setString("name", "Ann"));
    auto refused = defaults.setString("name", "\xff\xfe");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error()->localizedDescription(), "The setting 'name' is not valid UTF-8 text");
    EXPECT_FALSE(defaults.setBool("\xc3", true));
    EXPECT_EQ(defaults.stringForKey("name"), "Ann");
    EXPECT_EQ(defaults.dictionaryRepresentation().size(), 1u);
    EXPECT_EQ(fileContents(), "{\n  \"name\": \"Ann\"\n}\n");
}

TEST(UserDefaultsFormat, ParsesFlatObjectsOnly)
{
    using Map = std::map<std::string, UserDefaults::Value>;
    struct Case {
        std::string_view text;
        std::optional<Map> expected;
    };
    const Case cases[] = {
        {"{}", Map{}},
        {" \n{ \"a\" : true , \"b\":false,\"c\":\"x\" }\n", Map{{"a", true}, {"b", false}, {"c", std::string("x")}}},
        {R"({"a": true, "a": false})", Map{{"a", false}}}, // the last one wins
        {R"({"s": "\u00fc\ud83d\ude00\/\b\f\r"})", Map{{"s", std::string("\xC3\xBC\xF0\x9F\x98\x80/\b\f\r")}}},
        {"", std::nullopt},
        {"[]", std::nullopt},
        // Members of other kinds are skipped; the object itself is still read.
        {R"({"a": 1, "b": true})", Map{{"b", true}}},
        {R"({"a": null, "b": [true], "c": {"d": true}, "e": "x"})", Map{{"e", std::string("x")}}},
        {std::string_view("{}\0{", 4), std::nullopt},
        {R"({"a": tru})", std::nullopt},
        {R"({"a": true,})", std::nullopt},
        {R"({"a": true} x)", std::nullopt},
        {R"({a: true})", std::nullopt},
        {"{\"a\": \"line\nbreak\"}", std::nullopt},
        {R"({"a": "\x"})", std::nullopt},
        {R"({"a": "\ud83d"})", std::nullopt},
        {R"({"a": "\ude00"})", std::nullopt},
        {R"({"a": "\u12G4"})", std::nullopt},
        {R"({"a": "open)", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserDefaults::parse(c.text), c.expected) << c.text;
}

TEST(UserDefaultsFormat, SerializedFormParsesBackToTheSameValues)
{
    std::map<std::string, UserDefaults::Value> values{
        {"", true}, {"quote\"key", std::string("\\")}, {"ctl", std::string("\x1f\x7f")}, {"utf8", std::string("日本")}};
    auto text = UserDefaults::serialize(values);
    ASSERT_TRUE(text);
    EXPECT_EQ(UserDefaults::parse(*text), values);
    EXPECT_EQ(UserDefaults::serialize({}), "{}\n");
}

TEST(UserDefaultsFormat, DefaultDirectoryFollowsXdgConfigHome)
{
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::optional<std::string> saved = oldConfig ? std::optional<std::string>(oldConfig) : std::nullopt;
    const char* home = std::getenv("HOME");
    struct Case {
        const char* xdg;
        fs::path expected;
    };
    const Case cases[] = {
        {"/cfg", "/cfg/waterline"},
        {"", fs::path(home ? home : "/") / ".config/waterline"},
        {"relative/dir", fs::path(home ? home : "/") / ".config/waterline"},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
        EXPECT_EQ(UserDefaults::defaultDirectory(), c.expected) << c.xdg;
    }
    if (saved)
        ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

} // namespace
