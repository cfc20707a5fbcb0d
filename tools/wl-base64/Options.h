// The command line of wl-base64.
#pragma once

#include <waterline/foundation/ErrorOr.h>

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

// The options, or an error saying why the command line is not valid.
ErrorOr<Options> parseOptions(const std::vector<std::string_view>& args);

} // namespace waterline
