#include "Options.h"

#include "ToolError.h"

#include <charconv>

namespace waterline {

namespace {

std::optional<std::size_t> parseColumns(std::string_view text)
{
    std::size_t columns = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), columns);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return columns;
}

ErrorPtr failure(std::string reason)
{
    return toolError(std::move(reason));
}

} // namespace

ErrorOr<Options> parseOptions(const std::vector<std::string_view>& args)
{
    Options options;
    bool haveFile = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            if (haveFile)
                return failure("more than one input file");
            options.file = std::string(arg);
            haveFile = true;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-d" || arg == "--decode") {
            options.decode = true;
        } else if (arg == "--web-safe") {
            options.webSafe = true;
        } else if (arg == "--no-padding") {
            options.noPadding = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg.starts_with("-w")) {
            std::string_view value = arg.substr(2);
            if (value.empty()) {
                if (++i == args.size())
                    return failure("-w needs a number of columns");
                value = args[i];
            }
            const auto columns = parseColumns(value);
            if (!columns)
                return failure("invalid number of columns: " + std::string(value));
            options.wrapColumns = *columns;
        } else {
            return failure("unknown option " + std::string(arg));
        }
    }
    if (options.noPadding && !options.webSafe)
        return failure("--no-padding needs --web-safe");
    return options;
}

} // namespace waterline
