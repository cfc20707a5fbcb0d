// URL splitting, refusal of unsafe text, and reference resolution (including every
// example of RFC 3986 section 5.4).
#include <waterline/http/URL.h>

#include <gtest/gtest.h>

namespace waterline {
namespace {

TEST(URL, SplitsEveryPart)
{
    const auto url = URL::parse("HTTP://us%65r:p%40ss:w@Example.COM:8080/a/b;c?x=1&y#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->user(), "user");
    EXPECT_EQ(url->password(), "p@ss:w");
    EXPECT_EQ(url->host(), "example.com");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->effectivePort(), 8080);
    EXPECT_EQ(url->path(), "/a/b;c");
    EXPECT_EQ(url->query(), "x=1&y");
    EXPECT_EQ(url->fragment(), "frag");
    EXPECT_EQ(url->pathAndQuery(), "/a/b;c?x=1&y");
    EXPECT_EQ(url->hostAndPort(), "example.com:8080");
    EXPECT_EQ(url->string(), "http://us%65r:p%40ss:w@example.com:8080/a/b;c?x=1&y#frag");
}

TEST(URL, DefaultsAndAbsentParts)
{
    struct Case {
        const char* text;
        std::optional<std::uint16_t> effectivePort;
        const char* pathAndQuery;
        const char* hostAndPort;
    };
    const Case cases[] = {
        {"http://h", 80, "/", "h"},
        {"https://h?q", 443, "/?q", "h"},
        {"http://h:/p", 80, "/p", "h"},
        {"http://[::1]:81/", 81, "/", "[::1]:81"},
        {"ftp://h/f", std::nullopt, "/f", "h"},
        {"file:///tmp/x.pac", std::nullopt, "/tmp/x.pac", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto url = URL::parse(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->effectivePort(), c.effectivePort);
        EXPECT_EQ(url->pathAndQuery(), c.pathAndQuery);
        EXPECT_EQ(url->hostAndPort(), c.hostAndPort);
        EXPECT_FALSE(url->user());
        EXPECT_FALSE(url->password());
        EXPECT_FALSE(url->fragment());
    }
}

TEST(URL, KeepsTextThatNeedsNoChange)
{
    for (const char* text : {"http://h", "http://h/", "http://u@h/", "http://h/?", "http://h/#", "mailto:a@b.c",
                             "file:///tmp/x", "file:/tmp/x", "urn:isbn:123", "http://[fe80::1%25eth0]/"}) {
        const auto url = URL::parse(text);
        ASSERT_TRUE(url) << text;
        EXPECT_EQ(url->string(), text);
    }
    EXPECT_EQ(URL::parse("mailto:a@b.c")->host(), "");
    EXPECT_EQ(URL::parse("http://[::1]/")->hostName(), "::1");
}

TEST(URL, EncodesBytesOutsideASCII)
{
    const auto url = URL::parse("http://h/caf\xC3\xA9?q=\xC3\xA9#\xC3\xA9");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->string(), "http://h/caf%C3%A9?q=%C3%A9#%C3%A9");
}

TEST(URL, RefusesTextThatIsNotASafeAbsoluteURL)
{
    for (const char* text : {"",
                             "/relative",
                             "relative/path",
                             "//h/p",
                             ":nothing",
                             "1http://h",
                             "ht tp://h",
                             "http://h/a b",
                             "http://h/\r\nX-Injected: 1",
                             "http://h/\n",
                             "http://h/\t",
                             "http://h/\x7F",
                             " http://h/",
                             "http://h/ ",
                             "http://h:65536/",
                             "http://h:8o/",
                             "http://h:-1/",
                             "http://[::1/",
                             "http://[zz::1]/",
                             "http://[1.2.3.4]/",
                             "http://[::1]x/",
                             "http://h%41/",
                             "http://ex\xC3\xA9.com/",
                             "http://h^/",
                             "http://a:b:c/"}) {
        EXPECT_FALSE(URL::parse(text)) << '"' << text << '"';
    }
    EXPECT_FALSE(URL::parse(std::string_view("http://h/\0x", 11)));
}

TEST(URL, PercentDecode)
{
    EXPECT_EQ(URL::percentDecode("a%20b%2Fc%zz%4"), "a b/c%zz%4");
    EXPECT_EQ(URL::percentDecode("%"), "%");
    EXPECT_EQ(URL::percentDecode(std::string_view("%00", 3)), std::string(1, '\0'));
}

struct Resolution {
    const char* reference;
    const char* expected; // nullptr: no valid result
};

void expectResolutions(const char* baseText, std::initializer_list<Resolution> cases)
{
    const auto base = URL::parse(baseText);
    ASSERT_TRUE(base) << baseText;
    for (const auto& c : cases) {
        const auto result = base->resolve(c.reference);
        if (!c.expected) {
            EXPECT_FALSE(result) << c.reference;
            continue;
        }
        ASSERT_TRUE(result) << c.reference;
        EXPECT_EQ(result->string(), c.expected) << c.reference;
    }
}

TEST(URL, ResolvesTheNormalExamplesOfRFC3986)
{
    expectResolutions("http://a/b/c/d;p?q",
                      {
                          {"g:h", "g:h"},
                          {"g", "http://a/b/c/g"},
                          {"./g", "http://a/b/c/g"},
                          {"g/", "http://a/b/c/g/"},
                          {"/g", "http://a/g"},
                          {"//g", "http://g"},
                          {"?y", "http://a/b/c/d;p?y"},
                          {"g?y", "http://a/b/c/g?y"},
                          {"#s", "http://a/b/c/d;p?q#s"},
                          {"g#s", "http://a/b/c/g#s"},
                          {"g?y#s", "http://a/b/c/g?y#s"},
                          {";x", "http://a/b/c/;x"},
                          {"g;x", "http://a/b/c/g;x"},
                          {"g;x?y#s", "http://a/b/c/g;x?y#s"},
                          {"", "http://a/b/c/d;p?q"},
                          {".", "http://a/b/c/"},
                          {"./", "http://a/b/c/"},
                          {"..", "http://a/b/"},
                          {"../", "http://a/b/"},
                          {"../g", "http://a/b/g"},
                          {"../..", "http://a/"},
                          {"../../", "http://a/"},
                          {"../../g", "http://a/g"},
                      });
}

TEST(URL, ResolvesTheAbnormalExamplesOfRFC3986)
{
    expectResolutions("http://a/b/c/d;p?q",
                      {
                          {"../../../g", "http://a/g"},
                          {"../../../../g", "http://a/g"},
                          {"/./g", "http://a/g"},
                          {"/../g", "http://a/g"},
                          {"g.", "http://a/b/c/g."},
                          {".g", "http://a/b/c/.g"},
                          {"g..", "http://a/b/c/g.."},
                          {"..g", "http://a/b/c/..g"},
                          {"./../g", "http://a/b/g"},
                          {"./g/.", "http://a/b/c/g/"},
                          {"g/./h", "http://a/b/c/g/h"},
                          {"g/../h", "http://a/b/c/h"},
                          {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
                          {"g;x=1/../y", "http://a/b/c/y"},
                          {"g?y/./x", "http://a/b/c/g?y/./x"},
                          {"g?y/../x", "http://a/b/c/g?y/../x"},
                          {"g#s/./x", "http://a/b/c/g#s/./x"},
                          {"g#s/../x", "http://a/b/c/g#s/../x"},
                          {"http:g", "http:g"},
                      });
}

TEST(URL, ResolvesRedirectTargets)
{
    expectResolutions("https://u:p@h:8443/dir/page?x#top",
                      {
                          {"next", "https://u:p@h:8443/dir/next"},
                          {"/root", "https://u:p@h:8443/root"},
                          {"?y", "https://u:p@h:8443/dir/page?y"},
                          {"//other/x", "https://other/x"},
                          {"HTTP://Other/X", "http://other/X"},
                          {"http://h/a b", nullptr},
                          {"/a\r\nSet-Cookie: x=1", nullptr},
                          {"//[::1/", nullptr},
                      });
    expectResolutions("http://h", {{"a", "http://h/a"}, {"", "http://h"}});
}

} // namespace
} // namespace waterline
