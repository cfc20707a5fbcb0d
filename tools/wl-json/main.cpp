// wl-json: reads JSON text and writes it back, compact or human-readable.
//
// The text goes through the JSON facade, so the tool shows exactly what a program using
// the library would get: the value written back on success (exit 0), or the error trace
// on standard error, one "CODE: MESSAGE" line per record, innermost first (exit 1).
// Bad options or input that cannot be read exit 2; output that cannot be written and
// running out of memory exit 1. Every failure says why on standard error.
#include <waterline/foundation/ProgramInfo.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/json/VelJSON.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace waterline;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage
    = "usage: wl-json [--fragment] [--sort-keys] [-p|--human-readable] [--max-depth N] [FILE|-]\n";
constexpr std::string_view kHelp
    = "  Reads JSON text from FILE (or standard input) and writes it back followed by a newline.\n"
      "  --fragment        accept any value at the top, not only an object or an array\n"
      "  --sort-keys       write object members sorted by key\n"
      "  -p, --human-readable  indent the output\n"
      "  --max-depth N     nest at most N arrays and objects (default 512, at most 2048; 0: 2048)\n";

struct Options {
    bool fragment = false;
    bool sortKeys = false;
    bool humanReadable = false;
    bool help = false;
    std::uint32_t maxDepth = VelJSON::kDefaultMaxDepth;
    std::string path = "-";
};

bool isStandardInput(const std::string& path)
{
    return path == "-";
}

std::optional<std::uint32_t> parseDepth(std::string_view text)
{
    std::uint32_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// False after printing why the depth cannot be used. The parser never nests deeper than
// its own guard, so a larger limit would be quietly lowered: it is refused instead.
bool setDepth(Options& options, std::string_view text)
{
    std::optional<std::uint32_t> depth = parseDepth(text);
    if (!depth) {
        std::cerr << "wl-json: --max-depth wants a whole number from 0 to 4294967295, not '" << text << "'\n";
        return false;
    }
    if (*depth > VelJsonParser::kNestingGuard) {
        std::cerr << "wl-json: --max-depth may be at most " << VelJsonParser::kNestingGuard
                  << " (the parser's own limit), not " << *depth << "\n";
        return false;
    }
    options.maxDepth = *depth;
    return true;
}

// None after printing why the arguments make no sense.
std::optional<Options> parseArguments(int argc, char** argv)
{
    Options options;
    bool pathSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--fragment") {
            options.fragment = true;
        } else if (arg == "--sort-keys") {
            options.sortKeys = true;
        } else if (arg == "-p" || arg == "--human-readable") {
            options.humanReadable = true;
        } else if (arg == "--max-depth") {
            if (i + 1 == argc) {
                std::cerr << "wl-json: --max-depth needs a number\n" << kUsage;
                return std::nullopt;
            }
            if (!setDepth(options, argv[++i]))
                return std::nullopt;
        } else if (arg.starts_with("--max-depth=")) {
            if (!setDepth(options, arg.substr(std::strlen("--max-depth="))))
                return std::nullopt;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "wl-json: unknown option " << arg << "\n" << kUsage;
            return std::nullopt;
        } else if (pathSeen) {
            std::cerr << "wl-json: only one input may be given\n" << kUsage;
            return std::nullopt;
        } else {
            options.path = std::string(arg);
            pathSeen = true;
        }
    }
    return options;
}

// Everything `fd` gives until its end.
ErrorOr<std::string> readAll(int fd)
{
    constexpr std::size_t kChunk = 64 * 1024;
    std::string text;
    for (;;) {
        const std::size_t used = text.size();
        text.resize(used + kChunk);
        auto room = std::span(reinterpret_cast<std::uint8_t*>(text.data()) + used, kChunk);
        std::size_t count = WL_TRY(readFull(fd, room));
        text.resize(used + count);
        if (count < kChunk)
            return text;
    }
}

ErrorOr<std::string> readInput(const std::string& path)
{
    if (isStandardInput(path))
        return readAll(STDIN_FILENO);
    FileDescriptor file = WL_TRY(FileDescriptor::open(path, O_RDONLY));
    return readAll(file.get()); // a directory opens, and fails here with EISDIR
}

// False after saying why the text could not be written.
bool writeOutput(std::string_view text)
{
    auto written = writeAll(STDOUT_FILENO, text);
    if (!written)
        std::cerr << "wl-json: cannot write standard output: " << errnoText(written.error()->code()) << "\n";
    return !written.isError();
}

int reportFailure(const VelJSON& json)
{
    if (auto trace = json.errorTrace())
        for (const auto& error : *trace)
            std::cerr << error->code() << ": " << error->description() << "\n";
    return kExitFailure;
}

int run(int argc, char** argv)
{
    std::optional<Options> options = parseArguments(argc, argv);
    if (!options)
        return kExitUsage;
    if (options->help)
        return writeOutput(std::string(kUsage) + std::string(kHelp)) ? 0 : kExitFailure;

    auto text = readInput(options->path);
    if (!text) {
        // The I/O calls report POSIX errors: their code is the errno value.
        std::string_view name = isStandardInput(options->path) ? "standard input" : std::string_view(options->path);
        std::cerr << "wl-json: cannot read " << name << ": " << errnoText(text.error()->code()) << "\n";
        return kExitUsage;
    }

    VelJSON json;
    json.setMaxDepth(options->maxDepth);
    json.setSortKeys(options->sortKeys);
    json.setHumanReadable(options->humanReadable);
    const VelJSON::Options top{.allowScalar = options->fragment};
    std::optional<JsonValue> value = json.objectWithString(*text, top, nullptr);
    if (!value)
        return reportFailure(json);
    std::optional<std::string> written = json.stringWithObject(*value, top, nullptr);
    if (!written)
        return reportFailure(json);
    written->push_back('\n');
    return writeOutput(*written) ? 0 : kExitFailure;
}

} // namespace

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-json", argc, argv))
        return 0;
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Written without allocating: the heap has just run dry.
        std::fputs("wl-json: out of memory\n", stderr);
        return kExitFailure;
    }
}
