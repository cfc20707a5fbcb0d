#include "FetchOptions.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <string_view>

namespace waterline::fetch {

const char* const kFetchUsage = "usage: wl-fetch URL... [options]\n"
                                "  -o FILE             write the body to FILE (else to standard output)\n"
                                "                      (once per URL, in order)\n"
                                "  --output-dir DIR    write each body to DIR, named after its URL's last segment\n"
                                "  --resume            download into FILE.part and continue it next time\n"
                                "                      (needs a file for every URL)\n"
                                "  -X METHOD           request method\n"
                                "  -d DATA             send DATA as the body\n"
                                "  --data-binary @FILE send the file as the body, streamed from disk\n"
                                "  --gzip-body         gzip the body (Content-Encoding: gzip)\n"
                                "  --no-compressed     do not ask for a gzip-encoded response\n"
                                "  -H 'Name: value'    add a header\n"
                                "  -A AGENT            User-Agent\n"
                                "  --timeout SECONDS   give up after this long without traffic (default 10)\n"
                                "  --no-redirect       do not follow redirects\n"
                                "  --http1.0           speak HTTP/1.0\n"
                                "  -k, --insecure      do not verify TLS certificates\n"
                                "  --cacert FILE       trust the certificate authorities in FILE\n"
                                "  --proxy HOST:PORT   go through this HTTP proxy\n"
                                "  --pac URL           choose the proxy with this proxy auto-configuration script\n"
                                "  --cookie-jar FILE   read cookies from and save them to FILE\n"
                                "  -i                  print the status line and headers before the body\n"
                                "  -D FILE             write the status line and headers to FILE\n"
                                "  --fail              exit 22 when the status is 400 or above\n"
                                "  -v                  tell what is sent and received on standard error\n"
                                "  -u USER[:PASSWORD]  credentials for the server (the password is asked for on a\n"
                                "                      terminal when missing)\n"
                                "  --domain DOMAIN     account domain for NTLM (server and proxy)\n"
                                "  --proxy-user USER[:PASSWORD]  credentials for the proxy\n"
                                "  --keychain          look up and keep credentials in the credential store\n"
                                "  --no-session        neither use nor keep credentials of earlier requests\n"
                                "  --no-prompt         never ask for credentials; fail with status 3 instead\n"
                                "  --progress          progress bars on standard error (default: on a terminal)\n"
                                "  --no-progress       no progress bars\n"
                                "  --accurate-progress learn every download's size first (a HEAD request each)\n"
                                "  --limit-rate BYTES  at most BYTES per second for all transfers (k, M allowed)\n"
                                "  --wwan-limit        limit the rate only on a carrier network (14800 bytes\n"
                                "                      per second unless --limit-rate says otherwise)\n"
                                "  --keep-going        a failed URL does not cancel the others\n"
                                "  --help              this text\n"
                                "Exit status: 0 done, 1-10 the first failed request's error code, 22 with --fail,\n"
                                "64 bad usage.\n";

namespace {

std::optional<std::pair<std::string, int>> parseHostAndPort(const std::string& text)
{
    auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    int port = 0;
    auto digits = std::string_view(text).substr(colon + 1);
    auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (failure != std::errc{} || end != digits.data() + digits.size() || port <= 0 || port > 65535)
        return std::nullopt;
    return std::pair{text.substr(0, colon), port};
}

Credentials parseCredentials(const std::string& text)
{
    auto colon = text.find(':');
    if (colon == std::string::npos)
        return {.user = text, .password = std::nullopt};
    return {.user = text.substr(0, colon), .password = text.substr(colon + 1)};
}

std::optional<std::pair<std::string, std::string>> parseHeader(const std::string& text)
{
    auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    auto value = text.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    return std::pair{text.substr(0, colon), value};
}

// "2048", "16k" or "1M" (k = 1024 bytes); none when not a whole number that fits.
std::optional<std::uint32_t> parseByteRate(std::string_view text)
{
    std::uint64_t scale = 1;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K'))
        scale = 1024;
    else if (!text.empty() && (text.back() == 'm' || text.back() == 'M'))
        scale = 1024 * 1024;
    if (scale != 1)
        text.remove_suffix(1);
    std::uint64_t count = 0;
    auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || failure != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    if (count > std::numeric_limits<std::uint32_t>::max() / scale)
        return std::nullopt;
    return static_cast<std::uint32_t>(count * scale);
}

// Applies an option that takes a value; an error text when the value is unusable.
std::optional<std::string> takeValue(FetchOptions& options, const std::string& name, const std::string& value)
{
    if (name == "-o")
        options.outputPaths.push_back(value);
    else if (name == "--output-dir")
        options.outputDir = value;
    else if (name == "-X")
        options.method = value;
    else if (name == "-d")
        options.data = value;
    else if (name == "--data-binary" && value.starts_with("@"))
        options.dataFile = value.substr(1);
    else if (name == "--data-binary")
        options.data = value;
    else if (name == "-A")
        options.userAgent = value;
    else if (name == "--cacert")
        options.caFile = value;
    else if (name == "--pac")
        options.pacURL = value;
    else if (name == "--cookie-jar")
        options.cookieJar = value;
    else if (name == "-D")
        options.headerDumpPath = value;
    else if (name == "-u")
        options.user = parseCredentials(value);
    else if (name == "--proxy-user")
        options.proxyUser = parseCredentials(value);
    else if (name == "--domain")
        options.domain = value;
    else if (name == "-H") {
        auto header = parseHeader(value);
        if (!header)
            return "-H needs 'Name: value', not '" + value + "'";
        options.headers.push_back(*header);
    } else if (name == "--proxy") {
        options.proxy = parseHostAndPort(value);
        if (!options.proxy)
            return "--proxy needs HOST:PORT, not '" + value + "'";
    } else if (name == "--timeout") {
        double seconds = 0;
        auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (failure != std::errc{} || end != value.data() + value.size())
            return "--timeout needs a number of seconds, not '" + value + "'";
        options.timeoutSeconds = seconds;
    } else if (name == "--limit-rate") {
        options.limitRate = parseByteRate(value);
        if (!options.limitRate)
            return "--limit-rate needs bytes per second (a whole number, k and M allowed), not '" + value + "'";
    }
    return std::nullopt;
}

bool takeFlag(FetchOptions& options, const std::string& name)
{
    static const std::map<std::string, bool FetchOptions::*, std::less<>> setters = {
        {"--resume", &FetchOptions::resume},        {"--gzip-body", &FetchOptions::gzipBody},
        {"--http1.0", &FetchOptions::httpOne},      {"-k", &FetchOptions::insecure},
        {"--insecure", &FetchOptions::insecure},    {"-i", &FetchOptions::includeHeaders},
        {"--fail", &FetchOptions::failOnHTTPError}, {"-v", &FetchOptions::verbose},
        {"--keychain", &FetchOptions::keychain},    {"--keep-going", &FetchOptions::keepGoing},
        {"--wwan-limit", &FetchOptions::wwanLimit},
    };
    if (auto it = setters.find(name); it != setters.end()) {
        options.*(it->second) = true;
        return true;
    }
    if (name == "--no-compressed")
        options.compressed = false;
    else if (name == "--no-redirect")
        options.redirect = false;
    else if (name == "--no-session")
        options.session = false;
    else if (name == "--no-prompt")
        options.prompt = false;
    else if (name == "--progress" || name == "--no-progress")
        options.progress = name == "--progress";
    else if (name == "--accurate-progress")
        options.accurateProgress = true;
    else
        return false;
    return true;
}

bool takesValue(const std::string& name)
{
    for (const char* known :
         {"-o", "-X", "-d", "--data-binary", "-H", "-A", "--timeout", "--cacert", "--proxy", "--pac", "--cookie-jar",
          "-D", "-u", "--proxy-user", "--domain", "--output-dir", "--limit-rate"})
        if (name == known)
            return true;
    return false;
}

} // namespace

std::variant<FetchOptions, HelpRequested, UsageError> parseFetchOptions(const std::vector<std::string>& arguments)
{
    FetchOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h")
            return HelpRequested{};
        if (takesValue(argument)) {
            if (i + 1 >= arguments.size())
                return UsageError{argument + " needs a value"};
            if (auto problem = takeValue(options, argument, arguments[++i]))
                return UsageError{*problem};
        } else if (argument.starts_with("-") && argument.size() > 1) {
            if (!takeFlag(options, argument))
                return UsageError{"unknown option " + argument};
        } else {
            options.urls.push_back(argument);
        }
    }
    if (options.urls.empty())
        return UsageError{"no URL given"};
    if (options.outputPaths.size() > options.urls.size())
        return UsageError{"-o is given more often than there are URLs"};
    if (options.outputDir && !options.outputPaths.empty())
        return UsageError{"give either -o or --output-dir"};
    if (options.resume && !options.outputDir && options.outputPaths.size() < options.urls.size())
        return UsageError{"--resume needs a file for every URL: -o FILE for each, or --output-dir"};
    if (options.data && options.dataFile)
        return UsageError{"give either -d or --data-binary @FILE"};
    return options;
}

} // namespace waterline::fetch
