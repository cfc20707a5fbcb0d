#include <waterline/foundation/TemporaryPath.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <set>
#include <string>

using namespace waterline;

namespace {

// Sets TMPDIR for one test and restores it afterwards.
class TmpdirScope {
public:
    explicit TmpdirScope(const char* value)
    {
        if (const char* old = std::getenv("TMPDIR"))
            m_old = old;
        if (value)
            ::setenv("TMPDIR", value, 1);
        else
            ::unsetenv("TMPDIR");
    }
    ~TmpdirScope()
    {
        if (m_old)
            ::setenv("TMPDIR", m_old->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> m_old;
};

TEST(TemporaryPath, JoinsTheTemporaryDirectoryWithAUniqueName)
{
    struct Case {
        const char* tmpdir;
        const char* directory;
    };
    const Case cases[] = {
        {nullptr, "/tmp"}, {"", "/tmp"}, {"/var/tmp", "/var/tmp"}, {"/var/tmp/", "/var/tmp"}, {"/", "/"},
    };
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    for (const auto& c : cases) {
        TmpdirScope scope(c.tmpdir);
        EXPECT_EQ(temporaryDirectory(), c.directory) << (c.tmpdir ? c.tmpdir : "(unset)");
        std::string path = temporaryFilePath();
        std::string prefix = std::string(c.directory) + (std::string(c.directory) == "/" ? "" : "/");
        ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
        EXPECT_TRUE(std::regex_match(path.substr(prefix.size()), uuid)) << path;
    }
}

TEST(TemporaryPath, NamesDoNotRepeat)
{
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i)
        EXPECT_TRUE(seen.insert(globallyUniqueString()).second);
}

} // namespace
