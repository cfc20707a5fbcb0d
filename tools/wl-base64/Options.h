// The command line of wl-base64.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace waterline {

inline constexpr std::string_view kUsage
    = "usage: wl-base64 [-d|--decode] [--web-safe] [--no-padding] [-w COLS] [FILE|-]\n";

struct Options {
    bool decode = false;
    bool webSafe = false;
    bool noPadding = false;
    std::size_t wrapColumns = 0; // 0: one line
    std::string file = "-";      // "-": standard input
    bool help = false;
};

// The options, or the reason the command line is not valid.
struct ParsedOptions {
    std::optional<Options> options;
    std::string error;
};

ParsedOptions parseOptions(const std::vector<std::string_view>& args);

} // namespace waterline
