// Fuzzes cookies from both ends. With an even first byte the rest is a "Set-Cookie"
// value for one of a few request URLs: an accepted cookie must hold no byte that could
// break the "Cookie" header, must be stored and found again for its URL by a store,
// and the header made from it must hold no such byte either. With an odd first byte
// the rest is a persistent cookie file: whatever it gives must write back to a file
// that reads as the same cookies.
#include "../CookieFile.h"

#include <waterline/http/CookieStorage.h>

#include <cstdlib>

namespace {

using namespace waterline;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool fitsInHeader(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == ';')
            return false;
    return true;
}

void fuzzSetCookie(std::string_view value, const URL& requestURL)
{
    const auto now = Cookie::Clock::now();
    const auto cookie = Cookie::parse(value, requestURL, now);
    if (!cookie)
        return;
    check(!cookie->name.empty() && fitsInHeader(cookie->name) && fitsInHeader(cookie->value));
    check(cookie->name.find('=') == std::string::npos);

    CookieStorage storage;
    check(!storage.setCookies({*cookie}, requestURL).isError());
    const auto header = CookieStorage::cookieHeaderValue(storage.cookiesForURL(requestURL, now));
    for (char c : header)
        check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    if (!cookie->isExpired(now) && cookie->matches(requestURL))
        check(storage.cookiesForURL(requestURL, now).size() == 1);
}

void fuzzCookieFile(std::string_view text)
{
    auto cookies = cookiesFromFileText(text);
    if (!cookies)
        return;
    auto again = cookiesFromFileText(cookieFileText(*cookies));
    check(!again.isError() && *again == *cookies);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const URL kRequestURLs[] = {
        *URL::parse("http://www.example.com/shop/cart"),
        *URL::parse("https://a.b.example.co.uk/"),
        *URL::parse("http://127.0.0.1:8080/x/y/"),
        *URL::parse("http://localhost"),
    };
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0)
        fuzzSetCookie(text, kRequestURLs[(data[0] / 2) % std::size(kRequestURLs)]);
    else
        fuzzCookieFile(text);
    return 0;
}
