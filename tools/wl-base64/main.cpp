// wl-base64: Base64 encoding and decoding of a file or standard input, in either
// alphabet, for inputs of any size in bounded memory.
//
// Exit status: 0 on success, 1 when the input cannot be read or decoded or the output
// cannot be written, 2 for a wrong command line.
#include "Coding.h"
#include "Options.h"

#include <waterline/foundation/ProgramInfo.h>
#include <waterline/foundation/FileDescriptor.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace waterline;

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-base64", argc, argv))
        return 0;
    const auto parsed = parseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    if (!parsed) {
        std::fprintf(stderr, "wl-base64: %s\n%.*s", parsed.error()->localizedDescription().c_str(),
                     static_cast<int>(kUsage.size()), kUsage.data());
        return 2;
    }
    const Options& options = *parsed;
    if (options.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }

    FileDescriptor opened;
    int input = STDIN_FILENO;
    if (options.file != "-") {
        auto file = FileDescriptor::open(options.file, O_RDONLY);
        if (!file) {
            // The error names the file and the system's reason.
            std::fprintf(stderr, "wl-base64: %s\n", file.error()->localizedDescription().c_str());
            return 1;
        }
        opened = file.releaseValue();
        input = opened.get();
    }
    return options.decode ? decodeStream(input, STDOUT_FILENO, options) : encodeStream(input, STDOUT_FILENO, options);
}
