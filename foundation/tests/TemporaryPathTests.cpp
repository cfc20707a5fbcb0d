#include <waterline/foundation/TemporaryPath.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>

using namespace waterline;

namespace {

// XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX in upper-case hex, Y one of 8, 9, A, B.
bool isVersion4Uuid(const std::string& text)
{
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (c == '-'))
            return false;
        if (!dash && !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return text[14] == '4' && std::string("89AB").find(text[19]) != std::string::npos;
}

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
    for (const auto& c : cases) {
        TmpdirScope scope(c.tmpdir);
        EXPECT_EQ(temporaryDirectory(), c.directory) << (c.tmpdir ? c.tmpdir : "(unset)");
        std::string path = temporaryFilePath();
        std::string prefix = std::string(c.directory) + (std::string(c.directory) == "/" ? "" : "/");
        ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
        EXPECT_TRUE(isVersion4Uuid(path.substr(prefix.size()))) << path;
    }
}

TEST(TemporaryPath, NamesDoNotRepeat)
{
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        auto name = globallyUniqueString();
        ASSERT_TRUE(isVersion4Uuid(name)) << name;
        EXPECT_TRUE(seen.insert(name).second);
    }
}

} // namespace
