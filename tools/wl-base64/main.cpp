// wl-base64: Base64 encoding and decoding of a file or standard input, in either
// alphabet, for inputs of any size in bounded memory.
//
// Exit status: 0 on success, 1 when the input cannot be read or decoded or the output
// cannot be written, 2 for a wrong command line.
#include "Coding.h"
#include "FileDescriptor.h"
#include "Options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace waterline;

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(std::vector<std::string_view>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::fprintf(stderr, "wl-base64: %s\n%.*s", parsed.error.c_str(), static_cast<int>(kUsage.size()),
                     kUsage.data());
        return 2;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }

    FileDescriptor opened;
    int input = STDIN_FILENO;
    if (options.file != "-") {
        opened = FileDescriptor(::open(options.file.c_str(), O_RDONLY | O_CLOEXEC));
        if (!opened.valid()) {
            std::fprintf(stderr, "wl-base64: %s: %s\n", options.file.c_str(), std::strerror(errno));
            return 1;
        }
        input = opened.get();
    }
    return options.decode ? decodeStream(input, STDOUT_FILENO, options) : encodeStream(input, STDOUT_FILENO, options);
}
