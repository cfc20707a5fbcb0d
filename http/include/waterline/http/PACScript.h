// A proxy auto-configuration script: JavaScript defining FindProxyForURL(url, host),
// which answers with the proxies to use for a URL ("PROXY cache:3128; DIRECT"). The
// standard PAC helper functions (isInNet, shExpMatch, dnsResolve, weekdayRange, ...)
// are there for it to call.
//
// Each evaluation runs in an engine of its own, so a script object may be shared by
// threads, and one evaluation cannot see what another left behind. An evaluation is
// bounded in time and memory: a script that loops for ever or allocates without end
// fails with an error instead of holding the request. (Name look-ups made by the
// script are not interrupted; their time counts when they return.)
//
//     auto script = WL_TRY(PACScript::load(*URL::parse("file:///etc/proxy.pac")));
//     auto proxies = WL_TRY(script.proxiesForURL(*URL::parse("http://example.com/")));
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/http/ProxyEntry.h>
#include <waterline/http/URL.h>

#include <chrono>
#include <string>
#include <vector>

namespace waterline {

class PACScript {
public:
    static constexpr const char* kErrorDomain = "PACScriptErrorDomain";
    enum class ErrorCode : int {
        LoadFailed = 1,        // the script file could not be read
        ScriptError = 2,       // a syntax error, or an exception the script threw
        TimeLimit = 3,         // ran longer than Limits::time
        MemoryLimit = 4,       // needed more than Limits::memoryBytes
        NoFindProxyForURL = 5, // the script defines no such function
        BadResult = 6,         // FindProxyForURL returned something other than a string
    };

    struct Limits {
        std::chrono::milliseconds time{1000};
        std::size_t memoryBytes = std::size_t{64} << 20;
    };

    // Longest script file load() reads.
    static constexpr std::uint64_t kMaximumScriptSize = 4 << 20;

    explicit PACScript(std::string text);

    // The script at a file: URL ("file:///etc/proxy.pac"). Scripts on web servers are
    // fetched by the request, which then makes a PACScript of the text.
    static ErrorOr<PACScript> load(const URL& scriptURL);

    const std::string& text() const { return m_text; }

    // What FindProxyForURL answers for `url`. The script gets the URL without user
    // info and fragment, and the host without brackets.
    ErrorOr<std::string> findProxyForURL(const URL& url, Limits limits) const;
    ErrorOr<std::string> findProxyForURL(const URL& url) const { return findProxyForURL(url, Limits{}); }

    // The answer read as a list of proxies (see parsePACResult).
    ErrorOr<std::vector<ProxyEntry>> proxiesForURL(const URL& url, Limits limits) const;
    ErrorOr<std::vector<ProxyEntry>> proxiesForURL(const URL& url) const { return proxiesForURL(url, Limits{}); }

private:
    std::string m_text;
};

} // namespace waterline
