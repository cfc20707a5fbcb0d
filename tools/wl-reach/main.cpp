// wl-reach: prints whether the internet, a local link-local network and, when given,
// a remote host can be reached now, as the reachability monitor sees them, and with
// --watch keeps printing them at every change the kernel announces.
//
//     wl-reach [--host NAME | --address A.B.C.D] [--watch SECONDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <waterline/foundation/ProgramInfo.h>
#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/NotificationCenter.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>
#include <waterline/reachability/Reachability.h>

namespace {

using namespace waterline;

constexpr const char* kUsage = "usage: wl-reach [--host NAME | --address A.B.C.D] [--watch SECONDS]\n";

struct Arguments {
    std::optional<std::string> hostName;
    std::optional<std::string> address;
    std::optional<double> watchSeconds;
    bool help = false;
};

ErrorPtr usageError(const std::string& reason)
{
    return Error::create("WlReachErrorDomain", 2, reason);
}

std::optional<double> parseSeconds(const std::string& text)
{
    char* end = nullptr;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e7)
        return std::nullopt;
    return seconds;
}

// The arguments, or an error saying what is wrong with them.
ErrorOr<Arguments> parseArguments(int argc, char** argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            arguments.help = true;
            return arguments;
        }
        if (option != "--host" && option != "--address" && option != "--watch")
            return usageError("unknown argument '" + std::string(option) + "'");
        if (i + 1 >= argc)
            return usageError(std::string(option) + " needs a value");
        std::string value = argv[++i];
        if (option == "--watch") {
            arguments.watchSeconds = parseSeconds(value);
            if (!arguments.watchSeconds)
                return usageError("--watch needs a number of seconds, not '" + value + "'");
            continue;
        }
        if (arguments.hostName || arguments.address)
            return usageError("give either --host or --address, once");
        if (value.empty())
            return usageError(std::string(option) + " needs a non-empty value");
        if (option == "--host") {
            arguments.hostName = value;
        } else {
            SocketAddressIPv4 parsed;
            if (!Reachability::addressFromString(value, parsed))
                return usageError("'" + value + "' is not an IPv4 address");
            arguments.address = value;
        }
    }
    return arguments;
}

// The flags of a cached target, read again; the status queries keep only the answer.
std::optional<ReachabilityFlags> cachedFlags(Reachability& reachability, const std::string& target)
{
    auto& queries = reachability.reachabilityQueries();
    auto it = queries.find(target);
    if (it == queries.end() || !it->second->reachabilityRef())
        return std::nullopt;
    return it->second->reachabilityRef()->getFlags();
}

std::string statusLine(const std::string& label, NetStatus status, std::optional<ReachabilityFlags> flags)
{
    return label + ": " + std::string(toString(status))
        + " flags=" + (flags ? describeReachabilityFlags(*flags) : std::string("unreadable"));
}

std::vector<std::string> statusLines(Reachability& reachability)
{
    std::vector<std::string> lines;
    NetStatus internet = reachability.internetConnectionStatus();
    lines.push_back(statusLine("internet", internet, cachedFlags(reachability, "0.0.0.0")));
    NetStatus localWiFi = reachability.localWiFiConnectionStatus();
    lines.push_back(statusLine("local WiFi", localWiFi, cachedFlags(reachability, "169.254.0.0")));
    if (reachability.hostName() || reachability.address()) {
        NetStatus remote = reachability.remoteHostStatus();
        auto target = reachability.hostName() ? *reachability.hostName() : *reachability.address();
        lines.push_back(statusLine("remote host " + target, remote, cachedFlags(reachability, target)));
    }
    return lines;
}

std::string timestamp()
{
    auto now = std::chrono::system_clock::now();
    auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(milliseconds));
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-reach", argc, argv))
        return 0;
    auto parsed = parseArguments(argc, argv);
    if (!parsed) {
        std::fprintf(stderr, "wl-reach: %s\n%s", parsed.error()->localizedDescription().c_str(), kUsage);
        return 2;
    }
    const Arguments& arguments = *parsed;
    if (arguments.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    auto& reachability = Reachability::sharedReachability();
    reachability.setHostName(arguments.hostName);
    reachability.setAddress(arguments.address);
    // Switched on before the first checks: a target only hears of changes when its
    // query is made while notifications are on.
    reachability.setNetworkStatusNotificationsEnabled(arguments.watchSeconds.has_value());

    for (const auto& line : statusLines(reachability))
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!arguments.watchSeconds)
        return 0;

    auto& center = NotificationCenter::defaultCenter();
    auto token = center.addObserver(kReachabilityChangedNotification, [&](const Notification&) {
        std::string line = timestamp();
        for (const auto& status : statusLines(reachability))
            line += "  " + status;
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    RunLoop& loop = RunLoop::current();
    auto end = Timer::singleShot(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(*arguments.watchSeconds)),
        [&loop] { loop.stop(); });
    loop.run();
    center.removeObserver(token);
    reachability.stopListeningForReachabilityChanges();
    return 0;
}
