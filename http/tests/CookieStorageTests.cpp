// The cookie store: replacement and deletion, the order cookies are sent in, the
// limits, the persistent file (session cookies left out, a bad file left alone), and
// many threads at once.
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/http/CookieStorage.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

namespace waterline {
namespace {

using namespace std::chrono;
using Clock = Cookie::Clock;

URL url(const char* text)
{
    return URL::parse(text).value();
}

Cookie cookie(std::string_view header, const char* requestURL, Clock::time_point created = Clock::now())
{
    return Cookie::parse(header, url(requestURL), created).value();
}

void store(CookieStorage& storage, std::vector<Cookie> cookies, const char* requestURL)
{
    ASSERT_FALSE(storage.setCookies(cookies, url(requestURL)).isError());
}

// "<prefix><number><suffix>"
std::string numbered(std::string prefix, std::size_t number, std::string_view suffix)
{
    return prefix.append(std::to_string(number)).append(suffix);
}

std::string headerFor(const CookieStorage& storage, const char* requestURL)
{
    return CookieStorage::cookieHeaderValue(storage.cookiesForURL(url(requestURL)));
}

TEST(CookieStorage, SendsLongerPathsFirstThenOlderCookies)
{
    CookieStorage storage;
    const auto t = Clock::now();
    const char* page = "http://example.com/a/b/page";
    store(storage,
          {cookie("old=1; Path=/", page, t), cookie("deep=2", page, t + 1s), cookie("mid=3; Path=/a", page, t + 2s),
           cookie("new=4; Path=/", page, t + 3s), cookie("other=5; Path=/x", page, t)},
          page);
    EXPECT_EQ(headerFor(storage, page), "deep=2; mid=3; old=1; new=4");
    EXPECT_EQ(headerFor(storage, "http://example.com/"), "old=1; new=4");
    EXPECT_EQ(headerFor(storage, "http://other.com/"), "");
    EXPECT_EQ(CookieStorage::cookieHeaderValue({cookie("a=1", page), cookie("b=2", page), cookie("c=3", page)}),
              "a=1; b=2; c=3");
}

TEST(CookieStorage, ReplacesAndDeletesTheSameCookie)
{
    CookieStorage storage;
    const char* page = "http://example.com/";
    const auto t = Clock::now();
    store(storage, {cookie("a=1", page, t), cookie("b=1", page, t + 1s)}, page);
    store(storage, {cookie("a=2", page, t + 2s), cookie("a=3; Path=/x", page, t + 2s)}, page);
    EXPECT_EQ(headerFor(storage, page), "a=2; b=1") << "a replaced cookie keeps its place";
    EXPECT_EQ(storage.allCookies().size(), 3u);

    store(storage, {cookie("a=gone; Max-Age=0", page)}, page);
    EXPECT_EQ(headerFor(storage, page), "b=1");
    store(storage, {cookie("b=gone; Expires=Thu, 01 Jan 1970 00:00:00 GMT", page)}, page);
    EXPECT_EQ(headerFor(storage, page), "");
    EXPECT_EQ(headerFor(storage, "http://example.com/x"), "a=3");

    ASSERT_FALSE(storage.deleteCookie(cookie("a=whatever; Path=/x", page)).isError());
    EXPECT_TRUE(storage.allCookies().empty());
}

TEST(CookieStorage, LeavesOutExpiredAndForeignCookies)
{
    CookieStorage storage;
    const char* page = "https://www.example.com/";
    store(storage, {cookie("soon=1; Max-Age=60", page), cookie("secure=1; Secure", page)}, page);
    EXPECT_EQ(CookieStorage::cookieHeaderValue(storage.cookiesForURL(url(page), Clock::now() + 61s)), "secure=1");
    EXPECT_EQ(headerFor(storage, "http://www.example.com/"), "soon=1");

    // Cookies made for another site are not taken from this response.
    store(storage, {cookie("x=1", "http://evil.com/"), cookie("y=1; Domain=evil.com", "http://www.evil.com/")}, page);
    EXPECT_EQ(storage.allCookies().size(), 2u);

    ASSERT_FALSE(storage.removeAllCookies().isError());
    EXPECT_TRUE(storage.allCookies().empty());
}

TEST(CookieStorage, KeepsToItsLimitsByDroppingTheOldest)
{
    CookieStorage storage;
    const char* page = "http://example.com/";
    const auto t = Clock::now();
    std::vector<Cookie> cookies;
    for (std::size_t i = 0; i <= CookieStorage::kMaximumCookiesPerDomain; ++i)
        cookies.push_back(cookie(numbered("c", i, "=v"), page, t + seconds(i)));
    store(storage, cookies, page);
    const auto kept = storage.allCookies();
    ASSERT_EQ(kept.size(), CookieStorage::kMaximumCookiesPerDomain);
    EXPECT_EQ(kept.front().name, "c1");
    EXPECT_EQ(kept.back().name, "c50");
}

TEST(CookieStorage, ManyThreadsAtOnce)
{
    CookieStorage storage;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 4; ++t) {
        threads.emplace_back([&storage, t] {
            const auto page = numbered("http://host", t, ".test/");
            for (std::size_t i = 0; i < 40; ++i) {
                const auto c = Cookie::parse(numbered("c", i, "=v"), *URL::parse(page));
                (void)storage.setCookies({*c}, *URL::parse(page));
                (void)storage.cookiesForURL(*URL::parse(page));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(storage.allCookies().size(), 160u);
}

class CookieFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(std::filesystem::create_directory(m_folder)); }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string contents() const
    {
        const auto bytes = readFile(m_file).value();
        return std::string(bytes.begin(), bytes.end());
    }

    std::filesystem::path m_folder = temporaryFilePath();
    std::filesystem::path m_file = m_folder / "cookies";
};

TEST_F(CookieFiles, SavesCookiesWithAnExpiryAndLoadsThemBack)
{
    const char* page = "https://www.example.com/a/b";
    {
        CookieStorage storage;
        ASSERT_FALSE(storage.setPersistentStorePath(m_file).isError());
        EXPECT_FALSE(std::filesystem::exists(m_file));
        store(storage,
              {cookie("session=1", page), cookie("kept=x\\y; Max-Age=3600; Path=/a\tb; Secure; HttpOnly", page),
               cookie("wide=2; Max-Age=3600; Domain=example.com", page)},
              page);
        struct stat info;
        ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    CookieStorage reloaded;
    ASSERT_FALSE(reloaded.setPersistentStorePath(m_file).isError());
    const auto cookies = reloaded.allCookies();
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_EQ(cookies[0].value, "x\\y");
    EXPECT_EQ(cookies[0].path, "/a\tb");
    EXPECT_TRUE(cookies[0].isSecure && cookies[0].isHTTPOnly && cookies[0].isHostOnly);
    EXPECT_EQ(cookies[1].domain, "example.com");
    EXPECT_FALSE(cookies[1].isHostOnly || cookies[1].isSecure || cookies[1].isHTTPOnly);

    // A change is saved at once; deleting the last one leaves an empty store file.
    ASSERT_FALSE(reloaded.removeAllCookies().isError());
    CookieStorage empty;
    ASSERT_FALSE(empty.setPersistentStorePath(m_file).isError());
    EXPECT_TRUE(empty.allCookies().empty());
}

TEST_F(CookieFiles, ABadFileIsAnErrorAndStaysAsItWas)
{
    const std::string bad[] = {
        "not a cookie file\n",
        "# waterline cookies 1\nname\tvalue\n",
        "# waterline cookies 1\nn\tv\td\t/\tsoon\t0\t-\n",
        "# waterline cookies 1\nn\tv\td\t/\t1\t0\tX\n",
        "# waterline cookies 1\nn\tv\\q\td\t/\t1\t0\t-\n",
        "# waterline cookies 1\nn\tv\td\t/\t1\t0\t-",
    };
    for (const auto& text : bad) {
        ASSERT_FALSE(writeFileAtomically(m_file, text).isError());
        CookieStorage storage;
        const auto result = storage.setPersistentStorePath(m_file);
        ASSERT_TRUE(result.isError()) << text;
        EXPECT_EQ(result.error()->domain(), CookieStorage::kErrorDomain);
        EXPECT_NE(result.error()->localizedDescription().find(m_file.string()), std::string::npos);
        store(storage, {cookie("a=1; Max-Age=60", "http://h/")}, "http://h/");
        EXPECT_EQ(contents(), text);
    }
    EXPECT_TRUE(CookieStorage().setPersistentStorePath(m_folder).isError()) << "a folder is not a cookie file";
}

} // namespace
} // namespace waterline
