// The cookies the HTTP client has been given, shared by every request of the process
// (shared()) and safe to use from any thread. A stored cookie replaces the one with
// the same name, domain and path; a cookie whose expiry has passed deletes it.
//
// With a persistent store path the cookies that have an expiry are loaded from that
// file at once and written back after each change (the file is replaced whole, so a
// crash leaves the old or the new contents). Session cookies stay in memory.
//
//     auto& storage = CookieStorage::shared();
//     auto stored = storage.setCookies(responseCookies, url);      // error: file not saved
//     auto header = CookieStorage::cookieHeaderValue(storage.cookiesForURL(url));  // "a=b; c=d"
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/Guarded.h>
#include <waterline/http/Cookie.h>

#include <filesystem>
#include <optional>
#include <vector>

namespace waterline {

class CookieStorage {
public:
    using Clock = Cookie::Clock;

    // Beyond these the oldest cookies (by creation time) make room.
    static constexpr std::size_t kMaximumCookiesPerDomain = 50;
    static constexpr std::size_t kMaximumCookies = 3000;

    // Errors about the persistent store file.
    static constexpr const char* kErrorDomain = "CookieStorageErrorDomain";
    enum class ErrorCode : int { MalformedFile = 1 };

    // The process-wide store.
    static CookieStorage& shared();

    // An empty store of its own, not persisted (for tests and tools).
    CookieStorage() = default;
    CookieStorage(const CookieStorage&) = delete;
    CookieStorage& operator=(const CookieStorage&) = delete;

    // Stores the cookies of a response from `url`. A cookie whose domain does not
    // cover the URL's host is not taken. The cookies are stored even when the error
    // says that the persistent store could not be written.
    [[nodiscard]] ErrorOr<void> setCookies(const std::vector<Cookie>& cookies, const URL& url);

    // The cookies to send with a request to `url`, those with longer paths first, then
    // the older ones first. Expired cookies are left out.
    std::vector<Cookie> cookiesForURL(const URL& url, Clock::time_point now = Clock::now()) const;

    // "name=value" for each cookie, in order, joined by "; ".
    static std::string cookieHeaderValue(const std::vector<Cookie>& cookies);

    std::vector<Cookie> allCookies() const;
    // Removes the stored cookie with the name, domain and path of `cookie`.
    [[nodiscard]] ErrorOr<void> deleteCookie(const Cookie& cookie);
    [[nodiscard]] ErrorOr<void> removeAllCookies();

    // Adds the cookies saved in `path` (a file that does not exist yet holds none) and
    // saves to it after every change from now on. A file that cannot be read or is not
    // a cookie file is an error, and is then neither used nor overwritten.
    [[nodiscard]] ErrorOr<void> setPersistentStorePath(const std::filesystem::path& path);

private:
    struct State {
        std::vector<Cookie> cookies;
        std::optional<std::filesystem::path> storePath;
    };

    static void store(State& state, Cookie cookie, Clock::time_point now);
    static ErrorOr<void> save(const State& state);

    Guarded<State> m_state;
};

} // namespace waterline
