// wl-base64: Base64 encoding and decoding of a file or standard input, in either
// alphabet, for inputs of any size in bounded memory.
//
// Exit status: 0 on success, 1 when the input cannot be read or decoded, the output
// cannot be written, the input is the output file, or memory runs out; 2 for a wrong
// command line.
#include "Coding.h"
#include "Options.h"

#include <waterline/foundation/Error.h>
#include <waterline/foundation/ProgramInfo.h>
#include <waterline/foundation/FileDescriptor.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

using namespace waterline;

namespace {

// Reading a regular file while appending to it would never reach its end, and
// decoding a file into itself would overwrite what is still to be read.
bool sameRegularFile(int input, int output)
{
    struct stat in {};
    struct stat out {};
    return ::fstat(input, &in) == 0 && ::fstat(output, &out) == 0 && S_ISREG(in.st_mode) && S_ISREG(out.st_mode)
        && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

int run(int argc, char** argv)
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
        if (std::fwrite(kUsage.data(), 1, kUsage.size(), stdout) != kUsage.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "wl-base64: write error: %s\n", errnoText(errno).c_str());
            return 1;
        }
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
    if (sameRegularFile(input, STDOUT_FILENO)) {
        std::fputs("wl-base64: input file is output file\n", stderr);
        return 1;
    }
    return options.decode ? decodeStream(input, STDOUT_FILENO, options) : encodeStream(input, STDOUT_FILENO, options);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Written without allocating: the heap has just run dry.
        std::fputs("wl-base64: out of memory\n", stderr);
        return 1;
    }
}
