// The cookie store: one list under one lock, saved whole after each change when a
// store file is set.
#include "CookieFile.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/http/CookieStorage.h>

#include <algorithm>
#include <cerrno>

namespace waterline {

namespace {

using Clock = Cookie::Clock;

bool coversHost(const Cookie& cookie, const std::string& host)
{
    return cookie.isHostOnly ? host == cookie.domain : Cookie::domainMatches(host, cookie.domain);
}

void removeExpired(std::vector<Cookie>& cookies, Clock::time_point now)
{
    std::erase_if(cookies, [&](const Cookie& cookie) { return cookie.isExpired(now); });
}

// Drops the oldest cookie among those `select` picks while they are more than `limit`.
template <typename Select> void keepAtMost(std::vector<Cookie>& cookies, std::size_t limit, Select select)
{
    while (static_cast<std::size_t>(std::count_if(cookies.begin(), cookies.end(), select)) > limit) {
        auto oldest = std::find_if(cookies.begin(), cookies.end(), select);
        for (auto it = oldest; it != cookies.end(); ++it)
            if (select(*it) && it->creationTime < oldest->creationTime)
                oldest = it;
        cookies.erase(oldest);
    }
}

} // namespace

CookieStorage& CookieStorage::shared()
{
    static CookieStorage storage;
    return storage;
}

void CookieStorage::store(State& state, Cookie cookie, Clock::time_point now)
{
    auto& cookies = state.cookies;
    const auto existing = std::find_if(cookies.begin(), cookies.end(),
                                       [&](const Cookie& stored) { return stored.isSameCookie(cookie); });
    if (existing != cookies.end()) {
        // A replaced cookie keeps its place in the order of sending.
        cookie.creationTime = existing->creationTime;
        cookies.erase(existing);
    }
    if (cookie.isExpired(now))
        return;
    const std::string domain = cookie.domain;
    cookies.push_back(std::move(cookie));
    keepAtMost(cookies, kMaximumCookiesPerDomain, [&](const Cookie& c) { return c.domain == domain; });
    keepAtMost(cookies, kMaximumCookies, [](const Cookie&) { return true; });
}

ErrorOr<void> CookieStorage::save(const State& state)
{
    if (!state.storePath)
        return {};
    return writeFileAtomically(*state.storePath, cookieFileText(state.cookies), {.permissions = 0600});
}

ErrorOr<void> CookieStorage::setCookies(const std::vector<Cookie>& cookies, const URL& url)
{
    const auto host = url.hostName(); // lower case already
    const auto now = Clock::now();
    return m_state.with([&](State& state) -> ErrorOr<void> {
        removeExpired(state.cookies, now);
        for (const auto& cookie : cookies)
            if (coversHost(cookie, host))
                store(state, cookie, now);
        return save(state);
    });
}

std::vector<Cookie> CookieStorage::cookiesForURL(const URL& url, Clock::time_point now) const
{
    auto matching = m_state.with([&](const State& state) {
        std::vector<Cookie> result;
        for (const auto& cookie : state.cookies)
            if (!cookie.isExpired(now) && cookie.matches(url))
                result.push_back(cookie);
        return result;
    });
    std::stable_sort(matching.begin(), matching.end(), [](const Cookie& a, const Cookie& b) {
        if (a.path.size() != b.path.size())
            return a.path.size() > b.path.size();
        return a.creationTime < b.creationTime;
    });
    return matching;
}

std::string CookieStorage::cookieHeaderValue(const std::vector<Cookie>& cookies)
{
    std::string header;
    for (const auto& cookie : cookies) {
        if (!header.empty())
            header += "; ";
        header.append(cookie.name).append("=").append(cookie.value);
    }
    return header;
}

std::vector<Cookie> CookieStorage::allCookies() const
{
    return m_state.with([](const State& state) { return state.cookies; });
}

ErrorOr<void> CookieStorage::deleteCookie(const Cookie& cookie)
{
    return m_state.with([&](State& state) -> ErrorOr<void> {
        std::erase_if(state.cookies, [&](const Cookie& stored) { return stored.isSameCookie(cookie); });
        return save(state);
    });
}

ErrorOr<void> CookieStorage::removeAllCookies()
{
    return m_state.with([](State& state) -> ErrorOr<void> {
        state.cookies.clear();
        return save(state);
    });
}

ErrorOr<void> CookieStorage::setPersistentStorePath(const std::filesystem::path& path)
{
    std::vector<Cookie> saved;
    auto text = readFile(path);
    if (text) {
        auto parsed = cookiesFromFileText(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
        if (!parsed)
            return Error::create(kErrorDomain, static_cast<int>(ErrorCode::MalformedFile),
                                 "The cookie file " + path.string()
                                     + " cannot be used: " + parsed.error()->localizedDescription());
        saved = parsed.releaseValue();
    } else if (text.error()->domain() != Error::kPOSIXErrorDomain || text.error()->code() != ENOENT) {
        return text.releaseError();
    }
    const auto now = Clock::now();
    m_state.with([&](State& state) {
        for (auto& cookie : saved)
            store(state, std::move(cookie), now);
        state.storePath = path;
    });
    return {};
}

} // namespace waterline
