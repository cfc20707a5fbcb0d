// wl-json: reads JSON text and writes it back, compact or human-readable.
//
// The text goes through the JSON facade, so the tool shows exactly what a program using
// the library would get: the value written back on success (exit 0), or the error trace
// on standard error, one "CODE: MESSAGE" line per record, innermost first (exit 1).
// Bad options or an unreadable file exit 2.
#include <waterline/json/VelJSON.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

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
      "  --max-depth N     nest at most N arrays and objects (default 512, 0: the parser's own guard)\n";

struct Options {
    bool fragment = false;
    bool sortKeys = false;
    bool humanReadable = false;
    std::uint32_t maxDepth = VelJSON::kDefaultMaxDepth;
    std::string path = "-";
};

std::optional<std::uint32_t> parseDepth(std::string_view text)
{
    std::uint32_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// None after printing why the arguments make no sense.
std::optional<Options> parseArguments(int argc, char** argv)
{
    Options options;
    bool pathSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::optional<std::string_view> depthText;
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
            depthText = argv[++i];
        } else if (arg.starts_with("--max-depth=")) {
            depthText = arg.substr(std::strlen("--max-depth="));
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage << kHelp;
            std::exit(0);
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
        if (depthText) {
            std::optional<std::uint32_t> depth = parseDepth(*depthText);
            if (!depth) {
                std::cerr << "wl-json: --max-depth wants a whole number from 0 to 4294967295, not '" << *depthText
                          << "'\n";
                return std::nullopt;
            }
            options.maxDepth = *depth;
        }
    }
    return options;
}

std::optional<std::string> readInput(const std::string& path)
{
    if (path == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), {});
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "wl-json: cannot read " << path << ": " << std::strerror(errno) << "\n";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int reportFailure(const VelJSON& json)
{
    if (auto trace = json.errorTrace())
        for (const auto& error : *trace)
            std::cerr << error->code() << ": " << error->description() << "\n";
    return kExitFailure;
}

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::optional<Options> options = parseArguments(argc, argv);
    if (!options)
        return kExitUsage;
    std::optional<std::string> text = readInput(options->path);
    if (!text)
        return kExitUsage;

    VelJSON json;
    json.setMaxDepth(options->maxDepth);
    json.setSortKeys(options->sortKeys);
    json.setHumanReadable(options->humanReadable);
    std::optional<JsonValue> value = json.objectWithString(*text, {.allowScalar = options->fragment}, nullptr);
    if (!value)
        return reportFailure(json);
    std::optional<std::string> written = json.stringWithObject(*value, {.allowScalar = options->fragment}, nullptr);
    if (!written)
        return reportFailure(json);
    written->push_back('\n');
    std::cout.write(written->data(), static_cast<std::streamsize>(written->size()));
    std::cout.flush();
    return std::cout ? 0 : kExitFailure;
}
