// Fuzzes URL parsing and reference resolution: whatever is accepted must be safe to
// send (no control character or space anywhere in its text), must read back as the
// same URL from its own text, and must resolve references into URLs that do the same.
#include <waterline/http/URL.h>

#include <cstdlib>

namespace {

using namespace waterline;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isSafe(const std::string& text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
            return false;
    }
    return true;
}

void checkAccepted(const URL& url)
{
    const auto text = url.string();
    check(isSafe(text));
    check(isSafe(url.pathAndQuery()) && isSafe(url.hostAndPort()));
    check(URL::parse(text) == url);
    (void)url.user();
    (void)url.password();
    (void)url.effectivePort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto url = URL::parse(text)) {
        checkAccepted(*url);
        if (auto self = url->resolve(""))
            checkAccepted(*self);
    }
    static const auto base = URL::parse("http://user:pw@a.example:8080/b/c/d;p?q#f");
    if (const auto resolved = base->resolve(text))
        checkAccepted(*resolved);
    (void)URL::percentDecode(text);
    return 0;
}
