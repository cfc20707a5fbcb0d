// wl-reach: prints whether the internet, a local link-local network and, when given,
// a remote host can be reached now, as the reachability monitor sees them, and with
// --watch keeps printing them at every change the kernel announces.
//
//     wl-reach [--host NAME | --address A.B.C.D] [--watch SECONDS]
//
// Exit status: 0 when every line was written, 1 when standard output could not be
// written (or memory ran out), 2 for a wrong command line.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <new>
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
constexpr const char* kHelp = "  --host NAME       also check a remote host by name\n"
                              "  --address A.B.C.D also check a remote host by IPv4 address; the forms inet_aton\n"
                              "                    takes are accepted (010.0.0.1 is octal: 8.0.0.1), and the line\n"
                              "                    shows the address checked, then the text as given if it differs:\n"
                              "                    \"remote host 8.0.0.1 (010.0.0.1)\"\n"
                              "  --watch SECONDS   keep printing a line at every change for that long\n"
                              "                    (a plain decimal number such as 30 or 0.5)\n";

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr double kMaxWatchSeconds = 1e7;

struct Arguments {
    std::optional<std::string> hostName;
    std::optional<std::string> address;
    std::string addressLabel; // the looked-up address, and the typed text if it differs
    std::optional<double> watchSeconds;
    bool help = false;
};

ErrorPtr usageError(const std::string& reason)
{
    return Error::create("WlReachErrorDomain", kExitUsage, reason);
}

// Digits with an optional fraction ("30", "0.5"): no sign, exponent, hexadecimal
// or "inf", which a general number parser would all take.
bool isPlainDecimal(std::string_view text)
{
    const auto point = text.find('.');
    const auto whole = text.substr(0, point);
    const auto fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    auto digitsOnly = [](std::string_view part) { return part.find_first_not_of("0123456789") == part.npos; };
    const bool fractionOk = point == std::string_view::npos || !fraction.empty();
    return !whole.empty() && fractionOk && digitsOnly(whole) && digitsOnly(fraction);
}

std::optional<double> parseSeconds(const std::string& text)
{
    if (!isPlainDecimal(text))
        return std::nullopt;
    double seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds > kMaxWatchSeconds)
        return std::nullopt;
    return seconds;
}

// "8.0.0.1 (010.0.0.1)" for an address typed in another form than the dotted one.
std::string addressLabel(const std::string& typed, const SocketAddressIPv4& parsed)
{
    const auto& bytes = parsed.address;
    std::string dotted = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2])
        + "." + std::to_string(bytes[3]);
    return dotted == typed ? dotted : dotted + " (" + typed + ")";
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
                return usageError("--watch needs a plain decimal number of seconds up to 10000000, not '" + value
                                  + "'");
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
            arguments.addressLabel = addressLabel(value, parsed);
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

std::vector<std::string> statusLines(Reachability& reachability, const Arguments& arguments)
{
    std::vector<std::string> lines;
    NetStatus internet = reachability.internetConnectionStatus();
    lines.push_back(statusLine("internet", internet, cachedFlags(reachability, "0.0.0.0")));
    NetStatus localWiFi = reachability.localWiFiConnectionStatus();
    lines.push_back(statusLine("local WiFi", localWiFi, cachedFlags(reachability, "169.254.0.0")));
    if (reachability.hostName() || reachability.address()) {
        NetStatus remote = reachability.remoteHostStatus();
        auto target = reachability.hostName() ? *reachability.hostName() : *reachability.address();
        auto label = reachability.hostName() ? target : arguments.addressLabel;
        lines.push_back(statusLine("remote host " + label, remote, cachedFlags(reachability, target)));
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

// Writes `text` and flushes it at once, so a watcher sees each line as it comes and a
// failed write is noticed at the line that failed. False after saying why on stderr.
bool writeOutput(const std::string& text)
{
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0)
        return true;
    const int error = errno;
    std::fprintf(stderr, "wl-reach: cannot write standard output: %s\n", errnoText(error).c_str());
    return false;
}

// Prints a line at every change until the time is up; false once a line cannot be written.
bool watch(Reachability& reachability, const Arguments& arguments)
{
    bool written = true;
    RunLoop& loop = RunLoop::current();
    auto& center = NotificationCenter::defaultCenter();
    auto token = center.addObserver(kReachabilityChangedNotification, [&](const Notification&) {
        std::string line = timestamp();
        for (const auto& status : statusLines(reachability, arguments))
            line += "  " + status;
        if (!writeOutput(line + "\n")) {
            written = false;
            loop.stop();
        }
    });
    auto end = Timer::singleShot(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(*arguments.watchSeconds)),
        [&loop] { loop.stop(); });
    loop.run();
    center.removeObserver(token);
    reachability.stopListeningForReachabilityChanges();
    return written;
}

int run(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-reach", argc, argv))
        return 0;
    auto parsed = parseArguments(argc, argv);
    if (!parsed) {
        std::fprintf(stderr, "wl-reach: %s\n%s", parsed.error()->localizedDescription().c_str(), kUsage);
        return kExitUsage;
    }
    const Arguments& arguments = *parsed;
    if (arguments.help)
        return writeOutput(std::string(kUsage) + kHelp) ? 0 : kExitFailure;
    auto& reachability = Reachability::sharedReachability();
    reachability.setHostName(arguments.hostName);
    reachability.setAddress(arguments.address);
    // Switched on before the first checks: a target only hears of changes when its
    // query is made while notifications are on.
    reachability.setNetworkStatusNotificationsEnabled(arguments.watchSeconds.has_value());

    for (const auto& line : statusLines(reachability, arguments))
        if (!writeOutput(line + "\n"))
            return kExitFailure;
    if (arguments.watchSeconds && !watch(reachability, arguments))
        return kExitFailure;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Written without allocating: the heap has just run dry.
        std::fputs("wl-reach: out of memory\n", stderr);
        return kExitFailure;
    }
}
