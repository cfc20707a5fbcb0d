// Reading "Set-Cookie" values: the date forms, the attributes and their precedence,
// the domain rules (public suffixes, foreign domains), refusal of unsafe or oversized
// cookies, and the domain and path matching that decides where a cookie goes.
#include <waterline/http/Cookie.h>
#include <waterline/http/CookieDate.h>

#include <gtest/gtest.h>

namespace waterline {
namespace {

using namespace std::chrono;
using Clock = Cookie::Clock;

Clock::time_point utc(int y, unsigned m, unsigned d, int hh, int mm, int ss)
{
    return sys_days(year_month_day{year(y), month(m), day(d)}) + hours(hh) + minutes(mm) + seconds(ss);
}

URL url(const char* text)
{
    return URL::parse(text).value();
}

const Clock::time_point kNow = utc(2026, 3, 1, 12, 0, 0);

std::optional<Cookie> parse(std::string_view header, const char* requestURL = "http://www.example.com/shop/cart")
{
    return Cookie::parse(header, url(requestURL), kNow);
}

TEST(CookieDate, ReadsEveryDateForm)
{
    const auto nov6 = utc(1994, 11, 6, 8, 49, 37);
    struct Case {
        const char* text;
        Clock::time_point expected;
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", nov6},
        {"Sunday, 06-Nov-94 08:49:37 GMT", nov6},
        {"Sun Nov  6 08:49:37 1994", nov6},
        {"Sun, 06-Nov-1994 08:49:37 GMT", nov6},
        {"6 november 1994 8:49:37", nov6},
        {"1994 NOV 06 08:49:37", nov6},
        {"Thu, 01 Jan 1970 00:00:00 GMT", utc(1970, 1, 1, 0, 0, 0)},
        {"Wed, 01 Jan 69 00:00:00 GMT", utc(2069, 1, 1, 0, 0, 0)},
        {"Wed, 01 Jan 70 00:00:00 GMT", utc(1970, 1, 1, 0, 0, 0)},
        {"Tue, 29 Feb 2028 23:59:59 GMT", utc(2028, 2, 29, 23, 59, 59)},
        {"Mon, 01 Jan 1601 00:00:00 GMT", Clock::time_point::min() + seconds(1)}, // before the clock's range
    };
    for (const auto& c : cases) {
        const auto date = parseCookieDate(c.text);
        ASSERT_TRUE(date) << c.text;
        if (c.expected == Clock::time_point::min() + seconds(1))
            EXPECT_LT(*date, utc(1700, 1, 1, 0, 0, 0)) << c.text;
        else
            EXPECT_EQ(*date, c.expected) << c.text;
    }
    EXPECT_GT(*parseCookieDate("31 Dec 9999 23:59:59"), utc(2200, 1, 1, 0, 0, 0));
}

TEST(CookieDate, RefusesDatesThatDoNotExist)
{
    for (const char* text :
         {"", "Sun, 06 Nov 1994", "06 Nov 1994 08:49", "Nov 1994 08:49:37", "Sun, 31 Feb 1994 08:49:37 GMT",
          "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994 08:60:00 GMT", "Sun, 06 Nov 1600 08:49:37 GMT",
          "Sun, 06 Xyz 1994 08:49:37 GMT", "Sun, 006 Nov 1994 08:49:37 GMT", "0 Nov 1994 08:49:37"})
        EXPECT_FALSE(parseCookieDate(text)) << text;
}

TEST(Cookie, TakesNameValueAndDefaults)
{
    const auto cookie = parse("  SID = 31d4d96e407aad42 ");
    ASSERT_TRUE(cookie);
    EXPECT_EQ(cookie->name, "SID");
    EXPECT_EQ(cookie->value, "31d4d96e407aad42");
    EXPECT_EQ(cookie->domain, "www.example.com");
    EXPECT_TRUE(cookie->isHostOnly);
    EXPECT_EQ(cookie->path, "/shop");
    EXPECT_TRUE(cookie->isSessionOnly());
    EXPECT_FALSE(cookie->isSecure);
    EXPECT_FALSE(cookie->isHTTPOnly);
    EXPECT_EQ(cookie->creationTime, kNow);

    EXPECT_EQ(parse("a=")->value, "");
    EXPECT_EQ(parse("a=b=c")->value, "b=c");
    EXPECT_EQ(parse("a=\"quoted\"")->value, "\"quoted\"");
}

TEST(Cookie, ReadsAttributes)
{
    const auto cookie = parse("a=b; path=/shop/x ;\tSECURE; HttpOnly; Domain=.Example.COM; SameSite=Lax; Unknown");
    ASSERT_TRUE(cookie);
    EXPECT_EQ(cookie->path, "/shop/x");
    EXPECT_TRUE(cookie->isSecure);
    EXPECT_TRUE(cookie->isHTTPOnly);
    EXPECT_EQ(cookie->domain, "example.com");
    EXPECT_FALSE(cookie->isHostOnly);

    EXPECT_EQ(parse("a=b; Path=relative")->path, "/shop");
    EXPECT_EQ(parse("a=b; Path=")->path, "/shop");
    EXPECT_EQ(parse("a=b; Path=/one; Path=/two")->path, "/two");
    EXPECT_EQ(parse("a=b; Domain=")->domain, "www.example.com");
    EXPECT_EQ(parse("a=b; Path=/" + std::string(2000, 'p'))->path, "/shop") << "an oversized attribute is ignored";
}

TEST(Cookie, ExpiryFromMaxAgeOrExpires)
{
    const auto inAnHour = kNow + hours(1);
    struct Case {
        const char* header;
        std::optional<Clock::time_point> expires;
    };
    const Case cases[] = {
        {"a=b; Max-Age=3600", inAnHour},
        {"a=b; Expires=Wed, 01 Jan 2031 00:00:00 GMT", utc(2031, 1, 1, 0, 0, 0)},
        {"a=b; Max-Age=3600; Expires=Wed, 01 Jan 2031 00:00:00 GMT", inAnHour},
        {"a=b; Expires=Wed, 01 Jan 2031 00:00:00 GMT; Max-Age=3600", inAnHour},
        {"a=b; Max-Age=12x; Expires=Wed, 01 Jan 2031 00:00:00 GMT", utc(2031, 1, 1, 0, 0, 0)},
        {"a=b; Max-Age=+5", std::nullopt},
        {"a=b; Expires=soon", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(c.header)->expiresDate, c.expires) << c.header;

    for (const char* deleting : {"a=b; Max-Age=0", "a=b; Max-Age=-1", "a=b; Max-Age=00",
                                 "a=b; Expires=Thu, 01 Jan 1970 00:00:00 GMT", "a=b; Max-Age=-99999999999999999999"}) {
        const auto cookie = parse(deleting);
        ASSERT_TRUE(cookie) << deleting;
        EXPECT_TRUE(cookie->isExpired(kNow)) << deleting;
    }
    const auto forever = parse("a=b; Max-Age=99999999999999999999999");
    EXPECT_FALSE(forever->isExpired(utc(2200, 1, 1, 0, 0, 0)));
}

TEST(Cookie, DomainAttributeMustCoverTheHostAndNotBeAPublicSuffix)
{
    struct Case {
        const char* header;
        const char* requestURL;
        const char* domain; // nullptr: the cookie is refused
        bool hostOnly;
    };
    const Case cases[] = {
        {"a=b; Domain=example.com", "http://www.example.com/", "example.com", false},
        {"a=b; Domain=www.example.com", "http://www.example.com/", "www.example.com", false},
        {"a=b; Domain=other.com", "http://www.example.com/", nullptr, false},
        {"a=b; Domain=ample.com", "http://www.example.com/", nullptr, false},
        {"a=b; Domain=sub.www.example.com", "http://www.example.com/", nullptr, false},
        {"a=b; Domain=com", "http://www.example.com/", nullptr, false},
        {"a=b; Domain=co.uk", "http://shop.example.co.uk/", nullptr, false},
        {"a=b; Domain=example.co.uk", "http://shop.example.co.uk/", "example.co.uk", false},
        {"a=b; Domain=github.io", "http://someone.github.io/", nullptr, false},
        {"a=b; Domain=localhost", "http://localhost/", "localhost", true},
        {"a=b; Domain=127.0.0.1", "http://127.0.0.1/", "127.0.0.1", false},
        {"a=b; Domain=0.0.1", "http://127.0.0.1/", nullptr, false},
        {"a=b", "http://[::1]:8080/", "::1", true},
    };
    for (const auto& c : cases) {
        const auto cookie = parse(c.header, c.requestURL);
        if (!c.domain) {
            EXPECT_FALSE(cookie) << c.header << " from " << c.requestURL;
            continue;
        }
        ASSERT_TRUE(cookie) << c.header << " from " << c.requestURL;
        EXPECT_EQ(cookie->domain, c.domain) << c.header;
        EXPECT_EQ(cookie->isHostOnly, c.hostOnly) << c.header;
    }
}

TEST(Cookie, RefusesMalformedUnsafeAndOversizedCookies)
{
    for (std::string header : {"", "noequals", "=value", " =value", "a=b\r\nSet-Cookie: c=d", "a=b\nc", "a\tb=c",
                               "a=b\tc", "a=\x7F", "a=b; Path=/\r\n"})
        EXPECT_FALSE(parse(header.c_str())) << header;
    EXPECT_FALSE(Cookie::parse(std::string_view("a=b\0c", 5), url("http://h/"), kNow));
    EXPECT_FALSE(Cookie::parse("a=b", url("file:///tmp/page.html"), kNow)) << "no host to set it for";

    const std::string name(96, 'n');
    EXPECT_TRUE(parse((name + "=" + std::string(Cookie::kMaximumNameAndValueSize - name.size(), 'v')).c_str()));
    EXPECT_FALSE(parse((name + "=" + std::string(Cookie::kMaximumNameAndValueSize - name.size() + 1, 'v')).c_str()));
}

TEST(Cookie, DomainAndPathMatching)
{
    EXPECT_TRUE(Cookie::domainMatches("example.com", "example.com"));
    EXPECT_TRUE(Cookie::domainMatches("a.b.example.com", "example.com"));
    EXPECT_FALSE(Cookie::domainMatches("badexample.com", "example.com"));
    EXPECT_FALSE(Cookie::domainMatches("example.com", "www.example.com"));
    EXPECT_FALSE(Cookie::domainMatches("1.2.3.4", "2.3.4"));
    EXPECT_FALSE(Cookie::domainMatches("x.com", ""));

    struct PathCase {
        const char* requestPath;
        const char* cookiePath;
        bool matches;
    };
    for (const auto& c : std::initializer_list<PathCase>{{"/", "/", true},
                                                         {"/docs", "/docs", true},
                                                         {"/docs/", "/docs", true},
                                                         {"/docs/web", "/docs", true},
                                                         {"/docs/web", "/docs/", true},
                                                         {"/docsets", "/docs", false},
                                                         {"/doc", "/docs", false},
                                                         {"/Docs", "/docs", false}})
        EXPECT_EQ(Cookie::pathMatches(c.requestPath, c.cookiePath), c.matches) << c.requestPath << " " << c.cookiePath;

    for (const auto& [requestPath, expected] : std::initializer_list<std::pair<const char*, const char*>>{
             {"", "/"}, {"x", "/"}, {"/", "/"}, {"/a", "/"}, {"/a/", "/a"}, {"/a/b/c", "/a/b"}})
        EXPECT_EQ(Cookie::defaultPath(requestPath), expected) << requestPath;
}

TEST(Cookie, MatchesRequestsByDomainPathAndScheme)
{
    const auto wide = *parse("a=b; Domain=example.com; Path=/shop; Secure");
    EXPECT_TRUE(wide.matches(url("https://example.com/shop")));
    EXPECT_TRUE(wide.matches(url("https://deep.www.EXAMPLE.com/shop/x?q")));
    EXPECT_FALSE(wide.matches(url("http://example.com/shop")));
    EXPECT_FALSE(wide.matches(url("https://example.com/")));
    EXPECT_FALSE(wide.matches(url("https://example.org/shop")));

    const auto hostOnly = *parse("a=b; Path=/");
    EXPECT_TRUE(hostOnly.matches(url("http://www.example.com")));
    EXPECT_TRUE(hostOnly.matches(url("https://www.example.com:8443/x")));
    EXPECT_FALSE(hostOnly.matches(url("http://sub.www.example.com/")));
    EXPECT_FALSE(hostOnly.matches(url("http://example.com/")));
}

} // namespace
} // namespace waterline
